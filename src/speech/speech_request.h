#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "util/result.h"

namespace virn::speech {

// What every front end (window, command line, server) asks a backend for.
struct SpeechRequest {
  std::string voice = "haruka";  // one of kVoices' ids
  std::string mood;              // "" (普通) or one of kMoods' ids
  int strength = 2;              // 1..4, ignored for the plain mood
  int volume = 50;               // 1..100
  int speed = 100;               // 50..400, percent of normal
  int pitch = 100;               // 50..400
  std::string text;              // UTF-8, at most kMaxTextChars characters
};

struct VoiceInfo {
  std::string_view id;       // the value sent as "speaker"
  std::string_view caption;  // the window's caption
};

struct MoodInfo {
  std::string_view id;  // the value sent as "emotion"; empty for 普通
  std::string_view caption;
};

// In the window's order. The bear is "bear" and the demon "santa", as their captions say.
inline constexpr std::array<VoiceInfo, 6> kVoices{{
    {"haruka", "haruka(女性)"},
    {"hikari", "hikari(女性)"},
    {"show", "show(男性)"},
    {"takeru", "takeru(男性)"},
    {"bear", "熊(凶暴)"},
    {"santa", "撒旦(恶魔)"},
}};

inline constexpr std::array<MoodInfo, 4> kMoods{{
    {"", "普通"},
    {"happiness", "高兴"},
    {"anger", "愤怒"},
    {"sadness", "悲伤"},
}};

struct IntRange {
  int low;
  int high;
  int start;
};
inline constexpr IntRange kStrengthRange{1, 4, 2};
inline constexpr IntRange kVolumeRange{1, 100, 50};
inline constexpr IntRange kSpeedRange{50, 400, 100};
inline constexpr IntRange kPitchRange{50, 400, 100};
inline constexpr int kMaxTextChars = 200;

}  // namespace virn::speech

namespace virn::speech {

const VoiceInfo* find_voice(std::string_view id);
const MoodInfo* find_mood(std::string_view id);

// Number of UTF-8 characters, or nullopt when the text is not valid UTF-8.
std::optional<std::size_t> utf8_length(std::string_view text);

// Why the request cannot be spoken, naming the field, the value and what is allowed;
// nullopt when it is fine. Line breaks and tabs are text; other control characters are not.
std::optional<Error> check_request(const SpeechRequest& request);

}  // namespace virn::speech
