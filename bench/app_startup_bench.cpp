// Time from process start to the first paint of the window, for virn-tts and for a bare Qt
// window built alongside, in interleaved runs; and each one's resident memory at that
// moment. Both programs print "first-paint-us T rss-kb R" and quit on their first paint.
//
//   bench_app_startup PATH/virn-tts PATH/bench_bare_qt_window [RUNS]
//
// The display is whatever the environment gives (DISPLAY for Xvfb); without one the
// offscreen platform is used.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Sample {
  double startup_ms;
  long rss_kb;
};

long long now_us() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::optional<Sample> run_once(const std::string& program) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  const long long start = now_us();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    ::close(pipe_fds[0]);
    return std::nullopt;
  }
  std::string output;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;)
    output.append(buffer, n);
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  long long painted = 0;
  long rss = 0;
  const std::size_t at = output.find("first-paint-us ");
  if (at == std::string::npos ||
      std::sscanf(output.c_str() + at, "first-paint-us %lld rss-kb %ld", &painted, &rss) != 2) {
    return std::nullopt;
  }
  return Sample{static_cast<double>(painted - start) / 1000.0, rss};
}

template <typename T>
T median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s VIRN_TTS BARE_WINDOW [RUNS]\n", argv[0]);
    return 2;
  }
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 15;
  if (std::getenv("DISPLAY") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::setenv("VIRN_REPORT_FIRST_PAINT", "1", 1);
  ::setenv("VIRN_TTS_URL", "", 1);  // never reach for a service at start-up

  const std::string programs[2] = {argv[1], argv[2]};
  std::vector<double> times[2];
  std::vector<long> memory[2];
  for (int run = 0; run <= runs; ++run) {
    for (int which = 0; which < 2; ++which) {
      // Alternate which goes first, so neither always finds the caches warmed by the other.
      const int index = run % 2 == 0 ? which : 1 - which;
      auto sample = run_once(programs[index]);
      if (!sample) {
        std::fprintf(stderr, "%s gave no first-paint report\n", programs[index].c_str());
        return 1;
      }
      if (run == 0) continue;  // warm-up round
      times[index].push_back(sample->startup_ms);
      memory[index].push_back(sample->rss_kb);
    }
  }
  const char* names[2] = {"virn-tts", "bare Qt window"};
  for (int i = 0; i < 2; ++i) {
    std::printf("%-15s start to first paint: median %.1f ms, min %.1f ms; RSS median %ld KiB\n",
                names[i], median(times[i]), *std::min_element(times[i].begin(), times[i].end()),
                median(memory[i]));
  }
  std::printf("ratio virn-tts / bare (median start-up): %.2f (goal: at most 1.30)\n",
              median(times[0]) / median(times[1]));
  std::printf("runs: %d each, interleaved, platform: %s\n", runs,
              std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "offscreen");
  return 0;
}
