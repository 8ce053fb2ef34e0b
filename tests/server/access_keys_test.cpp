#include "server/access_keys.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "speech/form_body.h"

namespace virn::server {
namespace {

using Keys = std::vector<std::string>;

TEST(AccessKeys, KeyFileSkipsBlankLinesAndComments) {
  const auto keys = parse_key_file(
      "# keys for the office\n\nabc123def456ghi7\r\n  second-key\t\n#old-key\n   \nlast");
  ASSERT_TRUE(keys.ok()) << keys.error().message;
  EXPECT_EQ(*keys, (Keys{"abc123def456ghi7", "second-key", "last"}));

  const auto list = parse_key_list(" one, two ,,three,");
  ASSERT_TRUE(list.ok()) << list.error().message;
  EXPECT_EQ(*list, (Keys{"one", "two", "three"}));
}

TEST(AccessKeys, UnusableKeyNamesItsLineButNotTheKey) {
  const struct {
    std::string content;
    bool file;
    std::string where;
  } cases[] = {
      {"good\nsecret:part\n", true, "第 2 行"},
      {"good\n\n# c\nsecret part\n", true, "第 4 行"},
      {"secret\x01part", true, "第 1 行"},
      {"good,secret part", false, "第 2 项"},
  };
  for (const auto& c : cases) {
    const auto keys = c.file ? parse_key_file(c.content) : parse_key_list(c.content);
    ASSERT_FALSE(keys.ok()) << c.content;
    EXPECT_NE(keys.error().message.find(c.where), std::string::npos) << keys.error().message;
    EXPECT_EQ(keys.error().message.find("secret"), std::string::npos) << keys.error().message;
  }
}

TEST(AccessKeys, BasicUserIdOnlyForAnEmptyPassword) {
  const struct {
    std::string header;
    std::optional<std::string> user;
  } cases[] = {
      {"Basic " + speech::basic_credential("abc123def456ghi7"), "abc123def456ghi7"},
      {"basic " + speech::basic_credential("k"), "k"},
      {"BASIC   " + speech::basic_credential("k") + " ", "k"},
      {"Basic YWJjOg", "abc"},  // padding left off
      {"Basic " + speech::basic_credential(""), ""},
      {"Basic YWJjOnB3", std::nullopt},   // "abc:pw": a password
      {"Basic YWJj", std::nullopt},       // "abc": no colon
      {"Basic YW*jOg==", std::nullopt},   // not Base64
      {"Basic YWJjOg===", std::nullopt},  // too much padding
      {"Basic Y", std::nullopt},          // cut off
      {"Bearer YWJjOg==", std::nullopt},
      {"Basic", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(basic_user_id(c.header), c.user) << c.header;
  }
}

TEST(AccessKeys, KeyRingAcceptsExactlyItsKeys) {
  const KeyRing ring({"abc123def456ghi7", "other"});
  EXPECT_EQ(ring.size(), 2u);
  EXPECT_TRUE(ring.accepts("abc123def456ghi7"));
  EXPECT_TRUE(ring.accepts("other"));
  for (const char* wrong :
       {"", "abc123def456ghi", "abc123def456ghi78", "ABC123DEF456GHI7", "othe", "other "}) {
    EXPECT_FALSE(ring.accepts(wrong)) << wrong;
  }
  EXPECT_FALSE(KeyRing({}).accepts(""));
}

}  // namespace
}  // namespace virn::server
