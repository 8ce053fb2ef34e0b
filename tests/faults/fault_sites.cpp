#include "faults/fault_sites.h"

#include <stdexcept>

#include "speech/form_body.h"
#include "speech/wav.h"
#include "support/test_certificates.h"
#include "util/bytes.h"

namespace virn::faults {
namespace {

using namespace std::chrono_literals;
using Kind = web::RequestErrorKind;

constexpr const char* kPath = "/v1/tts";
constexpr std::uint64_t kOverCap = web::kMaxResponseBodyBytes + 1024 * 1024;

FaultSite scripted(Script script) {
  FaultSite site;
  site.servers.push_back(std::make_unique<ScriptedServer>(std::move(script)));
  site.url = site.servers.front()->url(kPath);
  return site;
}

// Every request is sent back to where it came from.
FaultSite redirect_loop() {
  return scripted({read_request(),
                   send(http_reply(302, "Found", {"Location: /v1/tts", "Connection: close"}, "")),
                   close_connection()});
}

}  // namespace

std::string wav_text() {
  return to_text(speech::make_wav({0, 1200, -1200, 600, 0, -600, 0, 300}, 16000));
}

FaultCase fault_case(const std::string& name) {
  for (FaultCase fault : fault_cases()) {
    if (fault.name == name) return fault;
  }
  throw std::logic_error("no fault case named " + name);
}

std::string case_name(const FaultCase& fault) {
  return fault.name;
}

void PrintTo(const FaultCase& fault, std::ostream* out) {
  *out << fault.name;
}

std::vector<FaultCase> fault_cases() {
  const std::string head_1000 =
      "HTTP/1.1 200 OK\r\nContent-Type: audio/wav\r\nContent-Length: 1000\r\n\r\n";
  const std::string over_cap_head = "HTTP/1.1 200 OK\r\nContent-Type: audio/wav\r\n";
  std::vector<FaultCase> cases;
  const auto add = [&cases](std::string name, std::function<FaultSite()> start, Kind error,
                            std::string message_part) -> FaultCase& {
    FaultCase fault;
    fault.name = std::move(name);
    fault.start = std::move(start);
    fault.error = error;
    fault.message_part = std::move(message_part);
    cases.push_back(std::move(fault));
    return cases.back();
  };
  // A well-formed reply: web_request hands over its status, body and headers.
  const auto replied = [](FaultCase& fault, int status, std::optional<std::string> body) {
    fault.status = status;
    fault.body = std::move(body);
    fault.has_headers = true;
  };

  add(
      "never_answers",
      [] {
        return scripted({read_request(), hold()});
      },
      Kind::timed_out, "响应超时")
      .waits_for_timeout = true;
  add(
      "closes_before_the_status",
      [] {
        return scripted({read_request(), close_connection()});
      },
      Kind::other, "通信失败");
  add(
      "closes_inside_the_status_line",
      [] {
        return scripted({read_request(), send("HTTP/1.1 20"), close_connection()});
      },
      Kind::other, "通信失败");
  add(
      "resets_in_the_middle_of_the_body",
      [head_1000] {
        return scripted(
            {read_request(), send(head_1000 + wav_text()), sleep_for(100ms), reset_connection()});
      },
      Kind::other, "通信失败");
  add(
      "content_length_larger_than_the_body",
      [head_1000] {
        return scripted({read_request(), send(head_1000 + wav_text()), close_connection()});
      },
      Kind::other, "通信失败");
  // A body abandoned for its size is given up alone: the status and headers that did arrive
  // stay, and the error kind says why the body is empty.
  const auto head_arrived = [](FaultCase& fault) {
    fault.status = 200;
    fault.has_headers = true;
  };
  head_arrived(add(
      "declared_body_over_the_size_cap",
      [over_cap_head] {
        return scripted(
            {read_request(),
             send(over_cap_head + "Content-Length: " + std::to_string(kOverCap) + "\r\n\r\n"),
             stream(kOverCap), close_connection()});
      },
      Kind::too_large, "回复过大"));
  head_arrived(add(
      "undeclared_body_over_the_size_cap",
      [over_cap_head] {
        return scripted({read_request(), send(over_cap_head + "Connection: close\r\n\r\n"),
                         stream(kOverCap), close_connection()});
      },
      Kind::too_large, "回复过大"));
  // Header lines without end: given up long before memory runs out.
  add(
      "header_lines_without_end",
      [] {
        return scripted({read_request(), send("HTTP/1.1 200 OK\r\n"),
                         stream(std::uint64_t{64} * 1024 * 1024, "X-Filler: 0123456789\r\n"),
                         close_connection()});
      },
      Kind::other, "通信失败");
  add(
      "one_header_line_without_end",
      [] {
        return scripted({read_request(), send("HTTP/1.1 200 OK\r\nX-Filler: "),
                         stream(std::uint64_t{64} * 1024 * 1024), close_connection()});
      },
      Kind::other, "通信失败");
  replied(add(
              "error_500_with_a_text_body",
              [] {
                return scripted({read_request(),
                                 send(http_reply(500, "Internal Server Error",
                                                 {"Content-Type: text/plain; charset=utf-8"},
                                                 "服务器出错了\n")),
                                 close_connection()});
              },
              Kind::none, "错误状态 500：服务器出错了"),
          500, "服务器出错了\n");
  // An error text that would repaint a terminal, breaks UTF-8 and echoes the credential.
  const std::string hostile = std::string("\x1b[2J\x1b[31mbad key ") + kAccessKey + " Basic " +
                              speech::basic_credential(kAccessKey) + "\xff\xfe\r\nX-Injected: 1";
  replied(add(
              "error_403_with_a_hostile_body",
              [hostile] {
                return scripted(
                    {read_request(),
                     send(http_reply(403, "Forbidden", {"Content-Type: text/plain"}, hostile)),
                     close_connection()});
              },
              Kind::none, "错误状态 403："),
          403, hostile);
  replied(add(
              "ok_with_a_body_that_is_not_wav",
              [] {
                return scripted({read_request(),
                                 send(http_reply(200, "OK", {"Content-Type: text/html"},
                                                 "<html>maintenance</html>")),
                                 close_connection()});
              },
              Kind::none, "不是 WAV"),
          200, "<html>maintenance</html>");
  add("redirect_loop", redirect_loop, Kind::other, "通信失败");
  add(
      "certificate_for_another_name",
      [] {
        FaultSite site;
        site.folder = std::make_unique<test::TempDir>();
        test::CertificateRequest names;
        names.names = {"DNS:elsewhere.invalid"};
        const test::TestCertificates certificates =
            test::make_test_certificates(site.folder->path(), names);
        site.tls_server = std::make_unique<test::TestServer>(certificates.server);
        test::Reply wav;
        wav.body = wav_text();
        wav.content_type = "audio/wav";
        site.tls_server->on(kPath, wav);
        site.url = site.tls_server->url(kPath);
        site.ca_file = certificates.ca_file;
        return site;
      },
      Kind::certificate, "证书未被接受");
  add(
      "trickle_of_one_byte_a_second",
      [] {
        return scripted(
            {read_request(),
             trickle(http_reply(200, "OK", {"Content-Type: audio/wav"}, wav_text()), 1000ms),
             close_connection()});
      },
      Kind::timed_out, "响应超时")
      .waits_for_timeout = true;
  return cases;
}

}  // namespace virn::faults
