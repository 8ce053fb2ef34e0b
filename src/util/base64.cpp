#include "util/base64.h"

#include <cstddef>
#include <cstdint>

namespace virn {

std::string base64_encode(const Bytes& data) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  // The last group is completed with zeros read as such, never written into the input.
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const std::size_t left = data.size() - i;
    const std::uint32_t b0 = data[i];
    const std::uint32_t b1 = left > 1 ? data[i + 1] : 0U;
    const std::uint32_t b2 = left > 2 ? data[i + 2] : 0U;
    out.push_back(kAlphabet[b0 >> 2U]);
    out.push_back(kAlphabet[((b0 & 3U) << 4U) | (b1 >> 4U)]);
    out.push_back(left > 1 ? kAlphabet[((b1 & 15U) << 2U) | (b2 >> 6U)] : '=');
    out.push_back(left > 2 ? kAlphabet[b2 & 63U] : '=');
  }
  return out;
}

}  // namespace virn
