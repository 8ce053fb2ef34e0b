#include "speech/wav.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace virn::speech {
namespace {

std::uint32_t read_u32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t read_u16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

bool tag_at(const Bytes& b, std::size_t at, std::string_view tag) {
  return at + 4 <= b.size() && std::memcmp(b.data() + at, tag.data(), 4) == 0;
}

void put_u32(Bytes& b, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8)
    b.push_back(static_cast<std::uint8_t>(v >> shift));
}

void put_u16(Bytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_tag(Bytes& b, std::string_view tag) {
  b.insert(b.end(), tag.begin(), tag.end());
}

}  // namespace

std::optional<WavFormat> parse_wav(const Bytes& bytes) {
  if (bytes.size() < 12 || !tag_at(bytes, 0, "RIFF") || !tag_at(bytes, 8, "WAVE")) {
    return std::nullopt;
  }
  WavFormat format;
  bool have_fmt = false;
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::uint32_t size = read_u32(bytes, at + 4);
    const std::size_t body = at + 8;
    const std::size_t available = std::min<std::size_t>(size, bytes.size() - body);
    if (tag_at(bytes, at, "fmt ")) {
      if (available < 16) return std::nullopt;
      format.encoding = read_u16(bytes, body);
      format.channels = read_u16(bytes, body + 2);
      format.sample_rate = static_cast<int>(read_u32(bytes, body + 4));
      format.bits_per_sample = read_u16(bytes, body + 14);
      have_fmt = true;
    } else if (tag_at(bytes, at, "data")) {
      if (!have_fmt || format.channels == 0 || format.sample_rate <= 0) return std::nullopt;
      format.data_offset = body;
      format.data_size = available;
      return format;
    }
    // Chunks are padded to an even size.
    const std::size_t next = body + static_cast<std::size_t>(size) + (size & 1u);
    if (next <= at || next > bytes.size()) break;
    at = next;
  }
  return std::nullopt;
}

Bytes make_wav(const std::vector<std::int16_t>& samples, int sample_rate) {
  const auto data_size = static_cast<std::uint32_t>(samples.size() * 2);
  Bytes out;
  out.reserve(44 + data_size);
  put_tag(out, "RIFF");
  put_u32(out, 36 + data_size);
  put_tag(out, "WAVE");
  put_tag(out, "fmt ");
  put_u32(out, 16);
  put_u16(out, 1);  // PCM
  put_u16(out, 1);  // mono
  put_u32(out, static_cast<std::uint32_t>(sample_rate));
  put_u32(out, static_cast<std::uint32_t>(sample_rate) * 2);
  put_u16(out, 2);
  put_u16(out, 16);
  put_tag(out, "data");
  put_u32(out, data_size);
  for (const std::int16_t s : samples)
    put_u16(out, static_cast<std::uint16_t>(s));
  return out;
}

std::vector<std::int16_t> wav_samples(const Bytes& bytes) {
  const auto format = parse_wav(bytes);
  if (!format || format->encoding != 1 || format->channels != 1 || format->bits_per_sample != 16) {
    return {};
  }
  std::vector<std::int16_t> samples(format->data_size / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<std::int16_t>(read_u16(bytes, format->data_offset + 2 * i));
  }
  return samples;
}

}  // namespace virn::speech
