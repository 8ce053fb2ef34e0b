#pragma once

// The misbehaving services the fault tests point the client, the window and virn-say at,
// with what each layer must make of them.

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "faults/scripted_server.h"
#include "support/temp_dir.h"
#include "support/test_server.h"
#include "web/request_object.h"

namespace virn::faults {

// The access key every fault test uses; no message may ever show it.
inline constexpr const char* kAccessKey = "faultkey12345678";

// A running service and how to reach it; the servers stop when it goes.
struct FaultSite {
  std::string url;      // the service endpoint, path /v1/tts
  std::string ca_file;  // extra CA for an HTTPS site; empty for plain HTTP
  std::vector<std::unique_ptr<ScriptedServer>> servers;
  std::unique_ptr<test::TempDir> folder;
  std::unique_ptr<test::TestServer> tls_server;
};

struct FaultCase {
  std::string name;
  std::function<FaultSite()> start;
  // Whether the fault shows only when the client waits out its time-out, so a test with a
  // time-out of its own chooses how long to wait.
  bool waits_for_timeout = false;

  // What web_request reports.
  int status = 0;
  std::optional<std::string> body;  // none: empty
  bool has_headers = false;
  web::RequestErrorKind error = web::RequestErrorKind::none;

  // A part of the message the remote backend gives.
  std::string message_part;
};

// A small valid WAV, as a service would send it.
std::string wav_text();

// The faults a speech service can show, one per behaviour.
std::vector<FaultCase> fault_cases();

// The case of that name; throws std::logic_error when there is none.
FaultCase fault_case(const std::string& name);

// Name for parameterised tests: the case name.
std::string case_name(const FaultCase& fault);

// How test reports show a case: by its name.
void PrintTo(const FaultCase& fault, std::ostream* out);

}  // namespace virn::faults
