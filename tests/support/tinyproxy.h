#pragma once

#include <memory>
#include <string>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace virn::test {

// Debian's tinyproxy on 127.0.0.1 with Basic authentication, for proxy tests. Its
// configuration and log live in a temporary folder; it is stopped when the object goes.
// Throws std::invalid_argument for a user name or password that its configuration cannot
// hold (empty, or with blanks or quotes), std::runtime_error when it does not start
// listening within five seconds.
class TinyProxy {
 public:
  TinyProxy(const std::string& user, const std::string& password);
  ~TinyProxy();
  TinyProxy(const TinyProxy&) = delete;
  TinyProxy& operator=(const TinyProxy&) = delete;

  int port() const { return port_; }
  // "127.0.0.1:PORT", as a proxy setting.
  std::string address() const;
  // What tinyproxy wrote to its log so far (for failure messages).
  std::string log() const;

 private:
  TempDir folder_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace virn::test
