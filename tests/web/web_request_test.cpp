#include "web/web_request.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "support/ports.h"
#include "support/test_server.h"
#include "tests/web/recording_request_object.h"

namespace virn::web {
namespace {

using test::Reply;
using test::TestServer;
using Call = RecordingRequestObject::Call;

const std::string kUserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// Header names the server received, without the two that HTTP itself needs.
std::vector<std::string> caller_header_names(const test::RecordedRequest& request) {
  std::vector<std::string> names;
  for (const auto& [name, value] : request.headers) {
    if (name != "Host" && name != "Content-Length") names.push_back(name);
  }
  return names;
}

std::vector<Call> header_calls(const RecordingRequestObject& object) {
  return object.calls_to("SetRequestHeader");
}

Call header_call(std::string name, std::string value) {
  return {"SetRequestHeader", {std::move(name), std::move(value)}};
}

TEST(WebRequestMethods, IndexPicksTheMethodAndOutOfRangeMeansGet) {
  TestServer server;
  const std::pair<int, std::string> cases[] = {
      {0, "GET"},   {1, "POST"},    {2, "HEAD"}, {3, "PUT"},  {4, "OPTIONS"}, {5, "DELETE"},
      {6, "TRACE"}, {7, "CONNECT"}, {8, "GET"},  {-1, "GET"}, {1000, "GET"},
  };
  for (const auto& [method, name] : cases) {
    auto object = std::make_shared<RecordingRequestObject>();
    WebRequest r{.url = server.url("/m"), .method = method, .request_object = object};
    web_request(r);
    const auto opens = object->calls_to("Open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].arguments, (std::vector<std::string>{name, server.url("/m"), "false"}));
    const auto received = server.last_request();
    ASSERT_TRUE(received.has_value()) << name;
    EXPECT_EQ(received->method, name) << "method index " << method;
  }
}

TEST(WebRequestHeaders, DefaultLinesAreAppendedInOrderAndSent) {
  TestServer server;
  const std::string url = server.url("/form");
  const std::string four =
      "\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" + kUserAgent;
  struct Case {
    int method;
    std::string headers_after;
    std::vector<std::string> sent;
  };
  const Case cases[] = {
      {1,
       four + "\r\nContent-Type: application/x-www-form-urlencoded",
       {"Accept", "Referer", "Accept-Language", "User-Agent", "Content-Type"}},
      {3, four, {"Accept", "Referer", "Accept-Language", "User-Agent"}},
      {0, four, {"Accept", "Referer", "Accept-Language", "User-Agent"}},
  };
  for (const Case& c : cases) {
    WebRequest r{.url = url, .method = c.method, .normalize_header_case = false};
    web_request(r);
    EXPECT_EQ(r.headers, c.headers_after) << "method " << c.method;
    const auto received = server.last_request();
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(caller_header_names(*received), c.sent) << "method " << c.method;
    EXPECT_EQ(received->header("Referer"), url);
    EXPECT_EQ(received->header("User-Agent"), kUserAgent.substr(12));
  }
}

TEST(WebRequestHeaders, SearchForADefaultIgnoresCaseAndLineStarts) {
  TestServer server;
  struct Case {
    std::string headers;
    std::string after;
  };
  const std::string rest =
      "\r\nReferer: " + server.url() + "\r\nAccept-Language: zh-cn\r\n" + kUserAgent;
  const Case cases[] = {
      {"accept: text/html", "accept: text/html" + rest},
      {"X-Accept: 1", "X-Accept: 1" + rest},
      {"x: 1\r\nREFERER: r\r\nuser-agent: u\r\nACCEPT-language: ja\r\naccept:*",
       "x: 1\r\nREFERER: r\r\nuser-agent: u\r\nACCEPT-language: ja\r\naccept:*"},
  };
  for (const Case& c : cases) {
    WebRequest r{.url = server.url(), .headers = c.headers, .normalize_header_case = false};
    web_request(r);
    EXPECT_EQ(r.headers, c.after);
  }
}

TEST(WebRequestHeaders, NormalisedNamesReachTheServerAsWritten) {
  TestServer server;
  struct Case {
    bool normalize;
    std::string headers;
    std::string after;
    std::vector<std::string> sent;
  };
  const Case cases[] = {
      {true,
       "x-custom-name: 1\r\ncontent-TYPE: text/plain\r\nnot a header",
       "X-Custom-Name: 1\r\nContent-TYPE: text/plain",
       {"X-Custom-Name", "Content-TYPE"}},
      {false,
       "x-custom-name: 1\r\ncontent-TYPE: text/plain",
       "x-custom-name: 1\r\ncontent-TYPE: text/plain",
       {"x-custom-name", "content-TYPE"}},
  };
  for (const Case& c : cases) {
    WebRequest r{.url = server.url(),
                 .method = 1,
                 .headers = c.headers,
                 .complete_headers = false,
                 .normalize_header_case = c.normalize};
    web_request(r);
    EXPECT_EQ(r.headers, c.after);
    const auto received = server.last_request();
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(caller_header_names(*received), c.sent);
  }
}

TEST(WebRequestHeaders, OnlyTheExactKeepAliveLineIsSkipped) {
  struct Case {
    std::string headers;
    bool connection_sent;
  };
  const Case cases[] = {
      {"Connection: keep-alive\r\nX-A: 1", false},
      {"X-A: 1\r\nConnection:keep-alive", false},
      {"Connection: close\r\nX-A: 1", true},
      {"Connection: Keep-Alive\r\nX-A: 1", true},
      {"connection: keep-alive\r\nX-A: 1", true},
      // A single line is set without any test.
      {"Connection: keep-alive", true},
  };
  for (const Case& c : cases) {
    auto object = std::make_shared<RecordingRequestObject>();
    object->offline = true;
    WebRequest r{.url = "http://127.0.0.1:1/",
                 .headers = c.headers,
                 .request_object = object,
                 .complete_headers = false,
                 .normalize_header_case = false};
    web_request(r);
    bool sent = false;
    for (const Call& call : header_calls(*object)) {
      if (call.arguments[0] == "Connection" || call.arguments[0] == "connection") sent = true;
    }
    EXPECT_EQ(sent, c.connection_sent) << c.headers;
  }
}

TEST(WebRequestHeaders, ReachTheObjectAsProxyAuthorizationThenCookieThenLines) {
  auto object = std::make_shared<RecordingRequestObject>();
  object->offline = true;
  WebRequest r{.url = "http://127.0.0.1:1/",
               .cookies = std::string("a=1"),
               .headers = "x-b: 2\r\n\r\nx-a: 1",
               .proxy = "127.0.0.1:2",
               .proxy_user = "user",
               .proxy_password = "secret",
               .complete_headers = false};
  r.request_object = object;
  web_request(r);
  EXPECT_EQ(header_calls(*object),
            (std::vector<Call>{header_call("Proxy-Authorization", "Basic dXNlcjpzZWNyZXQ="),
                               header_call("Cookie", "a=1"), header_call("X-B", "2"),
                               header_call("X-A", "1")}));
}

TEST(WebRequestCredentials, GoToTheProxyOrServerOnlyWithProxyAndUser) {
  struct Case {
    std::string proxy;
    std::string user;
    std::optional<int> flag;
    std::vector<Call> expected;
  };
  const Call proxy_call{"SetProxy", {"2", "127.0.0.1:2"}};
  const Case cases[] = {
      {"127.0.0.1:2",
       "u",
       std::nullopt,
       {proxy_call,
        {"SetCredentials", {"u", "p", "1"}},
        header_call("Proxy-Authorization", "Basic dTpw")}},
      {"127.0.0.1:2",
       "u",
       1,
       {proxy_call,
        {"SetCredentials", {"u", "p", "1"}},
        header_call("Proxy-Authorization", "Basic dTpw")}},
      {"127.0.0.1:2", "u", 0, {proxy_call, {"SetCredentials", {"u", "p", "0"}}}},
      {"", "u", std::nullopt, {}},
      {"127.0.0.1:2", "", std::nullopt, {proxy_call}},
  };
  for (const Case& c : cases) {
    auto object = std::make_shared<RecordingRequestObject>();
    object->offline = true;
    WebRequest r{.url = "http://127.0.0.1:1/",
                 .proxy = c.proxy,
                 .proxy_user = c.user,
                 .proxy_password = "p",
                 .credentials_flag = c.flag,
                 .request_object = object,
                 .complete_headers = false};
    r.headers = "";
    web_request(r);
    std::vector<Call> relevant;
    for (const Call& call : object->calls) {
      if (call.operation == "SetProxy" || call.operation == "SetCredentials" ||
          (call.operation == "SetRequestHeader" && call.arguments[0] == "Proxy-Authorization")) {
        relevant.push_back(call);
      }
    }
    EXPECT_EQ(relevant, c.expected) << "proxy '" << c.proxy << "' user '" << c.user << "'";
  }
}

TEST(WebRequestTimeouts, SecondsBecomeMillisecondsForAllFourPhases) {
  struct Case {
    std::optional<int> seconds;  // none: left at the struct's default
    std::optional<TimeoutSettings> handed;
  };
  const TimeoutSettings fifteen{15000, 15000, 15000, 15000};
  const Case cases[] = {
      {-1, std::nullopt},
      {0, fifteen},
      {std::nullopt, fifteen},
      {-5, fifteen},
      {30, TimeoutSettings{30000, 30000, 30000, 30000}},
      {INT_MAX, TimeoutSettings{INT_MAX, INT_MAX, INT_MAX, INT_MAX}},
  };
  for (const Case& c : cases) {
    auto object = std::make_shared<RecordingRequestObject>();
    object->offline = true;
    WebRequest r{.url = "http://127.0.0.1:1/", .request_object = object};
    if (c.seconds) r.timeout_seconds = *c.seconds;
    web_request(r);
    EXPECT_EQ(object->GetTimeouts(), c.handed) << "timeout_seconds " << c.seconds.value_or(0);
    EXPECT_EQ(object->calls_to("SetTimeouts").size(), c.handed ? 1u : 0u);
  }
}

TEST(WebRequestTimeouts, AStalledResponseEndsWithStatusZero) {
  TestServer server;
  server.on("/stall", Reply{.body = "never sent", .stall_body = true});
  WebRequest r{.url = server.url("/stall"), .timeout_seconds = 1};
  const Bytes body = web_request(r);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.returned_headers, "");
}

TEST(WebRequestCookies, SentValueAndWhatStaysInTheCallersText) {
  TestServer server;
  struct Case {
    std::optional<std::string> cookies;
    std::optional<std::string> header_sent;  // none: no Cookie header at all
    std::optional<std::string> cookies_after;
  };
  const Case cases[] = {
      {"Cookie: a=1", "a=1", " a=1"},
      {"COOKIE:a=1", "a=1", "a=1"},
      {"x=1; cookie: y=2", "x=1;  y=2", "x=1;  y=2"},
      {"", "", ""},
      {std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    auto object = std::make_shared<RecordingRequestObject>();
    WebRequest r{.url = server.url(),
                 .cookies = c.cookies,
                 .request_object = object,
                 .auto_merge_cookies = false};
    web_request(r);
    EXPECT_EQ(r.cookies, c.cookies_after);
    const auto received = server.last_request();
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(received->header_count("Cookie"), c.header_sent ? 1 : 0);
    EXPECT_EQ(received->header("Cookie"), c.header_sent);
    if (c.cookies_after) {
      // The object gets the text itself, leading blank included.
      EXPECT_EQ(header_calls(*object).front(), header_call("Cookie", *c.cookies_after));
    }
  }
}

TEST(WebRequestCookies, ResponseCookiesAreCollectedAndMergedWhenAsked) {
  TestServer server;
  server.on("/login", Reply{.headers = {{"Set-Cookie", "sid=abc; path=/"},
                                        {"Set-Cookie", "lang=ja"},
                                        {"Set-Cookie", "theme=deleted; Max-Age=0"}}});
  struct Case {
    std::optional<std::string> cookies;
    std::optional<bool> merge;
    std::string returned;
    std::optional<std::string> cookies_after;
  };
  const Case cases[] = {
      {"sid=old; theme=dark; x=1", std::nullopt, "sid=abc; lang=ja; x=1", "sid=abc; lang=ja; x=1"},
      {"sid=old; x=1", false, "sid=abc; lang=ja; theme=deleted", "sid=old; x=1"},
      {std::nullopt, true, "sid=abc; lang=ja; theme=deleted", std::nullopt},
      {"", std::nullopt, "sid=abc; lang=ja", ""},
  };
  for (const Case& c : cases) {
    WebRequest r{.url = server.url("/login"), .cookies = c.cookies, .auto_merge_cookies = c.merge};
    web_request(r);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.returned_cookies, c.returned);
    if (c.cookies && c.merge.value_or(true)) {
      EXPECT_EQ(r.cookies, r.returned_cookies);
    } else {
      EXPECT_EQ(r.cookies, c.cookies_after);
    }
  }
}

TEST(WebRequestBodies, BytesWinOverTextAndGoOutUnchanged) {
  TestServer server;
  const Bytes binary = {0x00, 0xFF, 0x0D, 0x0A, 0x41, 0x00};
  struct Case {
    Bytes bytes;
    std::string text;
    std::string received;
  };
  const Case cases[] = {
      {binary, "ignored", std::string(binary.begin(), binary.end())},
      {{}, "speaker=1&text=\xE3\x81\x82", "speaker=1&text=\xE3\x81\x82"},
      {{}, "", ""},
  };
  for (const Case& c : cases) {
    WebRequest r{.url = server.url("/tts"), .method = 1, .body_text = c.text};
    r.body_bytes = c.bytes;
    web_request(r);
    const auto received = server.last_request();
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(received->body, c.received);
    EXPECT_EQ(received->header("Content-Length"), std::to_string(c.received.size()));
  }
}

TEST(WebRequestResponse, ErrorStatusKeepsItsBodyAndHeaders) {
  TestServer server;
  server.on("/missing",
            Reply{.status = 404, .headers = {{"X-Reason", "no such voice"}}, .body = "not here"});
  WebRequest r{.url = server.url("/missing")};
  const Bytes body = web_request(r);
  EXPECT_EQ(to_text(body), "not here");
  EXPECT_EQ(r.status, 404);
  EXPECT_FALSE(r.returned_headers.starts_with("HTTP/"));
  EXPECT_FALSE(r.returned_headers.ends_with("\r\n"));
  EXPECT_NE(r.returned_headers.find("X-Reason: no such voice"), std::string::npos);
  EXPECT_NE(r.returned_headers.find("Content-Length: 8"), std::string::npos);
}

TEST(WebRequestResponse, RedirectsAreFollowedUnlessForbidden) {
  TestServer server;
  server.on("/old", Reply::redirect("/new"));
  server.on("/new", Reply{.headers = {{"Set-Cookie", "n=1"}}, .body = "final"});
  struct Case {
    bool no_redirects;
    int status;
    std::string body;
    std::string header;
  };
  const Case cases[] = {
      {false, 200, "final", "Set-Cookie: n=1"},
      {true, 302, "moved", "Location: /new"},
  };
  for (const Case& c : cases) {
    WebRequest r{.url = server.url("/old"), .no_redirects = c.no_redirects};
    EXPECT_EQ(to_text(web_request(r)), c.body);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.returned_headers.find(c.header), std::string::npos) << r.returned_headers;
  }
  // Only the final response's fields are reported.
  WebRequest followed{.url = server.url("/old")};
  web_request(followed);
  EXPECT_EQ(followed.returned_headers.find("Location"), std::string::npos);
  EXPECT_EQ(followed.returned_cookies, "n=1");
}

TEST(WebRequestResponse, NobodyListeningGivesEmptyResultsAndSentCookiesBack) {
  const int port = test::unused_loopback_port();
  auto object = RequestObject::create();
  WebRequest r{.url = "http://127.0.0.1:" + std::to_string(port) + "/",
               .cookies = std::string("a=1;"),
               .returned_cookies = "stale",
               .returned_headers = "stale",
               .status = 99,
               .request_object = object};
  EXPECT_TRUE(web_request(r).empty());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.returned_headers, "");
  EXPECT_EQ(r.returned_cookies, "a=1");
  EXPECT_EQ(r.cookies, "a=1");
  EXPECT_EQ(object->LastError().kind, RequestErrorKind::cannot_connect);
  EXPECT_FALSE(object->LastError().message.empty());
}

TEST(WebRequestResponse, CallersObjectKeepsItsSettingsAndServesAgain) {
  TestServer server;
  server.on("/old", Reply::redirect("/new"));
  auto object = RequestObject::create();
  ASSERT_TRUE(object->Option(kOptionEnableRedirects, 0));
  WebRequest first{.url = server.url("/old"), .request_object = object};
  web_request(first);
  EXPECT_EQ(first.status, 302);
  WebRequest second{.url = server.url("/new"), .timeout_seconds = -1, .request_object = object};
  EXPECT_EQ(to_text(web_request(second)), "ok");
  EXPECT_EQ(object->GetTimeouts(), (TimeoutSettings{15000, 15000, 15000, 15000}));
  // web_request let go of its own reference.
  first.request_object.reset();
  second.request_object.reset();
  EXPECT_EQ(object.use_count(), 1);
}

}  // namespace
}  // namespace virn::web
