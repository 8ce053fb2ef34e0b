#pragma once

namespace virn::web {

// Keeps libcurl's process-wide state initialised for one scope. The initialisation runs once
// per process, whichever thread gets there first, and is never undone: other threads may be
// using libcurl at any time.
class CurlSession {
 public:
  CurlSession();
  CurlSession(const CurlSession&) = delete;
  CurlSession& operator=(const CurlSession&) = delete;

  // Whether libcurl could be initialised; nothing can be sent when it could not.
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

}  // namespace virn::web
