#include "server/access_keys.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <algorithm>

namespace virn::server {
namespace {

std::string_view trim_blanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool usable_key(std::string_view key) {
  return std::none_of(key.begin(), key.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F || c == ':' || c == ',';
  });
}

Result<std::vector<std::string>> parse_keys(std::string_view content, char separator,
                                            const char* unit) {
  std::vector<std::string> keys;
  std::size_t number = 0;
  std::size_t start = 0;
  while (start <= content.size()) {
    const std::size_t end = std::min(content.find(separator, start), content.size());
    const std::string_view entry = trim_blanks(content.substr(start, end - start));
    start = end + 1;
    ++number;
    if (entry.empty() || entry.starts_with('#')) continue;
    if (!usable_key(entry)) {
      return Error{"第 " + std::to_string(number) + " " + unit +
                   "的访问密钥含有空白、控制字符、\":\" 或 \",\"，不能用作 Basic 用户名"};
    }
    keys.emplace_back(entry);
  }
  return keys;
}

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Standard Base64; the "=" padding may be left off, nothing else is forgiven.
std::optional<std::string> base64_decode(std::string_view text) {
  std::size_t padding = 0;
  while (!text.empty() && text.back() == '=' && padding < 2) {
    text.remove_suffix(1);
    ++padding;
  }
  if (text.size() % 4 == 1) return std::nullopt;
  if (padding > 0 && (text.size() + padding) % 4 != 0) return std::nullopt;
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    const int value = base64_value(c);
    if (value < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFFu);
    }
  }
  return out;
}

}  // namespace

Result<std::vector<std::string>> parse_key_file(std::string_view content) {
  return parse_keys(content, '\n', "行");
}

Result<std::vector<std::string>> parse_key_list(std::string_view list) {
  return parse_keys(list, ',', "项");
}

std::optional<std::string> basic_user_id(std::string_view authorization) {
  const std::size_t space = authorization.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const std::string_view scheme = authorization.substr(0, space);
  const bool is_basic =
      scheme.size() == 5 && std::equal(scheme.begin(), scheme.end(), "basic", [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
      });
  if (!is_basic) return std::nullopt;
  std::string_view token = authorization.substr(space + 1);
  while (token.starts_with(' '))
    token.remove_prefix(1);
  while (token.ends_with(' '))
    token.remove_suffix(1);
  auto decoded = base64_decode(token);
  if (!decoded) return std::nullopt;
  const std::size_t colon = decoded->find(':');
  if (colon == std::string::npos || colon + 1 != decoded->size()) return std::nullopt;
  decoded->resize(colon);
  return decoded;
}

KeyRing::KeyRing(const std::vector<std::string>& keys) {
  digests_.reserve(keys.size());
  for (const auto& key : keys) {
    Digest digest{};
    SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest.data());
    digests_.push_back(digest);
  }
}

bool KeyRing::accepts(std::string_view key) const {
  Digest digest{};
  SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest.data());
  // Every stored key is compared, so the time does not tell which one, if any, matched.
  int matched = 0;
  for (const auto& stored : digests_) {
    matched |= CRYPTO_memcmp(stored.data(), digest.data(), digest.size()) == 0 ? 1 : 0;
  }
  return matched != 0;
}

}  // namespace virn::server
