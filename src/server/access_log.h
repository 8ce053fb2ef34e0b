#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace virn::server {

struct AccessLogEntry {
  std::chrono::system_clock::time_point time;
  std::string peer;  // "ADDR:PORT"
  std::string method;
  std::string path;  // without the query
  int status = 0;
  std::size_t bytes = 0;  // response body
  std::chrono::milliseconds elapsed{0};
};

// One line, without a line break: UTC time, peer, method, path, status, bytes, milliseconds.
// Bytes a client sent that are not printable ASCII are escaped, so no request can forge or
// break lines; the path is cut at 200 bytes.
std::string access_log_line(const AccessLogEntry& entry);

}  // namespace virn::server
