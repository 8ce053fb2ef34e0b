#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "support/test_server.h"
#include "support/tinyproxy.h"
#include "web/request_object.h"
#include "web/web_request.h"

namespace virn::web {
namespace {

using test::CertificateRequest;
using test::TestServer;

struct TlsCase {
  std::string what;
  CertificateRequest certificate;
  bool trust_ca;
  long ignore_flags;
  bool accepted;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TlsCase& c, std::ostream* out) {
  *out << c.what;
}

class SecureRequests : public testing::TestWithParam<TlsCase> {};

TEST_P(SecureRequests, CertificatesAreVerifiedUnlessTheCallerSaysOtherwise) {
  const TlsCase& c = GetParam();
  test::TempDir folder;
  const auto certificates = test::make_test_certificates(folder.path(), c.certificate);
  TestServer server(certificates.server);
  server.on("/secure", test::Reply{.body = "secret body"});

  auto object = RequestObject::create();
  if (c.trust_ca) {
    ASSERT_TRUE(object->SetCaFile(certificates.ca_file));
  }
  if (c.ignore_flags != 0) {
    ASSERT_TRUE(object->Option(kOptionSslErrorIgnoreFlags, c.ignore_flags));
  }
  WebRequest r{.url = server.url("/secure"), .method = 1, .request_object = object};
  const Bytes body = web_request(r);
  if (c.accepted) {
    EXPECT_EQ(to_text(body), "secret body") << object->LastError().message;
    EXPECT_EQ(r.status, 200);
  } else {
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.returned_headers, "");
    EXPECT_EQ(object->LastError().kind, RequestErrorKind::certificate)
        << object->LastError().message;
    EXPECT_TRUE(server.requests().empty()) << "nothing may be sent over an untrusted link";
  }
}

const CertificateRequest kGood{};
const CertificateRequest kOtherName{{"DNS:other.example"}, "serverAuth"};
const CertificateRequest kClientOnly{{"DNS:localhost", "IP:127.0.0.1"}, "clientAuth"};

INSTANTIATE_TEST_SUITE_P(
    Tls, SecureRequests,
    testing::Values(
        TlsCase{"unknown CA refused", kGood, false, 0, false},
        TlsCase{"own CA trusted", kGood, true, 0, true},
        TlsCase{"all four kinds ignored", kGood, false, 0x3300, true},
        TlsCase{"unknown CA ignored", kGood, false, kIgnoreUnknownCa, true},
        TlsCase{"date alone relaxes nothing", kGood, false, kIgnoreCertDateInvalid, false},
        TlsCase{"name mismatch refused", kOtherName, true, 0, false},
        TlsCase{"name mismatch ignored", kOtherName, true, kIgnoreCertNameInvalid, true},
        TlsCase{"unknown CA ignored, name still checked", kOtherName, false, kIgnoreUnknownCa,
                false},
        TlsCase{"wrong usage refused", kClientOnly, true, 0, false},
        TlsCase{"wrong usage ignored", kClientOnly, true, kIgnoreWrongUsage, true}),
    [](const testing::TestParamInfo<TlsCase>& info) {
      std::string name;
      for (char ch : info.param.what)
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return name;
    });

class ProxyRequests : public testing::Test {
 protected:
  test::TinyProxy proxy{"virn", "pass-word"};
  TestServer server;
};

TEST_F(ProxyRequests, CredentialsOpenTheProxyAndStayWithIt) {
  struct Case {
    std::string user;
    std::string password;
    std::optional<int> flag;
    bool passes;
  };
  const Case cases[] = {
      {"virn", "pass-word", std::nullopt, true},
      {"virn", "wrong", std::nullopt, false},
      {"", "", std::nullopt, false},
      // Flag 0 offers them to the server, so the proxy still refuses.
      {"virn", "pass-word", 0, false},
  };
  server.on("/via", test::Reply{.body = "through"});
  for (const Case& c : cases) {
    server.clear_requests();
    WebRequest r{.url = server.url("/via"),
                 .proxy = proxy.address(),
                 .proxy_user = c.user,
                 .proxy_password = c.password,
                 .credentials_flag = c.flag};
    const Bytes body = web_request(r);
    if (c.passes) {
      EXPECT_EQ(r.status, 200) << "user '" << c.user << "': " << proxy.log();
      EXPECT_EQ(to_text(body), "through");
      const auto received = server.last_request();
      ASSERT_TRUE(received.has_value());
      EXPECT_FALSE(received->header("Proxy-Authorization").has_value());
    } else {
      // tinyproxy answers missing credentials with 407 and wrong ones with 401.
      EXPECT_TRUE(r.status == 407 || r.status == 401)
          << "status " << r.status << ", user '" << c.user << "' flag " << c.flag.value_or(1);
      EXPECT_TRUE(server.requests().empty());
    }
  }
}

TEST_F(ProxyRequests, ProxyCredentialsDoNotTravelThroughATunnel) {
  test::TempDir folder;
  const auto certificates = test::make_test_certificates(folder.path());
  TestServer secure(certificates.server);
  auto object = RequestObject::create();
  ASSERT_TRUE(object->SetCaFile(certificates.ca_file));
  WebRequest r{.url = secure.url("/tunnel"),
               .proxy = proxy.address(),
               .proxy_user = "virn",
               .proxy_password = "pass-word",
               .request_object = object};
  EXPECT_EQ(to_text(web_request(r)), "ok") << object->LastError().message << proxy.log();
  const auto received = secure.last_request();
  ASSERT_TRUE(received.has_value());
  EXPECT_FALSE(received->header("Proxy-Authorization").has_value()) << received->raw_head;
}

}  // namespace
}  // namespace virn::web
