#include "app/app_runtime.h"
#include "speech/service_config.h"

namespace {

virn::app::BackendChoice configured_backend() {
  return virn::app::choose_backend(virn::speech::service_config_from_environment());
}

const virn::app::AppRuntime kRuntime{&configured_backend, &virn::app::make_qt_media_player};

}  // namespace

extern "C" __attribute__((visibility("default"))) const virn::app::AppRuntime* virn_tts_runtime() {
  return &kRuntime;
}
