#include "util/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace virn {
namespace {

struct Vector {
  std::string input;
  std::string encoded;
};

TEST(Base64, EncodesKnownVectors) {
  const std::vector<Vector> vectors = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"a", "YQ=="},
      {"ab", "YWI="},
      {"abc", "YWJj"},
      {std::string(1, '\0'), "AA=="},
      {std::string("a\0b", 3), "YQBi"},
      {"key:", "a2V5Og=="},
  };
  for (const Vector& v : vectors) {
    EXPECT_EQ(base64_encode(to_bytes(v.input)), v.encoded) << "input: " << v.input;
  }
}

TEST(Base64, HighBytesAreUnsigned) {
  EXPECT_EQ(base64_encode(Bytes{0xFF, 0xFE, 0x80}), "//6A");
  EXPECT_EQ(base64_encode(Bytes{0xFB, 0xFF}), "+/8=");
  EXPECT_EQ(base64_encode(Bytes{0xB0, 0xA1}), "sKE=");
}

TEST(Base64, LongInputIsOneLineAndInputStaysAsItWas) {
  for (std::size_t length : {299U, 300U, 301U}) {
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i)
      data[i] = static_cast<std::uint8_t>(i * 7);
    const Bytes before = data;
    const std::string encoded = base64_encode(data);
    EXPECT_EQ(encoded.size(), (length + 2) / 3 * 4);
    EXPECT_EQ(encoded.find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(encoded.find('='),
              length % 3 == 0 ? std::string::npos : encoded.size() - 3 + length % 3);
    EXPECT_EQ(data, before);
  }
}

}  // namespace
}  // namespace virn
