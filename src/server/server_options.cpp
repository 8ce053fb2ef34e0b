#include "server/server_options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>

namespace virn::server {
namespace {

Result<std::size_t> parse_count(std::string_view option, std::string_view value, std::size_t low,
                                std::size_t high) {
  std::size_t number = 0;
  const auto [end, code] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || code != std::errc{} || end != value.data() + value.size() || number < low ||
      number > high) {
    return Error{std::string(option) + " 的值 \"" + std::string(value) + "\" 无效，应为 " +
                 std::to_string(low) + " 到 " + std::to_string(high) + " 之间的整数"};
  }
  return number;
}

}  // namespace

Result<ListenAddress> parse_listen_address(std::string_view text) {
  const auto bad = [&](const std::string& why) {
    return Error{"--listen 的值 \"" + std::string(text) + "\" 无效：" + why};
  };
  std::string_view host;
  std::string_view port;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      return bad("IPv6 地址应写作 [ADDR]:PORT");
    }
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return bad("应写作 ADDR:PORT");
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) return bad("IPv6 地址应写作 [ADDR]:PORT");
  }
  ListenAddress address;
  address.host = host == "localhost" ? "127.0.0.1" : std::string(host);
  std::array<unsigned char, 16> scratch{};
  const bool numeric = inet_pton(AF_INET, address.host.c_str(), scratch.data()) == 1 ||
                       inet_pton(AF_INET6, address.host.c_str(), scratch.data()) == 1;
  if (!numeric) return bad("地址须是数字形式的 IPv4 或 IPv6 地址，或 localhost");
  auto number = parse_count("端口", port, 0, 65535);
  if (!number) return bad("端口应为 0 到 65535 之间的整数（0 表示任选空闲端口）");
  address.port = static_cast<int>(*number);
  return address;
}

bool is_loopback(const std::string& host) {
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    return (ntohl(v4.s_addr) >> 24) == 127;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) != 1) return false;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

std::string address_text(const std::string& host, int port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

Result<ServerOptions> parse_options(const std::vector<std::string>& args) {
  ServerOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inline_value;
    if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
      inline_value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    static constexpr std::array<std::string_view, 6> kWithValue{"--listen", "--keys",    "--cert",
                                                                "--key",    "--threads", "--queue"};
    if (std::find(kWithValue.begin(), kWithValue.end(), name) == kWithValue.end()) {
      return Error{"未知的选项 \"" + name + "\"，用 --help 查看用法"};
    }
    if (!inline_value && i + 1 >= args.size()) return Error{name + " 缺少参数"};
    const std::string value = inline_value ? *inline_value : args[++i];

    if (name == "--listen") {
      auto address = parse_listen_address(value);
      if (!address) return address.error();
      options.listen = *address;
    } else if (name == "--keys") {
      options.keys_file = value;
    } else if (name == "--cert") {
      options.cert_file = value;
    } else if (name == "--key") {
      options.key_file = value;
    } else if (name == "--threads") {
      auto count = parse_count("--threads", value, 1, 256);
      if (!count) return count.error();
      options.threads = *count;
    } else {
      auto count = parse_count("--queue", value, 0, 1024);
      if (!count) return count.error();
      options.queue = *count;
    }
  }
  if (options.help) return options;

  if (options.cert_file.empty() != options.key_file.empty()) {
    return Error{"--cert 和 --key 须同时给出（证书和它的私钥）"};
  }
  if (options.cert_file.empty() && !is_loopback(options.listen.host)) {
    return Error{"拒绝在 " + options.listen.host +
                 " 上以明文 HTTP 提供服务：访问密钥会以明文传输。请用 --cert 和 --key 启用 "
                 "TLS，或只监听本机回环地址（127.0.0.1 或 ::1）"};
  }
  return options;
}

std::string help_text() {
  return R"(用法: virn-tts-server [选项]

自建的日语语音合成服务：在 POST /v1/tts 上接受与 VIRN 窗口相同的表单请求
（HTTP Basic 认证，访问密钥作用户名、密码为空），用内嵌引擎合成并返回 WAV。

选项:
  --listen ADDR:PORT  监听地址，默认 127.0.0.1:8443；IPv6 写作 [::1]:8443；
                      端口 0 表示任选空闲端口。启动后在标准输出打印
                      "listening on ADDR:PORT"
  --cert FILE         TLS 证书（PEM，可含中间证书链）
  --key FILE          TLS 证书的私钥（PEM）。不给 --cert/--key 时使用明文 HTTP，
                      这只允许在本机回环地址上
  --keys FILE         访问密钥文件：每行一个，忽略空行和以 # 开头的行
  --threads N         处理连接的线程数，默认 8（1–256）
  --queue N           引擎忙时最多等待的请求数，默认 4（0–1024）；
                      再多的请求立即得到 503 和 Retry-After
  -h, --help          显示本帮助

访问密钥只从 --keys 文件或环境变量 VIRN_SERVER_KEYS（以逗号分隔）读取，
从不取自命令行，也从不写入日志；给了 --keys 时不读环境变量。

每个请求在标准错误输出写一行访问日志（时间、对端、方法、路径、状态、字节数、毫秒），
不含文本和密钥。SIGTERM 或 SIGINT 使服务停止接受新连接，处理完已接受的请求后退出；
第二次信号立即退出。
)";
}

}  // namespace virn::server
