#include <gtest/gtest.h>

#include <string>

#include "util/codepage.h"
#include "web/header_lines.h"
#include "web/header_names.h"

namespace virn::web {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

TEST(NormalizeHeaderNames, CapitalisesEachPartOfEveryName) {
  const Case cases[] = {
      {"\r\naccept: */*\r\nuser-agent: x", "Accept: */*\r\nUser-Agent: x"},
      {"a: b\r\n", "A: b"},
      {"a: b\nc: d", "A: b\nc: d"},  // a lone LF does not end a line
      {"content-type:text/html", "Content-Type:text/html"},
      {"accept-language: zh-cn", "Accept-Language: zh-cn"},
      {"Content-TYPE: a", "Content-TYPE: a"},
      {"  x-y : v", "  x-Y : v"},
      {"x-: v", "X-: v"},
      {"-x: v", "-X: v"},
      {"a--b: v", "A--B: v"},
      {": v", ": v"},
      {"x-time: 12:30", "X-Time: 12:30"},
      {"no colon\r\nalso none", ""},
      {"", ""},
      {"bad line\r\n\r\nx-a: 1\r\n\r\nb: 2", "X-A: 1\r\nB: 2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(normalize_header_names(c.input), c.expected) << "input: " << c.input;
  }
}

TEST(NormalizeHeaderNames, NeverSplitsInsideADoubleByteCharacter) {
  const ScopedCodePage cp936(CodePage::cp936);
  // B0 2D is one character: its second byte is not a "-" that starts a new part.
  const std::string name = "a\xB0-b: v";
  EXPECT_EQ(normalize_header_names(name), "A\xB0-b: v");
  // B0 3A is one character too, so the name ends at the later colon.
  EXPECT_EQ(normalize_header_names("x\xB0:y-z: v"), "X\xB0:y-Z: v");
}

TEST(CapitalizeFirst, ChangesOnlyALeadingLowerCaseLetter) {
  const Case cases[] = {
      {"", ""},       {"abc", "Abc"}, {"Abc", "Abc"},
      {"1ab", "1ab"}, {" ab", " ab"}, {"\xE3\x81\x82x", "\xE3\x81\x82x"},
      {"z", "Z"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(capitalize_first(c.input), c.expected);
}

TEST(HeaderLines, NameAndValueAroundTheFirstColon) {
  struct Line {
    std::string line;
    std::string name;
    std::string value;
  };
  const Line cases[] = {
      {"X-Time: 12:30", "X-Time", "12:30"},
      {"  Name :  v a  ", "Name", "v a"},
      {"nocolon", "", ""},
      {":v", "", "v"},
      {"A:", "A", ""},
      {"A: \xE3\x80\x80v\xE3\x80\x80", "A", "v"},  // full-width spaces are trimmed
      {"A:\tv", "A", "\tv"},                       // a tab is not
      {"", "", ""},
  };
  for (const Line& c : cases) {
    EXPECT_EQ(header_name_of(c.line), c.name) << c.line;
    EXPECT_EQ(header_value_of(c.line), c.value) << c.line;
  }
}

}  // namespace
}  // namespace virn::web
