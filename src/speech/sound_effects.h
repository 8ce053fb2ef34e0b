#pragma once

#include <cstdint>
#include <vector>

#include "speech/voice_profile.h"

namespace virn::speech {

// What a profile asks after synthesis: tempo, pitch and formant changes, the demon's lower
// octave, the bear's growl, then the level, with a soft limit instead of clipping.
// Deterministic: the same input gives the same output.
std::vector<std::int16_t> apply_effects(const std::vector<std::int16_t>& samples, int sample_rate,
                                        const VoiceProfile& profile);

}  // namespace virn::speech
