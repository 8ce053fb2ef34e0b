#pragma once

#include <string>

#include "speech/speech_request.h"
#include "util/bytes.h"
#include "util/result.h"

namespace virn::speech {

// Something that turns a request into a WAV file: the remote service or the embedded engine.
class SpeechBackend {
 public:
  virtual ~SpeechBackend() = default;

  // The WAV bytes, or an error in plain words (Chinese, like the window). Blocking; may run
  // on a worker thread.
  virtual Result<Bytes> synthesize(const SpeechRequest& request) = 0;

  // Ends a running synthesize() early, from any thread; it then returns an error.
  virtual void cancel() = 0;

  // Which backend this is, for the user ("本地引擎", "服务 https://host/v1/tts").
  virtual std::string describe() const = 0;
};

}  // namespace virn::speech
