#include "util/codepage.h"

#include <atomic>

namespace virn {
namespace {

std::atomic<CodePage> g_code_page{CodePage::utf8};

unsigned char byte_at(std::string_view text, std::size_t index) {
  return static_cast<unsigned char>(text[index]);
}

bool is_continuation(unsigned char byte) {
  return (byte & 0xC0U) == 0x80U;
}

// Length a UTF-8 lead byte announces, or 0 when it cannot start a sequence
// (continuation bytes, C0/C1 overlong leads, F5 and above).
std::size_t utf8_sequence_length(unsigned char lead) {
  if (lead < 0x80U) return 1;
  if (lead >= 0xC2U && lead <= 0xDFU) return 2;
  if (lead >= 0xE0U && lead <= 0xEFU) return 3;
  if (lead >= 0xF0U && lead <= 0xF4U) return 4;
  return 0;
}

// The second byte of a sequence is narrower for some leads: this keeps out overlong
// forms, surrogates and code points above U+10FFFF.
bool utf8_second_byte_fits(unsigned char lead, unsigned char second) {
  switch (lead) {
    case 0xE0U:
      return second >= 0xA0U && second <= 0xBFU;
    case 0xEDU:
      return second >= 0x80U && second <= 0x9FU;
    case 0xF0U:
      return second >= 0x90U && second <= 0xBFU;
    case 0xF4U:
      return second >= 0x80U && second <= 0x8FU;
    default:
      return is_continuation(second);
  }
}

// Number of bytes from `index` that continue the sequence its lead byte opens, stopping
// at the first byte that does not fit or at the end of the text.
std::size_t utf8_valid_prefix(std::string_view text, std::size_t index, std::size_t wanted) {
  const unsigned char lead = byte_at(text, index);
  std::size_t got = 1;
  while (got < wanted && index + got < text.size()) {
    const unsigned char next = byte_at(text, index + got);
    const bool fits = got == 1 ? utf8_second_byte_fits(lead, next) : is_continuation(next);
    if (!fits) break;
    ++got;
  }
  return got;
}

std::size_t utf8_char_length(std::string_view text, std::size_t index) {
  const std::size_t wanted = utf8_sequence_length(byte_at(text, index));
  if (wanted <= 1) return 1;
  return utf8_valid_prefix(text, index, wanted) == wanted ? wanted : 1;
}

std::size_t cp936_char_length(std::string_view text, std::size_t index) {
  return byte_at(text, index) >= 0x80U && index + 1 < text.size() ? 2 : 1;
}

bool is_cr_lf(std::string_view text, std::size_t index) {
  return text[index] == '\r' && index + 1 < text.size() && text[index + 1] == '\n';
}

std::size_t utf8_cut_off_tail_length(std::string_view text) {
  // A sequence is at most four bytes, so its lead lies within the last four.
  const std::size_t size = text.size();
  std::size_t start = size;
  while (start > 0 && size - start < 4) {
    --start;
    if (!is_continuation(byte_at(text, start))) break;
  }
  if (start == size) return 0;
  const std::size_t wanted = utf8_sequence_length(byte_at(text, start));
  const std::size_t present = size - start;
  if (wanted <= present) return 0;
  return utf8_valid_prefix(text, start, wanted) == present ? present : 0;
}

std::size_t cp936_cut_off_tail_length(std::string_view text) {
  // Byte pairs can only be told apart from the start of the text.
  std::size_t index = 0;
  while (index < text.size()) {
    const std::size_t length = cp936_char_length(text, index);
    if (index + length == text.size()) {
      return length == 1 && byte_at(text, index) >= 0x80U ? 1 : 0;
    }
    index += length;
  }
  return 0;
}

}  // namespace

CodePage code_page() {
  return g_code_page.load(std::memory_order_relaxed);
}

void set_code_page(CodePage page) {
  g_code_page.store(page, std::memory_order_relaxed);
}

ScopedCodePage::ScopedCodePage(CodePage page) : previous_(code_page()) {
  set_code_page(page);
}

ScopedCodePage::~ScopedCodePage() {
  set_code_page(previous_);
}

std::size_t char_length(std::string_view text, std::size_t index) {
  if (index >= text.size()) return 1;
  return code_page() == CodePage::cp936 ? cp936_char_length(text, index)
                                        : utf8_char_length(text, index);
}

std::size_t unit_length(std::string_view text, std::size_t index) {
  if (index + 1 >= text.size()) return 1;
  if (is_cr_lf(text, index)) return 2;
  if (code_page() == CodePage::cp936) return byte_at(text, index) >= 0x81U ? 2 : 1;
  return utf8_char_length(text, index);
}

std::string_view full_width_space() {
  return code_page() == CodePage::cp936 ? std::string_view("\xA1\xA1")
                                        : std::string_view("\xE3\x80\x80");
}

std::size_t cut_off_tail_length(std::string_view text) {
  if (text.empty()) return 0;
  return code_page() == CodePage::cp936 ? cp936_cut_off_tail_length(text)
                                        : utf8_cut_off_tail_length(text);
}

std::string_view quote_placeholder() {
  // "#引号": '#' followed by the two characters, in the bytes of each code page.
  return code_page() == CodePage::cp936 ? std::string_view("#\xD2\xFD\xBA\xC5")
                                        : std::string_view("#\xE5\xBC\x95\xE5\x8F\xB7");
}

}  // namespace virn
