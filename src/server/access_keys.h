#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"

namespace virn::server {

// Keys from a key file: one per line, surrounding blanks ignored, blank lines and lines
// starting with "#" skipped. A key that cannot be a Basic user-id (holding ":", blanks or
// control characters) is an error naming its line, never the key.
Result<std::vector<std::string>> parse_key_file(std::string_view content);

// Keys from a comma-separated list (the environment), with the same rules.
Result<std::vector<std::string>> parse_key_list(std::string_view list);

// The user-id of an "Authorization" header value "Basic <base64 of id:password>" when the
// password is empty; nullopt for anything else (another scheme, bad Base64, no colon).
std::optional<std::string> basic_user_id(std::string_view authorization);

// The accepted keys, kept as digests so that a check takes the same time whatever the key
// and wherever it differs.
class KeyRing {
 public:
  explicit KeyRing(const std::vector<std::string>& keys);

  bool accepts(std::string_view key) const;
  std::size_t size() const { return digests_.size(); }

 private:
  using Digest = std::array<unsigned char, 32>;
  std::vector<Digest> digests_;
};

}  // namespace virn::server
