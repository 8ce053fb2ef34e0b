#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "speech/backend.h"
#include "speech/speech_request.h"
#include "util/bytes.h"
#include "util/result.h"

namespace virn::server {

// The one engine behind a bounded line of waiting requests. A single worker thread owns the
// backend, so the engine never sees two requests at once; a request that finds the line
// full is refused at once instead of waiting.
class SynthesisQueue {
 public:
  enum class Outcome { spoken, failed, refused, timed_out, stopped };

  struct Reply {
    Outcome outcome = Outcome::failed;
    Result<Bytes> audio = Error{""};
    std::chrono::microseconds engine_time{0};  // time spent in the backend
  };

  // `waiting` requests may wait while one is being spoken.
  SynthesisQueue(speech::SpeechBackend& backend, std::size_t waiting);
  ~SynthesisQueue();
  SynthesisQueue(const SynthesisQueue&) = delete;
  SynthesisQueue& operator=(const SynthesisQueue&) = delete;

  // Blocks until the request has been spoken, refused, or `limit` has passed; a request that
  // times out is dropped, or cancelled in the backend when it is already being spoken.
  Reply speak(const speech::SpeechRequest& request, std::chrono::milliseconds limit);

  // How many accepted requests wait for the engine, besides the one being spoken.
  std::size_t waiting() const;

  // Refuses new requests, speaks those already accepted, then ends the worker. Idempotent.
  void shutdown();

 private:
  struct Job;

  void work();

  speech::SpeechBackend& backend_;
  const std::size_t waiting_limit_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Job>> line_;
  std::shared_ptr<Job> current_;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace virn::server
