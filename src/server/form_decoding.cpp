#include "server/form_decoding.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace virn::server {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string range_text(speech::IntRange range) {
  return std::to_string(range.low) + "–" + std::to_string(range.high);
}

// A decimal integer, optionally negative. More digits than an int holds can only be out of
// range, so they are reported that way rather than as "not a number".
Result<int> parse_integer(std::string_view field, std::string_view value, speech::IntRange range) {
  const std::string_view digits = value.starts_with('-') ? value.substr(1) : value;
  const bool all_digits = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
  if (!all_digits) {
    return Error{std::string(field) + " 的值 " + quoted_for_message(value) + " 不是整数，应在 " +
                 range_text(range) + " 之间"};
  }
  int number = 0;
  const auto [end, code] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (code != std::errc{} || end != value.data() + value.size()) {
    return Error{std::string(field) + " 的值 " + quoted_for_message(value) + " 超出范围 " +
                 range_text(range)};
  }
  return number;
}

std::optional<std::size_t> field_index(std::string_view name) {
  const auto* it = std::find(std::begin(kFormFields), std::end(kFormFields), name);
  if (it == std::end(kFormFields)) return std::nullopt;
  return static_cast<std::size_t>(it - std::begin(kFormFields));
}

std::string field_list() {
  std::string list;
  for (const auto field : kFormFields) {
    if (!list.empty()) list += ", ";
    list += field;
  }
  return list;
}

}  // namespace

std::string quoted_for_message(std::string_view value, std::size_t max_bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (std::size_t i = 0; i < value.size() && i < max_bytes; ++i) {
    const auto byte = static_cast<unsigned char>(value[i]);
    if (byte < 0x20 || byte == 0x7F || byte == '"' || byte == '\\') {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += static_cast<char>(byte);
    }
  }
  if (value.size() > max_bytes) out += "…";
  out += "\"";
  return out;
}

Result<std::string> form_decode(std::string_view encoded) {
  std::string out;
  out.reserve(encoded.size());
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    if (c == '+') {
      out += ' ';
    } else if (c != '%') {
      out += c;
    } else {
      const int high = i + 1 < encoded.size() ? hex_value(encoded[i + 1]) : -1;
      const int low = i + 2 < encoded.size() ? hex_value(encoded[i + 2]) : -1;
      if (high < 0 || low < 0) {
        return Error{"无效的百分号转义 " + quoted_for_message(encoded.substr(i, 3))};
      }
      out += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return out;
}

Result<speech::SpeechRequest> decode_speech_form(std::string_view body) {
  std::array<std::optional<std::string>, std::size(kFormFields)> values;

  std::size_t start = 0;
  while (start <= body.size()) {
    const std::size_t end = std::min(body.find('&', start), body.size());
    const std::string_view piece = body.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;

    const std::size_t equals = piece.find('=');
    if (equals == std::string_view::npos) {
      return Error{"表单片段 " + quoted_for_message(piece) + " 缺少 \"=\""};
    }
    auto name = form_decode(piece.substr(0, equals));
    if (!name) return Error{"字段名" + name.error().message};
    const auto index = field_index(*name);
    if (!index) {
      return Error{"未知的字段 " + quoted_for_message(*name) + "，可用字段为 " + field_list()};
    }
    if (values[*index]) return Error{"字段 " + *name + " 出现了不止一次"};
    auto value = form_decode(piece.substr(equals + 1));
    if (!value) return Error{*name + " 的值含有" + value.error().message};
    values[*index] = std::move(*value);
  }

  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!values[i]) return Error{"缺少字段 " + std::string(kFormFields[i])};
  }

  speech::SpeechRequest request;
  request.voice = std::move(*values[0]);
  request.mood = std::move(*values[1]);
  const std::array<std::pair<int*, speech::IntRange>, 4> numbers{{
      {&request.strength, speech::kStrengthRange},
      {&request.volume, speech::kVolumeRange},
      {&request.speed, speech::kSpeedRange},
      {&request.pitch, speech::kPitchRange},
  }};
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    auto number = parse_integer(kFormFields[2 + i], *values[2 + i], numbers[i].second);
    if (!number) return number.error();
    *numbers[i].first = *number;
  }
  if (*values[6] != "wav") {
    return Error{"format 的值 " + quoted_for_message(*values[6]) + " 无效，只支持 \"wav\""};
  }
  request.text = std::move(*values[7]);
  return request;
}

}  // namespace virn::server
