#include "util/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "util/codepage.h"

namespace virn {
namespace {

std::string bytes_of(const std::string& text) {
  return ::testing::PrintToString(text);
}

TEST(Cuts, NeverFail) {
  EXPECT_EQ(left_text("abc", 0), "");
  EXPECT_EQ(left_text("abc", -3), "");
  EXPECT_EQ(left_text("abc", 2), "ab");
  EXPECT_EQ(left_text("abc", LLONG_MAX), "abc");
  EXPECT_EQ(right_text("abc", 0), "");
  EXPECT_EQ(right_text("abc", 2), "bc");
  EXPECT_EQ(right_text("abc", 9), "abc");
  EXPECT_EQ(mid_text("abcde", 2, 3), "bcd");
  EXPECT_EQ(mid_text("abcde", 4, LLONG_MAX), "de");
  EXPECT_EQ(mid_text("abcde", 0, 2), "");
  EXPECT_EQ(mid_text("abcde", 6, 1), "");
  EXPECT_EQ(mid_text("abcde", LLONG_MAX, 1), "");
  EXPECT_EQ(mid_text("abcde", 5, 1), "e");
  EXPECT_EQ(mid_text("abcde", 2, 0), "");
  EXPECT_EQ(mid_text("", 1, 1), "");
}

struct FindCase {
  CodePage page;
  std::string text;
  std::string needle;
  long long start;
  bool ignore_case;
  long long found;
};

TEST(FindText, ForwardStepsByCharacters) {
  const std::vector<FindCase> cases = {
      {CodePage::cp936, "\xB0\x41:x", "A", 1, false, -1},
      {CodePage::cp936, "\xB0\x41:xA", "A", 1, false, 5},
      {CodePage::cp936, "\xB0\x41:x", ":", 1, false, 3},
      // Stepping starts at the given position, even inside a character.
      {CodePage::cp936, "\xB0\x41:x", "A", 2, false, 2},
      {CodePage::utf8, "\xE3\x81\x82:x", ":", 1, false, 4},
      {CodePage::utf8, "\xE3\x81\x82\xE3\x81\x84", "\x81\x84", 1, false, -1},
      {CodePage::utf8, "\xE3\x81\x82\xE3\x81\x84", "\xE3\x81\x84", 1, false, 4},
      {CodePage::utf8, "abcabc", "bc", 3, false, 5},
      {CodePage::utf8, "abc", "abc", 1, false, 1},
      {CodePage::utf8, "abc", "abcd", 1, false, -1},
      {CodePage::utf8, "abc", "c", 0, false, 3},
      {CodePage::utf8, "abc", "c", -7, false, 3},
      {CodePage::utf8, "abc", "c", 4, false, -1},
      {CodePage::utf8, "abc", "c", LLONG_MAX, false, -1},
      {CodePage::utf8, "Set-Cookie: x", "set-cookie:", 1, true, 1},
      {CodePage::utf8, "Set-Cookie: x", "set-cookie:", 1, false, -1},
      // Only A-Z and a-z fold: É (C3 89) and é (C3 A9) stay different.
      {CodePage::utf8, "\xC3\x89", "\xC3\xA9", 1, true, -1},
      {CodePage::utf8, "[", "{", 1, true, -1},
      {CodePage::utf8, "abc", "", 2, false, 1},
      {CodePage::utf8, "abc", "", 4, false, -1},
      {CodePage::utf8, "", "", 1, false, -1},
  };
  for (const FindCase& c : cases) {
    ScopedCodePage scope(c.page);
    EXPECT_EQ(find_text(c.text, c.needle, c.start, c.ignore_case), c.found)
        << bytes_of(c.text) << " needle " << bytes_of(c.needle) << " from " << c.start;
  }
}

TEST(FindText, BackwardFindsLastMatchInsideTheStretch) {
  const std::vector<FindCase> cases = {
      {CodePage::utf8, "a:b:c", ":", 5, false, 4},
      {CodePage::utf8, "a:b:c", ":", 4, false, 2},
      {CodePage::utf8, "a:b:", ":", 4, false, 2},
      {CodePage::utf8, "a:b:", ":", 5, false, 4},
      {CodePage::utf8, "a:b:", ":", 99, false, 4},
      {CodePage::utf8, "a:b:", ":", 2, false, -1},
      {CodePage::utf8, "a:b:", ":", 1, false, -1},
      {CodePage::utf8, "a:b:", ":", LLONG_MIN, false, -1},
      {CodePage::utf8, "abAB", "ab", 5, true, 3},
      {CodePage::utf8, "abc", "", 2, false, 1},
      {CodePage::utf8, "abc", "", 1, false, -1},
      {CodePage::cp936, "\xB0\x41\x41", "A", 4, false, 3},
      {CodePage::cp936, "\xB0\x41\x41", "A", 3, false, -1},
      {CodePage::utf8, "\xE3\x81\x82\x82", "\x82", 5, false, 4},
      {CodePage::utf8, "\xE3\x81\x82\x82", "\x82", 4, false, -1},
  };
  for (const FindCase& c : cases) {
    ScopedCodePage scope(c.page);
    EXPECT_EQ(find_text_backward(c.text, c.needle, c.start, c.ignore_case), c.found)
        << bytes_of(c.text) << " needle " << bytes_of(c.needle) << " limit " << c.start;
  }
}

// Searches for an ASCII needle take a byte-search shortcut under UTF-8; with a needle that has
// no letters, ignoring case changes nothing but takes the character walk, so both must agree,
// also on texts full of stray and cut-off sequences.
TEST(FindText, AsciiShortcutAgreesWithTheCharacterWalk) {
  ScopedCodePage page(CodePage::utf8);
  const std::vector<std::string> pieces = {":",
                                           "; ",
                                           "=",
                                           "a",
                                           " ",
                                           "\xE6\x97\xA5",
                                           "\xE3\x80\x80",
                                           "\x80",
                                           "\xE6\x97",
                                           "\xF0\x9F\x98\x80",
                                           "\xC3"};
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i)
      text += pieces[random() % pieces.size()];
    for (const std::string_view needle : {":", "; ", "=:"}) {
      const long long start = static_cast<long long>(random() % (text.size() + 2)) - 1;
      ASSERT_EQ(find_text(text, needle, start, false), find_text(text, needle, start, true))
          << text;
      ASSERT_EQ(find_text_backward(text, needle, start, false),
                find_text_backward(text, needle, start, true))
          << text;
    }
  }
}

TEST(ReplaceAll, ReplacesWholeCharactersOnly) {
  EXPECT_EQ(replace_all("a-b-c", "-", "+"), "a+b+c");
  EXPECT_EQ(replace_all("aXbxc", "x", "", true), "abc");
  EXPECT_EQ(replace_all("aaa", "aa", "b"), "ba");
  EXPECT_EQ(replace_all("abc", "", "x"), "abc");
  {
    ScopedCodePage scope(CodePage::cp936);
    EXPECT_EQ(replace_all("\xB0-x-", "-", "+"), "\xB0-x+");
  }
  EXPECT_EQ(replace_all("\xE3\x81\x82\x82", "\x82", "!"), "\xE3\x81\x82!");
}

struct SplitCase {
  CodePage page;
  std::string text;
  std::string delimiter;
  TextList pieces;
};

TEST(SplitText, EmptyPieceRules) {
  const std::vector<SplitCase> cases = {
      {CodePage::utf8, "", "; ", {}},
      {CodePage::utf8, "", "", {}},
      {CodePage::utf8, "a; b", "", {"a; b"}},
      {CodePage::utf8, "a; b", "; ", {"a", "b"}},
      {CodePage::utf8, "; a", "; ", {"", "a"}},
      {CodePage::utf8, "a; ; b", "; ", {"a", "", "b"}},
      {CodePage::utf8, "a; ", "; ", {"a"}},
      {CodePage::utf8, "a; ; ", "; ", {"a", ""}},
      {CodePage::utf8, "; ", "; ", {""}},
      {CodePage::utf8, "a\r\nb\r\n", "\r\n", {"a", "b"}},
      {CodePage::utf8, "a;", "; ", {"a;"}},
      // A delimiter byte inside a character is not a delimiter.
      {CodePage::cp936, "\xB0-x-y", "-", {"\xB0-x", "y"}},
      {CodePage::utf8, "\xE3\x81\x82\x82z", "\x82", {"\xE3\x81\x82", "z"}},
  };
  for (const SplitCase& c : cases) {
    ScopedCodePage scope(c.page);
    EXPECT_EQ(split_text(c.text, c.delimiter), c.pieces)
        << bytes_of(c.text) << " at " << bytes_of(c.delimiter);
  }
}

struct TrimCase {
  CodePage page;
  std::string text;
  std::string trimmed;
};

TEST(TrimText, SpacesAtBothEndsAndCutOffLastCharacter) {
  const std::vector<TrimCase> cases = {
      {CodePage::cp936, "  a b  ", "a b"},
      {CodePage::cp936,
       "\xA1\xA1 \xA1\xA1"
       "a \xA1\xA1 ",
       "a"},
      {CodePage::cp936, "\ta\r\n", "\ta\r\n"},
      {CodePage::cp936, " \t ", "\t"},
      {CodePage::cp936, "   ", ""},
      {CodePage::cp936, "", ""},
      {CodePage::cp936, "ab\xB0", "ab"},
      {CodePage::cp936, "ab \xB0", "ab"},
      {CodePage::cp936, "\xB0\xA1", "\xB0\xA1"},
      // A1 A1 spanning two characters is no full-width space.
      {CodePage::cp936, "a\xB0\xA1\xA1", "a\xB0\xA1"},
      {CodePage::cp936, "\xB0\xA1\xA1\xA1", "\xB0\xA1"},
      {CodePage::cp936, "\xB0 ", "\xB0 "},
      {CodePage::utf8, "\xE3\x80\x80 a \xE3\x80\x80", "a"},
      {CodePage::utf8, "\xE3\x80\x80\xE3\x81\x82\xE3\x80\x80", "\xE3\x81\x82"},
      {CodePage::utf8, "ab\xE3\x81", "ab"},
      {CodePage::utf8, "ab \xF0\x9F", "ab"},
      {CodePage::utf8, "ab\x80", "ab\x80"},
      {CodePage::utf8, "\xA1\xA1", "\xA1\xA1"},
      {CodePage::utf8, "\xE3\x80", ""},
  };
  for (const TrimCase& c : cases) {
    ScopedCodePage scope(c.page);
    EXPECT_EQ(trim_text(c.text), c.trimmed) << bytes_of(c.text);
  }
}

TEST(Case, OnlyAsciiLettersChange) {
  EXPECT_EQ(upper_ascii("set-cookie: \xC3\xA9z"), "SET-COOKIE: \xC3\xA9Z");
  {
    ScopedCodePage scope(CodePage::cp936);
    EXPECT_EQ(upper_ascii("a\xB0\x61z"), "A\xB0\x61Z");
  }
  EXPECT_TRUE(equals_ignore_case("Keep-Alive", "keep-alive"));
  EXPECT_FALSE(equals_ignore_case("keep-alive", "keep-alive "));
  EXPECT_FALSE(equals_ignore_case("\xC3\x89", "\xC3\xA9"));
  EXPECT_FALSE(equals_ignore_case("@", "`"));
  EXPECT_TRUE(equals_ignore_case("", ""));
}

}  // namespace
}  // namespace virn
