#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace virn {

// A byte buffer: counted, possibly empty, never NUL-terminated.
using Bytes = std::vector<std::uint8_t>;

inline Bytes to_bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}
inline std::string to_text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace virn
