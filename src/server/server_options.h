#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"

namespace virn::server {

struct ListenAddress {
  std::string host;  // a numeric IPv4 or IPv6 address, without brackets
  int port = 0;      // 0: any free port
};

struct ServerOptions {
  ListenAddress listen{"127.0.0.1", 8443};
  std::string keys_file;  // empty: the keys come from VIRN_SERVER_KEYS
  std::string cert_file;
  std::string key_file;  // the TLS private key, not an access key
  std::size_t threads = 8;
  std::size_t queue = 4;
  bool help = false;
};

// "127.0.0.1:8443", "[::1]:8443", "localhost:0".
Result<ListenAddress> parse_listen_address(std::string_view text);

// True for 127.0.0.0/8 and ::1 (also as ::ffff:127.x.y.z).
bool is_loopback(const std::string& host);

// The command line after the program name. Refuses what cannot work: a half TLS setup and
// plain HTTP on an address other machines can reach.
Result<ServerOptions> parse_options(const std::vector<std::string>& args);

// "127.0.0.1:8443" or "[::1]:8443".
std::string address_text(const std::string& host, int port);

std::string help_text();

}  // namespace virn::server
