#include <cstdlib>

#include "speech/reading.h"
#include "speech/speech_request.h"

// The reading stage takes any valid UTF-8 text; it must never crash.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!virn::speech::utf8_length(text)) return 0;
  (void)virn::speech::to_katakana(text);
  (void)virn::speech::only_punctuation(text);
  const auto tokens = virn::speech::read_text(text);
  if (!tokens) std::abort();
  (void)virn::speech::reading_display(*tokens);
  (void)virn::speech::reading_for_engine(*tokens);
  return 0;
}
