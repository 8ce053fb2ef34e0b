#include "speech/text_chunks.h"

#include <cstdint>

namespace virn::speech {
namespace {

// Byte length of the character starting at `at`; a stray byte is one character.
std::size_t char_length(std::string_view text, std::size_t at) {
  const auto lead = static_cast<std::uint8_t>(text[at]);
  std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (at + length > text.size()) return 1;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<std::uint8_t>(text[at + k]) & 0xC0u) != 0x80u) return 1;
  }
  return length;
}

bool one_of(std::string_view c, std::initializer_list<std::string_view> set) {
  for (const auto s : set) {
    if (c == s) return true;
  }
  return false;
}

bool ends_sentence(std::string_view c) {
  return one_of(c, {"。", "！", "？", "!", "?", "\n", "\r", "．"});
}

bool is_blank(std::string_view c) {
  return one_of(c, {" ", "\t", "\r", "\n", "　"});
}

struct Char {
  std::size_t begin;
  std::size_t end;
};
std::string_view trim(std::string_view s) {
  constexpr std::string_view kWideSpace = "　";
  while (true) {
    if (!s.empty() && is_blank(s.substr(0, 1))) {
      s.remove_prefix(1);
    } else if (s.starts_with(kWideSpace)) {
      s.remove_prefix(kWideSpace.size());
    } else if (!s.empty() && is_blank(s.substr(s.size() - 1))) {
      s.remove_suffix(1);
    } else if (s.ends_with(kWideSpace)) {
      s.remove_suffix(kWideSpace.size());
    } else {
      return s;
    }
  }
}

}  // namespace

std::vector<std::string> split_text(std::string_view text, std::size_t max_chars) {
  if (max_chars == 0) max_chars = 1;
  std::vector<Char> chars;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t n = char_length(text, at);
    chars.push_back({at, at + n});
    at += n;
  }
  const auto piece_of = [&](std::size_t from, std::size_t to) {
    return text.substr(chars[from].begin, chars[to - 1].end - chars[from].begin);
  };
  const auto is = [&](std::size_t i, auto predicate) {
    return predicate(text.substr(chars[i].begin, chars[i].end - chars[i].begin));
  };

  // Sentences as ranges of characters, each ending after its run of sentence marks.
  std::vector<std::pair<std::size_t, std::size_t>> sentences;
  std::size_t start = 0;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    if (!is(i, ends_sentence)) continue;
    while (i + 1 < chars.size() && is(i + 1, ends_sentence))
      ++i;
    sentences.emplace_back(start, i + 1);
    start = i + 1;
  }
  if (start < chars.size()) sentences.emplace_back(start, chars.size());

  // Sentences too long on their own are cut after the last 、 or blank that fits, else hard.
  std::vector<std::pair<std::size_t, std::size_t>> parts;
  for (auto [from, to] : sentences) {
    while (to - from > max_chars) {
      std::size_t cut = 0;
      for (std::size_t i = from + max_chars; i > from + 1; --i) {
        if (is(i - 1, [](std::string_view c) {
              return one_of(c, {"、", "，", ","}) || is_blank(c);
            })) {
          cut = i;
          break;
        }
      }
      if (cut == 0) cut = from + max_chars;
      parts.emplace_back(from, cut);
      from = cut;
    }
    parts.emplace_back(from, to);
  }

  // Pack whole parts while they fit.
  std::vector<std::string> pieces;
  std::size_t open = 0;
  std::size_t length = 0;
  bool have = false;
  const auto flush = [&](std::size_t end) {
    if (have) {
      const std::string_view piece = trim(piece_of(open, end));
      if (!piece.empty()) pieces.emplace_back(piece);
    }
    have = false;
  };
  for (const auto& [from, to] : parts) {
    if (have && length + (to - from) > max_chars) flush(from);
    if (!have) {
      open = from;
      length = 0;
      have = true;
    }
    length += to - from;
  }
  if (have) flush(chars.size());
  return pieces;
}

}  // namespace virn::speech
