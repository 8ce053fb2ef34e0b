#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Splits one fuzzer input into a few texts at 0xFF bytes, so one input drives several
// arguments without a format of its own.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  std::uint8_t byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return b;
  }

  std::string_view text() {
    const auto cut = rest_.find('\xFF');
    const auto piece = rest_.substr(0, cut);
    rest_ = cut == std::string_view::npos ? std::string_view{} : rest_.substr(cut + 1);
    return piece;
  }

  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
};
