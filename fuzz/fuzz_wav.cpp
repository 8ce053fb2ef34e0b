#include <cstdlib>

#include "speech/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const virn::Bytes bytes(data, data + size);
  const auto format = virn::speech::parse_wav(bytes);
  if (format && format->data_offset + format->data_size > bytes.size()) std::abort();
  const auto samples = virn::speech::wav_samples(bytes);
  if (!samples.empty() &&
      virn::speech::parse_wav(virn::speech::make_wav(samples, 22050))->data_size !=
          samples.size() * 2) {
    std::abort();
  }
  return 0;
}
