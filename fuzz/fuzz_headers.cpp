#include <cstdlib>

#include "fuzz_input.h"
#include "util/codepage.h"
#include "web/header_lines.h"
#include "web/header_names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  virn::ScopedCodePage page((in.byte() & 1) ? virn::CodePage::cp936 : virn::CodePage::utf8);
  const std::string_view text = in.rest();

  const auto normalized = virn::web::normalize_header_names(text);
  if (normalized.size() > text.size()) std::abort();
  // Normalising twice changes nothing more.
  if (virn::web::normalize_header_names(normalized) != normalized) std::abort();
  if (virn::web::capitalize_first(text).size() != text.size()) std::abort();
  const auto name = virn::web::header_name_of(text);
  const auto value = virn::web::header_value_of(text);
  if (name.size() + value.size() >= text.size() + 1 && !text.empty()) std::abort();
  return 0;
}
