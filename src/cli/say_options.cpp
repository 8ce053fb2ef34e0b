#include "cli/say_options.h"

#include <charconv>

namespace virn::cli {
namespace {

std::optional<int> parse_int(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end || text.empty()) return std::nullopt;
  return value;
}

std::string voice_list() {
  std::string list;
  for (const auto& v : speech::kVoices)
    list += (list.empty() ? "" : ", ") + std::string(v.id);
  return list;
}

// The mood's id from what a user may type: its id, "normal" or "" for the plain mood, or the
// window's caption.
std::optional<std::string> mood_id(const std::string& text) {
  if (text == "normal") return std::string();
  for (const auto& m : speech::kMoods) {
    if (text == m.id || text == m.caption) return std::string(m.id);
  }
  return std::nullopt;
}

}  // namespace

Result<SayOptions> parse_say_options(const std::vector<std::string>& arguments) {
  SayOptions options;
  std::vector<std::string> words;
  bool only_text = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (only_text || arg == "-" || arg.empty() || arg[0] != '-') {
      words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_text = true;
      continue;
    }
    // --name=value and --name value both work.
    std::string name = arg;
    std::optional<std::string> inline_value;
    if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inline_value = arg.substr(eq + 1);
    }
    const auto value = [&](const char* what) -> Result<std::string> {
      if (inline_value) return *inline_value;
      if (i + 1 >= arguments.size()) return Error{name + " needs a value: " + what};
      return arguments[++i];
    };
    const auto number = [&](int& field, speech::IntRange range) -> std::optional<Error> {
      const std::string what =
          "an integer from " + std::to_string(range.low) + " to " + std::to_string(range.high);
      auto text = value(what.c_str());
      if (!text) return text.error();
      const auto parsed = parse_int(*text);
      if (!parsed || *parsed < range.low || *parsed > range.high) {
        std::string message = name;
        message.append(" expects ").append(what).append(", not '").append(*text).append("'");
        return Error{message};
      }
      field = *parsed;
      return std::nullopt;
    };
    const auto path = [&](std::optional<std::string>& field) -> std::optional<Error> {
      auto text = value("a file name");
      if (!text) return text.error();
      if (text->empty()) return Error{name + " needs a file name, not an empty text"};
      field = *text;
      return std::nullopt;
    };

    std::optional<Error> error;
    if (name == "--voice") {
      auto text = value(("one of " + voice_list()).c_str());
      if (!text) return text.error();
      if (speech::find_voice(*text) == nullptr) {
        return Error{"--voice expects one of " + voice_list() + ", not '" + *text + "'"};
      }
      options.request.voice = *text;
    } else if (name == "--mood") {
      auto text = value("normal, happiness, anger or sadness");
      if (!text) return text.error();
      const auto id = mood_id(*text);
      if (!id) {
        return Error{"--mood expects normal (or \"\"), happiness, anger or sadness, not '" + *text +
                     "'"};
      }
      options.request.mood = *id;
    } else if (name == "--strength") {
      error = number(options.request.strength, speech::kStrengthRange);
    } else if (name == "--volume") {
      error = number(options.request.volume, speech::kVolumeRange);
    } else if (name == "--speed") {
      error = number(options.request.speed, speech::kSpeedRange);
    } else if (name == "--pitch") {
      error = number(options.request.pitch, speech::kPitchRange);
    } else if (name == "--file") {
      error = path(options.text_file);
    } else if (name == "--batch") {
      error = path(options.batch_file);
    } else if (name == "-o" || name == "--output") {
      error = path(options.output);
    } else if (inline_value) {
      return Error{name + " takes no value"};
    } else if (name == "--play") {
      options.play = true;
    } else if (name == "--service") {
      options.backend = Backend::service;
    } else if (name == "--local") {
      options.backend = Backend::local;
    } else if (name == "--reading") {
      options.reading = true;
    } else if (name == "--list-voices") {
      options.list_voices = true;
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else {
      return Error{"unknown option " + name + " (see --help)"};
    }
    if (error) return *error;
  }

  if (!words.empty()) {
    std::string text;
    for (const auto& w : words)
      text += (text.empty() ? "" : " ") + w;
    options.text_argument = text;
  }
  if (options.help || options.version || options.list_voices) return options;

  const int sources =
      (options.text_argument ? 1 : 0) + (options.text_file ? 1 : 0) + (options.batch_file ? 1 : 0);
  if (sources > 1) return Error{"give the text one way only: TEXT, --file or --batch"};
  if (options.backend != Backend::automatic && options.reading) {
    return Error{"--reading shows the engine's own reading; it takes no --service or --local"};
  }
  if (options.batch_file && options.reading) return Error{"--reading does not go with --batch"};
  if (options.batch_file && options.play) return Error{"--play does not go with --batch"};
  if (options.reading && (options.output || options.play)) {
    return Error{"--reading synthesises nothing, so -o and --play do not go with it"};
  }
  return options;
}

std::string say_usage() {
  return R"(Usage: virn-say [options] [TEXT]
Speaks Japanese TEXT into a WAV file. Without TEXT the text comes from --file or standard input.

  --voice ID        haruka, hikari (women), show, takeru (men), bear, santa (default haruka)
  --mood M          normal (or ""), happiness, anger, sadness (default normal)
  --strength N      strength of the mood, 1-4 (default 2; ignored for normal)
  --volume N        1-100 (default 50)
  --speed N         50-400, percent of the normal rate (default 100)
  --pitch N         50-400 (default 100)
  --file FILE       read the text from FILE ("-": standard input)
  -o FILE           write the WAV here (default: a new time-stamped name in this folder)
  --batch FILE      one clip per non-empty line of FILE, as 001.wav, 002.wav ... in -o DIR
  --play            play the result with paplay or aplay
  --service         use the speech service (VIRN_TTS_URL, VIRN_TTS_KEY)
  --local           use the embedded engine (default when no service is configured)
  --reading         print the katakana the engine would speak; synthesise nothing
  --list-voices     list the voices
  --help, --version

Texts longer than 200 characters are spoken piece by piece and joined into one file.
Exit status: 0 success, 1 failure, 2 usage error.
)";
}

}  // namespace virn::cli
