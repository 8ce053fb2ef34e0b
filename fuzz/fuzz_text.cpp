#include <cstdlib>

#include "fuzz_input.h"
#include "util/codepage.h"
#include "util/text.h"
#include "util/text_search.h"

// Every text routine under both code pages; the checks are the routines' own promises.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const auto flags = in.byte();
  const long long start = static_cast<std::int8_t>(in.byte());
  virn::ScopedCodePage page((flags & 1) ? virn::CodePage::cp936 : virn::CodePage::utf8);
  const bool ignore_case = (flags & 2) != 0;
  const std::string_view a = in.text();
  const std::string_view b = in.text();
  const std::string_view c = in.rest();

  const auto found = virn::find_text(a, b, start, ignore_case);
  if (found != -1 && (found < 1 || found > static_cast<long long>(a.size()) + 1)) std::abort();
  const auto back = virn::find_text_backward(a, b, start, ignore_case);
  if (back != -1 && (back < 1 || back + static_cast<long long>(b.size()) > start)) std::abort();

  const auto before = virn::text_before(a, b, start, ignore_case);
  if (a.substr(0, before.size()) != before) std::abort();
  const auto between = virn::text_between(a, b, c, start, ignore_case);
  if (between.size() > a.size()) std::abort();

  (void)virn::left_text(a, start);
  (void)virn::right_text(a, start);
  (void)virn::mid_text(a, start, static_cast<long long>(flags) - 128);
  const auto trimmed = virn::trim_text(a);
  if (trimmed.size() > a.size() || a.find(trimmed) == std::string_view::npos) std::abort();
  if (virn::upper_ascii(a).size() != a.size()) std::abort();
  (void)virn::replace_all(a, b, c, ignore_case);

  const auto pieces = virn::split_text(a, b);
  (void)virn::remove_duplicates(a, b, (flags & 4) != 0);

  virn::TextList units;
  const int count = virn::split_characters(a, units);
  std::string joined;
  for (const auto& unit : units)
    joined += unit;
  if (count != static_cast<int>(units.size()) || joined != a) std::abort();
  if (!pieces.empty() && virn::find_in_list(pieces, pieces.front()) != 1) std::abort();
  return 0;
}
