#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_server.h"

namespace virn::test {

// What the server certificate says about itself.
struct CertificateRequest {
  // Subject alternative names, in openssl's notation.
  std::vector<std::string> names = {"DNS:localhost", "IP:127.0.0.1"};
  // The extended key usage; "clientAuth" makes a certificate unfit for a server.
  std::string extended_key_usage = "serverAuth";
};

struct TestCertificates {
  std::string ca_file;  // the CA certificate (PEM), for a client's trusted bundle
  TlsIdentity server;   // the server certificate signed by that CA, and its key
};

// Makes a fresh CA and a server certificate signed by it in `folder`, with the openssl
// program; valid from now for two days. Throws std::runtime_error when openssl fails.
TestCertificates make_test_certificates(const std::filesystem::path& folder,
                                        const CertificateRequest& request = {});

}  // namespace virn::test
