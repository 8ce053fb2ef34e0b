#include "web/request_object.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

#include "util/text.h"
#include "web/curl_global.h"

namespace virn::web {
namespace {

// A server that sends header lines without end would otherwise fill memory.
constexpr std::size_t kMaxResponseHeaderBytes = std::size_t{1024} * 1024;
constexpr long kMaxRedirects = 10;
constexpr TimeoutSettings kDefaultTimeouts{0, 60000, 30000, 30000};

struct Credentials {
  std::string user;
  std::string password;
};

struct Header {
  std::string name;
  std::string value;
};

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

class HeaderList {
 public:
  HeaderList() = default;
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;
  ~HeaderList() { curl_slist_free_all(list_); }

  bool add(const std::string& line) {
    curl_slist* grown = curl_slist_append(list_, line.c_str());
    if (grown == nullptr) return false;
    list_ = grown;
    return true;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

bool has_forbidden_byte(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool is_token(std::string_view text) {
  if (text.empty()) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 32 && byte < 127 && c != '(' && c != ')' && c != '<' && c != '>' && c != '@' &&
           c != ',' && c != ';' && c != ':' && c != '\\' && c != '"' && c != '/' && c != '[' &&
           c != ']' && c != '?' && c != '=' && c != '{' && c != '}';
  });
}

// libcurl checks the rest of the address when it sends; the scheme decides here already,
// so that no other protocol is ever started.
bool is_web_url(std::string_view url) {
  const auto starts_with = [url](std::string_view prefix) {
    return url.size() > prefix.size() && equals_ignore_case(url.substr(0, prefix.size()), prefix);
  };
  return starts_with("http://") || starts_with("https://");
}

// Optional whitespace around a header value (space and tab only, as HTTP defines it).
std::string_view strip_ows(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

RequestErrorKind kind_of(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return RequestErrorKind::cannot_resolve;
    case CURLE_COULDNT_CONNECT:
      return RequestErrorKind::cannot_connect;
    case CURLE_OPERATION_TIMEDOUT:
      return RequestErrorKind::timed_out;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return RequestErrorKind::certificate;
    case CURLE_ABORTED_BY_CALLBACK:
      return RequestErrorKind::aborted;
    case CURLE_FILESIZE_EXCEEDED:
      return RequestErrorKind::too_large;
    default:
      return RequestErrorKind::other;
  }
}

long clamp_to_long(long long value) {
  return static_cast<long>(std::min<long long>(value, LONG_MAX));
}

}  // namespace

struct RequestObject::State {
  CurlSession session;
  // The transfer runs on a multi handle of its own so that Abort can wake its wait at once.
  // Declared before `handle`, so it goes last: a handle must leave its multi first.
  std::unique_ptr<CURLM, MultiDeleter> multi;
  std::unique_ptr<CURL, CurlDeleter> handle;

  // Kept from one request to the next.
  std::optional<TimeoutSettings> timeouts;
  int proxy_setting = kProxyDirect;
  std::string proxy;
  bool follow_redirects = true;
  long ignored_certificate_errors = 0;
  std::string ca_file;

  // The open request.
  bool opened = false;
  std::string method;
  std::string url;
  std::vector<Header> headers;
  std::optional<Credentials> server_credentials;
  std::optional<Credentials> proxy_credentials;

  // The last response.
  bool has_response = false;
  bool has_body = false;
  long status = 0;
  Bytes body;
  std::vector<std::string> header_lines;
  std::size_t header_bytes = 0;
  bool too_large = false;
  RequestError error;
  char error_buffer[CURL_ERROR_SIZE] = {};

  std::atomic<bool> abort_requested{false};

  // Sending and receiving give up when nothing has moved for this long (0: never): body
  // bytes either way, or a complete header line, so a reply trickled slower than a line per
  // limit is given up too. The clock runs from the moment a connection stands; connecting
  // has its own time-out.
  std::chrono::milliseconds inactivity_limit{0};
  std::chrono::steady_clock::time_point last_activity;
  bool connected = false;
  curl_off_t bytes_moved = 0;

  void note_activity() { last_activity = std::chrono::steady_clock::now(); }

  void clear_response() {
    has_response = false;
    has_body = false;
    status = 0;
    body.clear();
    header_lines.clear();
    header_bytes = 0;
    too_large = false;
    error = {};
    error_buffer[0] = '\0';
  }

  bool fail(RequestErrorKind kind, std::string message) {
    error = {kind, std::move(message)};
    return false;
  }

  // One line from libcurl's header callback, CR LF included. Every status line starts a
  // new response (a redirect, an authentication round, a 100 Continue), so only the final
  // response's fields remain.
  bool take_header_line(std::string_view line) {
    if (line.starts_with("HTTP/")) {
      header_lines.clear();
      header_bytes = 0;
      body.clear();
      return true;
    }
    note_activity();
    header_bytes += line.size();
    if (header_bytes > kMaxResponseHeaderBytes) {
      too_large = true;
      return false;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.remove_suffix(1);
    if (line.empty()) return true;
    if (line.front() == ' ' || line.front() == '\t') {
      // An obsolete folded continuation belongs to the field before it.
      if (!header_lines.empty()) {
        header_lines.back() += ' ';
        header_lines.back() += strip_ows(line);
      }
      return true;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return true;
    std::string field(line.substr(0, colon));
    field += ": ";
    field += strip_ows(line.substr(colon + 1));
    header_lines.push_back(std::move(field));
    return true;
  }

  bool take_body(std::string_view data) {
    note_activity();
    if (data.size() > kMaxResponseBodyBytes - body.size()) {
      too_large = true;
      return false;
    }
    // Grown by doubling but never past the cap, so a reply near the cap costs the cap.
    const std::size_t needed = body.size() + data.size();
    if (needed > body.capacity()) {
      body.reserve(std::min(std::max(needed, body.capacity() * 2), kMaxResponseBodyBytes));
    }
    body.insert(body.end(), data.begin(), data.end());
    return true;
  }

  static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* state) {
    const std::size_t length = size * count;
    return static_cast<State*>(state)->take_header_line(std::string_view(data, length)) ? length
                                                                                        : 0;
  }

  static std::size_t on_body(char* data, std::size_t size, std::size_t count, void* state) {
    const std::size_t length = size * count;
    return static_cast<State*>(state)->take_body(std::string_view(data, length)) ? length : 0;
  }

  // Called when a connection stands, right before the request goes out (again after a
  // redirect): the inactivity clock starts here.
  static int on_connected(void* state, char* /*remote_ip*/, char* /*local_ip*/, int /*remote_port*/,
                          int /*local_port*/) {
    auto* s = static_cast<State*>(state);
    s->connected = true;
    s->note_activity();
    return CURL_PREREQFUNC_OK;
  }

  // Progress in either direction, the upload of the request body included, counts as
  // activity.
  static int on_progress(void* state, curl_off_t /*download_total*/, curl_off_t downloaded,
                         curl_off_t /*upload_total*/, curl_off_t uploaded) {
    auto* s = static_cast<State*>(state);
    if (downloaded + uploaded != s->bytes_moved) {
      s->bytes_moved = downloaded + uploaded;
      s->note_activity();
    }
    return 0;
  }

  // How long the transfer may still sit idle; nullopt while the clock is not running.
  std::optional<std::chrono::milliseconds> idle_time_left() const {
    if (!connected || inactivity_limit.count() <= 0) return std::nullopt;
    const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - last_activity);
    return inactivity_limit - idle;
  }

  // Runs the configured transfer to its end, or until Abort or the inactivity limit.
  CURLcode run() {
    CURL* easy = handle.get();
    connected = false;
    bytes_moved = 0;
    note_activity();
    if (curl_multi_add_handle(multi.get(), easy) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode result = CURLE_OK;
    while (true) {
      int running = 0;
      if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
        result = CURLE_FAILED_INIT;
        break;
      }
      int queued = 0;
      const CURLMsg* message = curl_multi_info_read(multi.get(), &queued);
      if (message != nullptr && message->msg == CURLMSG_DONE) {
        result = message->data.result;
        break;
      }
      if (abort_requested.load()) {
        result = CURLE_ABORTED_BY_CALLBACK;
        break;
      }
      int wait_ms = 1000;
      if (const auto left = idle_time_left()) {
        if (left->count() <= 0) {
          result = CURLE_OPERATION_TIMEDOUT;
          break;
        }
        wait_ms = static_cast<int>(std::min<long long>(wait_ms, left->count()));
      }
      // Waits for the sockets, libcurl's own timers, a wake-up from Abort, or the moment
      // the inactivity limit runs out.
      if (curl_multi_poll(multi.get(), nullptr, 0, wait_ms, nullptr) != CURLM_OK) {
        result = CURLE_FAILED_INIT;
        break;
      }
    }
    curl_multi_remove_handle(multi.get(), easy);
    return result;
  }
};

namespace {

// Collects the first option libcurl refuses, so one check after configuring suffices.
class Options {
 public:
  explicit Options(CURL* handle) : handle_(handle) {}

  void number(CURLoption option, long value) { check(curl_easy_setopt(handle_, option, value)); }
  void size(CURLoption option, curl_off_t value) {
    check(curl_easy_setopt(handle_, option, value));
  }
  void text(CURLoption option, const char* value) {
    check(curl_easy_setopt(handle_, option, value));
  }
  void pointer(CURLoption option, void* value) { check(curl_easy_setopt(handle_, option, value)); }
  void list(CURLoption option, curl_slist* value) {
    check(curl_easy_setopt(handle_, option, value));
  }
  template <typename Function>
  void function(CURLoption option, Function* value) {
    check(curl_easy_setopt(handle_, option, value));
  }

  CURLcode result() const { return result_; }

 private:
  void check(CURLcode code) {
    if (result_ == CURLE_OK) result_ = code;
  }

  CURL* handle_;
  CURLcode result_ = CURLE_OK;
};

bool same_name(std::string_view a, std::string_view b) {
  return equals_ignore_case(a, b);
}

}  // namespace

std::shared_ptr<RequestObject> RequestObject::create() {
  auto object = std::make_shared<RequestObject>();
  if (!object->state_->handle) return nullptr;
  return object;
}

RequestObject::RequestObject() : state_(std::make_unique<State>()) {
  if (!state_->session.ok()) return;
  state_->multi.reset(curl_multi_init());
  if (state_->multi) state_->handle.reset(curl_easy_init());
}

RequestObject::~RequestObject() = default;

bool RequestObject::SetTimeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) {
  state_->timeouts = TimeoutSettings{resolve_ms, connect_ms, send_ms, receive_ms};
  return true;
}

bool RequestObject::SetProxy(int setting, const std::string& server) {
  if (setting == kProxyNamed) {
    if (server.empty() || has_forbidden_byte(server)) return false;
    state_->proxy = server;
  } else if (setting == kProxyDirect || setting == kProxyFromEnvironment) {
    state_->proxy.clear();
  } else {
    return false;
  }
  state_->proxy_setting = setting;
  return true;
}

bool RequestObject::Open(const std::string& method, const std::string& url, bool asynchronous) {
  State& s = *state_;
  s.opened = false;
  s.headers.clear();
  s.server_credentials.reset();
  s.proxy_credentials.reset();
  s.clear_response();
  if (asynchronous) {
    return s.fail(RequestErrorKind::other, "only synchronous requests are supported");
  }
  if (!is_token(method)) {
    return s.fail(RequestErrorKind::other, "the method \"" + method + "\" is not a valid name");
  }
  if (has_forbidden_byte(url)) {
    return s.fail(RequestErrorKind::other, "the address holds a line break or NUL byte");
  }
  if (!is_web_url(url)) {
    // Only the scheme is quoted: the rest of an address may hold a user name and password.
    const std::string scheme = url.substr(0, std::min<std::size_t>(url.find(':'), 16));
    return s.fail(
        RequestErrorKind::other,
        "the address must start with http:// or https:// (it starts with \"" + scheme + "\")");
  }
  s.method = method;
  s.url = url;
  s.opened = true;
  return true;
}

bool RequestObject::Option(int index, long value) {
  if (index == kOptionEnableRedirects) {
    state_->follow_redirects = value != 0;
    return true;
  }
  if (index == kOptionSslErrorIgnoreFlags) {
    constexpr long known =
        kIgnoreUnknownCa | kIgnoreWrongUsage | kIgnoreCertNameInvalid | kIgnoreCertDateInvalid;
    if ((value & ~known) != 0) return false;
    state_->ignored_certificate_errors = value;
    return true;
  }
  return false;
}

bool RequestObject::SetCredentials(const std::string& user, const std::string& password, int flag) {
  State& s = *state_;
  if (!s.opened || has_forbidden_byte(user) || has_forbidden_byte(password)) return false;
  if (flag == kCredentialsForServer) {
    s.server_credentials = Credentials{user, password};
  } else if (flag == kCredentialsForProxy) {
    s.proxy_credentials = Credentials{user, password};
  } else {
    return false;
  }
  return true;
}

bool RequestObject::SetRequestHeader(const std::string& name, const std::string& value) {
  State& s = *state_;
  if (!s.opened || name.empty() || has_forbidden_byte(name) || has_forbidden_byte(value) ||
      name.find(':') != std::string::npos || same_name(name, "Content-Length")) {
    return false;
  }
  for (Header& header : s.headers) {
    if (same_name(header.name, name)) {
      header = {name, value};
      return true;
    }
  }
  s.headers.push_back({name, value});
  return true;
}

bool RequestObject::Send(const Bytes& body) {
  return perform(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
}

bool RequestObject::Send(const std::string& body) {
  return perform(body);
}

bool RequestObject::perform(std::string_view body) {
  State& s = *state_;
  // A refused Open keeps its own reason: that is what the caller needs to hear.
  const RequestError open_error = s.error;
  s.clear_response();
  if (!s.handle) return s.fail(RequestErrorKind::other, "libcurl could not be started");
  if (!s.opened) {
    return s.fail(RequestErrorKind::other,
                  open_error.message.empty() ? "no request is open" : open_error.message);
  }
  if (s.abort_requested.exchange(false)) {
    return s.fail(RequestErrorKind::aborted, "the request was cancelled");
  }

  CURL* handle = s.handle.get();
  // Each request starts from libcurl's defaults; the handle keeps its connection cache.
  curl_easy_reset(handle);
  Options set(handle);

  set.text(CURLOPT_URL, s.url.c_str());
  // Web addresses only, also for redirects: no file://, no other protocol.
  set.text(CURLOPT_PROTOCOLS_STR, "http,https");
  set.text(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  // Redirects are followed unless the caller turned that off, and never without end.
  set.number(CURLOPT_FOLLOWLOCATION, s.follow_redirects ? 1L : 0L);
  set.number(CURLOPT_MAXREDIRS, kMaxRedirects);
  // HTTP/1.1 keeps header names as servers write them (HTTP/2 lower-cases them), which
  // the cookie collection of web_request relies on.
  set.number(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  // No signals: the caller may run several requests on several threads.
  set.number(CURLOPT_NOSIGNAL, 1L);
  // libcurl's detailed reason for a failure, for LastError.
  set.pointer(CURLOPT_ERRORBUFFER, s.error_buffer);

  const TimeoutSettings timeouts = s.timeouts.value_or(kDefaultTimeouts);
  // libcurl's connect time-out covers name resolution and connecting together.
  if (timeouts.resolve_ms > 0 && timeouts.connect_ms > 0) {
    set.number(CURLOPT_CONNECTTIMEOUT_MS,
               clamp_to_long(static_cast<long long>(timeouts.resolve_ms) + timeouts.connect_ms));
  }
  // Sending and receiving: an inactivity limit kept by run(), since libcurl's low-speed
  // limit averages over several seconds and would let a silent server hold on longer.
  s.inactivity_limit = std::chrono::milliseconds(std::max(timeouts.send_ms, timeouts.receive_ms));
  set.function(CURLOPT_PREREQFUNCTION, &State::on_connected);
  set.pointer(CURLOPT_PREREQDATA, &s);
  set.function(CURLOPT_XFERINFOFUNCTION, &State::on_progress);
  set.pointer(CURLOPT_XFERINFODATA, &s);
  set.number(CURLOPT_NOPROGRESS, 0L);

  // The callbacks collect the response.
  set.function(CURLOPT_HEADERFUNCTION, &State::on_header);
  set.pointer(CURLOPT_HEADERDATA, &s);
  set.function(CURLOPT_WRITEFUNCTION, &State::on_body);
  set.pointer(CURLOPT_WRITEDATA, &s);
  // Refuse a declared length beyond the limit before any of the body arrives.
  set.size(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxResponseBodyBytes));

  // The method. A body goes out with its Content-Length; the pointer stays valid because
  // Send waits for the end of the transfer. POST and PUT always carry a length.
  if (s.method == "HEAD") {
    set.number(CURLOPT_NOBODY, 1L);
  } else if (s.method == "POST" || s.method == "PUT" || !body.empty()) {
    set.text(CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
    set.size(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    // Left as POST, libcurl turns it into GET after a 301, 302 or 303, as browsers do.
    if (s.method != "POST") set.text(CURLOPT_CUSTOMREQUEST, s.method.c_str());
  } else {
    set.number(CURLOPT_HTTPGET, 1L);
    if (s.method != "GET") set.text(CURLOPT_CUSTOMREQUEST, s.method.c_str());
  }

  // Headers. Proxy-Authorization is meant for the proxy alone, so it travels in the proxy
  // list, which libcurl sends to the proxy and never through a tunnel to the server.
  // libcurl drops a caller's Authorization and Cookie on a redirect to another host.
  HeaderList server_headers;
  HeaderList proxy_headers;
  bool lists_ok = true;
  const auto caller_set = [&s](std::string_view name) {
    return std::any_of(s.headers.begin(), s.headers.end(),
                       [name](const Header& header) { return same_name(header.name, name); });
  };
  for (const Header& header : s.headers) {
    // "Name;" is libcurl's way to send a header with an empty value.
    const std::string line =
        header.value.empty() ? header.name + ";" : header.name + ": " + header.value;
    HeaderList& target =
        same_name(header.name, "Proxy-Authorization") ? proxy_headers : server_headers;
    lists_ok = lists_ok && target.add(line);
  }
  // "Name:" removes a header libcurl would add on its own: only the caller's are sent.
  for (const char* own : {"Accept", "Expect", "Content-Type"}) {
    if (!caller_set(own)) lists_ok = lists_ok && server_headers.add(std::string(own) + ":");
  }
  if (!caller_set("Proxy-Connection"))
    lists_ok = lists_ok && proxy_headers.add("Proxy-Connection:");
  if (!lists_ok) return s.fail(RequestErrorKind::other, "out of memory for the request headers");
  set.list(CURLOPT_HTTPHEADER, server_headers.get());
  set.list(CURLOPT_PROXYHEADER, proxy_headers.get());
  set.number(CURLOPT_HEADEROPT, CURLHEADER_SEPARATE);

  // Proxy. An empty proxy name also stops libcurl from reading the environment.
  if (s.proxy_setting != kProxyFromEnvironment) set.text(CURLOPT_PROXY, s.proxy.c_str());
  // A proxy's answer to CONNECT is not the response the caller asked for.
  set.number(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

  // Credentials are offered only when asked for (libcurl first tries without them when
  // more than one scheme is allowed) and never to another host after a redirect.
  constexpr long kAuthSchemes = CURLAUTH_BASIC | CURLAUTH_DIGEST;
  if (s.server_credentials) {
    set.text(CURLOPT_USERNAME, s.server_credentials->user.c_str());
    set.text(CURLOPT_PASSWORD, s.server_credentials->password.c_str());
    set.number(CURLOPT_HTTPAUTH, kAuthSchemes);
  }
  if (s.proxy_credentials) {
    set.text(CURLOPT_PROXYUSERNAME, s.proxy_credentials->user.c_str());
    set.text(CURLOPT_PROXYPASSWORD, s.proxy_credentials->password.c_str());
    set.number(CURLOPT_PROXYAUTH, kAuthSchemes);
  }

  // Certificates are verified unless the caller accepted a kind of error. libcurl cannot
  // accept a bad date alone: kIgnoreCertDateInvalid by itself relaxes nothing, while an
  // unknown CA or a wrong usage turns off the chain check, which covers dates as well.
  if ((s.ignored_certificate_errors & (kIgnoreUnknownCa | kIgnoreWrongUsage)) != 0) {
    set.number(CURLOPT_SSL_VERIFYPEER, 0L);
  }
  if ((s.ignored_certificate_errors & kIgnoreCertNameInvalid) != 0) {
    set.number(CURLOPT_SSL_VERIFYHOST, 0L);
  }
  // CURLOPT_CAINFO replaces the default bundle file, while the system's certificate folder
  // (libcurl's default CAPATH) stays in use, so the extra CA adds to the system's.
  if (!s.ca_file.empty()) set.text(CURLOPT_CAINFO, s.ca_file.c_str());

  if (set.result() != CURLE_OK) {
    return s.fail(RequestErrorKind::other,
                  std::string("libcurl refused a setting: ") + curl_easy_strerror(set.result()));
  }

  const CURLcode code = s.run();
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  if (code == CURLE_OK) {
    // An Abort that came too late to stop this transfer must not cancel the next one.
    s.abort_requested.store(false);
    s.status = status;
    s.has_response = true;
    s.has_body = true;
    return true;
  }

  s.body.clear();
  if (s.too_large || code == CURLE_FILESIZE_EXCEEDED) {
    // The headers and status did arrive; only the body is given up.
    s.status = status;
    s.has_response = status != 0;
    return s.fail(RequestErrorKind::too_large, "the response is larger than 128 MiB");
  }
  s.header_lines.clear();
  const RequestErrorKind kind = kind_of(code);
  if (kind == RequestErrorKind::aborted) {
    s.abort_requested.store(false);
    return s.fail(kind, "the request was cancelled");
  }
  return s.fail(kind, s.error_buffer[0] != '\0' ? std::string(s.error_buffer)
                                                : std::string(curl_easy_strerror(code)));
}

bool RequestObject::ResponseBody(Bytes& body) const {
  if (!state_->has_body) return false;
  body = state_->body;
  return true;
}

bool RequestObject::GetAllResponseHeaders(std::string& headers) const {
  if (!state_->has_response) return false;
  headers.clear();
  for (const std::string& line : state_->header_lines) {
    if (!headers.empty()) headers += "\r\n";
    headers += line;
  }
  return true;
}

bool RequestObject::Status(int& status) const {
  if (!state_->has_response) return false;
  status = static_cast<int>(state_->status);
  return true;
}

void RequestObject::Abort() {
  state_->abort_requested.store(true);
  // Safe from any thread; without a running transfer the next wait just returns at once.
  if (state_->multi) curl_multi_wakeup(state_->multi.get());
}

bool RequestObject::SetCaFile(const std::string& path) {
  if (has_forbidden_byte(path)) return false;
  state_->ca_file = path;
  return true;
}

RequestError RequestObject::LastError() const {
  return state_->error;
}

std::optional<TimeoutSettings> RequestObject::GetTimeouts() const {
  return state_->timeouts;
}

}  // namespace virn::web
