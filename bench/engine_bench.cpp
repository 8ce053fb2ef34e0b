// The embedded engine against the espeak-ng program: for a short and a long text, the time
// to synthesise in this process and its real-time factor (synthesis time / audio length),
// and the time of the espeak-ng program speaking the same kana reading into a file as a whole
// process, told the same voice, rate and pitch as the engine tells the library. The two are
// run in turn, round by round, so both see the same machine load; the goals are checked on
// the default voice, the demon's post-processing shown beside it.
//   bench_engine [rounds]   (default 15; the median of the rounds is shown)

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "speech/local_backend.h"
#include "speech/reading.h"
#include "speech/voice_profile.h"
#include "speech/wav.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// Runs espeak-ng as its own process and waits for it; false when it cannot.
bool run_espeak(const std::string& reading, const virn::speech::EspeakSettings& settings,
                const std::string& file) {
  std::vector<std::string> args{"espeak-ng",
                                "-v",
                                settings.voice,
                                "-s",
                                std::to_string(settings.rate),
                                "-p",
                                std::to_string(std::min(settings.pitch, 99)),
                                "-w",
                                file,
                                reading};
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "espeak-ng", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Text {
  const char* name;
  std::string text;
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  std::string long_text;
  while (virn::speech::utf8_length(long_text).value_or(0) < 190) {
    long_text += "今日は朝から雨が降っていましたが、午後には晴れて、公園を散歩しました。";
  }
  // Exactly 200 characters: cut at a character boundary.
  while (virn::speech::utf8_length(long_text).value_or(0) > 200) {
    do
      long_text.pop_back();
    while ((static_cast<unsigned char>(long_text.back()) & 0xC0u) == 0x80u);
    long_text.pop_back();
  }
  const std::vector<Text> texts{{"20 chars", "今日は良い天気ですね。私は学生です。はい"},
                                {"200 chars", long_text}};
  const auto file = std::filesystem::temp_directory_path() /
                    ("bench-engine-" + std::to_string(getpid()) + ".wav");

  std::printf("%-10s %-7s %6s %9s %10s %8s %12s %8s\n", "text", "voice", "chars", "audio s",
              "engine ms", "RTF", "espeak-ng ms", "ratio");
  bool goals_met = true;
  for (const auto& t : texts) {
    const auto reading_tokens = virn::speech::read_text(t.text);
    if (!reading_tokens) {
      std::fprintf(stderr, "%s\n", reading_tokens.error().message.c_str());
      return 1;
    }
    const std::string reading = virn::speech::reading_for_engine(*reading_tokens);
    for (const char* voice : {"haruka", "santa"}) {
      virn::speech::SpeechRequest request;
      request.voice = voice;
      request.text = t.text;
      virn::speech::LocalBackend backend;
      double audio = 0.0;
      {
        // The first call loads the dictionary and the voice; it is not timed.
        const auto warm = backend.synthesize(request);
        if (!warm) {
          std::fprintf(stderr, "%s\n", warm.error().message.c_str());
          return 1;
        }
        const auto format = virn::speech::parse_wav(*warm);
        audio = static_cast<double>(format->data_size) / 2.0 / format->sample_rate;
      }
      std::vector<double> engine;
      std::vector<double> program;
      for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        const auto wav = backend.synthesize(request);
        engine.push_back(seconds_since(start));
        if (!wav) return 1;
        start = Clock::now();
        if (!run_espeak(reading, virn::speech::voice_profile(request).espeak, file.string())) {
          std::fprintf(stderr, "espeak-ng could not be run\n");
          return 1;
        }
        program.push_back(seconds_since(start));
      }
      const double e = median(engine);
      const double p = median(program);
      const double rtf = e / audio;
      if (std::string(voice) == "haruka") goals_met = goals_met && rtf <= 0.05 && e < p;
      std::printf("%-10s %-7s %6zu %9.2f %10.2f %8.4f %12.2f %8.2f\n", t.name, voice,
                  virn::speech::utf8_length(t.text).value_or(0), audio, e * 1000.0, rtf, p * 1000.0,
                  p / e);
    }
  }
  std::filesystem::remove(file);
  std::printf("goals for haruka (RTF <= 0.05, faster than espeak-ng on every text): %s\n",
              goals_met ? "met" : "NOT met");
  return goals_met ? 0 : 2;
}
