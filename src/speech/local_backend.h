#pragma once

#include <atomic>
#include <string>

#include "speech/backend.h"

namespace virn::speech {

// The embedded engine: MeCab reads the text, espeak-ng speaks it, in this process.
// Every instance shares the process's one espeak-ng session; calls take turns.
class LocalBackend final : public SpeechBackend {
 public:
  LocalBackend() = default;

  Result<Bytes> synthesize(const SpeechRequest& request) override;
  void cancel() override;
  std::string describe() const override;

 private:
  std::atomic<bool> cancelled_{false};
};

// The katakana reading the engine would speak for a text (its 、。？！ are the pauses), or
// why the text cannot be spoken.
Result<std::string> spoken_reading(std::string_view text);

}  // namespace virn::speech
