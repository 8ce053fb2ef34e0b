#include <cstdlib>

#include "fuzz_input.h"
#include "server/form_decoding.h"
#include "speech/form_body.h"

// What the window encodes, the server decodes back exactly; any body decodes or fails
// cleanly.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto decoded = virn::server::form_decode(virn::speech::form_encode(text));
  if (!decoded || *decoded != text) std::abort();
  (void)virn::server::decode_speech_form(text);
  (void)virn::server::form_decode(text);
  return 0;
}
