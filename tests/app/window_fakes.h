#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/media_player.h"
#include "speech/backend.h"
#include "speech/wav.h"

namespace virn::app::testing {

// What the fake backend does and saw; shared between the test and every backend made.
struct BackendScript {
  std::mutex mutex;
  std::condition_variable changed;
  std::optional<Result<Bytes>> answer;  // none: stall until cancelled (bounded)
  std::vector<speech::SpeechRequest> seen;
  bool cancelled = false;
  bool started = false;
};

class FakeBackend final : public speech::SpeechBackend {
 public:
  explicit FakeBackend(std::shared_ptr<BackendScript> script) : script_(std::move(script)) {}

  Result<Bytes> synthesize(const speech::SpeechRequest& request) override {
    std::unique_lock lock(script_->mutex);
    script_->seen.push_back(request);
    script_->started = true;
    script_->changed.notify_all();
    if (script_->answer) return *script_->answer;
    script_->changed.wait_for(lock, std::chrono::seconds(20),
                              [this] { return script_->cancelled; });
    return Error{"已取消语音合成。"};
  }
  void cancel() override {
    std::lock_guard lock(script_->mutex);
    script_->cancelled = true;
    script_->changed.notify_all();
  }
  std::string describe() const override { return "测试引擎"; }

 private:
  std::shared_ptr<BackendScript> script_;
};

// Records the calls of 媒体播放1.
struct PlayerLog {
  std::vector<std::string> calls;  // "open FILE", "play -1"
  std::optional<Error> open_error;
};

class FakePlayer final : public MediaPlayer {
 public:
  explicit FakePlayer(std::shared_ptr<PlayerLog> log) : log_(std::move(log)) {}
  std::optional<Error> open(const std::string& file) override {
    log_->calls.push_back("open " + file);
    return log_->open_error;
  }
  void play(int start_position) override {
    log_->calls.push_back("play " + std::to_string(start_position));
  }

 private:
  std::shared_ptr<PlayerLog> log_;
};

inline Bytes tiny_wav() {
  return speech::make_wav({0, 8000, -8000, 4000, 0}, 16000);
}

}  // namespace virn::app::testing
