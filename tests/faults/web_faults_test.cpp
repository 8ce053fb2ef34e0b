// web_request and the remote backend against services that misbehave: each returns in
// bounded time with the values its failure handling promises, and the backend's message
// says what happened without the key.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>

#include "faults/fault_sites.h"
#include "speech/form_body.h"
#include "speech/remote_backend.h"
#include "util/bytes.h"
#include "web/web_request.h"

namespace virn::faults {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kTimeoutSeconds = 2;
// What a time-out may overrun by: the scheduling of the threads involved.
constexpr auto kSlack = 2s;
// A call that has not returned by then is hanging: the tests stop waiting for it.
constexpr auto kHangLimit = 30s;

struct Outcome {
  Bytes body;
  web::WebRequest call;
  web::RequestError error;
  Clock::duration took{};
};

Outcome post(const FaultSite& site, bool no_redirects = false) {
  Outcome outcome;
  auto object = web::RequestObject::create();
  if (!site.ca_file.empty()) object->SetCaFile(site.ca_file);
  outcome.call.url = site.url;
  outcome.call.method = 1;
  outcome.call.body_text = "&speaker=haruka&text=a";
  outcome.call.headers = speech::authorization_header(kAccessKey);
  outcome.call.timeout_seconds = kTimeoutSeconds;
  outcome.call.no_redirects = no_redirects;
  outcome.call.request_object = object;
  const auto start = Clock::now();
  outcome.body = web::web_request(outcome.call);
  outcome.took = Clock::now() - start;
  outcome.error = object->LastError();
  return outcome;
}

// The backend's answer, or none when it does not come within `limit` (the call is then
// cancelled so the test still ends).
std::shared_ptr<Result<Bytes>> synthesize_within(speech::RemoteBackend& backend,
                                                 std::chrono::seconds limit) {
  speech::SpeechRequest request;
  request.text = "こんにちは";
  auto answer = std::async(std::launch::async, [&] {
    return std::make_shared<Result<Bytes>>(backend.synthesize(request));
  });
  if (answer.wait_for(limit) != std::future_status::ready) {
    backend.cancel();
    answer.wait();
    return nullptr;
  }
  return answer.get();
}

class WebRequestUnderFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(WebRequestUnderFault, ReturnsWhatItsFailureHandlingPromises) {
  const FaultCase& fault = GetParam();
  const FaultSite site = fault.start();
  const Outcome outcome = post(site);

  EXPECT_LT(outcome.took, kHangLimit);
  EXPECT_EQ(to_text(outcome.body), fault.body.value_or(""));
  EXPECT_EQ(outcome.error.kind, fault.error) << outcome.error.message;
  EXPECT_EQ(outcome.call.status, fault.status);
  EXPECT_EQ(!outcome.call.returned_headers.empty(), fault.has_headers)
      << outcome.call.returned_headers;
  if (fault.error != web::RequestErrorKind::none) {
    EXPECT_FALSE(outcome.error.message.empty());
  }
  // No cookie came, so none may be reported.
  EXPECT_EQ(outcome.call.returned_cookies, "");
}

TEST_P(WebRequestUnderFault, RemoteBackendNamesTheFaultWithoutTheKey) {
  const FaultCase& fault = GetParam();
  const FaultSite site = fault.start();
  speech::RemoteBackend backend({site.url, kAccessKey, site.ca_file});

  const auto answer = synthesize_within(backend, kHangLimit);

  ASSERT_TRUE(answer) << "no answer within the time-out";
  ASSERT_FALSE(answer->ok());
  const std::string& message = answer->error().message;
  EXPECT_NE(message.find(fault.message_part), std::string::npos) << message;
  EXPECT_EQ(message.find(kAccessKey), std::string::npos) << message;
  EXPECT_EQ(message.find(speech::basic_credential(kAccessKey)), std::string::npos) << message;
  EXPECT_TRUE(std::none_of(message.begin(), message.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
      << "a control character in: " << message;
}

INSTANTIATE_TEST_SUITE_P(Faults, WebRequestUnderFault, ::testing::ValuesIn(fault_cases()),
                         [](const auto& info) { return case_name(info.param); });

std::vector<FaultCase> silent_cases() {
  std::vector<FaultCase> cases;
  for (FaultCase& fault : fault_cases()) {
    if (fault.waits_for_timeout) cases.push_back(std::move(fault));
  }
  return cases;
}

class SilentService : public ::testing::TestWithParam<FaultCase> {};

// A service that stops sending must not hold the caller longer than the time-out it asked
// for.
TEST_P(SilentService, GivesUpWithinTheTimeout) {
  const FaultSite site = GetParam().start();
  EXPECT_LT(post(site).took, std::chrono::seconds(kTimeoutSeconds) + kSlack);
}

INSTANTIATE_TEST_SUITE_P(Faults, SilentService, ::testing::ValuesIn(silent_cases()),
                         [](const auto& info) { return case_name(info.param); });

TEST(RedirectLoop, IsCutOffAfterABoundedNumberOfRequests) {
  const FaultSite site = fault_case("redirect_loop").start();
  post(site);
  const std::size_t seen = site.servers.front()->requests().size();
  EXPECT_GE(seen, 2u);
  EXPECT_LE(seen, 11u);
}

TEST(RedirectLoop, WithRedirectsOffTheFirstReplyIsReported) {
  const FaultSite site = fault_case("redirect_loop").start();
  const Outcome outcome = post(site, /*no_redirects=*/true);
  EXPECT_EQ(outcome.call.status, 302);
  EXPECT_NE(outcome.call.returned_headers.find("Location: /v1/tts"), std::string::npos)
      << outcome.call.returned_headers;
  EXPECT_EQ(site.servers.front()->requests().size(), 1u);
}

std::optional<std::string> header_of(const std::string& request, const std::string& name) {
  std::string lowered = request;
  for (char& c : lowered)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string wanted = "\r\n" + name + ":";
  for (char& c : wanted)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto at = lowered.find(wanted);
  if (at == std::string::npos) return std::nullopt;
  const auto end = request.find("\r\n", at + 2);
  return request.substr(at + wanted.size(), end - at - wanted.size());
}

struct Elsewhere {
  const char* name;
  bool as_localhost;  // else the same address on another port
};

class RedirectElsewhere : public ::testing::TestWithParam<Elsewhere> {};

// A redirect to another host must not take the key (or the cookies) along.
TEST_P(RedirectElsewhere, NoCredentialFollows) {
  ScriptedServer target({read_request(),
                         send(http_reply(200, "OK", {"Content-Type: audio/wav"}, wav_text())),
                         close_connection()});
  const std::string location =
      GetParam().as_localhost ? target.url_as_localhost("/v1/tts") : target.url("/v1/tts");
  FaultSite site;
  site.servers.push_back(std::make_unique<ScriptedServer>(Script{
      read_request(), send(http_reply(307, "Temporary Redirect", {"Location: " + location}, "")),
      close_connection()}));
  site.url = site.servers.front()->url("/v1/tts");

  Outcome outcome;
  outcome.call.url = site.url;
  outcome.call.method = 1;
  outcome.call.body_text = "&speaker=haruka&text=a";
  outcome.call.headers = speech::authorization_header(kAccessKey);
  outcome.call.cookies = "session=s3cret";
  outcome.call.timeout_seconds = kTimeoutSeconds;
  outcome.body = web::web_request(outcome.call);

  const auto first = site.servers.front()->requests();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_TRUE(header_of(first[0], "Authorization").has_value()) << first[0];
  const auto followed = target.requests();
  ASSERT_EQ(followed.size(), 1u) << "status " << outcome.call.status;
  EXPECT_EQ(header_of(followed[0], "Authorization"), std::nullopt) << followed[0];
  EXPECT_EQ(header_of(followed[0], "Cookie"), std::nullopt) << followed[0];
  EXPECT_EQ(followed[0].find(speech::basic_credential(kAccessKey)), std::string::npos);
  EXPECT_EQ(outcome.call.status, 200);
  EXPECT_EQ(to_text(outcome.body), wav_text());
}

INSTANTIATE_TEST_SUITE_P(Faults, RedirectElsewhere,
                         ::testing::Values(Elsewhere{"localhost", true},
                                           Elsewhere{"another_port", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CertificateForAnotherName, NothingIsSentToTheServer) {
  const FaultSite site = fault_case("certificate_for_another_name").start();
  post(site);
  EXPECT_TRUE(site.tls_server->requests().empty());
}

}  // namespace
}  // namespace virn::faults
