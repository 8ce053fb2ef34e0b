#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "util/result.h"

namespace virn::speech {

// What espeak-ng itself is told for one utterance.
struct EspeakSettings {
  std::string voice = "ja";  // a voice name, with "+variant" for a variant
  int rate = 175;            // words per minute, 80..450
  int pitch = 50;            // base pitch, 0..100
  int range = 50;            // pitch range, 0..100
};

// The mono 16-bit samples of espeak-ng speaking the text (espeak-ng's own markup is not
// interpreted), at espeak_sample_rate(). The library keeps global state, so the process has
// one session, initialised on first use and shared behind a lock: calls from several threads
// take turns. Setting `cancelled` ends a running call early with an error.
Result<std::vector<std::int16_t>> espeak_speak(const std::string& text,
                                               const EspeakSettings& settings,
                                               const std::atomic<bool>& cancelled);

// The sample rate of espeak_speak's output, or an error when espeak-ng cannot start.
Result<int> espeak_sample_rate();

}  // namespace virn::speech
