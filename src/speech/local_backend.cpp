#include "speech/local_backend.h"

#include "speech/espeak_engine.h"
#include "speech/reading.h"
#include "speech/sound_effects.h"
#include "speech/voice_profile.h"
#include "speech/wav.h"

namespace virn::speech {
namespace {

constexpr std::string_view kNothingToSay = "text 中没有可朗读的文字";

}  // namespace

Result<Bytes> LocalBackend::synthesize(const SpeechRequest& request) {
  cancelled_ = false;
  if (auto error = check_speakable(request)) return *error;

  auto tokens = read_text(request.text);
  if (!tokens) return tokens.error();
  if (!has_words(*tokens)) return Error{std::string(kNothingToSay)};

  const VoiceProfile profile = voice_profile(request);
  auto samples = espeak_speak(reading_for_engine(*tokens), profile.espeak, cancelled_);
  if (!samples) return samples.error();
  const auto rate = espeak_sample_rate();
  if (!rate) return rate.error();
  return make_wav(apply_effects(*samples, *rate, profile), *rate);
}

void LocalBackend::cancel() {
  cancelled_ = true;
}

std::string LocalBackend::describe() const {
  return "本地引擎";
}

Result<std::string> spoken_reading(std::string_view text) {
  SpeechRequest request;
  request.text = std::string(text);
  if (auto error = check_speakable(request)) return *error;
  auto tokens = read_text(text);
  if (!tokens) return tokens.error();
  if (!has_words(*tokens)) return Error{std::string(kNothingToSay)};
  return reading_display(*tokens);
}

}  // namespace virn::speech
