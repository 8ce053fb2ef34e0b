#include "server/tts_service.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include "fake_backend.h"
#include "speech/form_body.h"
#include "util/base64.h"

namespace virn::server {
namespace {

using namespace std::chrono_literals;
using testing::FakeBackend;
using testing::fields_of;

constexpr char kKey[] = "abc123def456ghi7";

// The service on 127.0.0.1 with a fake engine, served from a thread of its own.
class Running {
 public:
  explicit Running(std::size_t queue_size = 4, ServiceSettings settings = {})
      : keys_({kKey, "second-key"}), queue_(backend, queue_size) {
    settings.listen = {"127.0.0.1", 0};
    settings.log = [this](std::string_view line) {
      std::lock_guard lock(log_mutex_);
      log_.emplace_back(line);
    };
    auto created = TtsService::create(settings, keys_, queue_);
    if (!created) throw std::runtime_error(created.error().message);
    service_ = std::move(*created);
    server_thread_ = std::thread([this] { service_->run(); });
    for (int i = 0; i < 200 && !service_->running(); ++i)
      std::this_thread::sleep_for(5ms);
  }
  ~Running() {
    backend.release();
    service_->stop();
    server_thread_.join();
  }

  int port() const { return service_->port(); }
  TtsService& service() { return *service_; }
  std::thread& server_thread() { return server_thread_; }

  httplib::Client client() const {
    httplib::Client client("127.0.0.1", port());
    client.set_connection_timeout(5s);
    client.set_read_timeout(10s);
    client.set_write_timeout(5s);
    return client;
  }

  // The log once it holds `count` lines, or as it is after a bounded wait: a line is
  // written after its response has been sent.
  std::vector<std::string> log(std::size_t count) {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard lock(log_mutex_);
        if (log_.size() >= count) return log_;
      }
      std::this_thread::sleep_for(10ms);
    }
    std::lock_guard lock(log_mutex_);
    return log_;
  }

  FakeBackend backend;

 private:
  KeyRing keys_;
  SynthesisQueue queue_;
  std::unique_ptr<TtsService> service_;
  std::thread server_thread_;
  std::mutex log_mutex_;
  std::vector<std::string> log_;
};

httplib::Headers auth(std::string_view key = kKey) {
  return {{"Authorization", "Basic " + speech::basic_credential(key)}};
}

httplib::Result post(httplib::Client& client, const std::string& body,
                     const httplib::Headers& headers = auth(),
                     const char* type = "application/x-www-form-urlencoded") {
  return client.Post("/v1/tts", headers, body, type);
}

speech::SpeechRequest sample_request() {
  speech::SpeechRequest request;
  request.voice = "hikari";
  request.mood = "sadness";
  request.strength = 3;
  request.volume = 80;
  request.speed = 150;
  request.pitch = 90;
  request.text = "今日は&いい天気 100%\r\nですね";
  return request;
}

TEST(TtsService, SpeaksAGoodRequest) {
  Running server;
  auto client = server.client();
  const auto request = sample_request();
  const auto reply = post(client, speech::form_body(request));
  ASSERT_TRUE(reply) << httplib::to_string(reply.error());
  EXPECT_EQ(reply->status, 200) << reply->body;
  EXPECT_EQ(reply->get_header_value("Content-Type"), "audio/wav");
  EXPECT_EQ(to_bytes(reply->body), FakeBackend::wav_for(request));
  const auto seen = server.backend.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(fields_of(seen[0]), fields_of(request));
}

TEST(TtsService, RefusesBadRequestsWithTheirStatus) {
  Running server;
  const std::string good = speech::form_body(sample_request());
  const auto form_with = [](auto change) {
    auto request = sample_request();
    change(request);
    return speech::form_body(request);
  };
  const struct Case {
    std::string name;
    std::string method;
    std::string path;
    httplib::Headers headers;
    std::string body;
    std::string type;
    int status;
    std::string body_part;
  } cases[] = {
      {"no key",
       "POST",
       "/v1/tts",
       {},
       good,
       "application/x-www-form-urlencoded",
       401,
       "缺少访问密钥"},
      {"unknown key", "POST", "/v1/tts", auth("abc123def456ghi8"), good,
       "application/x-www-form-urlencoded", 401, "访问密钥无效"},
      {"key with a password",
       "POST",
       "/v1/tts",
       {{"Authorization", "Basic " + base64_encode(to_bytes(std::string(kKey) + ":pw"))}},
       good,
       "application/x-www-form-urlencoded",
       401,
       "访问密钥无效"},
      {"other scheme",
       "POST",
       "/v1/tts",
       {{"Authorization", std::string("Bearer ") + kKey}},
       good,
       "application/x-www-form-urlencoded",
       401,
       "访问密钥无效"},
      {"json", "POST", "/v1/tts", auth(), "{}", "application/json", 415, "x-www-form-urlencoded"},
      {"missing field", "POST", "/v1/tts", auth(), "&speaker=haruka&text=x",
       "application/x-www-form-urlencoded", 400, "缺少字段 emotion"},
      {"bad escape", "POST", "/v1/tts", auth(), good + "%", "application/x-www-form-urlencoded",
       400, "百分号转义"},
      {"unknown voice", "POST", "/v1/tts", auth(), form_with([](auto& r) { r.voice = "alice"; }),
       "application/x-www-form-urlencoded", 400, "speaker 的值 \"alice\""},
      {"unknown mood", "POST", "/v1/tts", auth(), form_with([](auto& r) { r.mood = "joy"; }),
       "application/x-www-form-urlencoded", 400, "emotion"},
      {"volume 0", "POST", "/v1/tts", auth(), form_with([](auto& r) { r.volume = 0; }),
       "application/x-www-form-urlencoded", 400, "volume 的值 0 超出范围 1–100"},
      {"speed 401", "POST", "/v1/tts", auth(), form_with([](auto& r) { r.speed = 401; }),
       "application/x-www-form-urlencoded", 400, "speed"},
      {"pitch 49", "POST", "/v1/tts", auth(), form_with([](auto& r) { r.pitch = 49; }),
       "application/x-www-form-urlencoded", 400, "pitch"},
      {"emotionLevel 5", "POST", "/v1/tts", auth(), form_with([](auto& r) { r.strength = 5; }),
       "application/x-www-form-urlencoded", 400, "emotionLevel"},
      {"empty text", "POST", "/v1/tts", auth(), form_with([](auto& r) { r.text.clear(); }),
       "application/x-www-form-urlencoded", 400, "text 为空"},
      {"not UTF-8", "POST", "/v1/tts", auth(), form_with([](auto& r) { r.text = "a\xFF"; }),
       "application/x-www-form-urlencoded", 400, "UTF-8"},
      {"201 characters", "POST", "/v1/tts", auth(),
       form_with([](auto& r) { r.text = std::string(201, 'a'); }),
       "application/x-www-form-urlencoded", 413, "最多 200"},
      {"body over the cap", "POST", "/v1/tts", auth(), good + std::string(9000, 'x'),
       "application/x-www-form-urlencoded", 413, "字节"},
      {"GET", "GET", "/v1/tts", auth(), "", "", 405, "只接受 POST"},
      {"other path", "POST", "/v1/other", auth(), good, "application/x-www-form-urlencoded", 404,
       "POST /v1/tts"},
      {"root", "GET", "/", {}, "", "", 404, "POST /v1/tts"},
  };
  for (const auto& c : cases) {
    auto client = server.client();
    httplib::Request request;
    request.method = c.method;
    request.path = c.path;
    request.headers = c.headers;
    if (!c.body.empty()) {
      request.body = c.body;
      request.set_header("Content-Type", c.type);
    }
    const auto reply = client.send(request);
    ASSERT_TRUE(reply) << c.name << ": " << httplib::to_string(reply.error());
    EXPECT_EQ(reply->status, c.status) << c.name << ": " << reply->body;
    EXPECT_NE(reply->body.find(c.body_part), std::string::npos) << c.name << ": " << reply->body;
    EXPECT_EQ(reply->body.find('\n'), reply->body.size() - 1) << c.name << ": one line";
    if (c.status == 401) {
      EXPECT_TRUE(reply->get_header_value("WWW-Authenticate").starts_with("Basic")) << c.name;
    }
    if (c.status == 405) {
      EXPECT_EQ(reply->get_header_value("Allow"), "POST");
    }
  }
  EXPECT_TRUE(server.backend.requests().empty()) << "nothing bad reaches the engine";

  // 200 characters of three bytes each are within the limit, which counts characters.
  auto client = server.client();
  const auto longest = post(client, form_with([](auto& r) {
                              r.text.clear();
                              for (int i = 0; i < 200; ++i)
                                r.text += "あ";
                            }));
  ASSERT_TRUE(longest);
  EXPECT_EQ(longest->status, 200) << longest->body;
}

TEST(TtsService, EngineFailureIs500) {
  Running server;
  server.backend.fail_with("引擎坏了");
  auto client = server.client();
  const auto reply = post(client, speech::form_body(sample_request()));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 500);
  EXPECT_NE(reply->body.find("引擎坏了"), std::string::npos);
}

TEST(TtsService, FullQueueGets503AtOnce) {
  Running server(0);
  server.backend.hold();
  auto first = std::async(std::launch::async, [&] {
    auto client = server.client();
    return post(client, speech::form_body(sample_request()));
  });
  ASSERT_TRUE(server.backend.wait_started(1));

  auto client = server.client();
  const auto refused = post(client, speech::form_body(sample_request()));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 503);
  EXPECT_FALSE(refused->get_header_value("Retry-After").empty());

  server.backend.release();
  const auto spoken = first.get();
  ASSERT_TRUE(spoken);
  EXPECT_EQ(spoken->status, 200);
}

TEST(TtsService, StopFinishesTheAcceptedRequest) {
  Running server;
  server.backend.hold();
  auto accepted = std::async(std::launch::async, [&] {
    auto client = server.client();
    return post(client, speech::form_body(sample_request()));
  });
  ASSERT_TRUE(server.backend.wait_started(1));

  server.service().stop();
  // No longer listening, while the accepted request is still with the engine.
  auto late = server.client();
  late.set_connection_timeout(1s);
  EXPECT_FALSE(late.Get("/v1/tts"));

  server.backend.release();
  const auto reply = accepted.get();
  ASSERT_TRUE(reply) << httplib::to_string(reply.error());
  EXPECT_EQ(reply->status, 200);
  EXPECT_EQ(to_bytes(reply->body), FakeBackend::wav_for(sample_request()));
}

TEST(TtsService, LogsEachRequestWithoutKeyOrText) {
  Running server;
  auto client = server.client();
  auto request = sample_request();
  request.text = "秘密のテキスト";
  ASSERT_TRUE(post(client, speech::form_body(request)));
  ASSERT_TRUE(post(client, speech::form_body(request), auth("wrong-key-9999")));
  ASSERT_TRUE(client.Get("/v1/tts?key=abc"));

  // Connections are served on several threads, so the lines may come in any order.
  const auto log = server.log(3);
  ASSERT_EQ(log.size(), 3u);
  std::string all;
  for (const auto& line : log)
    all += line + "\n";
  for (const char* expected : {" POST /v1/tts 200 ", " POST /v1/tts 401 ", " GET /v1/tts 405 "}) {
    EXPECT_NE(all.find(expected), std::string::npos) << expected << " in\n" << all;
  }
  const std::regex shape(
      R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ 127\.0\.0\.1:\d+ [A-Z]+ /v1/tts \d{3} \d+ \d+ms.*)");
  for (const auto& line : log)
    EXPECT_TRUE(std::regex_match(line, shape)) << line;
  const std::string credential = speech::basic_credential(kKey);
  for (const auto& line : log) {
    for (const std::string& secret :
         {std::string(kKey), credential, std::string("wrong-key-9999"), std::string("秘密"),
          speech::form_encode("秘密"), std::string("key=abc")}) {
      EXPECT_EQ(line.find(secret), std::string::npos) << line;
    }
  }
}

// A raw connection, for what no well-behaved client sends.
class RawConnection {
 public:
  explicit RawConnection(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawConnection() { close(fd_); }
  bool connected() const { return connected_; }
  void send_text(std::string_view text) {
    [[maybe_unused]] const auto sent = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
  }
  // Everything until the server closes, or nullopt when it has not closed within `limit`.
  std::optional<std::string> read_to_close(std::chrono::milliseconds limit) {
    std::string all;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buffer[4096];
      const auto got = recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) return all;
      all.append(buffer, static_cast<std::size_t>(got));
    }
    return std::nullopt;
  }

 private:
  int fd_;
  bool connected_ = false;
};

TEST(TtsService, SurvivesWhatClientsShouldNotSend) {
  ServiceSettings settings;
  settings.read_timeout = 1s;
  settings.keep_alive = 1s;
  Running server(4, settings);
  const std::string post_head = "POST /v1/tts HTTP/1.1\r\nHost: x\r\n";
  const struct {
    std::string text;
    std::string status_line;
  } cases[] = {
      {"GARBAGE\r\n\r\n", "HTTP/1.1 400"},
      {post_head + "Content-Length: -5\r\n\r\n", "HTTP/1.1 4"},
      {post_head + "Content-Length: 99999999999999999999\r\n\r\n", "HTTP/1.1 413"},
      {post_head + "Transfer-Encoding: chunked\r\n\r\nzz\r\n", "HTTP/1.1 400"},
      // Chunked bodies carry no length up front, and are capped all the same.
      {post_head + "Transfer-Encoding: chunked\r\n\r\n100000\r\n" + std::string(0x100000, 'a') +
           "\r\n0\r\n\r\n",
       "HTTP/1.1 413"},
      {post_head + "X: " + std::string(20000, 'h') + "\r\n\r\n", "HTTP/1.1 4"},
      {"GET /" + std::string(10000, 'p') + " HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 414"},
      {post_head + "Authorization: Basic \x01\xFF\r\nContent-Length: 3\r\n\r\na=b", "HTTP/1.1 401"},
  };
  for (const auto& c : cases) {
    RawConnection raw(server.port());
    ASSERT_TRUE(raw.connected());
    raw.send_text(c.text);
    const auto answer = raw.read_to_close(5s);
    ASSERT_TRUE(answer) << c.text.substr(0, 60);
    EXPECT_TRUE(answer->starts_with(c.status_line))
        << c.text.substr(0, 60) << " got " << answer->substr(0, 60);
  }

  // A client that stops halfway is cut off at the read time-out, and others are served.
  RawConnection stalled(server.port());
  stalled.send_text("POST /v1/tts HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\nabc");
  auto client = server.client();
  const auto reply = post(client, speech::form_body(sample_request()));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  EXPECT_TRUE(stalled.read_to_close(5s)) << "closed by the read time-out";
}

// A self-signed certificate for 127.0.0.1, made by the openssl tool.
class Certificate {
 public:
  Certificate() {
    dir_ = std::filesystem::temp_directory_path() / ("virn-server-tls-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1"
        " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        key().string() + "' -out '" + cert().string() + "' 2>/dev/null";
    made_ = std::system(command.c_str()) == 0;
  }
  ~Certificate() { std::filesystem::remove_all(dir_); }
  bool made() const { return made_; }
  std::filesystem::path cert() const { return dir_ / "cert.pem"; }
  std::filesystem::path key() const { return dir_ / "key.pem"; }

 private:
  std::filesystem::path dir_;
  bool made_ = false;
};

TEST(TtsService, SpeaksOverTls) {
  Certificate certificate;
  ASSERT_TRUE(certificate.made());
  ServiceSettings settings;
  settings.cert_file = certificate.cert();
  settings.key_file = certificate.key();
  Running server(4, settings);

  httplib::SSLClient client("127.0.0.1", server.port());
  client.set_ca_cert_path(certificate.cert().c_str());
  client.enable_server_certificate_verification(true);
  client.set_connection_timeout(5s);
  client.set_read_timeout(10s);
  const auto reply = client.Post("/v1/tts", auth(), speech::form_body(sample_request()),
                                 "application/x-www-form-urlencoded");
  ASSERT_TRUE(reply) << httplib::to_string(reply.error());
  EXPECT_EQ(reply->status, 200);
  EXPECT_EQ(to_bytes(reply->body), FakeBackend::wav_for(sample_request()));

  // Plain HTTP to the TLS port gets nothing spoken.
  httplib::Client plain("127.0.0.1", server.port());
  plain.set_connection_timeout(2s);
  plain.set_read_timeout(2s);
  const auto refused = plain.Post("/v1/tts", auth(), speech::form_body(sample_request()),
                                  "application/x-www-form-urlencoded");
  EXPECT_TRUE(!refused || refused->status != 200);
}

TEST(TtsService, BadCertificateIsAClearError) {
  KeyRing keys({kKey});
  FakeBackend backend;
  SynthesisQueue queue(backend, 1);
  ServiceSettings settings;
  settings.listen = {"127.0.0.1", 0};
  settings.cert_file = "/nonexistent/cert.pem";
  settings.key_file = "/nonexistent/key.pem";
  const auto created = TtsService::create(settings, keys, queue);
  ASSERT_FALSE(created.ok());
  EXPECT_NE(created.error().message.find("/nonexistent/cert.pem"), std::string::npos);
}

}  // namespace
}  // namespace virn::server
