#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "speech/backend.h"
#include "speech/service_config.h"
#include "util/bytes.h"
#include "util/result.h"

namespace virn::web {
class RequestObject;
}

namespace virn::speech {

// Why a transfer ended without a response, in this library's own terms.
enum class TransferFailure {
  none,
  cannot_resolve,
  cannot_connect,
  timed_out,
  certificate,
  aborted,
  too_large,
  other
};

// What came back from one synthesis request.
struct SpeechReply {
  int status = 0;
  Bytes body;
  std::string headers;
  TransferFailure failure = TransferFailure::none;
};

// Composes the synthesis request (form body, "Authorization: Basic …") and sends it with
// web_request as one POST on `object`, which the caller keeps so that it can abort it.
SpeechReply request_speech(const ServiceConfig& config, const SpeechRequest& request,
                           const std::shared_ptr<web::RequestObject>& object);

// The WAV of a reply, or what went wrong in plain Chinese: only a 2xx status with a
// RIFF/WAVE body counts. The message never holds the access key.
Result<Bytes> interpret_reply(const SpeechReply& reply, const ServiceConfig& config);

// The service's own error text, made fit for a message: valid UTF-8, no control
// characters, at most `max_chars` characters, and never the access key or its credential.
std::string service_error_text(const Bytes& body, const ServiceConfig& config,
                               std::size_t max_chars = 160);

// The remote text-to-speech service as a backend.
class RemoteBackend final : public SpeechBackend {
 public:
  explicit RemoteBackend(ServiceConfig config);

  Result<Bytes> synthesize(const SpeechRequest& request) override;
  void cancel() override;
  std::string describe() const override;

 private:
  ServiceConfig config_;
  std::mutex mutex_;  // guards object_ and cancelled_ against cancel() from another thread
  std::shared_ptr<web::RequestObject> object_;
  bool cancelled_ = false;
};

}  // namespace virn::speech
