#pragma once

#include <string>
#include <string_view>

#include "speech/speech_request.h"
#include "util/result.h"

namespace virn::server {

// The field names of the synthesis form, in the order the window sends them.
inline constexpr std::string_view kFormFields[] = {"speaker", "emotion", "emotionLevel", "volume",
                                                   "speed",   "pitch",   "format",       "text"};

// One application/x-www-form-urlencoded value or name: "+" is a space, %XX a byte.
// A "%" not followed by two hex digits is an error.
Result<std::string> form_decode(std::string_view encoded);

// The synthesis form as a request. Strict: every field must be present exactly once, no
// other field may appear, escapes must be well formed, numbers decimal integers and format
// "wav". Empty pieces (the window's leading "&", a trailing one) are skipped. Ranges and
// the text itself are left to check_request.
Result<speech::SpeechRequest> decode_speech_form(std::string_view body);

// A value fit to quote back in an error message: control bytes escaped, cut at max_bytes.
std::string quoted_for_message(std::string_view value, std::size_t max_bytes = 40);

}  // namespace virn::server
