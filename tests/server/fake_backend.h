#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "speech/backend.h"
#include "speech/wav.h"

namespace virn::server::testing {

// A backend that answers with a small WAV whose length follows the text, remembers what it
// was asked, and can be made to hold each request until released.
class FakeBackend final : public speech::SpeechBackend {
 public:
  static Bytes wav_for(const speech::SpeechRequest& request) {
    return speech::make_wav(std::vector<std::int16_t>(request.text.size() + 1, 1000), 16000);
  }

  Result<Bytes> synthesize(const speech::SpeechRequest& request) override {
    std::unique_lock lock(mutex_);
    peak_ = std::max(peak_, ++running_);
    requests_.push_back(request);
    ++started_;
    changed_.notify_all();
    // Bounded, so that a test that forgets to release cannot hang.
    changed_.wait_for(lock, std::chrono::seconds(20), [&] { return !hold_ || cancelled_; });
    --running_;
    if (cancelled_) {
      cancelled_ = false;
      return Error{"已取消"};
    }
    if (!failure_.empty()) return Error{failure_};
    return wav_for(request);
  }

  void cancel() override {
    std::lock_guard lock(mutex_);
    if (running_ > 0) cancelled_ = true;
    changed_.notify_all();
  }

  std::string describe() const override { return "假引擎"; }

  void hold() {
    std::lock_guard lock(mutex_);
    hold_ = true;
  }
  void release() {
    std::lock_guard lock(mutex_);
    hold_ = false;
    changed_.notify_all();
  }
  void fail_with(std::string message) {
    std::lock_guard lock(mutex_);
    failure_ = std::move(message);
  }
  // Waits (bounded) until `count` requests have reached the engine.
  bool wait_started(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return started_ >= count; });
  }
  std::vector<speech::SpeechRequest> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  int peak_concurrency() {
    std::lock_guard lock(mutex_);
    return peak_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<speech::SpeechRequest> requests_;
  int started_ = 0;
  bool hold_ = false;
  bool cancelled_ = false;
  std::string failure_;
  int running_ = 0;
  int peak_ = 0;
};

// Every field in one text, so that a mismatch shows which.
inline std::string fields_of(const speech::SpeechRequest& r) {
  return r.voice + "|" + r.mood + "|" + std::to_string(r.strength) + "|" +
         std::to_string(r.volume) + "|" + std::to_string(r.speed) + "|" + std::to_string(r.pitch) +
         "|" + r.text;
}

}  // namespace virn::server::testing
