#include "cli/say.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/player.h"
#include "cli/progress.h"
#include "cli/wav_join.h"
#include "speech/local_backend.h"
#include "speech/reading.h"
#include "speech/remote_backend.h"
#include "speech/text_chunks.h"
#include "util/files.h"

#ifndef VIRN_VERSION
#define VIRN_VERSION "0"
#endif

namespace virn::cli {
namespace {

Result<std::string> read_all(std::istream& in, const std::string& name) {
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return Error{"cannot read " + name};
  // A byte-order mark is not part of the text.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  return text;
}

Result<std::string> read_file(const std::string& path, std::istream& standard_input) {
  if (path == "-") return read_all(standard_input, "standard input");
  std::ifstream file(path, std::ios::binary);
  if (!file) return Error{"cannot open " + path + ": " + std::strerror(errno)};
  return read_all(file, path);
}

// The pieces a backend is given: every piece that has something to say.
Result<std::vector<std::string>> pieces_of(const std::string& text) {
  if (!speech::utf8_length(text)) return Error{"text 不是有效的 UTF-8 文本"};
  std::vector<std::string> pieces;
  bool any = false;
  for (auto& piece : speech::split_text(text, speech::kMaxTextChars)) {
    any = true;
    speech::SpeechRequest check;
    check.text = piece;
    if (auto error = speech::check_request(check)) return *error;
    // A piece of bare punctuation between long sentences is silence; the backends refuse it.
    if (!speech::only_punctuation(piece)) pieces.push_back(std::move(piece));
  }
  if (!any) return Error{"text 为空，请输入要朗读的文字"};
  if (pieces.empty()) return Error{"text 只有标点符号，没有可朗读的文字"};
  return pieces;
}

std::string piece_context(std::size_t index, std::size_t count) {
  return count > 1 ? "第 " + std::to_string(index + 1) + "/" + std::to_string(count) + " 段：" : "";
}

std::string number_name(std::size_t number, std::size_t count) {
  std::string digits = std::to_string(number);
  const std::size_t width = std::max<std::size_t>(3, std::to_string(count).size());
  return std::string(width - std::min(width, digits.size()), '0') + digits + ".wav";
}

std::string in_folder(const std::string& dir, const std::string& name) {
  return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

int fail(SayStreams& s, const std::string& message, int status = kExitFailure) {
  s.err << "virn-say: " << message << "\n";
  return status;
}

int run_batch(const SayOptions& options, speech::SpeechBackend& backend, SayStreams& s) {
  auto content = read_file(*options.batch_file, s.in);
  if (!content) return fail(s, content.error().message);
  const std::vector<std::string> lines = batch_lines(*content);
  if (lines.empty()) return fail(s, *options.batch_file + " has no non-empty line to speak");

  const std::string dir = options.output.value_or(".");
  if (auto error = ensure_dir(dir)) return fail(s, error->message);
  // A batch never writes over earlier clips: a folder that already holds one is refused
  // before anything is spoken.
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string path = in_folder(dir, number_name(i + 1, lines.size()));
    if (file_exists(path)) {
      return fail(s,
                  path + " already exists; batch output never overwrites, choose another folder");
    }
  }

  std::size_t failed = 0;
  const auto show = [&](std::size_t done) {
    if (s.err_is_terminal) s.err << "\r" << progress_bar(done, lines.size()) << std::flush;
  };
  show(0);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string name = number_name(i + 1, lines.size());
    const std::string path = in_folder(dir, name);
    auto wav = speak_text(backend, options.request, lines[i]);
    std::optional<Error> error;
    if (!wav) {
      error = wav.error();
    } else {
      error = write_file_atomically(path, *wav);
    }
    const std::string count = std::to_string(i + 1) + "/" + std::to_string(lines.size());
    if (error) {
      ++failed;
      if (s.err_is_terminal) s.err << "\r\033[K";
      s.err << count << " " << name << " failed: " << error->message << "\n";
    } else if (!s.err_is_terminal) {
      s.err << count << " " << name << "\n";
    }
    show(i + 1);
  }
  if (s.err_is_terminal) s.err << "\n";
  s.out << (lines.size() - failed) << " of " << lines.size() << " clips written to " << dir << "\n";
  if (failed > 0) {
    return fail(s,
                std::to_string(failed) + " of " + std::to_string(lines.size()) + " lines failed");
  }
  return kExitOk;
}

}  // namespace

Result<std::unique_ptr<speech::SpeechBackend>> choose_backend(Backend choice,
                                                              const speech::ServiceConfig& config) {
  if (choice == Backend::service && !config.configured()) {
    return Error{"--service: no speech service is configured (set VIRN_TTS_URL and VIRN_TTS_KEY)"};
  }
  if (choice == Backend::service || (choice == Backend::automatic && config.configured())) {
    return std::unique_ptr<speech::SpeechBackend>(std::make_unique<speech::RemoteBackend>(config));
  }
  return std::unique_ptr<speech::SpeechBackend>(std::make_unique<speech::LocalBackend>());
}

Result<Bytes> speak_text(speech::SpeechBackend& backend, const speech::SpeechRequest& settings,
                         const std::string& text) {
  auto pieces = pieces_of(text);
  if (!pieces) return pieces.error();
  std::vector<Bytes> wavs;
  for (std::size_t i = 0; i < pieces->size(); ++i) {
    speech::SpeechRequest request = settings;
    request.text = (*pieces)[i];
    auto wav = backend.synthesize(request);
    if (!wav) return Error{piece_context(i, pieces->size()) + wav.error().message};
    wavs.push_back(std::move(*wav));
  }
  return join_wavs(wavs);
}

Result<std::string> reading_of(const std::string& text) {
  auto pieces = pieces_of(text);
  if (!pieces) return pieces.error();
  std::string reading;
  for (std::size_t i = 0; i < pieces->size(); ++i) {
    auto part = speech::spoken_reading((*pieces)[i]);
    if (!part) return Error{piece_context(i, pieces->size()) + part.error().message};
    reading += *part;
  }
  return reading;
}

std::vector<std::string> batch_lines(const std::string& content) {
  std::vector<std::string> lines;
  std::istringstream in(content);
  std::string line;
  while (std::getline(in, line)) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    const auto last = line.find_last_not_of(" \t\r");
    lines.push_back(line.substr(first, last - first + 1));
  }
  return lines;
}

int run_say(const SayOptions& options, SayStreams& s) {
  if (options.help) {
    s.out << say_usage();
    return kExitOk;
  }
  if (options.version) {
    s.out << "virn-say " VIRN_VERSION "\n";
    return kExitOk;
  }
  if (options.list_voices) {
    for (const auto& v : speech::kVoices)
      s.out << v.id << "\t" << v.caption << "\n";
    return kExitOk;
  }

  if (options.reading) {
    auto text = options.text_argument ? Result<std::string>(*options.text_argument)
                                      : read_file(options.text_file.value_or("-"), s.in);
    if (!text) return fail(s, text.error().message);
    auto reading = reading_of(*text);
    if (!reading) return fail(s, reading.error().message);
    s.out << *reading << "\n";
    return kExitOk;
  }

  auto backend = choose_backend(options.backend, speech::service_config_from_environment());
  if (!backend) return fail(s, backend.error().message, kExitUsage);
  if (options.batch_file) return run_batch(options, **backend, s);

  auto text = options.text_argument ? Result<std::string>(*options.text_argument)
                                    : read_file(options.text_file.value_or("-"), s.in);
  if (!text) return fail(s, text.error().message);

  std::string path;
  if (options.output) {
    path = *options.output;
  } else {
    auto fresh = unique_stamped_path(".", stamp_text(local_time_now()), ".wav");
    if (!fresh) return fail(s, fresh.error().message);
    path = *fresh;
  }
  // Look for the player first: no point in synthesising for --play if nothing can play.
  std::optional<std::string> player;
  if (options.play) {
    player = find_player(s.path_variable);
    if (!player) return fail(s, "--play: neither paplay nor aplay was found on PATH");
  }

  auto wav = speak_text(**backend, options.request, *text);
  if (!wav) return fail(s, wav.error().message);
  if (auto error = write_file_atomically(path, *wav)) return fail(s, error->message);
  s.out << path << "\n";

  if (player) {
    if (auto error = play_file(*player, path)) return fail(s, "--play: " + *error);
  }
  return kExitOk;
}

}  // namespace virn::cli
