#include "speech/sound_effects.h"

#include <sonic.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace virn::speech {
namespace {

struct StreamDeleter {
  void operator()(sonicStreamStruct* stream) const { sonicDestroyStream(stream); }
};
using Stream = std::unique_ptr<sonicStreamStruct, StreamDeleter>;

bool near_one(double v) {
  return std::abs(v - 1.0) < 1e-3;
}

std::vector<float> stretch(const std::vector<float>& in, int sample_rate, double speed,
                           double pitch, double rate) {
  if (in.empty() || (near_one(speed) && near_one(pitch) && near_one(rate))) return in;
  Stream stream(sonicCreateStream(sample_rate, 1));
  if (!stream) return in;
  sonicSetSpeed(stream.get(), static_cast<float>(speed));
  sonicSetPitch(stream.get(), static_cast<float>(pitch));
  sonicSetRate(stream.get(), static_cast<float>(rate));
  std::vector<float> out;
  out.reserve(static_cast<std::size_t>(static_cast<double>(in.size()) / (speed * rate)) + 1024);
  std::vector<float> block(4096);
  const auto drain = [&] {
    int got = 0;
    while ((got = sonicReadFloatFromStream(stream.get(), block.data(),
                                           static_cast<int>(block.size()))) > 0) {
      out.insert(out.end(), block.begin(), block.begin() + got);
    }
  };
  constexpr std::size_t kChunk = 8192;
  std::vector<float> chunk;
  for (std::size_t at = 0; at < in.size(); at += kChunk) {
    chunk.assign(in.begin() + static_cast<std::ptrdiff_t>(at),
                 in.begin() + static_cast<std::ptrdiff_t>(std::min(in.size(), at + kChunk)));
    sonicWriteFloatToStream(stream.get(), chunk.data(), static_cast<int>(chunk.size()));
    drain();
  }
  sonicFlushStream(stream.get());
  drain();
  return out;
}

// A slow irregular tremor (a few tens of hertz) and a little saturation: a throat that rasps.
void add_growl(std::vector<float>& x, int sample_rate, double depth) {
  std::uint32_t seed = 0x9E3779B9u;
  const auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
  };
  // Two one-pole smoothers: the tremor is noise low-passed at about 45 Hz.
  const double a = std::exp(-2.0 * M_PI * 45.0 / sample_rate);
  double s1 = 0.0;
  double s2 = 0.0;
  const double drive = 1.0 + 3.0 * depth;
  const double norm = std::tanh(drive);
  for (float& v : x) {
    s1 = a * s1 + (1.0 - a) * noise();
    s2 = a * s2 + (1.0 - a) * s1;
    const double tremor = std::clamp(1.0 + depth * 12.0 * s2, 0.0, 2.0);
    v = static_cast<float>(std::tanh(drive * v * tremor) / norm);
  }
}

void add_sub_octave(std::vector<float>& x, int sample_rate, double share) {
  const std::vector<float> low = stretch(x, sample_rate, 1.0, 0.5, 1.0);
  const std::size_t n = std::min(x.size(), low.size());
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = static_cast<float>((1.0 - share * 0.5) * x[i] + share * low[i]);
  }
}

float soft_limit(float v) {
  constexpr float knee = 0.8f;
  const float magnitude = std::abs(v);
  if (magnitude <= knee) return v;
  const float limited = knee + (1.0f - knee) * std::tanh((magnitude - knee) / (1.0f - knee));
  return std::copysign(limited, v);
}

}  // namespace

std::vector<std::int16_t> apply_effects(const std::vector<std::int16_t>& samples, int sample_rate,
                                        const VoiceProfile& profile) {
  const float gain = static_cast<float>(profile.gain);
  const auto level = [gain](float v) {
    const float limited = soft_limit(v * gain);
    return static_cast<std::int16_t>(std::lround(std::clamp(limited, -1.0f, 1.0f) * 32767.0f));
  };
  std::vector<std::int16_t> out;
  const bool reshaped = !(near_one(profile.stretch) && near_one(profile.pitch_shift) &&
                          near_one(profile.formant_shift)) ||
                        profile.sub_octave > 0.0 || profile.growl > 0.0;
  if (!reshaped) {
    // Only the level changes: no need for a float copy of the whole utterance.
    out.resize(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(),
                   [&](std::int16_t s) { return level(static_cast<float>(s) / 32768.0f); });
    return out;
  }
  std::vector<float> x(samples.size());
  std::transform(samples.begin(), samples.end(), x.begin(),
                 [](std::int16_t s) { return static_cast<float>(s) / 32768.0f; });
  x = stretch(x, sample_rate, profile.stretch, profile.pitch_shift, profile.formant_shift);
  if (profile.sub_octave > 0.0) add_sub_octave(x, sample_rate, profile.sub_octave);
  if (profile.growl > 0.0) add_growl(x, sample_rate, profile.growl);
  out.resize(x.size());
  std::transform(x.begin(), x.end(), out.begin(), level);
  return out;
}

}  // namespace virn::speech
