#include "faults/killed_save.h"

#include <cstdint>
#include <vector>

#include "speech/wav.h"

namespace virn::faults {

Bytes killed_save_take(int take) {
  // 4 Mi samples, 8 MiB of audio: long enough to be caught in the middle of its write.
  constexpr std::size_t kSamples = std::size_t{4} * 1024 * 1024;
  std::vector<std::int16_t> samples(kSamples);
  for (std::size_t index = 0; index < kSamples; ++index) {
    const auto wave = static_cast<std::int16_t>((index % 200) * 100 - 10000);
    samples[index] = take == 0 ? wave : static_cast<std::int16_t>(-wave - 1);
  }
  return speech::make_wav(samples, 16000);
}

}  // namespace virn::faults
