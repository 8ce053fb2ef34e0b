#pragma once

// A misbehaving HTTP server on 127.0.0.1 for fault tests. It works on raw sockets so that it
// can break the protocol at the byte level: every accepted connection plays a script of
// steps (read the request, send bytes, sleep, trickle, stream a long body, close, reset).
//
//   virn::faults::ScriptedServer server({read_request(), send("HTTP/1.1 500 …"), close()});
//   ... send a request to server.url("/v1/tts") ...
//   server.requests();  // what arrived, one text per read_request step
//
// Every wait is bounded: a sleeping or holding connection ends when the server is destroyed,
// and the server accepts at most kMaxConnections connections.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace virn::faults {

struct Step {
  enum class Kind {
    read_request,  // the request head and the body its Content-Length announces
    send,          // `bytes`, all at once
    sleep,         // `pause`, silent
    trickle,       // `bytes`, one byte per `pause`
    stream,        // `count` bytes of `bytes` repeated, as fast as the peer takes them
    close,         // an orderly end (FIN)
    reset,         // an abortive end (RST, SO_LINGER 0)
    hold,          // silent until the peer goes or the server stops
  };
  Kind kind = Kind::hold;
  std::string bytes;
  std::chrono::milliseconds pause{0};
  std::uint64_t count = 0;
};

Step read_request();
Step send(std::string bytes);
Step sleep_for(std::chrono::milliseconds pause);
Step trickle(std::string bytes, std::chrono::milliseconds interval);
Step stream(std::uint64_t count, std::string pattern = "x");
Step close_connection();
Step reset_connection();
Step hold();

using Script = std::vector<Step>;

// A status line, header lines and a body, as one text. `headers` are whole lines without
// CR LF; a Content-Length is added unless one of them already names the length.
std::string http_reply(int status, std::string_view reason, const std::vector<std::string>& headers,
                       std::string_view body);

class ScriptedServer {
 public:
  static constexpr int kMaxConnections = 64;

  // Every connection plays the same script.
  explicit ScriptedServer(Script script);
  // The script of the n-th connection (0 first).
  explicit ScriptedServer(std::function<Script(int connection)> scripts);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const;
  // "http://127.0.0.1:PORT" + path.
  std::string url(std::string_view path = "/") const;
  // The same server under the name "localhost": another host for the client.
  std::string url_as_localhost(std::string_view path = "/") const;

  // Every request read so far (head and body as they arrived), in order.
  std::vector<std::string> requests() const;
  int connections() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace virn::faults
