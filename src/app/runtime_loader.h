#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/app_runtime.h"
#include "speech/backend.h"
#include "util/result.h"

namespace virn::app {

// Where the runtime module may be, in the order tried: beside the program (a build or a
// portable copy), then the library folder of an installed copy.
std::vector<std::string> runtime_candidates(const std::string& program_dir,
                                            const std::string& installed_relative_dir);

// A backend that only says why there is none.
std::shared_ptr<speech::SpeechBackend> unavailable_backend(Error why);

// Loads the first candidate that is there; an error names every place tried.
Result<const AppRuntime*> open_runtime(const std::vector<std::string>& candidates);

// open_runtime once; later calls give the same result. Thread-safe.
Result<const AppRuntime*> load_runtime(const std::vector<std::string>& candidates);

}  // namespace virn::app
