#include "server/tts_service.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <optional>
#include <thread>

#include "server/access_log.h"
#include "server/tts_reply.h"

namespace virn::server {
namespace {

constexpr char kTtsPath[] = "/v1/tts";

// When the current request's headers had been read, for its log line. Each connection is
// served on one thread from headers to log line, so a thread-local suffices.
thread_local std::optional<std::chrono::steady_clock::time_point> request_started;

void send(httplib::Response& response, const HttpReply& reply) {
  response.status = reply.status;
  for (const auto& [name, value] : reply.headers)
    response.set_header(name, value);
  response.set_content(reply.body, reply.content_type);
}

std::optional<std::string> header(const httplib::Request& request, const char* name) {
  if (!request.has_header(name)) return std::nullopt;
  return request.get_header_value(name);
}

// Texts for the statuses the HTTP layer produces on its own.
std::string status_message(int status, std::size_t max_body_bytes) {
  switch (status) {
    case 400:
      return "请求格式有误";
    case 404:
      return "找不到该路径，本服务只有 POST /v1/tts";
    case 405:
      return "/v1/tts 只接受 POST";
    case 413:
      return "请求体超过 " + std::to_string(max_body_bytes) + " 字节";
    case 414:
      return "请求路径过长";
    default:
      return "请求无法处理（HTTP " + std::to_string(status) + "）";
  }
}

}  // namespace

Result<std::unique_ptr<TtsService>> TtsService::create(const ServiceSettings& settings,
                                                       const KeyRing& keys, SynthesisQueue& queue) {
  std::unique_ptr<httplib::Server> server;
  if (settings.cert_file.empty()) {
    server = std::make_unique<httplib::Server>();
  } else {
    auto tls =
        std::make_unique<httplib::SSLServer>(settings.cert_file.c_str(), settings.key_file.c_str());
    if (!tls->is_valid()) {
      return Error{"无法载入 TLS 证书 \"" + settings.cert_file + "\" 或私钥 \"" +
                   settings.key_file + "\"（须为 PEM 格式，且私钥与证书配对）"};
    }
    SSL_CTX_set_min_proto_version(tls->ssl_context(), TLS1_2_VERSION);
    server = std::move(tls);
  }

  auto service = std::make_unique<TtsService>(Token{}, settings, keys, queue, std::move(server));
  service->install_routes();

  const auto& host = settings.listen.host;
  if (settings.listen.port == 0) {
    service->port_ = service->server_->bind_to_any_port(host);
    if (service->port_ <= 0) {
      return Error{"无法在 " + host + " 上监听任何端口"};
    }
  } else {
    if (!service->server_->bind_to_port(host, settings.listen.port)) {
      return Error{"无法监听 " + address_text(host, settings.listen.port) +
                   "：端口已被占用、地址不属于本机，或没有权限"};
    }
    service->port_ = settings.listen.port;
  }
  return service;
}

TtsService::TtsService(Token, const ServiceSettings& settings, const KeyRing& keys,
                       SynthesisQueue& queue, std::unique_ptr<httplib::Server> server)
    : settings_(settings), keys_(keys), queue_(queue), server_(std::move(server)) {}

TtsService::~TtsService() {
  stop();
}

void TtsService::install_routes() {
  auto& server = *server_;
  const std::size_t threads = settings_.threads;
  // The server takes ownership of the pool it is handed.
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server.set_payload_max_length(settings_.max_body_bytes);
  server.set_read_timeout(settings_.read_timeout);
  server.set_write_timeout(settings_.write_timeout);
  server.set_keep_alive_timeout(settings_.keep_alive.count());
  server.set_keep_alive_max_count(100);

  server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    request_started = std::chrono::steady_clock::now();
    return httplib::Server::HandlerResponse::Unhandled;
  });

  server.Post(kTtsPath, [this](const httplib::Request& request, httplib::Response& response,
                               const httplib::ContentReader& read_body) {
    // Read here rather than by the library, which does not cap chunked bodies.
    std::string body;
    bool too_big = false;
    const bool complete = read_body([&](const char* data, std::size_t length) {
      too_big = body.size() + length > settings_.max_body_bytes;
      if (!too_big) body.append(data, length);
      return !too_big;
    });
    // The library marks a declared length over the cap as 413 itself.
    if (too_big || (!complete && response.status == 413)) {
      send(response, error_reply(413, status_message(413, settings_.max_body_bytes)));
      response.set_header("Connection", "close");
      return;
    }
    if (!complete) {
      send(response, error_reply(400, "请求体不完整或格式有误"));
      response.set_header("Connection", "close");
      return;
    }
    const TtsInput input{header(request, "Authorization"), header(request, "Content-Type"),
                         std::move(body)};
    auto admitted = admit_tts_request(input, keys_);
    if (auto* refusal = std::get_if<HttpReply>(&admitted)) {
      send(response, *refusal);
      return;
    }
    auto spoken =
        queue_.speak(std::get<speech::SpeechRequest>(admitted), settings_.synthesis_limit);
    const auto engine_us = spoken.engine_time.count();
    const bool engine_ran = spoken.outcome == SynthesisQueue::Outcome::spoken ||
                            spoken.outcome == SynthesisQueue::Outcome::failed;
    send(response, speech_reply(std::move(spoken)));
    if (engine_ran) {
      // Milliseconds with three decimals, as Server-Timing has them.
      const std::string fraction = std::to_string(1000 + engine_us % 1000).substr(1);
      response.set_header("Server-Timing",
                          "engine;dur=" + std::to_string(engine_us / 1000) + "." + fraction);
    }
  });

  const auto wrong_method = [](const httplib::Request&, httplib::Response& response) {
    response.status = 405;
    response.set_header("Allow", "POST");
  };
  server.Get(kTtsPath, wrong_method);
  server.Put(kTtsPath, wrong_method);
  server.Patch(kTtsPath, wrong_method);
  server.Delete(kTtsPath, wrong_method);
  server.Options(kTtsPath, wrong_method);

  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [this](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        send(response, error_reply(response.status,
                                   status_message(response.status, settings_.max_body_bytes)));
        // What the library refuses on its own is mostly broken framing, after which the
        // rest of the stream cannot be trusted: the client is asked to close. (The library
        // itself keeps such a socket only until its keep-alive time-out.)
        if (response.status != 404 && response.status != 405) {
          response.set_header("Connection", "close");
        }
        return httplib::Server::HandlerResponse::Handled;
      }));

  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, const std::exception_ptr&) {
        send(response, error_reply(500, "服务器内部错误"));
      });

  server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    if (!settings_.log) return;
    const auto now = std::chrono::steady_clock::now();
    const auto elapsed =
        request_started ? now - *request_started : std::chrono::steady_clock::duration::zero();
    request_started.reset();
    AccessLogEntry entry{std::chrono::system_clock::now(),
                         address_text(request.remote_addr, request.remote_port),
                         request.method,
                         request.path,
                         response.status,
                         response.body.size(),
                         std::chrono::duration_cast<std::chrono::milliseconds>(elapsed)};
    std::string line = access_log_line(entry);
    if (response.has_header("Server-Timing")) {
      const auto timing = response.get_header_value("Server-Timing");
      line += " engine=" + timing.substr(timing.find('=') + 1) + "ms";
    }
    settings_.log(line);
  });
}

void TtsService::run() {
  run_called_ = true;
  if (!stop_requested_) server_->listen_after_bind();
  finished_ = true;
}

void TtsService::stop() {
  stop_requested_ = true;
  // run() may be just entering the listen loop, where a stop would go unnoticed; give it a
  // moment to get there.
  for (int i = 0; i < 200 && run_called_ && !finished_ && !server_->is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (server_->is_running()) server_->stop();
}

bool TtsService::running() const {
  return server_->is_running();
}

}  // namespace virn::server
