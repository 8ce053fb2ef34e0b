#pragma once

#include <memory>
#include <optional>
#include <string>

#include "util/bytes.h"
#include "web/request_object.h"

namespace virn::web {

// The parameters of one web_request call. In-out and out members are the caller's own
// variables: web_request rewrites `headers` and `cookies` and writes `returned_cookies`,
// `returned_headers` and `status`. A member that is std::optional or a null pointer counts
// as "not given".
struct WebRequest {
  std::string url;                                // 1, required; also the default Referer
  int method = 0;                                 // 2: index into the method table
  std::string body_text;                          // 3
  std::optional<std::string> cookies;             // 4, in-out
  std::string returned_cookies;                   // 5, out
  std::string headers;                            // 6, in-out
  std::string returned_headers;                   // 7, out
  int status = 0;                                 // 8, out
  bool no_redirects = false;                      // 9
  Bytes body_bytes;                               // 10
  std::string proxy;                              // 11
  int timeout_seconds = 0;                        // 12: -1 keep, 0 or other: 15 s
  std::string proxy_user;                         // 13
  std::string proxy_password;                     // 14
  std::optional<int> credentials_flag;            // 15: 1 proxy, 0 server
  std::shared_ptr<RequestObject> request_object;  // 16: null: a new object
  std::optional<bool> auto_merge_cookies;         // 17: default true
  std::optional<bool> complete_headers;           // 18: default true
  std::optional<bool> normalize_header_case;      // 19: default true
};

// Performs the request; returns a copy of the response body (empty on failure).
Bytes web_request(WebRequest& request);

}  // namespace virn::web
