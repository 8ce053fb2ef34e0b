#pragma once

#include <optional>
#include <string>

namespace virn::speech {

// Where the remote speech service is and how to reach it. The key is a secret: nothing
// prints or logs it.
struct ServiceConfig {
  std::string url;
  std::string access_key;
  std::string ca_file;  // extra certificate authority for a service of its own; may be empty

  bool configured() const { return !url.empty() && !access_key.empty(); }
};

// The service built into the program (CMake cache variables VIRN_SERVICE_URL and
// VIRN_ACCESS_KEY; empty unless the build set them).
ServiceConfig built_in_service_config();

// `base` with each field replaced by its environment value where that variable is set,
// even to the empty text (so VIRN_TTS_URL= turns a built-in service off).
ServiceConfig override_service_config(ServiceConfig base, const std::optional<std::string>& url,
                                      const std::optional<std::string>& key,
                                      const std::optional<std::string>& ca_file);

// The built-in service overridden by VIRN_TTS_URL, VIRN_TTS_KEY and VIRN_TTS_CA.
ServiceConfig service_config_from_environment();

}  // namespace virn::speech
