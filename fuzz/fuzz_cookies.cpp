#include <cstdlib>

#include "fuzz_input.h"
#include "util/codepage.h"
#include "web/cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  virn::ScopedCodePage page((in.byte() & 1) ? virn::CodePage::cp936 : virn::CodePage::utf8);
  std::string sent(in.text());
  const std::string_view headers = in.rest();

  const auto received = virn::web::collect_cookies(headers);
  const auto merged = virn::web::merge_cookies(sent, received);
  if (merged != sent) std::abort();
  return 0;
}
