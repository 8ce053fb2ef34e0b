#include "faults/scripted_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

namespace virn::faults {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How often a blocked socket operation looks at the stop flag.
constexpr int kSliceMs = 50;
// A request that has not arrived by then is not coming.
constexpr auto kReadLimit = 10s;
constexpr std::size_t kMaxRequestBytes = std::size_t{4} * 1024 * 1024;

class Socket {
 public:
  explicit Socket(int fd = -1) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Socket& operator=(Socket&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  void close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_;
};

void make_non_blocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
}

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The Content-Length of a request head, 0 when it names none.
std::size_t content_length(std::string_view head) {
  const std::string lowered = lower(head);
  const auto at = lowered.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return static_cast<std::size_t>(
      std::strtoull(lowered.c_str() + at + std::strlen("\r\ncontent-length:"), nullptr, 10));
}

}  // namespace

Step read_request() {
  return {Step::Kind::read_request, {}, {}, 0};
}
Step send(std::string bytes) {
  return {Step::Kind::send, std::move(bytes), {}, 0};
}
Step sleep_for(std::chrono::milliseconds pause) {
  return {Step::Kind::sleep, {}, pause, 0};
}
Step trickle(std::string bytes, std::chrono::milliseconds interval) {
  return {Step::Kind::trickle, std::move(bytes), interval, 0};
}
Step stream(std::uint64_t count, std::string pattern) {
  return {Step::Kind::stream, std::move(pattern), {}, count};
}
Step close_connection() {
  return {Step::Kind::close, {}, {}, 0};
}
Step reset_connection() {
  return {Step::Kind::reset, {}, {}, 0};
}
Step hold() {
  return {Step::Kind::hold, {}, {}, 0};
}

std::string http_reply(int status, std::string_view reason, const std::vector<std::string>& headers,
                       std::string_view body) {
  std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  bool has_length = false;
  for (const std::string& line : headers) {
    const std::string name = lower(line.substr(0, line.find(':')));
    has_length = has_length || name == "content-length" || name == "transfer-encoding";
    reply += line + "\r\n";
  }
  if (!has_length) reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  reply += "\r\n";
  reply += body;
  return reply;
}

struct ScriptedServer::Impl {
  std::function<Script(int)> scripts;
  Socket listener;
  int port = 0;
  std::atomic<bool> stopping{false};
  std::mutex mutex;
  std::condition_variable stopped;
  std::vector<std::string> requests;
  int connections = 0;
  std::vector<std::thread> workers;
  std::thread acceptor;

  // Sleeps, cut short when the server stops; false then.
  bool pause(std::chrono::milliseconds length) {
    std::unique_lock lock(mutex);
    return !stopped.wait_for(lock, length, [this] { return stopping.load(); });
  }

  // Waits until the socket is ready for `events`; false when the server stops, the peer
  // went away or `deadline` passed.
  bool wait_for(int fd, short events, Clock::time_point deadline) {
    while (!stopping.load()) {
      if (Clock::now() >= deadline) return false;
      pollfd entry{fd, events, 0};
      const int ready = ::poll(&entry, 1, kSliceMs);
      if (ready < 0 && errno != EINTR) return false;
      if (ready > 0) return (entry.revents & (POLLERR | POLLNVAL)) == 0;
    }
    return false;
  }

  bool send_all(int fd, std::string_view bytes) {
    const auto deadline = Clock::now() + kReadLimit;
    while (!bytes.empty()) {
      if (!wait_for(fd, POLLOUT, deadline)) return false;
      const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  bool read_one_request(int fd) {
    const auto deadline = Clock::now() + kReadLimit;
    std::string received;
    std::size_t wanted = 0;
    char buffer[16384];
    while (true) {
      const auto head_end = received.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        if (wanted == 0) wanted = head_end + 4 + content_length(received.substr(0, head_end + 4));
        if (received.size() >= wanted) break;
      }
      if (received.size() > kMaxRequestBytes || !wait_for(fd, POLLIN, deadline)) return false;
      const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
      if (count == 0) return false;
      if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
        return false;
      }
      received.append(buffer, static_cast<std::size_t>(count));
    }
    std::lock_guard lock(mutex);
    requests.push_back(std::move(received));
    return true;
  }

  // The pattern over and over, never held whole in memory.
  bool stream_bytes(int fd, std::uint64_t count, const std::string& pattern) {
    if (pattern.empty()) return true;
    std::string piece;
    while (piece.size() < 64 * 1024)
      piece += pattern;
    while (count > 0) {
      const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(count, piece.size()));
      if (!send_all(fd, std::string_view(piece).substr(0, size))) return false;
      count -= size;
    }
    return true;
  }

  // Silent until the peer closes or the server stops.
  void hold_until_gone(int fd) {
    char buffer[4096];
    while (!stopping.load()) {
      pollfd entry{fd, POLLIN, 0};
      const int ready = ::poll(&entry, 1, kSliceMs);
      if (ready > 0) {
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) return;
      }
    }
  }

  void play(Socket connection, const Script& script) {
    const int fd = connection.get();
    for (const Step& step : script) {
      if (stopping.load()) return;
      switch (step.kind) {
        case Step::Kind::read_request:
          if (!read_one_request(fd)) return;
          break;
        case Step::Kind::send:
          if (!send_all(fd, step.bytes)) return;
          break;
        case Step::Kind::sleep:
          if (!pause(step.pause)) return;
          break;
        case Step::Kind::trickle:
          for (char byte : step.bytes) {
            if (!send_all(fd, std::string_view(&byte, 1)) || !pause(step.pause)) return;
          }
          break;
        case Step::Kind::stream:
          if (!stream_bytes(fd, step.count, step.bytes)) return;
          break;
        case Step::Kind::close:
          ::shutdown(fd, SHUT_WR);
          // Let the peer read what was sent before the socket goes.
          hold_until_gone(fd);
          return;
        case Step::Kind::reset: {
          const linger abortive{1, 0};
          ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
          connection.close();
          return;
        }
        case Step::Kind::hold:
          hold_until_gone(fd);
          return;
      }
    }
  }

  void accept_loop() {
    while (!stopping.load()) {
      pollfd entry{listener.get(), POLLIN, 0};
      if (::poll(&entry, 1, kSliceMs) <= 0) continue;
      Socket connection(::accept(listener.get(), nullptr, nullptr));
      if (connection.get() < 0) continue;
      int index = 0;
      {
        std::lock_guard lock(mutex);
        index = connections++;
      }
      if (index >= kMaxConnections) continue;  // closed at once
      make_non_blocking(connection.get());
      Script script = scripts(index);
      std::lock_guard lock(mutex);
      workers.emplace_back([this, socket = std::move(connection), script]() mutable {
        play(std::move(socket), script);
      });
    }
  }
};

ScriptedServer::ScriptedServer(Script script) : ScriptedServer([script](int) { return script; }) {}

ScriptedServer::ScriptedServer(std::function<Script(int connection)> scripts)
    : impl_(std::make_unique<Impl>()) {
  impl_->scripts = std::move(scripts);
  impl_->listener = Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (impl_->listener.get() < 0) throw std::runtime_error("scripted server: no socket");
  const int yes = 1;
  ::setsockopt(impl_->listener.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(impl_->listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(impl_->listener.get(), 16) != 0) {
    throw std::runtime_error(std::string("scripted server: cannot listen on 127.0.0.1: ") +
                             std::strerror(errno));
  }
  socklen_t length = sizeof address;
  ::getsockname(impl_->listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
  impl_->port = ntohs(address.sin_port);
  impl_->acceptor = std::thread([impl = impl_.get()] { impl->accept_loop(); });
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->stopped.notify_all();
  impl_->acceptor.join();
  // No new worker starts once the acceptor has ended.
  for (std::thread& worker : impl_->workers)
    worker.join();
}

int ScriptedServer::port() const {
  return impl_->port;
}

std::string ScriptedServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + std::string(path);
}

std::string ScriptedServer::url_as_localhost(std::string_view path) const {
  return "http://localhost:" + std::to_string(impl_->port) + std::string(path);
}

std::vector<std::string> ScriptedServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

int ScriptedServer::connections() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->connections;
}

}  // namespace virn::faults
