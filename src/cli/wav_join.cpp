#include "cli/wav_join.h"

#include <cstdint>
#include <string_view>

#include "speech/wav.h"

namespace virn::cli {
namespace {

void put_u32(Bytes& b, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8)
    b.push_back(static_cast<std::uint8_t>(v >> shift));
}

void put_u16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_tag(Bytes& b, std::string_view tag) {
  b.insert(b.end(), tag.begin(), tag.end());
}

}  // namespace

Result<Bytes> join_wavs(const std::vector<Bytes>& wavs) {
  if (wavs.empty()) return Error{"没有可合并的音频"};
  if (wavs.size() == 1) return wavs.front();

  std::optional<speech::WavFormat> first;
  std::size_t total = 0;
  for (std::size_t i = 0; i < wavs.size(); ++i) {
    const auto format = speech::parse_wav(wavs[i]);
    if (!format) return Error{"第 " + std::to_string(i + 1) + " 段音频不是 WAV 文件"};
    if (first && (format->encoding != first->encoding || format->channels != first->channels ||
                  format->sample_rate != first->sample_rate ||
                  format->bits_per_sample != first->bits_per_sample)) {
      return Error{"第 " + std::to_string(i + 1) + " 段音频的格式与第 1 段不同，无法合并"};
    }
    if (!first) first = format;
    total += format->data_size;
  }
  const std::uint32_t frame = static_cast<std::uint32_t>(first->channels) *
                              static_cast<std::uint32_t>(first->bits_per_sample) / 8;
  if (total + 44 > 0xFFFFFFFFu) return Error{"合并后的音频超过 4 GB，WAV 文件装不下"};

  Bytes out;
  out.reserve(44 + total + 1);
  put_tag(out, "RIFF");
  put_u32(out, static_cast<std::uint32_t>(36 + total + (total & 1u)));
  put_tag(out, "WAVE");
  put_tag(out, "fmt ");
  put_u32(out, 16);
  put_u16(out, first->encoding);
  put_u16(out, static_cast<std::uint32_t>(first->channels));
  put_u32(out, static_cast<std::uint32_t>(first->sample_rate));
  put_u32(out, static_cast<std::uint32_t>(first->sample_rate) * frame);
  put_u16(out, frame);
  put_u16(out, static_cast<std::uint32_t>(first->bits_per_sample));
  put_tag(out, "data");
  put_u32(out, static_cast<std::uint32_t>(total));
  for (const Bytes& wav : wavs) {
    const auto format = speech::parse_wav(wav);
    // Whole frames only, so a piece cut short cannot shift the channels of the next.
    const std::size_t size = frame > 0 ? format->data_size / frame * frame : format->data_size;
    const auto begin = wav.begin() + static_cast<std::ptrdiff_t>(format->data_offset);
    out.insert(out.end(), begin, begin + static_cast<std::ptrdiff_t>(size));
  }
  // The data chunk's size must state what is really there.
  const std::size_t data = out.size() - 44;
  for (int k = 0; k < 4; ++k)
    out[40 + k] = static_cast<std::uint8_t>(data >> (8 * k));
  if (data & 1u) out.push_back(0);
  const std::size_t riff = out.size() - 8;
  for (int k = 0; k < 4; ++k)
    out[4 + k] = static_cast<std::uint8_t>(riff >> (8 * k));
  return out;
}

}  // namespace virn::cli
