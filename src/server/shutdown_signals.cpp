#include "server/shutdown_signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace virn::server {

Result<std::unique_ptr<ShutdownSignals>> ShutdownSignals::start(
    std::function<void(int)> on_signal) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  if (const int code = pthread_sigmask(SIG_BLOCK, &set, nullptr); code != 0) {
    return Error{std::string("无法屏蔽信号：") + std::strerror(code)};
  }
  const int signal_fd = signalfd(-1, &set, SFD_CLOEXEC);
  if (signal_fd < 0) return Error{std::string("无法创建 signalfd：") + std::strerror(errno)};
  const int wake_fd = eventfd(0, EFD_CLOEXEC);
  if (wake_fd < 0) {
    const int code = errno;
    close(signal_fd);
    return Error{std::string("无法创建 eventfd：") + std::strerror(code)};
  }
  return std::make_unique<ShutdownSignals>(Token{}, signal_fd, wake_fd, std::move(on_signal));
}

ShutdownSignals::ShutdownSignals(Token, int signal_fd, int wake_fd,
                                 std::function<void(int)> on_signal)
    : signal_fd_(signal_fd),
      wake_fd_(wake_fd),
      on_signal_(std::move(on_signal)),
      watcher_([this] { watch(); }) {}

ShutdownSignals::~ShutdownSignals() {
  const std::uint64_t one = 1;
  // Writing 1 to a fresh eventfd cannot fail.
  [[maybe_unused]] const ssize_t written = write(wake_fd_, &one, sizeof one);
  if (watcher_.joinable()) watcher_.join();
  close(wake_fd_);
  close(signal_fd_);
}

void ShutdownSignals::watch() {
  int count = 0;
  for (;;) {
    pollfd fds[2] = {{signal_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    signalfd_siginfo info{};
    if (read(signal_fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      on_signal_(++count);
    }
  }
}

}  // namespace virn::server
