#include "server/access_log.h"

#include <ctime>
#include <string_view>

namespace virn::server {
namespace {

std::string printable(std::string_view text, std::size_t max_bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < max_bytes; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte <= 0x20 || byte >= 0x7F || byte == '\\') {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += static_cast<char>(byte);
    }
  }
  if (text.size() > max_bytes) out += "...";
  return out.empty() ? "-" : out;
}

}  // namespace

std::string access_log_line(const AccessLogEntry& entry) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(entry.time);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return std::string(stamp) + " " + printable(entry.peer, 64) + " " + printable(entry.method, 16) +
         " " + printable(entry.path, 200) + " " + std::to_string(entry.status) + " " +
         std::to_string(entry.bytes) + " " + std::to_string(entry.elapsed.count()) + "ms";
}

}  // namespace virn::server
