#include "support/test_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace virn::test {
namespace {

constexpr int kIoTimeoutSeconds = 5;
constexpr int kPollStepMs = 100;
constexpr int kMaxRequestsPerConnection = 100;
constexpr auto kMaxStall = std::chrono::seconds(30);
constexpr std::size_t kMaxRecordedBody = std::size_t{256} * 1024 * 1024;
constexpr std::size_t kStreamPiece = std::size_t{1024} * 1024;

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view strip_blanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The request head as it arrived: request line and header lines up to the empty line.
RecordedRequest parse_head(std::string_view bytes) {
  RecordedRequest request;
  const auto end = bytes.find("\r\n\r\n");
  request.raw_head =
      std::string(bytes.substr(0, end == std::string_view::npos ? bytes.size() : end + 4));
  std::string_view rest = request.raw_head;
  bool first = true;
  while (!rest.empty()) {
    const auto line_end = rest.find("\r\n");
    const std::string_view line = rest.substr(0, line_end);
    rest = line_end == std::string_view::npos ? std::string_view() : rest.substr(line_end + 2);
    if (line.empty()) break;
    if (first) {
      first = false;
      const auto space1 = line.find(' ');
      const auto space2 = line.rfind(' ');
      request.method = std::string(line.substr(0, space1));
      if (space1 != std::string_view::npos && space2 > space1) {
        request.target = std::string(line.substr(space1 + 1, space2 - space1 - 1));
        request.version = std::string(line.substr(space2 + 1));
      }
      request.path = request.target.substr(0, request.target.find('?'));
      continue;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
      request.headers.emplace_back(std::string(line), std::string());
    } else {
      request.headers.emplace_back(std::string(line.substr(0, colon)),
                                   std::string(strip_blanks(line.substr(colon + 1))));
    }
  }
  return request;
}

// One accepted connection, plain or TLS, as httplib's Stream. It keeps a copy of every byte
// it hands to httplib since the last start_recording(), so the request head can be
// recorded exactly as it arrived.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(int sock, SSL* ssl, const std::atomic<bool>& stopping)
      : sock_(sock), ssl_(ssl), stopping_(stopping) {}

  bool is_readable() const override { return buffered() || wait(POLLIN, kIoTimeoutSeconds); }
  bool is_writable() const override { return wait(POLLOUT, kIoTimeoutSeconds); }

  ssize_t read(char* ptr, size_t size) override {
    if (!buffered() && !fill()) return eof_ ? 0 : -1;
    const std::size_t count = std::min(size, buffer_.size() - position_);
    std::copy_n(buffer_.data() + position_, count, ptr);
    recorded_.append(buffer_.data() + position_, count);
    position_ += count;
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (ssl_ != nullptr) {
      const int written = SSL_write(ssl_, ptr, static_cast<int>(std::min<size_t>(size, 1 << 20)));
      return written > 0 ? written : -1;
    }
    return ::send(sock_, ptr, size, MSG_NOSIGNAL);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    address_of(getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    address_of(getsockname, ip, port);
  }
  socket_t socket() const override { return sock_; }

  // Waits for the next request on a kept-alive connection; false when none comes.
  bool wait_for_request() const {
    for (int waited = 0; waited < kIoTimeoutSeconds * 1000; waited += kPollStepMs) {
      if (stopping_) return false;
      if (buffered() || (ssl_ != nullptr && SSL_pending(ssl_) > 0)) return true;
      pollfd entry{sock_, POLLIN, 0};
      const int ready = ::poll(&entry, 1, kPollStepMs);
      if (ready < 0) return false;
      if (ready > 0) return true;
    }
    return false;
  }

  bool read_exact(std::size_t count, std::string& out) {
    out.reserve(count);
    char piece[16384];
    while (out.size() < count) {
      const ssize_t got = read(piece, std::min(sizeof piece, count - out.size()));
      if (got <= 0) return false;
      out.append(piece, static_cast<std::size_t>(got));
    }
    return true;
  }

  void start_recording() {
    recorded_.clear();
    handled_ = false;
  }
  const std::string& recorded() const { return recorded_; }
  void mark_handled() { handled_ = true; }
  bool handled() const { return handled_; }
  // A request this server cannot frame (a chunked request body) ends the connection.
  void end_after_this_request() { last_ = true; }
  bool last() const { return last_; }

 private:
  bool buffered() const { return position_ < buffer_.size(); }

  bool wait(short events, int seconds) const {
    for (int waited = 0; waited < seconds * 1000; waited += kPollStepMs) {
      if (stopping_) return false;
      if (events == POLLIN && ssl_ != nullptr && SSL_pending(ssl_) > 0) return true;
      pollfd entry{sock_, events, 0};
      const int ready = ::poll(&entry, 1, kPollStepMs);
      if (ready != 0) return ready > 0;
    }
    return false;
  }

  bool fill() {
    if (!wait(POLLIN, kIoTimeoutSeconds)) return false;
    buffer_.resize(16384);
    ssize_t got = 0;
    if (ssl_ != nullptr) {
      got = SSL_read(ssl_, buffer_.data(), static_cast<int>(buffer_.size()));
    } else {
      got = ::recv(sock_, buffer_.data(), buffer_.size(), 0);
    }
    if (got <= 0) {
      eof_ = got == 0;
      buffer_.clear();
      position_ = 0;
      return false;
    }
    buffer_.resize(static_cast<std::size_t>(got));
    position_ = 0;
    return true;
  }

  template <typename Lookup>
  void address_of(Lookup lookup, std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ip.clear();
    port = 0;
    if (lookup(sock_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
      const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
      inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
      port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
      const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
      inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
      port = ntohs(v6->sin6_port);
    }
    ip = text;
  }

  int sock_;
  SSL* ssl_;
  const std::atomic<bool>& stopping_;
  std::string buffer_;
  std::size_t position_ = 0;
  bool eof_ = false;
  std::string recorded_;
  bool handled_ = false;
  bool last_ = false;
};

// The stream of the request being handled on this worker thread.
thread_local ConnectionStream* current_stream = nullptr;

struct SslContextDeleter {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

}  // namespace

struct TestServer::Impl {
  // httplib parses requests and writes responses; the connections are ours, so that the
  // raw request can be recorded and TLS can run on the same path.
  class Server : public httplib::Server {
   public:
    Server(Impl& owner, SSL_CTX* tls) : owner_(owner), tls_(tls) {}

   private:
    bool process_and_close_socket(socket_t sock) override {
      timeval timeout{kIoTimeoutSeconds, 0};
      setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
      SSL* ssl = nullptr;
      bool ok = true;
      if (tls_ != nullptr) {
        ssl = SSL_new(tls_);
        ok = ssl != nullptr && SSL_set_fd(ssl, sock) == 1 && SSL_accept(ssl) == 1;
      }
      if (ok) serve(sock, ssl);
      if (ssl != nullptr) {
        if (ok) SSL_shutdown(ssl);
        SSL_free(ssl);
      }
      ERR_clear_error();
      ::shutdown(sock, SHUT_RDWR);
      ::close(sock);
      return ok;
    }

    void serve(int sock, SSL* ssl) {
      ConnectionStream stream(sock, ssl, owner_.stopping);
      for (int count = 1; count <= kMaxRequestsPerConnection; ++count) {
        if (!stream.wait_for_request()) return;
        stream.start_recording();
        current_stream = &stream;
        bool closed = false;
        const bool ok =
            process_request(stream, count == kMaxRequestsPerConnection, closed, nullptr);
        current_stream = nullptr;
        // A request httplib refused before our handler saw it is still worth recording.
        if (!stream.handled() && !stream.recorded().empty()) {
          owner_.record(parse_head(stream.recorded()));
        }
        if (!ok || closed || stream.last()) return;
      }
    }

    Impl& owner_;
    SSL_CTX* tls_;
  };

  std::unique_ptr<SSL_CTX, SslContextDeleter> tls;
  std::unique_ptr<Server> server;
  std::thread thread;
  int port = 0;
  std::string scheme;

  std::atomic<bool> stopping{false};
  std::mutex stop_mutex;
  std::condition_variable stop_signal;

  mutable std::mutex mutex;
  std::vector<RecordedRequest> requests;
  std::map<std::string, Script, std::less<>> scripts;

  // Waits for the duration; true when the server stops first.
  bool wait_or_stop(std::chrono::milliseconds duration) {
    std::unique_lock lock(stop_mutex);
    return stop_signal.wait_for(lock, duration, [this] { return stopping.load(); });
  }

  void record(RecordedRequest request) {
    std::lock_guard lock(mutex);
    requests.push_back(std::move(request));
  }

  Reply reply_for(const RecordedRequest& request) {
    Script script;
    {
      std::lock_guard lock(mutex);
      const auto found = scripts.find(request.path);
      if (found != scripts.end()) script = found->second;
    }
    return script ? script(request) : Reply{};
  }

  httplib::Server::HandlerResponse handle(httplib::Response& response) {
    ConnectionStream* stream = current_stream;
    if (stream == nullptr) return httplib::Server::HandlerResponse::Unhandled;
    stream->mark_handled();
    RecordedRequest request = parse_head(stream->recorded());
    if (const auto length = request.header("Content-Length")) {
      std::size_t count = 0;
      try {
        count = std::min<std::size_t>(std::stoull(*length), kMaxRecordedBody);
      } catch (const std::exception&) {
        stream->end_after_this_request();
      }
      if (!stream->read_exact(count, request.body)) stream->end_after_this_request();
    } else if (request.header("Transfer-Encoding")) {
      stream->end_after_this_request();
    }
    const Reply reply = reply_for(request);
    record(std::move(request));
    apply(reply, response);
    return httplib::Server::HandlerResponse::Handled;
  }

  void apply(const Reply& reply, httplib::Response& response) {
    if (reply.delay.count() > 0 && wait_or_stop(reply.delay)) {
      response.status = 503;
      return;
    }
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers)
      response.headers.emplace(name, value);
    if (reply.stall_body) {
      response.set_content_provider(std::max<std::size_t>(reply.body.size(), 1), reply.content_type,
                                    [this](size_t, size_t, httplib::DataSink&) {
                                      wait_or_stop(kMaxStall);
                                      return false;
                                    });
    } else if (reply.stream_bytes > 0) {
      const auto total = static_cast<std::size_t>(reply.stream_bytes);
      auto piece = std::make_shared<std::string>(kStreamPiece, 'x');
      if (reply.declare_length) {
        response.set_content_provider(
            total, reply.content_type,
            [this, piece](size_t, size_t length, httplib::DataSink& sink) {
              return !stopping && sink.write(piece->data(), std::min(length, piece->size()));
            });
      } else {
        response.set_chunked_content_provider(
            reply.content_type, [this, piece, total](size_t offset, httplib::DataSink& sink) {
              if (offset >= total) {
                sink.done();
                return true;
              }
              return !stopping &&
                     sink.write(piece->data(), std::min(total - offset, piece->size()));
            });
      }
    } else if (reply.content_type.empty()) {
      response.body = reply.body;
    } else {
      response.set_content(reply.body, reply.content_type);
    }
  }

  void start(const TlsIdentity* identity) {
    // A client that goes away mid-reply must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    if (identity != nullptr) {
      tls.reset(SSL_CTX_new(TLS_server_method()));
      if (!tls ||
          SSL_CTX_use_certificate_chain_file(tls.get(), identity->certificate_file.c_str()) != 1 ||
          SSL_CTX_use_PrivateKey_file(tls.get(), identity->key_file.c_str(), SSL_FILETYPE_PEM) !=
              1) {
        throw std::runtime_error("test server: cannot load the certificate " +
                                 identity->certificate_file + " and key " + identity->key_file);
      }
    }
    scheme = identity != nullptr ? "https" : "http";
    server = std::make_unique<Server>(*this, tls.get());
    server->set_pre_routing_handler(
        [this](const httplib::Request&, httplib::Response& response) { return handle(response); });
    port = server->bind_to_any_port("127.0.0.1");
    if (port <= 0) throw std::runtime_error("test server: cannot listen on 127.0.0.1");
    thread = std::thread([this] { server->listen_after_bind(); });
  }

  void stop() {
    stopping = true;
    { std::lock_guard lock(stop_mutex); }
    stop_signal.notify_all();
    server->stop();
    if (thread.joinable()) thread.join();
  }
};

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
  for (const auto& [header_name, value] : headers) {
    if (same_name(header_name, name)) return value;
  }
  return std::nullopt;
}

int RecordedRequest::header_count(std::string_view name) const {
  return static_cast<int>(std::count_if(
      headers.begin(), headers.end(), [name](const auto& h) { return same_name(h.first, name); }));
}

Reply Reply::redirect(std::string location, int status) {
  Reply reply;
  reply.status = status;
  reply.headers.emplace_back("Location", std::move(location));
  reply.body = "moved";
  return reply;
}

TestServer::TestServer() : impl_(std::make_unique<Impl>()) {
  impl_->start(nullptr);
}

TestServer::TestServer(const TlsIdentity& tls) : impl_(std::make_unique<Impl>()) {
  impl_->start(&tls);
}

TestServer::~TestServer() {
  impl_->stop();
}

void TestServer::on(std::string path, Reply reply) {
  on(std::move(path), [reply](const RecordedRequest&) { return reply; });
}

void TestServer::on(std::string path, Script script) {
  std::lock_guard lock(impl_->mutex);
  impl_->scripts[std::move(path)] = std::move(script);
}

int TestServer::port() const {
  return impl_->port;
}

std::string TestServer::url(std::string_view path) const {
  return impl_->scheme + "://127.0.0.1:" + std::to_string(impl_->port) + std::string(path);
}

std::string TestServer::url_as_localhost(std::string_view path) const {
  return impl_->scheme + "://localhost:" + std::to_string(impl_->port) + std::string(path);
}

std::vector<RecordedRequest> TestServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

std::optional<RecordedRequest> TestServer::last_request() const {
  std::lock_guard lock(impl_->mutex);
  if (impl_->requests.empty()) return std::nullopt;
  return impl_->requests.back();
}

void TestServer::clear_requests() {
  std::lock_guard lock(impl_->mutex);
  impl_->requests.clear();
}

}  // namespace virn::test
