#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "server/access_keys.h"
#include "server/server_options.h"
#include "server/synthesis_queue.h"
#include "util/result.h"

namespace httplib {
class Server;
}

namespace virn::server {

struct ServiceSettings {
  ListenAddress listen;
  std::string cert_file;  // both empty: plain HTTP
  std::string key_file;
  std::size_t threads = 8;
  std::size_t max_body_bytes = std::size_t{8} * 1024;
  std::chrono::seconds read_timeout{10};
  std::chrono::seconds write_timeout{10};
  std::chrono::seconds keep_alive{2};
  std::chrono::milliseconds synthesis_limit{60'000};
  // Receives each access-log line, from any connection thread.
  std::function<void(std::string_view)> log;
};

// POST /v1/tts over HTTP or HTTPS, in front of a synthesis queue.
class TtsService {
 public:
  // Loads the certificate and binds the address; nothing is served before run().
  static Result<std::unique_ptr<TtsService>> create(const ServiceSettings& settings,
                                                    const KeyRing& keys, SynthesisQueue& queue);
  ~TtsService();
  TtsService(const TtsService&) = delete;
  TtsService& operator=(const TtsService&) = delete;

  int port() const { return port_; }

  // Serves until stop(); returns once every request already received has been answered.
  void run();

  // Stops accepting connections; callable from any thread, before or during run().
  void stop();

  bool running() const;

  // Only create() can make one.
  struct Token {
    explicit Token() = default;
  };
  TtsService(Token, const ServiceSettings& settings, const KeyRing& keys, SynthesisQueue& queue,
             std::unique_ptr<httplib::Server> server);

 private:
  void install_routes();

  ServiceSettings settings_;
  const KeyRing& keys_;
  SynthesisQueue& queue_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
  std::atomic<bool> run_called_{false};
  std::atomic<bool> stop_requested_{false};
  std::atomic<bool> finished_{false};
};

}  // namespace virn::server
