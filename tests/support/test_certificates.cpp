#include "support/test_certificates.h"

#include <fstream>
#include <stdexcept>

#include "support/child_process.h"

namespace virn::test {
namespace {

void openssl(const std::vector<std::string>& arguments, const std::filesystem::path& folder) {
  std::vector<std::string> command = {"openssl"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  const auto log = folder / "openssl.log";
  if (run_program(command, log) != 0) {
    std::ifstream in(log);
    const std::string output((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    throw std::runtime_error("openssl " + arguments.front() + " failed: " + output);
  }
}

std::string join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += ',';
    text += item;
  }
  return text;
}

}  // namespace

TestCertificates make_test_certificates(const std::filesystem::path& folder,
                                        const CertificateRequest& request) {
  const auto file = [&folder](const char* name) { return (folder / name).string(); };
  // Elliptic-curve keys: quick to make, so every test run can have its own.
  const std::vector<std::string> new_key = {"-newkey", "ec", "-pkeyopt",
                                            "ec_paramgen_curve:prime256v1", "-nodes"};

  std::vector<std::string> ca = {"req", "-x509"};
  ca.insert(ca.end(), new_key.begin(), new_key.end());
  ca.insert(ca.end(), {"-keyout", file("ca.key"), "-out", file("ca.pem"), "-days", "2", "-subj",
                       "/CN=VIRN test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                       "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
  openssl(ca, folder);

  std::vector<std::string> csr = {"req"};
  csr.insert(csr.end(), new_key.begin(), new_key.end());
  csr.insert(csr.end(), {"-keyout", file("server.key"), "-out", file("server.csr"), "-subj",
                         "/CN=VIRN test server"});
  openssl(csr, folder);

  {
    std::ofstream extensions(file("server.ext"));
    extensions << "basicConstraints=CA:FALSE\n"
               << "keyUsage=critical,digitalSignature\n"
               << "extendedKeyUsage=" << request.extended_key_usage << "\n";
    if (!request.names.empty()) extensions << "subjectAltName=" << join(request.names) << "\n";
  }
  openssl(
      {"x509", "-req", "-in", file("server.csr"), "-CA", file("ca.pem"), "-CAkey", file("ca.key"),
       "-CAcreateserial", "-out", file("server.pem"), "-days", "2", "-extfile", file("server.ext")},
      folder);

  return {file("ca.pem"), {file("server.pem"), file("server.key")}};
}

}  // namespace virn::test
