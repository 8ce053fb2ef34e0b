#pragma once

#include <string>
#include <string_view>

namespace virn::speech {

// Katakana reading of a number written with ASCII digits: "12" → ジュウニ, "2026" →
// ニセンニジュウロク, "3.5" → サンテンゴ, "1,000" → セン, "-4" → マイナスヨン. Digits after the
// point, numbers with a leading zero ("007") and numbers too large for the 京 unit are read
// digit by digit. Empty when the text is not such a number.
std::string number_reading(std::string_view number);

// Each digit on its own: "090" → ゼロキュウゼロ. Non-digits are skipped.
std::string digit_reading(std::string_view digits);

}  // namespace virn::speech
