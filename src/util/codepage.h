#pragma once

#include <cstddef>
#include <string_view>

namespace virn {

// How bytes group into characters. utf8 is the product's; cp936 keeps the double-byte
// rules of the original Windows program, byte for byte.
enum class CodePage { utf8, cp936 };

// The process-wide code page; utf8 unless changed.
CodePage code_page();
void set_code_page(CodePage page);

// Switches the code page for one scope (tests), restoring the previous one after.
class ScopedCodePage {
 public:
  explicit ScopedCodePage(CodePage page);
  ~ScopedCodePage();
  ScopedCodePage(const ScopedCodePage&) = delete;
  ScopedCodePage& operator=(const ScopedCodePage&) = delete;

 private:
  CodePage previous_;
};

// Byte length of the character starting at 0-based byte `index` under the search rule
// (used by every search and split). Never 0 and never past the end of the text.
std::size_t char_length(std::string_view text, std::size_t index);

// Byte length of the unit starting at `index` under the unit rule of split_characters
// (CR LF is one unit).
std::size_t unit_length(std::string_view text, std::size_t index);

// The full-width space of the current code page (U+3000 or A1 A1).
std::string_view full_width_space();

// Byte length of an incomplete character standing last in the text (0 when none):
// the "cut-off last character" that trimming removes.
std::size_t cut_off_tail_length(std::string_view text);

// The quote placeholder "#引号" in the current code page.
std::string_view quote_placeholder();

}  // namespace virn
