#include "speech/speech_request.h"

#include <algorithm>
#include <cstdint>

namespace virn::speech {
namespace {

std::optional<Error> check_range(std::string_view field, int value, IntRange range) {
  if (value >= range.low && value <= range.high) return std::nullopt;
  return Error{std::string(field) + " 的值 " + std::to_string(value) + " 超出范围 " +
               std::to_string(range.low) + "–" + std::to_string(range.high)};
}

std::string quoted_list(auto const& table) {
  std::string list;
  for (const auto& entry : table) {
    if (!list.empty()) list += ", ";
    list += "\"" + std::string(entry.id) + "\"";
  }
  return list;
}

}  // namespace

const VoiceInfo* find_voice(std::string_view id) {
  const auto* it =
      std::find_if(kVoices.begin(), kVoices.end(), [&](const VoiceInfo& v) { return v.id == id; });
  return it == kVoices.end() ? nullptr : it;
}

const MoodInfo* find_mood(std::string_view id) {
  const auto* it =
      std::find_if(kMoods.begin(), kMoods.end(), [&](const MoodInfo& m) { return m.id == id; });
  return it == kMoods.end() ? nullptr : it;
}

std::optional<std::size_t> utf8_length(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++count) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07u;
    } else {
      return std::nullopt;
    }
    if (i + length > text.size()) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(text[i + k]);
      if ((next & 0xC0u) != 0x80u) return std::nullopt;
      code = (code << 6) | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return std::nullopt;
    i += length;
  }
  return count;
}

std::optional<Error> check_request(const SpeechRequest& request) {
  if (find_voice(request.voice) == nullptr) {
    return Error{"speaker 的值 \"" + request.voice + "\" 无效，可选 " + quoted_list(kVoices)};
  }
  if (find_mood(request.mood) == nullptr) {
    return Error{"emotion 的值 \"" + request.mood + "\" 无效，可选 \"\"（普通）或 " +
                 quoted_list(std::array{kMoods[1], kMoods[2], kMoods[3]})};
  }
  if (auto e = check_range("emotionLevel", request.strength, kStrengthRange)) return e;
  if (auto e = check_range("volume", request.volume, kVolumeRange)) return e;
  if (auto e = check_range("speed", request.speed, kSpeedRange)) return e;
  if (auto e = check_range("pitch", request.pitch, kPitchRange)) return e;

  const auto length = utf8_length(request.text);
  if (!length) return Error{"text 不是有效的 UTF-8 文本"};
  if (*length == 0) return Error{"text 为空，请输入要朗读的文字"};
  if (*length > static_cast<std::size_t>(kMaxTextChars)) {
    return Error{"text 有 " + std::to_string(*length) + " 个字符，最多 " +
                 std::to_string(kMaxTextChars) + " 个"};
  }
  for (const char c : request.text) {
    const auto byte = static_cast<std::uint8_t>(c);
    if ((byte < 0x20 && c != '\n' && c != '\r' && c != '\t') || byte == 0x7F) {
      return Error{"text 含有控制字符 (0x" +
                   std::string{"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]} +
                   ")，只允许换行和制表符"};
    }
  }
  return std::nullopt;
}

}  // namespace virn::speech
