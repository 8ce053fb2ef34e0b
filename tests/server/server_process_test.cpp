#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "speech/form_body.h"

namespace {

using namespace std::chrono_literals;

constexpr char kKey[] = "abc123def456ghi7";

// The server program as a child process, its stdout read for the "listening on" line and
// its stderr kept in a file.
class ServerProcess {
 public:
  ServerProcess(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    stderr_path_ =
        std::filesystem::temp_directory_path() /
        ("virn-server-stderr-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
    // Everything the child needs is made before fork: only exec-safe calls follow it.
    std::vector<std::string> all{VIRN_FAKE_ENGINE_SERVER};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_copy = env;
    std::vector<char*> envp;
    for (auto& e : env_copy)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string err_path = stderr_path_.string();
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(err, 2);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
  }
  ~ServerProcess() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    std::filesystem::remove(stderr_path_);
  }

  // The port from "listening on 127.0.0.1:PORT", waiting at most `limit`.
  std::optional<int> port(std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      const auto newline = stdout_.find('\n');
      if (newline != std::string::npos) {
        const std::string line = stdout_.substr(0, newline);
        const std::string prefix = "listening on 127.0.0.1:";
        if (!line.starts_with(prefix)) return std::nullopt;
        return std::stoi(line.substr(prefix.size()));
      }
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buffer[256];
      const auto got = read(out_, buffer, sizeof buffer);
      if (got <= 0) return std::nullopt;
      stdout_.append(buffer, static_cast<std::size_t>(got));
    }
    return std::nullopt;
  }

  void signal(int number) { kill(pid_, number); }

  // The exit status, waiting at most `limit`; nullopt if it is still running.
  std::optional<int> exit_status(std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!status_ && std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      } else {
        std::this_thread::sleep_for(10ms);
      }
    }
    return status_;
  }

  std::string all_stdout() {
    char buffer[4096];
    for (;;) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 0) <= 0) break;
      const auto got = read(out_, buffer, sizeof buffer);
      if (got <= 0) break;
      stdout_.append(buffer, static_cast<std::size_t>(got));
    }
    return stdout_;
  }

  std::string all_stderr() const {
    std::ifstream file(stderr_path_);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

 private:
  static inline int counter_ = 0;
  pid_t pid_ = -1;
  int out_ = -1;
  std::string stdout_;
  std::filesystem::path stderr_path_;
  std::optional<int> status_;
};

std::vector<std::string> env_with_keys(std::string keys = kKey) {
  return {"VIRN_SERVER_KEYS=" + keys, "VIRN_FAKE_ENGINE_DELAY_MS=600", "PATH=/usr/bin:/bin"};
}

httplib::Result speak(int port, const std::string& text) {
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(5s);
  client.set_read_timeout(10s);
  virn::speech::SpeechRequest request;
  request.text = text;
  return client.Post("/v1/tts",
                     {{"Authorization", "Basic " + virn::speech::basic_credential(kKey)}},
                     virn::speech::form_body(request), "application/x-www-form-urlencoded");
}

TEST(ServerProcess, TermFinishesTheRequestInFlightThenExits) {
  for (const int number : {SIGTERM, SIGINT}) {
    ServerProcess server({"--listen", "127.0.0.1:0"}, env_with_keys());
    const auto port = server.port();
    ASSERT_TRUE(port) << server.all_stderr();

    auto in_flight = std::async(std::launch::async, [&] { return speak(*port, "秘密の文"); });
    std::this_thread::sleep_for(200ms);  // the request reaches the engine, which takes 600 ms
    server.signal(number);

    const auto reply = in_flight.get();
    ASSERT_TRUE(reply) << httplib::to_string(reply.error());
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(server.exit_status(), 0) << server.all_stderr();
    EXPECT_FALSE(speak(*port, "late")) << "no longer listening";

    const auto log = server.all_stderr();
    EXPECT_NE(log.find(" POST /v1/tts 200 "), std::string::npos) << log;
    EXPECT_EQ(log.find("秘密"), std::string::npos) << log;
    EXPECT_EQ(log.find(kKey), std::string::npos) << log;
  }
}

TEST(ServerProcess, KeysFromAFileNotTheEnvironment) {
  const auto path =
      std::filesystem::temp_directory_path() / ("virn-server-keys-" + std::to_string(getpid()));
  std::ofstream(path) << "# test keys\n\n" << kKey << "\n";
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ServerProcess server({"--listen", "127.0.0.1:0", "--keys", path.string()},
                       env_with_keys("env-key-only"));
  const auto port = server.port();
  ASSERT_TRUE(port) << server.all_stderr();
  const auto reply = speak(*port, "テスト");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 200);
  server.signal(SIGTERM);
  EXPECT_EQ(server.exit_status(), 0);
  std::filesystem::remove(path);
}

TEST(ServerProcess, RefusesToStartWithAClearMessage) {
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string message_part;
  } cases[] = {
      {{"--listen", "0.0.0.0:0"}, env_with_keys(), "明文 HTTP"},
      {{"--listen", "127.0.0.1:0"}, {"PATH=/usr/bin:/bin"}, "没有访问密钥"},
      {{"--listen", "127.0.0.1:0", "--keys", "/nonexistent/keys"},
       env_with_keys(),
       "/nonexistent/keys"},
      {{"--listen", "127.0.0.1:0", "--cert", "/nonexistent/c.pem", "--key", "/nonexistent/k.pem"},
       env_with_keys(),
       "证书"},
      {{"--bogus"}, env_with_keys(), "--bogus"},
  };
  for (const auto& c : cases) {
    ServerProcess server(c.args, c.env);
    EXPECT_EQ(server.exit_status(), 2) << c.message_part;
    EXPECT_NE(server.all_stderr().find(c.message_part), std::string::npos) << server.all_stderr();
  }
}

TEST(ServerProcess, Help) {
  ServerProcess server({"--help"}, {});
  EXPECT_EQ(server.exit_status(), 0);
  const auto text = server.all_stdout();
  for (const char* part : {"--listen", "--keys", "--cert", "--key", "--threads", "--queue",
                           "VIRN_SERVER_KEYS", "/v1/tts"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
}

}  // namespace
