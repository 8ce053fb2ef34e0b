#include "web/cookies.h"

#include <gtest/gtest.h>

#include <string>

namespace virn::web {
namespace {

TEST(CollectCookies, OneItemPerExactSetCookieLine) {
  struct Case {
    std::string headers;
    std::string cookies;
  };
  const Case cases[] = {
      {"Date: x\r\nSet-Cookie: sid=abc; path=/\r\nset-cookie: b=2\r\nSet-Cookie:c=3\r\n"
       "Set-Cookie: lang=ja\r\n\r\n",
       "sid=abc; lang=ja"},
      {"Set-Cookie: d=4; Secure", "d=4"},
      {"Set-Cookie:  h=8  ;p", "h=8"},
      {"Set-Cookie: a=SET-COOKIE:1", "a=1"},
      {"Set-Cookie: ", ""},
      {"Set-Cookie: ;x\r\nSet-Cookie: g=7", "; g=7"},
      {"Set-Cookie: a=1\r\nSet-Cookie: a=1", "a=1; a=1"},
      {"Content-Type: text/plain\r\nX-Set-Cookie: q=1", ""},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(collect_cookies(c.headers), c.cookies) << c.headers;
}

TEST(MergeCookies, ReceivedFirstThenUnsetSentOnesWithoutDeletedOrRepeated) {
  struct Case {
    std::string sent;
    std::string received;
    std::string merged;
  };
  const Case cases[] = {
      {"sid=old; theme=dark", "sid=abc; lang=ja", "sid=abc; lang=ja; theme=dark"},
      {"sid=old; theme=dark", "theme=deleted", "sid=old"},
      {"a=1; b=2", "b=deleted; b=3", "b=3; a=1"},
      {"a=1; a=2", "", "a=1"},
      {"a=1;", "b=2", "b=2; a=1"},
      {" a = 1 ; b=2", "a =3", "a =3; b=2"},
      {"x=1", "a=1; a=1; a=2", "a=1; a=2; x=1"},
      {"k", "k=1", "k=1"},
      {"a=1", "a=DELETED", "a=DELETED"},
      {"", "", ""},
      {"", "a=1;", "a=1"},
  };
  for (const Case& c : cases) {
    std::string sent = c.sent;
    EXPECT_EQ(merge_cookies(sent, c.received), c.merged) << c.sent << " + " << c.received;
    EXPECT_EQ(sent, c.merged) << "the sent text holds the merged text as well";
  }
}

TEST(CookieNames, TrimmedTextBeforeTheFirstEquals) {
  EXPECT_EQ(cookie_name_of(" sid =a=b"), "sid");
  EXPECT_EQ(cookie_name_of(" flag "), "flag");
  EXPECT_EQ(cookie_name_of("=v"), "");
  EXPECT_TRUE(cookie_list_has({"a=1", " b = 2"}, "b"));
  EXPECT_FALSE(cookie_list_has({"A=1"}, "a"));  // names keep their case
  EXPECT_FALSE(cookie_list_has({}, ""));
  EXPECT_TRUE(cookie_list_has({""}, ""));
}

}  // namespace
}  // namespace virn::web
