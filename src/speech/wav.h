#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "util/bytes.h"

namespace virn::speech {

struct WavFormat {
  int channels = 0;
  int sample_rate = 0;
  int bits_per_sample = 0;
  std::uint16_t encoding = 0;   // 1: PCM
  std::size_t data_offset = 0;  // where the samples start
  std::size_t data_size = 0;    // bytes of samples actually present
};

// The format of a RIFF/WAVE file, or nullopt when the bytes are not one (too short, wrong
// magic, no "fmt " or "data" chunk). A data chunk that claims more than the file holds is
// taken as far as it goes.
std::optional<WavFormat> parse_wav(const Bytes& bytes);

// A standard 16-bit PCM mono WAV file.
Bytes make_wav(const std::vector<std::int16_t>& samples, int sample_rate);

// The samples of a 16-bit PCM mono file; empty when the file is anything else.
std::vector<std::int16_t> wav_samples(const Bytes& bytes);

}  // namespace virn::speech
