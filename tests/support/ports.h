#pragma once

namespace virn::test {

// A TCP port on 127.0.0.1 that nothing listens on right now: for "nobody answers" tests
// and for programs that need a port number before they start.
int unused_loopback_port();

}  // namespace virn::test
