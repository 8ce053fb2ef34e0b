#include "speech/number_reading.h"

#include <array>
#include <cstddef>

namespace virn::speech {
namespace {

constexpr std::array<std::string_view, 10> kDigit{"ゼロ", "イチ", "ニ",   "サン", "ヨン",
                                                  "ゴ",   "ロク", "ナナ", "ハチ", "キュウ"};

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// One group of up to four digits (0..9999), as read in front of a larger unit or alone.
// before_unit: the group stands before 万/億/兆/京, where 1000 is イッセン rather than セン.
std::string group_reading(int value, bool before_unit) {
  std::string out;
  const int thousands = value / 1000;
  const int hundreds = value / 100 % 10;
  const int tens = value / 10 % 10;
  const int ones = value % 10;
  switch (thousands) {
    case 0:
      break;
    case 1:
      out += before_unit && value == 1000 ? "イッセン" : "セン";
      break;
    case 3:
      out += "サンゼン";
      break;
    case 8:
      out += "ハッセン";
      break;
    default:
      out += std::string(kDigit[thousands]) + "セン";
      break;
  }
  switch (hundreds) {
    case 0:
      break;
    case 1:
      out += "ヒャク";
      break;
    case 3:
      out += "サンビャク";
      break;
    case 6:
      out += "ロッピャク";
      break;
    case 8:
      out += "ハッピャク";
      break;
    default:
      out += std::string(kDigit[hundreds]) + "ヒャク";
      break;
  }
  if (tens == 1) {
    out += "ジュウ";
  } else if (tens > 1) {
    out += std::string(kDigit[tens]) + "ジュウ";
  }
  if (ones > 0) out += kDigit[ones];
  return out;
}

// The group in front of a unit whose reading starts with a voiceless sound (兆 チョウ, 京 ケイ):
// 1 → イッ, 8 → ハッ, 10 → ジュッ, as spoken.
std::string geminated_group(int value) {
  std::string out = group_reading(value, true);
  const auto replace_tail = [&out](std::string_view tail, std::string_view with) {
    if (out.size() >= tail.size() &&
        out.compare(out.size() - tail.size(), tail.size(), tail) == 0) {
      out.replace(out.size() - tail.size(), tail.size(), with);
      return true;
    }
    return false;
  };
  if (value % 10 == 1) {
    replace_tail("イチ", "イッ");
  } else if (value % 10 == 8) {
    replace_tail("ハチ", "ハッ");
  } else if (value % 100 == 10) {
    replace_tail("ジュウ", "ジュッ");
  }
  return out;
}

std::string integer_reading(std::string_view digits) {
  if (digits.size() > 1 && digits.front() == '0') return digit_reading(digits);
  if (digits.size() > 20) return digit_reading(digits);
  if (digits == "0") return std::string(kDigit[0]);

  constexpr std::array<std::string_view, 5> kUnit{"", "マン", "オク", "チョウ", "ケイ"};
  std::string out;
  const std::size_t groups = (digits.size() + 3) / 4;
  std::size_t at = 0;
  for (std::size_t g = groups; g-- > 0;) {
    const std::size_t width = digits.size() - at - g * 4;
    int value = 0;
    for (std::size_t i = 0; i < width; ++i)
      value = value * 10 + (digits[at + i] - '0');
    at += width;
    if (value == 0) continue;
    if (g == 0) {
      out += group_reading(value, false);
    } else if (g >= 3) {
      out += geminated_group(value);
      out += kUnit[g];
    } else {
      out += value == 1 ? std::string("イチ") : group_reading(value, true);
      out += kUnit[g];
    }
  }
  return out;
}

}  // namespace

std::string digit_reading(std::string_view digits) {
  std::string out;
  for (const char c : digits) {
    if (is_digit(c)) out += kDigit[c - '0'];
  }
  return out;
}

std::string number_reading(std::string_view number) {
  std::string out;
  if (!number.empty() && number.front() == '-') {
    out = "マイナス";
    number.remove_prefix(1);
  }
  const std::size_t point = number.find('.');
  std::string_view whole = number.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view{} : number.substr(point + 1);
  if (whole.empty() || (point != std::string_view::npos && fraction.empty())) return {};

  // Thousands separators only between groups of three: 1,000 and 12,345,678.
  std::string digits;
  const bool grouped = whole.find(',') != std::string_view::npos;
  std::size_t since_comma = 0;
  bool first_group = true;
  for (const char c : whole) {
    if (c == ',') {
      if (since_comma == 0 || since_comma > 3 || (!first_group && since_comma != 3)) return {};
      first_group = false;
      since_comma = 0;
    } else if (is_digit(c)) {
      digits += c;
      ++since_comma;
    } else {
      return {};
    }
  }
  if (grouped && since_comma != 3) return {};
  for (const char c : fraction) {
    if (!is_digit(c)) return {};
  }

  out += integer_reading(digits);
  if (!fraction.empty()) out += "テン" + digit_reading(fraction);
  return out;
}

}  // namespace virn::speech
