#include "util/text_search.h"

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

struct BeforeCase {
  CodePage page;
  std::string text;
  std::string marker;
  long long start;
  bool ignore_case;
  std::string before;
};

TEST(TextBefore, ForwardAndBackward) {
  const std::vector<BeforeCase> cases = {
      {CodePage::cp936, "Set-Cookie: a=1", ": ", 0, false, "Set-Cookie"},
      {CodePage::cp936, ":a", ":", 0, false, ""},
      {CodePage::cp936, "abc", ":", 0, false, ""},
      {CodePage::cp936, "abc", "", 0, false, ""},
      {CodePage::cp936, "", ":", 0, false, ""},
      {CodePage::cp936, "a:b:c", ":", 3, false, "a:b"},
      {CodePage::cp936, "a:b:c", ":", 5, false, ""},
      {CodePage::cp936, "a:b:c", ":", 6, false, ""},
      {CodePage::cp936, "a:b:c", ":", -1, false, "a:b"},
      {CodePage::cp936, "a:b:c", ":", -2, false, "a"},
      {CodePage::cp936, "a:b:c", ":", -3, false, ""},
      {CodePage::cp936, "a:b:", ":", -1, false, "a"},
      {CodePage::cp936, "a:b:c", ":", -5, false, ""},
      {CodePage::cp936, "a:b:c", ":", LLONG_MIN, false, ""},
      {CodePage::cp936, "a:b:c", ":", LLONG_MAX, false, ""},
      {CodePage::cp936, "\xB0\x41:x", "A", 0, false, ""},
      {CodePage::cp936, "\xB0\x41:xA", "A", 0, false, "\xB0\x41:x"},
      {CodePage::cp936, "\xB0\x41:xA", "A", -1, false, ""},
      {CodePage::cp936, "\xB0\x41:xAy", "A", -1, false, "\xB0\x41:x"},
      {CodePage::cp936, "COOKIE: x", "cookie", 0, true, ""},
      {CodePage::cp936, "x-COOKIE", "cookie", 0, true, "x-"},
      {CodePage::utf8, "\xE3\x81\x82: \xE3\x81\x84", ": ", 0, false, "\xE3\x81\x82"},
      {CodePage::utf8, "\xE3\x81\x82\xE3\x81\x84", "\x81\x84", 0, false, ""},
      {CodePage::utf8, "\xE3\x81\x82:\xE3\x81\x84:", ":", -1, false, "\xE3\x81\x82"},
  };
  for (const BeforeCase& c : cases) {
    ScopedCodePage scope(c.page);
    EXPECT_EQ(text_before(c.text, c.marker, c.start, c.ignore_case), c.before)
        << bytes_of(c.text) << " marker " << bytes_of(c.marker) << " start " << c.start;
  }
}

struct BetweenCase {
  CodePage page;
  std::string text;
  std::string start_marker;
  std::string end_marker;
  long long start;
  bool ignore_case;
  std::string between;
};

TEST(TextBetween, MarkersAndPlaceholder) {
  const std::string quote_cp936 = "#\xD2\xFD\xBA\xC5";
  const std::string quote_utf8 = "#\xE5\xBC\x95\xE5\x8F\xB7";
  const std::vector<BetweenCase> cases = {
      {CodePage::cp936, "Set-Cookie: sid=42; path=/", "Set-Cookie:", ";", 0, false, " sid=42"},
      {CodePage::cp936, "Set-Cookie: sid=42", "Set-Cookie:", ";", 0, false, ""},
      {CodePage::cp936, "sid=42;", "Set-Cookie:", ";", 0, false, ""},
      {CodePage::cp936, "ab", "a", "b", 0, false, ""},
      {CodePage::cp936, "a1b a2b", "a", "b", 2, false, "2"},
      {CodePage::cp936, "a1b a2b", "a", "b", -4, false, "1"},
      {CodePage::cp936, "a1b a2b", "a", "b", 99, false, ""},
      {CodePage::cp936, "a", "a", "", 0, false, ""},
      {CodePage::cp936, "set-cookie: v;", "Set-Cookie:", ";", 0, true, " v"},
      {CodePage::cp936, "set-cookie: v;", "Set-Cookie:", ";", 0, false, ""},
      {CodePage::cp936, "x=\"v\"", "x=" + quote_cp936, quote_cp936, 0, false, "v"},
      {CodePage::cp936, "X=\"v\"", "x=" + quote_cp936, quote_cp936, 0, true, "v"},
      // The placeholder of the other code page is plain text.
      {CodePage::cp936, "x=\"v\"", "x=" + quote_utf8, quote_utf8, 0, false, ""},
      // The end marker must follow the start marker; it is not searched from the start.
      {CodePage::cp936, ";Set-Cookie: a", "Set-Cookie:", ";", 0, false, ""},
      // A start marker inside a double-byte character does not count.
      {CodePage::cp936, "\xB0=1;=2;", "=", ";", 0, false, "2"},
      {CodePage::utf8, "x=\"v\"", "x=" + quote_utf8, quote_utf8, 0, false, "v"},
      {CodePage::utf8, "x=\"v\"", "x=" + quote_utf8, quote_utf8, 0, true, "v"},
      {CodePage::utf8, "\xE3\x81\x82[\xE3\x81\x84]", "[", "]", 0, false, "\xE3\x81\x84"},
      {CodePage::utf8, "\xE3\x81\x82\xE3\x81\x84;", "\x82", ";", 0, false, ""},
  };
  for (const BetweenCase& c : cases) {
    ScopedCodePage scope(c.page);
    EXPECT_EQ(text_between(c.text, c.start_marker, c.end_marker, c.start, c.ignore_case), c.between)
        << bytes_of(c.text) << " between " << bytes_of(c.start_marker) << " and "
        << bytes_of(c.end_marker) << " from " << c.start;
  }
}

struct DuplicateCase {
  CodePage page;
  std::string text;
  std::string delimiter;
  bool split_at_delimiter;
  std::string result;
};

TEST(RemoveDuplicates, KeepsFirstOfEachItem) {
  const std::vector<DuplicateCase> cases = {
      {CodePage::cp936, "a=1; b=2; a=1", "; ", true, "a=1; b=2"},
      {CodePage::cp936, "a; b; ", "; ", true, "a; b"},
      {CodePage::cp936, "a; ; ; b", "; ", true, "a; ; b"},
      {CodePage::cp936, "; a; ", "; ", true, "; a"},
      {CodePage::cp936, "A=1; a=1", "; ", true, "A=1; a=1"},
      {CodePage::cp936, "", "; ", true, ""},
      {CodePage::cp936, "a; a", "", true, "a; a"},
      {CodePage::cp936, "abca", ",", false, "a,b,c"},
      {CodePage::cp936, "abca", "", false, "abc"},
      {CodePage::cp936, "", ",", false, ""},
      {CodePage::cp936, "\xB0\xA1\xB0\xA1\xB0", "", false, "\xB0\xA1\xB0"},
      {CodePage::cp936, "\r\n\r\n\r", "|", false, "\r\n|\r"},
      {CodePage::utf8, "\xE3\x81\x82\xE3\x81\x84\xE3\x81\x82", "", false,
       "\xE3\x81\x82\xE3\x81\x84"},
      {CodePage::utf8, "\xE3\x81\x82=1; \xE3\x81\x82=1; b=2", "; ", true, "\xE3\x81\x82=1; b=2"},
  };
  for (const DuplicateCase& c : cases) {
    ScopedCodePage scope(c.page);
    EXPECT_EQ(remove_duplicates(c.text, c.delimiter, c.split_at_delimiter), c.result)
        << bytes_of(c.text) << " at " << bytes_of(c.delimiter);
  }
}

// The list-based definition, item by item.
std::string remove_duplicates_by_list(const TextList& items, const std::string& delimiter) {
  TextList kept;
  std::string out;
  for (const std::string& item : items) {
    if (find_in_list(kept, item) != -1) continue;
    kept.push_back(item);
    out += item + delimiter;
  }
  if (kept.empty()) return {};
  return out.substr(0, out.size() - delimiter.size());
}

TEST(RemoveDuplicates, AgreesWithListDefinitionOnRandomTexts) {
  std::mt19937 random(20261211);
  const std::string alphabet = "ab=; \xE3\x81\x82";
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i)
      text += alphabet[random() % alphabet.size()];
    TextList units;
    split_characters(text, units);
    EXPECT_EQ(remove_duplicates(text, "; ", true),
              remove_duplicates_by_list(split_text(text, "; "), "; "))
        << bytes_of(text);
    EXPECT_EQ(remove_duplicates(text, "|", false), remove_duplicates_by_list(units, "|"))
        << bytes_of(text);
  }
}

struct UnitsCase {
  CodePage page;
  std::string text;
  TextList units;
};

TEST(SplitCharacters, UnitRule) {
  const std::vector<UnitsCase> cases = {
      {CodePage::cp936, "", {}},
      {CodePage::cp936, "ab\r\nc", {"a", "b", "\r\n", "c"}},
      {CodePage::cp936, "a\r", {"a", "\r"}},
      {CodePage::cp936, "a\x81", {"a", "\x81"}},
      {CodePage::cp936,
       "\x80"
       "A",
       {"\x80", "A"}},
      {CodePage::cp936, "\xB0\xA1", {"\xB0\xA1"}},
      {CodePage::cp936, "\x81\r\n", {"\x81\r", "\n"}},
      {CodePage::utf8, "\xE3\x81\x82\r\nx", {"\xE3\x81\x82", "\r\n", "x"}},
      {CodePage::utf8, "a\xE3\x81", {"a", "\xE3", "\x81"}},
      {CodePage::utf8,
       "\x80"
       "A",
       {"\x80", "A"}},
  };
  for (const UnitsCase& c : cases) {
    ScopedCodePage scope(c.page);
    TextList units = {"left over"};
    EXPECT_EQ(split_characters(c.text, units), static_cast<int>(c.units.size()))
        << bytes_of(c.text);
    EXPECT_EQ(units, c.units) << bytes_of(c.text);
  }
}

TEST(FindInList, FirstEqualItemByteForByte) {
  EXPECT_EQ(find_in_list({"a", "b", "a"}, "a"), 1);
  EXPECT_EQ(find_in_list({"x", "b", "b"}, "b"), 2);
  EXPECT_EQ(find_in_list({"A"}, "a"), -1);
  EXPECT_EQ(find_in_list({}, ""), -1);
  EXPECT_EQ(find_in_list({"a", ""}, ""), 2);
  EXPECT_EQ(find_in_list({"a"}, ""), -1);
}

}  // namespace
}  // namespace virn
