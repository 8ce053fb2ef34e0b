#include "util/text.h"

#include <algorithm>
#include <cstddef>

#include "util/codepage.h"

namespace virn {
namespace {

char fold_ascii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool bytes_match(std::string_view text, std::size_t at, std::string_view needle, bool ignore_case) {
  const std::string_view candidate = text.substr(at, needle.size());
  if (!ignore_case) return candidate == needle;
  return equals_ignore_case(candidate, needle);
}

// Byte length of a leading space (ASCII or full-width) at `index`, 0 when none.
std::size_t space_length(std::string_view text, std::size_t index) {
  if (text[index] == ' ') return 1;
  const std::string_view wide = full_width_space();
  const std::size_t length = char_length(text, index);
  return length == wide.size() && text.substr(index, length) == wide ? length : 0;
}

// Under UTF-8 an ASCII byte is never part of another character, so every ASCII byte is a
// character start and a plain byte search finds exactly what the character walk finds.
bool byte_search_is_exact(std::string_view needle, bool ignore_case) {
  return !ignore_case && !needle.empty() && static_cast<unsigned char>(needle.front()) < 0x80 &&
         code_page() == CodePage::utf8;
}

long long position_of(std::size_t at) {
  return at == std::string_view::npos ? -1 : static_cast<long long>(at) + 1;
}

}  // namespace

std::string left_text(std::string_view text, long long count) {
  if (count <= 0) return {};
  return std::string(text.substr(0, static_cast<unsigned long long>(count)));
}

std::string right_text(std::string_view text, long long count) {
  if (count <= 0) return {};
  const auto wanted = static_cast<unsigned long long>(count);
  if (wanted >= text.size()) return std::string(text);
  return std::string(text.substr(text.size() - wanted));
}

std::string mid_text(std::string_view text, long long start, long long count) {
  if (start < 1 || count <= 0) return {};
  const auto offset = static_cast<unsigned long long>(start) - 1;
  if (offset >= text.size()) return {};
  return std::string(text.substr(offset, static_cast<unsigned long long>(count)));
}

long long find_text(std::string_view text, std::string_view needle, long long start,
                    bool ignore_case) {
  const auto from = static_cast<unsigned long long>(std::max(start, 1LL)) - 1;
  if (from >= text.size()) return -1;
  if (needle.empty()) return 1;
  if (byte_search_is_exact(needle, ignore_case)) return position_of(text.find(needle, from));
  for (std::size_t at = from; at + needle.size() <= text.size(); at += char_length(text, at)) {
    if (bytes_match(text, at, needle, ignore_case)) return static_cast<long long>(at) + 1;
  }
  return -1;
}

long long find_text_backward(std::string_view text, std::string_view needle, long long limit,
                             bool ignore_case) {
  if (limit <= 1) return -1;
  const std::size_t stretch =
      std::min<unsigned long long>(static_cast<unsigned long long>(limit) - 1, text.size());
  if (stretch == 0) return -1;
  if (needle.empty()) return 1;
  if (byte_search_is_exact(needle, ignore_case)) {
    return position_of(text.substr(0, stretch).rfind(needle));
  }
  long long found = -1;
  for (std::size_t at = 0; at + needle.size() <= stretch; at += char_length(text, at)) {
    if (bytes_match(text, at, needle, ignore_case)) found = static_cast<long long>(at) + 1;
  }
  return found;
}

bool contains_text(std::string_view text, std::string_view needle, bool ignore_case) {
  return find_text(text, needle, 1, ignore_case) != -1;
}

std::string replace_all(std::string_view text, std::string_view needle,
                        std::string_view replacement, bool ignore_case) {
  if (needle.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    if (at + needle.size() <= text.size() && bytes_match(text, at, needle, ignore_case)) {
      out.append(replacement);
      at += needle.size();
      continue;
    }
    const std::size_t length = char_length(text, at);
    out.append(text.substr(at, length));
    at += length;
  }
  return out;
}

std::vector<std::string_view> split_text_views(std::string_view text, std::string_view delimiter) {
  std::vector<std::string_view> pieces;
  if (text.empty()) return pieces;
  if (delimiter.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  const bool bytewise = byte_search_is_exact(delimiter, false);
  std::size_t piece_start = 0;
  std::size_t at = 0;
  while (at + delimiter.size() <= text.size()) {
    if (bytewise) {
      at = text.find(delimiter, at);
      if (at == std::string_view::npos) break;
    }
    if (text.substr(at, delimiter.size()) == delimiter) {
      pieces.push_back(text.substr(piece_start, at - piece_start));
      at += delimiter.size();
      piece_start = at;
    } else {
      at += char_length(text, at);
    }
  }
  if (piece_start < text.size()) pieces.push_back(text.substr(piece_start));
  return pieces;
}

TextList split_text(std::string_view text, std::string_view delimiter) {
  const std::vector<std::string_view> views = split_text_views(text, delimiter);
  return TextList(views.begin(), views.end());
}

std::string trim_text(std::string_view text) {
  const std::string_view kept = text.substr(0, text.size() - cut_off_tail_length(text));
  std::size_t begin = 0;
  while (begin < kept.size()) {
    const std::size_t length = space_length(kept, begin);
    if (length == 0) break;
    begin += length;
  }
  // Trailing spaces are found walking forward, so that the second byte of a
  // character is never taken for a space.
  std::size_t end = begin;
  for (std::size_t at = begin; at < kept.size();) {
    const std::size_t space = space_length(kept, at);
    at += space != 0 ? space : char_length(kept, at);
    if (space == 0) end = at;
  }
  return std::string(kept.substr(begin, end - begin));
}

std::string upper_ascii(std::string_view text) {
  // Walks by characters: a letter byte inside a double-byte character stays.
  std::string out(text);
  for (std::size_t at = 0; at < out.size();) {
    const std::size_t length = char_length(out, at);
    if (length == 1 && out[at] >= 'a' && out[at] <= 'z') {
      out[at] = static_cast<char>(out[at] - 'a' + 'A');
    }
    at += length;
  }
  return out;
}

bool equals_ignore_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold_ascii(a[i]) != fold_ascii(b[i])) return false;
  }
  return true;
}

}  // namespace virn
