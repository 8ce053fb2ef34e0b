#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "server/access_keys.h"
#include "server/synthesis_queue.h"
#include "speech/speech_request.h"

namespace virn::server {

// What the server answers, before it meets HTTP.
struct HttpReply {
  int status = 200;
  std::string content_type;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// A short plain-text reply naming the problem; 401 asks for Basic, 503 for a retry.
HttpReply error_reply(int status, std::string message);

// What a POST /v1/tts carries, as far as deciding on it goes.
struct TtsInput {
  std::optional<std::string> authorization;
  std::optional<std::string> content_type;
  std::string body;
};

// The request to speak, or the reply that refuses it: 401 for a missing or unknown key,
// 415 for a body that is not a form, 413 for a text over the limit, 400 for anything else
// wrong in the form.
std::variant<speech::SpeechRequest, HttpReply> admit_tts_request(const TtsInput& input,
                                                                 const KeyRing& keys);

// The reply for what the engine's queue made of an admitted request: the WAV, 503 when
// busy or stopping, 504 when it took too long, 500 when the engine failed.
HttpReply speech_reply(SynthesisQueue::Reply reply);

}  // namespace virn::server
