#pragma once

#include <functional>
#include <memory>

#include "app/backend_choice.h"
#include "app/media_player.h"

namespace virn::app {

// The heavy half of virn-tts (speech engine, network, media service), built as a module
// that the window loads once it is on screen: linking it into the program would more than
// double the time to the first paint.
struct AppRuntime {
  // choose_backend for the service of the build and the environment.
  BackendChoice (*configured_backend)();
  std::unique_ptr<MediaPlayer> (*make_player)(std::function<void(const Error&)> on_error);
};

// The module's one exported symbol.
inline constexpr const char* kRuntimeEntry = "virn_tts_runtime";
using RuntimeEntry = const AppRuntime* (*)();

}  // namespace virn::app
