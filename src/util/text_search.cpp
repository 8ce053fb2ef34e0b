#include "util/text_search.h"

#include <cstddef>
#include <unordered_set>
#include <vector>

#include "util/codepage.h"

namespace virn {

std::string text_before(std::string_view text, std::string_view marker, long long start,
                        bool ignore_case) {
  long long found = -1;
  if (start < 0) {
    // -1 searches the first L - 1 bytes like -0 would; from -2 on, L - |start| - 1.
    const unsigned long long k = start == -1 ? 0ULL : 0ULL - static_cast<unsigned long long>(start);
    if (k >= text.size()) return {};
    const auto limit = static_cast<long long>(text.size() - k);
    found = find_text_backward(text, marker, limit, ignore_case);
  } else {
    found = find_text(text, marker, start == 0 ? 1 : start, ignore_case);
  }
  if (found < 1) return {};
  return left_text(text, found - 1);
}

std::string text_between(std::string_view text, std::string_view start_marker,
                         std::string_view end_marker, long long start, bool ignore_case) {
  // The placeholder is replaced exactly: ignore_case applies to the searches only.
  const std::string opening = replace_all(start_marker, quote_placeholder(), "\"");
  const std::string closing = replace_all(end_marker, quote_placeholder(), "\"");
  const long long found = find_text(text, opening, start < 1 ? 1 : start, ignore_case);
  if (found < 1) return {};
  const long long first = found + static_cast<long long>(opening.size());
  const long long end = find_text(text, closing, first, ignore_case);
  if (end < 1 || end - first <= 0) return {};
  return mid_text(text, first, end - first);
}

std::string remove_duplicates(std::string_view text, std::string_view delimiter,
                              bool split_at_delimiter) {
  TextList units;
  std::vector<std::string_view> items;
  if (split_at_delimiter) {
    items = split_text_views(text, delimiter);
  } else {
    split_characters(text, units);
    items.assign(units.begin(), units.end());
  }
  // Same result as asking find_in_list of the kept items, at linear cost.
  std::unordered_set<std::string_view> seen;
  seen.reserve(items.size());
  std::string out;
  out.reserve(text.size() + delimiter.size());
  for (const std::string_view item : items) {
    if (!seen.insert(item).second) continue;
    out.append(item);
    out.append(delimiter);
  }
  if (seen.empty()) return {};
  out.resize(out.size() - delimiter.size());
  return out;
}

int split_characters(std::string_view text, TextList& units) {
  units.clear();
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = unit_length(text, at);
    units.emplace_back(text.substr(at, length));
    at += length;
  }
  return static_cast<int>(units.size());
}

int find_in_list(const TextList& items, std::string_view text) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == text) return static_cast<int>(i) + 1;
  }
  return -1;
}

}  // namespace virn
