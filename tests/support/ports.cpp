#include "support/ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace virn::test {

int unused_loopback_port() {
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (sock >= 0 && ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  if (sock >= 0) ::close(sock);
  if (port == 0) throw std::runtime_error("no free TCP port on 127.0.0.1");
  return port;
}

}  // namespace virn::test
