#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "speech/backend.h"

namespace virn::server {

using BackendFactory = std::function<std::unique_ptr<speech::SpeechBackend>()>;

// The whole virn-tts-server: options, keys, signals, engine queue and service. `args` is
// the command line after the program name; the result is the exit status.
int run_server_program(const std::vector<std::string>& args, const BackendFactory& make_backend);

}  // namespace virn::server
