#pragma once

#include <string>

#include "util/bytes.h"

namespace virn {

// Standard Base64 (RFC 4648 section 4): "=" padding, no line breaks.
std::string base64_encode(const Bytes& data);

}  // namespace virn
