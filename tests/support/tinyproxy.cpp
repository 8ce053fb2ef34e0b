#include "support/tinyproxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "support/ports.h"

namespace virn::test {
namespace {

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool accepts_connections(int port) {
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) return false;
  sockaddr_in address = loopback(port);
  const bool ok = ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(sock);
  return ok;
}

}  // namespace

TinyProxy::TinyProxy(const std::string& user, const std::string& password) {
  for (const std::string* word : {&user, &password}) {
    if (word->empty() || word->find_first_of(" \t\r\n\"") != std::string::npos) {
      throw std::invalid_argument("tinyproxy: user name and password must be single words, not \"" +
                                  *word + "\"");
    }
  }
  // The port is picked before tinyproxy takes it, so another program may come first: then
  // tinyproxy ends at once and a new port is tried.
  for (int attempt = 1;; ++attempt) {
    port_ = unused_loopback_port();
    const auto config = folder_ / "tinyproxy.conf";
    {
      std::ofstream out(config);
      out << "Port " << port_ << "\n"
          << "Listen 127.0.0.1\n"
          << "Timeout 30\n"
          << "MaxClients 20\n"
          << "Allow 127.0.0.1\n"
          << "BasicAuth " << user << " " << password << "\n"
          << "DisableViaHeader Yes\n"
          << "LogLevel Info\n"
          << "LogFile \"" << (folder_ / "tinyproxy.log").string() << "\"\n";
    }
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"tinyproxy", "-d", "-c", config.string()}, folder_ / "output.log");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (process_->running() && !accepts_connections(port_) &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (process_->running() && accepts_connections(port_)) return;
    process_.reset();
    if (attempt == 3) throw std::runtime_error("tinyproxy did not start: " + log());
  }
}

TinyProxy::~TinyProxy() = default;

std::string TinyProxy::address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string TinyProxy::log() const {
  std::string text;
  for (const char* name : {"output.log", "tinyproxy.log"}) {
    std::ifstream in(folder_ / name);
    text.append((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  return text;
}

}  // namespace virn::test
