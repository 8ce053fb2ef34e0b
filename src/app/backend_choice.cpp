#include "app/backend_choice.h"

#include "speech/local_backend.h"
#include "speech/remote_backend.h"

namespace virn::app {

BackendChoice choose_backend(const speech::ServiceConfig& config) {
  if (config.configured()) {
    return {[config] { return std::make_shared<speech::RemoteBackend>(config); },
            speech::RemoteBackend(config).describe()};
  }
  return {[] { return std::make_shared<speech::LocalBackend>(); },
          speech::LocalBackend().describe()};
}

}  // namespace virn::app
