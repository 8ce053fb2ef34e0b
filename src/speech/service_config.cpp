#include "speech/service_config.h"

#include <cstdlib>

#ifndef VIRN_BUILT_IN_SERVICE_URL
#define VIRN_BUILT_IN_SERVICE_URL ""
#endif
#ifndef VIRN_BUILT_IN_ACCESS_KEY
#define VIRN_BUILT_IN_ACCESS_KEY ""
#endif

namespace virn::speech {

namespace {

std::optional<std::string> environment_value(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace

ServiceConfig built_in_service_config() {
  return {VIRN_BUILT_IN_SERVICE_URL, VIRN_BUILT_IN_ACCESS_KEY, ""};
}

ServiceConfig override_service_config(ServiceConfig base, const std::optional<std::string>& url,
                                      const std::optional<std::string>& key,
                                      const std::optional<std::string>& ca_file) {
  if (url) base.url = *url;
  if (key) base.access_key = *key;
  if (ca_file) base.ca_file = *ca_file;
  return base;
}

ServiceConfig service_config_from_environment() {
  return override_service_config(built_in_service_config(), environment_value("VIRN_TTS_URL"),
                                 environment_value("VIRN_TTS_KEY"),
                                 environment_value("VIRN_TTS_CA"));
}

}  // namespace virn::speech
