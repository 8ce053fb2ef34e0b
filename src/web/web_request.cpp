#include "web/web_request.h"

#include <algorithm>
#include <array>
#include <climits>
#include <string_view>
#include <vector>

#include "util/base64.h"
#include "util/text.h"
#include "web/cookies.h"
#include "web/curl_global.h"
#include "web/header_lines.h"
#include "web/header_names.h"

namespace virn::web {
namespace {

constexpr std::array<std::string_view, 8> kMethods = {"GET",     "POST",   "HEAD",  "PUT",
                                                      "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr int kPost = 1;
constexpr int kDefaultTimeoutMs = 15000;
constexpr int kKeepTimeouts = -1;

int method_index(int method) {
  return method < 0 || method > 7 ? 0 : method;
}

// Seconds to milliseconds; a value whose thousandfold does not fit an int is held at the
// largest one rather than overflowing.
int timeout_ms(int timeout_seconds) {
  if (timeout_seconds < 1) return kDefaultTimeoutMs;
  return static_cast<int>(std::min<long long>(timeout_seconds * 1000LL, INT_MAX));
}

void complete_headers(std::string& headers, const std::string& url, int method) {
  struct DefaultLine {
    std::string_view search;
    std::string line;
  };
  const std::array<DefaultLine, 4> always = {{
      {"Accept:", "Accept: */*"},
      {"Referer:", "Referer: " + url},
      {"Accept-Language:", "Accept-Language: zh-cn"},
      {"User-Agent:", "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
  }};
  const auto add_missing = [&headers](std::string_view search, std::string_view line) {
    if (contains_text(headers, search, true)) return;
    headers += "\r\n";
    headers += line;
  };
  for (const DefaultLine& row : always)
    add_missing(row.search, row.line);
  if (method == kPost) {
    add_missing("Content-Type:", "Content-Type: application/x-www-form-urlencoded");
  }
}

void set_header_lines(RequestObject& object, const std::string& headers) {
  const std::vector<std::string_view> lines = split_text_views(headers, "\r\n");
  // The split already tells whether the text holds a CR LF: then it has several pieces,
  // or one that is shorter than the text.
  const bool one_line = lines.empty() || (lines.size() == 1 && lines[0].size() == headers.size());
  if (one_line) {
    object.SetRequestHeader(header_name_of(headers), header_value_of(headers));
    return;
  }
  for (const std::string_view line : lines) {
    if (line.empty()) continue;
    const std::string name = header_name_of(line);
    const std::string value = header_value_of(line);
    if (name == "Connection" && value == "keep-alive") continue;
    object.SetRequestHeader(name, value);
  }
}

}  // namespace

Bytes web_request(WebRequest& request) {
  const bool auto_merge_cookies = request.auto_merge_cookies.value_or(true);
  const bool complete = request.complete_headers.value_or(true);
  const bool normalize = request.normalize_header_case.value_or(true);

  const CurlSession session;

  const int method = method_index(request.method);
  const std::string method_name(kMethods[static_cast<std::size_t>(method)]);

  // One reference of our own for the length of the call; a caller's object stays theirs.
  std::shared_ptr<RequestObject> object =
      request.request_object ? request.request_object : RequestObject::create();
  if (!object) return {};

  if (request.timeout_seconds != kKeepTimeouts) {
    const int ms = timeout_ms(request.timeout_seconds);
    object->SetTimeouts(ms, ms, ms, ms);
  }
  if (!request.proxy.empty()) object->SetProxy(kProxyNamed, request.proxy);
  object->Open(method_name, request.url, false);
  if (request.no_redirects) object->Option(kOptionEnableRedirects, 0);
  // Certificate errors are not ignored here: a caller that must accept them configures its
  // own request_object with kOptionSslErrorIgnoreFlags.

  if (complete) complete_headers(request.headers, request.url, method);
  if (normalize) request.headers = normalize_header_names(request.headers);

  if (!request.proxy.empty() && !request.proxy_user.empty()) {
    const int flag = request.credentials_flag.value_or(kCredentialsForProxy);
    object->SetCredentials(request.proxy_user, request.proxy_password, flag);
    if (flag == kCredentialsForProxy) {
      const std::string pair = request.proxy_user + ":" + request.proxy_password;
      object->SetRequestHeader("Proxy-Authorization", "Basic " + base64_encode(to_bytes(pair)));
    }
  }

  if (request.cookies) {
    std::string& cookies = *request.cookies;
    if (!cookies.empty() && contains_text(cookies, "Cookie:", true)) {
      cookies = replace_all(cookies, "Cookie:", "", true);
    }
    object->SetRequestHeader("Cookie", cookies);
  }

  set_header_lines(*object, request.headers);

  if (!request.body_bytes.empty()) {
    object->Send(request.body_bytes);
  } else {
    object->Send(request.body_text);
  }

  Bytes body;
  if (!object->ResponseBody(body)) body.clear();
  std::string returned_headers;
  if (!object->GetAllResponseHeaders(returned_headers)) returned_headers.clear();
  request.returned_headers = std::move(returned_headers);
  int status = 0;
  if (!object->Status(status)) status = 0;
  request.status = status;

  request.returned_cookies = collect_cookies(request.returned_headers);
  if (auto_merge_cookies && request.cookies) {
    request.returned_cookies = merge_cookies(*request.cookies, request.returned_cookies);
  }

  object.reset();
  return body;
}

}  // namespace virn::web
