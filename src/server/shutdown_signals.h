#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "util/result.h"

namespace virn::server {

// SIGTERM and SIGINT, read from a signalfd on a thread of its own, so that the reaction is
// ordinary code rather than a signal handler. Start it before any other thread: the signals
// are blocked in the starting thread, and threads started later inherit that. The mask is
// left in place when it ends, so a late signal cannot kill the process mid-exit.
class ShutdownSignals {
 public:
  // `on_signal` runs on the watching thread with the number of signals so far (1, 2, ...).
  static Result<std::unique_ptr<ShutdownSignals>> start(std::function<void(int)> on_signal);
  ~ShutdownSignals();
  ShutdownSignals(const ShutdownSignals&) = delete;
  ShutdownSignals& operator=(const ShutdownSignals&) = delete;

  struct Token {
    explicit Token() = default;
  };
  ShutdownSignals(Token, int signal_fd, int wake_fd, std::function<void(int)> on_signal);

 private:
  void watch();

  int signal_fd_;
  int wake_fd_;
  std::function<void(int)> on_signal_;
  std::thread watcher_;
};

}  // namespace virn::server
