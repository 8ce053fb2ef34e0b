#include "cli/player.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace virn::cli {

std::optional<std::string> find_player(std::string_view path_variable) {
  for (const char* name : {"paplay", "aplay"}) {
    std::size_t start = 0;
    while (start <= path_variable.size()) {
      std::size_t end = path_variable.find(':', start);
      if (end == std::string_view::npos) end = path_variable.size();
      // An empty entry means the current folder, as the shell has it.
      std::string dir(path_variable.substr(start, end - start));
      if (dir.empty()) dir = ".";
      const std::string candidate = dir + "/" + name;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
      start = end + 1;
    }
  }
  return std::nullopt;
}

std::optional<std::string> play_file(const std::string& player, const std::string& file) {
  std::vector<std::string> args{player, file};
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (const int error = ::posix_spawn(&pid, player.c_str(), nullptr, nullptr, argv.data(), environ);
      error != 0) {
    return "cannot start " + player + ": " + std::strerror(error);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return "lost track of " + player + ": " + std::strerror(errno);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
  if (WIFEXITED(status)) {
    return player + " failed with exit status " + std::to_string(WEXITSTATUS(status));
  }
  return player + " was ended by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace virn::cli
