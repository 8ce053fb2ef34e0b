#pragma once

#include <string>
#include <string_view>

#include "speech/speech_request.h"

namespace virn::speech {

// application/x-www-form-urlencoded encoding of one value (UTF-8 bytes): letters, digits
// and "-._*" stay, a space becomes "+", every other byte becomes %XX. Decoding gives back
// exactly the value.
std::string form_encode(std::string_view value);

// Line breaks of any kind (LF, CR, CR LF) as CR LF, as HTML forms send a text area.
std::string crlf_line_breaks(std::string_view text);

// The synthesis request's form body: "&speaker=…&emotion=…&emotionLevel=…&volume=…
// &speed=…&pitch=…&format=wav&text=…", every value encoded, the body beginning with "&";
// the text's line breaks go as CR LF.
std::string form_body(const SpeechRequest& request);

// The HTTP Basic credential for the key as user-id and an empty password: Base64 of
// key + ":".
std::string basic_credential(std::string_view access_key);

// "Authorization: Basic " + basic_credential(access_key), one line without CR LF.
std::string authorization_header(std::string_view access_key);

}  // namespace virn::speech
