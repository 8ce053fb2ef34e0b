#pragma once

#include <functional>
#include <memory>
#include <string>

#include "speech/backend.h"
#include "speech/service_config.h"

namespace virn::app {

struct BackendChoice {
  std::function<std::shared_ptr<speech::SpeechBackend>()> make;  // a new one per request
  std::string description;                                       // for the user
};

// The remote service when one is configured, else the embedded engine.
BackendChoice choose_backend(const speech::ServiceConfig& config);

}  // namespace virn::app
