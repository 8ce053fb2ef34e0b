#include "util/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace virn {
namespace {

struct LengthCase {
  std::string text;
  std::size_t index;
  std::size_t length;
};

void expect_lengths(CodePage page, const std::vector<LengthCase>& cases,
                    std::size_t (*rule)(std::string_view, std::size_t)) {
  ScopedCodePage scope(page);
  for (const LengthCase& c : cases) {
    EXPECT_EQ(rule(c.text, c.index), c.length)
        << "text bytes: " << ::testing::PrintToString(c.text) << " index " << c.index;
  }
}

TEST(CodePage, DefaultsToUtf8AndScopeRestores) {
  EXPECT_EQ(code_page(), CodePage::utf8);
  {
    ScopedCodePage outer(CodePage::cp936);
    EXPECT_EQ(code_page(), CodePage::cp936);
    {
      ScopedCodePage inner(CodePage::utf8);
      EXPECT_EQ(code_page(), CodePage::utf8);
    }
    EXPECT_EQ(code_page(), CodePage::cp936);
  }
  EXPECT_EQ(code_page(), CodePage::utf8);
}

TEST(CodePage, Utf8CharactersAreWholeValidSequences) {
  expect_lengths(CodePage::utf8,
                 {
                     {"a", 0, 1},
                     {"\xC3\xA9", 0, 2},
                     {"\xE3\x81\x82:", 0, 3},
                     {"\xE3\x81\x82:", 3, 1},
                     {"\xF0\x9F\x98\x80", 0, 4},
                     // A stray continuation byte is a character of its own.
                     {"\xE3\x81\x82", 1, 1},
                     {"\x80", 0, 1},
                     // Overlong forms, surrogates and code points above U+10FFFF.
                     {"\xC0\x80", 0, 1},
                     {"\xE0\x80\x80", 0, 1},
                     {"\xED\xA0\x80", 0, 1},
                     {"\xF4\x90\x80\x80", 0, 1},
                     {"\xF5\x80\x80\x80", 0, 1},
                     // Sequences cut short by the end or by a byte that does not continue them.
                     {"\xE3\x81", 0, 1},
                     {"\xE3\x41\x42", 0, 1},
                     {"\xF0\x9F\x98", 0, 1},
                     // Past the end the length is still never 0.
                     {"a", 5, 1},
                 },
                 char_length);
}

TEST(CodePage, Cp936CharactersAreHighBytePairs) {
  expect_lengths(CodePage::cp936,
                 {
                     {"\xB0\x41", 0, 2},
                     {"\x80\x41", 0, 2},
                     {"\xB0\x41", 1, 1},
                     {"A\xB0", 1, 1},
                     {"\x7F\x41", 0, 1},
                 },
                 char_length);
}

TEST(CodePage, UnitRuleJoinsCrLfAndDiffersAt0x80UnderCp936) {
  expect_lengths(CodePage::cp936,
                 {
                     {"\r\n", 0, 2},
                     {"\r", 0, 1},
                     {"\n\r", 0, 1},
                     {"\x80\x41", 0, 1},
                     {"\x81\x41", 0, 2},
                     {"\xB0\xA1", 0, 2},
                     {"a\x81", 1, 1},
                 },
                 unit_length);
  expect_lengths(CodePage::utf8,
                 {
                     {"\r\n", 0, 2},
                     {"x\r", 1, 1},
                     {"\xE3\x81\x82", 0, 3},
                     {"\x80\x41", 0, 1},
                     {"\xE3\x81", 0, 1},
                 },
                 unit_length);
}

TEST(CodePage, CutOffTail) {
  struct Case {
    CodePage page;
    std::string text;
    std::size_t tail;
  };
  const std::vector<Case> cases = {
      {CodePage::utf8, "", 0},
      {CodePage::utf8, "ab", 0},
      {CodePage::utf8, "ab\xE3", 1},
      {CodePage::utf8, "ab\xE3\x81", 2},
      {CodePage::utf8, "\xF0\x9F\x98", 3},
      {CodePage::utf8, "ab\xE3\x81\x82", 0},
      {CodePage::utf8, "ab\x80", 0},
      {CodePage::utf8, "ab\xE0\x80", 0},
      {CodePage::utf8, "\x80\x80\x80\x80", 0},
      {CodePage::cp936, "", 0},
      {CodePage::cp936, "ab\xB0", 1},
      {CodePage::cp936, "\xB0\xA1", 0},
      {CodePage::cp936, "\xB0\xA1\xB0", 1},
      // Pairs are counted from the start: the last A1 here is a second byte.
      {CodePage::cp936, "a\xB0\xA1\xA1", 1},
      {CodePage::cp936, "\xB0\xA1\xA1\xA1", 0},
  };
  for (const Case& c : cases) {
    ScopedCodePage scope(c.page);
    EXPECT_EQ(cut_off_tail_length(c.text), c.tail)
        << "text bytes: " << ::testing::PrintToString(c.text);
  }
}

TEST(CodePage, SpaceAndPlaceholderBytes) {
  {
    ScopedCodePage scope(CodePage::utf8);
    EXPECT_EQ(full_width_space(), "\xE3\x80\x80");
    EXPECT_EQ(quote_placeholder(), "#\xE5\xBC\x95\xE5\x8F\xB7");
  }
  ScopedCodePage scope(CodePage::cp936);
  EXPECT_EQ(full_width_space(), "\xA1\xA1");
  EXPECT_EQ(quote_placeholder(), "#\xD2\xFD\xBA\xC5");
}

}  // namespace
}  // namespace virn
