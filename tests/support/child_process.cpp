#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace virn::test {
namespace {

constexpr auto kPollStep = std::chrono::milliseconds(10);

std::string describe(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) {
    if (!text.empty()) text += ' ';
    text += argument;
  }
  return text;
}

int spawn(const std::vector<std::string>& arguments, const std::filesystem::path& log_file) {
  if (arguments.empty()) throw std::runtime_error("no program to run");
  std::vector<char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_file.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    throw std::runtime_error("cannot start \"" + describe(arguments) +
                             "\": " + std::strerror(failed));
  }
  return pid;
}

// Waits up to `limit` for the process; its wait status, or -1 when it is still running.
int wait_for(int pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0 && errno != EINTR) return 0;
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(kPollStep);
  }
}

}  // namespace

int run_program(const std::vector<std::string>& arguments, const std::filesystem::path& log_file,
                std::chrono::milliseconds limit) {
  const int pid = spawn(arguments, log_file);
  const int status = wait_for(pid, limit);
  if (status == -1) {
    kill(pid, SIGKILL);
    wait_for(pid, std::chrono::seconds(5));
    throw std::runtime_error("\"" + describe(arguments) + "\" did not end in time");
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::filesystem::path& log_file)
    : pid_(spawn(arguments, log_file)) {}

ChildProcess::~ChildProcess() {
  if (ended_) return;
  kill(pid_, SIGTERM);
  if (wait_for(pid_, std::chrono::seconds(2)) == -1) {
    kill(pid_, SIGKILL);
    wait_for(pid_, std::chrono::seconds(5));
  }
}

bool ChildProcess::running() {
  if (!ended_ && wait_for(pid_, std::chrono::milliseconds(0)) != -1) ended_ = true;
  return !ended_;
}

}  // namespace virn::test
