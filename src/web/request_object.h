#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "util/bytes.h"

namespace virn::web {

// Why the last Send failed.
enum class RequestErrorKind {
  none,
  cannot_resolve,  // the host (or proxy) name is unknown
  cannot_connect,  // nobody answers at that address and port
  timed_out,       // connecting took too long, or no data moved for too long
  certificate,     // the server's certificate is not trusted
  aborted,         // Abort was called
  too_large,       // the response is larger than the limit below
  other,
};

struct RequestError {
  RequestErrorKind kind = RequestErrorKind::none;
  std::string message;  // libcurl's own words, or ours
};

// The four values last given to SetTimeouts, in milliseconds.
struct TimeoutSettings {
  int resolve_ms = 0;
  int connect_ms = 0;
  int send_ms = 0;
  int receive_ms = 0;
  bool operator==(const TimeoutSettings&) const = default;
};

// Option indexes understood by RequestObject::Option.
inline constexpr int kOptionSslErrorIgnoreFlags = 4;
inline constexpr int kOptionEnableRedirects = 6;

// Flags of kOptionSslErrorIgnoreFlags: the certificate errors a caller accepts.
inline constexpr long kIgnoreUnknownCa = 0x0100;
inline constexpr long kIgnoreWrongUsage = 0x0200;
inline constexpr long kIgnoreCertNameInvalid = 0x1000;
inline constexpr long kIgnoreCertDateInvalid = 0x2000;

// Settings of SetProxy.
inline constexpr int kProxyFromEnvironment = 0;  // http_proxy, https_proxy, no_proxy
inline constexpr int kProxyDirect = 1;           // no proxy; the setting of a new object
inline constexpr int kProxyNamed = 2;            // the proxy server given to SetProxy

// Flags of SetCredentials.
inline constexpr int kCredentialsForServer = 0;
inline constexpr int kCredentialsForProxy = 1;

// A response body beyond this is abandoned rather than held in memory.
inline constexpr std::size_t kMaxResponseBodyBytes = std::size_t{128} * 1024 * 1024;

// One HTTP or HTTPS request at a time, on a libcurl easy handle.
//
// Settings made by SetTimeouts, SetProxy, Option and SetCaFile stay with the object; Open
// starts a new request and forgets the headers and credentials of the previous one. Only
// the headers set here are sent, besides what HTTP itself needs (Host, Content-Length).
// Every operation returns whether it succeeded. All calls come from one thread, except
// Abort, which any thread may call.
class RequestObject {
 public:
  // A new object, or null when libcurl cannot provide one.
  static std::shared_ptr<RequestObject> create();

  RequestObject();
  virtual ~RequestObject();
  RequestObject(const RequestObject&) = delete;
  RequestObject& operator=(const RequestObject&) = delete;

  // Milliseconds for each phase; 0 or less means no limit. Resolving and connecting share
  // one limit (their sum); sending and receiving become an inactivity limit: the request
  // fails when no data moved for that long. A new object allows 60 s to connect and
  // 30 s of inactivity.
  virtual bool SetTimeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms);

  // kProxyNamed with a server ("host:port" or a proxy URL), kProxyDirect, or
  // kProxyFromEnvironment.
  virtual bool SetProxy(int setting, const std::string& server);

  // Starts a request: method name and an http or https URL. Only synchronous requests
  // exist, so `asynchronous` must be false.
  virtual bool Open(const std::string& method, const std::string& url, bool asynchronous);

  // kOptionEnableRedirects: 0 reports the first response, anything else follows up to 10
  // redirects, to http and https only (the default).
  // kOptionSslErrorIgnoreFlags: which certificate errors to accept (see the flags above).
  virtual bool Option(int index, long value);

  // Credentials offered when the server (kCredentialsForServer) or the proxy
  // (kCredentialsForProxy) asks for them. Needs an open request.
  virtual bool SetCredentials(const std::string& user, const std::string& password, int flag);

  // Adds a header to the open request, replacing an earlier one of the same name (letter
  // case aside). Refused: an empty name, a name or value holding CR, LF or NUL, a name with
  // a colon, and Content-Length, which always follows from the body. Proxy-Authorization
  // goes to the proxy only (never through a tunnel to the server, nowhere without a proxy).
  // Authorization and Cookie are not carried to another host after a redirect.
  virtual bool SetRequestHeader(const std::string& name, const std::string& value);

  // Sends the open request with the body and waits for the whole response.
  virtual bool Send(const Bytes& body);
  virtual bool Send(const std::string& body);

  // The parts of the last response. They fail after a failed Send, except that a response
  // abandoned for its size still reports its headers and status.
  virtual bool ResponseBody(Bytes& body) const;
  // The header fields of the final response: "Name: value" lines, CR LF between them.
  virtual bool GetAllResponseHeaders(std::string& headers) const;
  virtual bool Status(int& status) const;

  // Ends the running Send at once, or the next one when none is running; that Send fails
  // with RequestErrorKind::aborted.
  void Abort();

  // A CA bundle (PEM file) trusted in addition to the system's, for a service with its own
  // certificate authority. An empty path removes it.
  bool SetCaFile(const std::string& path);

  // Why the last Send failed (kind none after a successful one).
  RequestError LastError() const;

  // The values last given to SetTimeouts; none when it was never called.
  std::optional<TimeoutSettings> GetTimeouts() const;

 private:
  bool perform(std::string_view body);

  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace virn::web
