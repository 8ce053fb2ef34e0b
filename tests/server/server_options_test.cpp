#include "server/server_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace virn::server {
namespace {

using Args = std::vector<std::string>;

TEST(ServerOptions, ListenAddresses) {
  const struct {
    std::string text;
    bool ok;
    std::string host;
    int port;
  } cases[] = {
      {"127.0.0.1:8443", true, "127.0.0.1", 8443},
      {"0.0.0.0:0", true, "0.0.0.0", 0},
      {"localhost:80", true, "127.0.0.1", 80},
      {"[::1]:65535", true, "::1", 65535},
      {"[::]:443", true, "::", 443},
      {"::1:443", false, "", 0},
      {"127.0.0.1", false, "", 0},
      {"127.0.0.1:", false, "", 0},
      {"127.0.0.1:65536", false, "", 0},
      {"127.0.0.1:-1", false, "", 0},
      {"127.0.0.1:80x", false, "", 0},
      {"example.com:443", false, "", 0},
      {"[::1:443", false, "", 0},
  };
  for (const auto& c : cases) {
    const auto address = parse_listen_address(c.text);
    ASSERT_EQ(address.ok(), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_NE(address.error().message.find(c.text), std::string::npos);
      continue;
    }
    EXPECT_EQ(address->host, c.host) << c.text;
    EXPECT_EQ(address->port, c.port) << c.text;
  }
  EXPECT_EQ(address_text("::1", 8443), "[::1]:8443");
  EXPECT_EQ(address_text("127.0.0.1", 0), "127.0.0.1:0");
}

TEST(ServerOptions, Loopback) {
  for (const char* host : {"127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1"}) {
    EXPECT_TRUE(is_loopback(host)) << host;
  }
  for (const char* host :
       {"0.0.0.0", "::", "10.0.0.1", "128.0.0.1", "::2", "::ffff:10.0.0.1", "localhost", ""}) {
    EXPECT_FALSE(is_loopback(host)) << host;
  }
}

TEST(ServerOptions, CommandLine) {
  const auto defaults = parse_options({});
  ASSERT_TRUE(defaults.ok());
  EXPECT_EQ(defaults->listen.host, "127.0.0.1");
  EXPECT_EQ(defaults->listen.port, 8443);

  const auto full = parse_options({"--listen", "0.0.0.0:9000", "--cert=c.pem", "--key", "k.pem",
                                   "--keys", "keys.txt", "--threads", "3", "--queue=0"});
  ASSERT_TRUE(full.ok()) << full.error().message;
  EXPECT_EQ(full->listen.host, "0.0.0.0");
  EXPECT_EQ(full->listen.port, 9000);
  EXPECT_EQ(full->cert_file, "c.pem");
  EXPECT_EQ(full->key_file, "k.pem");
  EXPECT_EQ(full->keys_file, "keys.txt");
  EXPECT_EQ(full->threads, 3u);
  EXPECT_EQ(full->queue, 0u);

  EXPECT_FALSE(parse_options({"--listen", "nonsense", "--help"}).ok());
  EXPECT_TRUE(parse_options({"--help"})->help);
}

TEST(ServerOptions, RefusesWhatCannotWork) {
  const struct {
    Args args;
    std::string message_part;
  } cases[] = {
      {{"--listen", "0.0.0.0:8443"}, "明文 HTTP"},
      {{"--listen", "[::]:8443"}, "明文 HTTP"},
      {{"--listen", "192.168.1.5:8443", "--keys", "k"}, "--cert"},
      {{"--cert", "c.pem"}, "--cert 和 --key 须同时给出"},
      {{"--key", "k.pem"}, "--cert 和 --key 须同时给出"},
      {{"--threads", "0"}, "--threads"},
      {{"--threads", "many"}, "--threads"},
      {{"--queue", "-1"}, "--queue"},
      {{"--queue"}, "--queue 缺少参数"},
      {{"--access-key", "abc"}, "未知的选项 \"--access-key\""},
      {{"abc123def456ghi7"}, "未知的选项"},
  };
  for (const auto& c : cases) {
    const auto options = parse_options(c.args);
    ASSERT_FALSE(options.ok()) << c.args.front();
    EXPECT_NE(options.error().message.find(c.message_part), std::string::npos)
        << options.error().message;
  }
}

}  // namespace
}  // namespace virn::server
