#include "speech/voice_profile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace virn::speech {
namespace {

struct Character {
  std::string_view id;
  std::string_view espeak_voice;
  double pitch;    // factor on the variant's own pitch
  int range;       // espeak-ng pitch range
  double rate;     // factor on the normal rate
  double formant;  // resampling factor
  double sub_octave;
  double growl;
  double gain;
};

// Two women, two men, a deep slow demon with an octave-lower shadow, a rough fierce bear.
// The gains bring the six to about the same loudness at the same volume.
constexpr std::array<Character, 6> kCharacters{{
    {"haruka", "ja+f2", 1.00, 55, 1.00, 1.00, 0.0, 0.0, 0.93},
    {"hikari", "ja+f5", 1.12, 68, 1.06, 1.06, 0.0, 0.0, 1.10},
    {"show", "ja+m3", 1.05, 52, 1.00, 1.00, 0.0, 0.0, 1.10},
    {"takeru", "ja+m2", 0.84, 40, 0.94, 0.96, 0.0, 0.0, 1.55},
    {"bear", "ja+croak", 0.62, 75, 1.08, 0.86, 0.0, 0.55, 0.60},
    {"santa", "ja+m1", 0.72, 25, 0.86, 0.80, 0.45, 0.0, 1.55},
}};

struct MoodShift {
  double pitch;  // per step of strength, as a fraction
  int range;     // per step
  double rate;   // per step, as a fraction
  double level;  // per step, as a fraction
};

MoodShift mood_shift(std::string_view mood) {
  if (mood == "happiness") return {0.06, 6, 0.04, 0.05};
  if (mood == "sadness") return {-0.05, -7, -0.06, -0.09};
  if (mood == "anger") return {0.03, 9, 0.05, 0.10};
  return {0.0, 0, 0.0, 0.0};
}

// espeak-ng's base pitch setting and the pitch it gives, as a factor of the setting 50
// (measured on the Japanese voice; the variants follow the same curve).
constexpr std::array<std::array<double, 2>, 7> kPitchCurve{
    {{0, 0.68}, {10, 0.725}, {25, 0.818}, {50, 1.0}, {75, 1.23}, {90, 1.48}, {100, 1.59}}};

// The espeak-ng setting closest to a pitch factor, and the factor it leaves over.
std::pair<int, double> espeak_pitch(double factor) {
  const double lowest = kPitchCurve.front()[1];
  const double highest = kPitchCurve.back()[1];
  const double reachable = std::clamp(factor, lowest, highest);
  for (std::size_t i = 1; i < kPitchCurve.size(); ++i) {
    const auto& [x0, y0] = kPitchCurve[i - 1];
    const auto& [x1, y1] = kPitchCurve[i];
    if (reachable <= y1) {
      const double x = x0 + (x1 - x0) * (reachable - y0) / (y1 - y0);
      const int setting = static_cast<int>(std::lround(x));
      return {setting, factor / reachable};
    }
  }
  return {100, factor / highest};
}

constexpr int kNormalRate = 175;

}  // namespace

VoiceProfile voice_profile(const SpeechRequest& request) {
  const auto* character = std::find_if(kCharacters.begin(), kCharacters.end(),
                                       [&](const Character& c) { return c.id == request.voice; });
  if (character == kCharacters.end()) character = kCharacters.begin();

  const int strength = request.mood.empty() ? 0 : std::clamp(request.strength, 1, 4);
  const MoodShift mood = mood_shift(request.mood);
  const double speed = std::clamp(request.speed, 50, 400) / 100.0;
  const double pitch = std::clamp(request.pitch, 50, 400) / 100.0;
  const double volume = std::clamp(request.volume, 1, 100) / 50.0;

  VoiceProfile p;
  p.espeak.voice = std::string(character->espeak_voice);
  p.formant_shift = character->formant;
  p.sub_octave = character->sub_octave;
  p.growl = character->growl;
  p.gain = volume * character->gain * (1.0 + mood.level * strength);
  p.espeak.range = std::clamp(character->range + mood.range * strength, 0, 100);

  // Resampling by formant_shift also scales pitch and tempo; the rest is asked of espeak-ng
  // and, past what it can do, of the time and pitch stretcher.
  const double f0 = character->pitch * std::sqrt(pitch) * (1.0 + mood.pitch * strength);
  const auto [setting, left_over] = espeak_pitch(f0 / p.formant_shift);
  p.espeak.pitch = setting;
  p.pitch_shift = left_over;

  const double rate =
      kNormalRate * speed * character->rate * (1.0 + mood.rate * strength) / p.formant_shift;
  const double reachable = std::clamp(rate, 80.0, 450.0);
  p.espeak.rate = static_cast<int>(std::lround(reachable));
  p.stretch = rate / p.espeak.rate;
  return p;
}

}  // namespace virn::speech
