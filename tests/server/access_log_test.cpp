#include "server/access_log.h"

#include <gtest/gtest.h>

namespace virn::server {
namespace {

TEST(AccessLog, OneLineWithEveryField) {
  AccessLogEntry entry{std::chrono::system_clock::from_time_t(1796988000),  // 2026-12-11 11:20 UTC
                       "127.0.0.1:50123",
                       "POST",
                       "/v1/tts",
                       200,
                       34567,
                       std::chrono::milliseconds(12)};
  EXPECT_EQ(access_log_line(entry),
            "2026-12-11T11:20:00Z 127.0.0.1:50123 POST /v1/tts 200 34567 12ms");
}

TEST(AccessLog, ClientBytesCannotForgeLines) {
  AccessLogEntry entry{std::chrono::system_clock::from_time_t(0),
                       "[::1]:1",
                       "GET",
                       "/a\r\n2026-01-01T00:00:00Z 1.2.3.4:5 POST /v1/tts 200",
                       404,
                       0,
                       std::chrono::milliseconds(0)};
  const auto line = access_log_line(entry);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.find('\r'), std::string::npos);
  EXPECT_NE(line.find("/a\\x0D\\x0A2026"), std::string::npos) << line;

  entry.path = std::string(1000, 'p');
  EXPECT_LT(access_log_line(entry).size(), 300u);
  entry.path.clear();
  EXPECT_NE(access_log_line(entry).find(" GET - 404 "), std::string::npos);
}

}  // namespace
}  // namespace virn::server
