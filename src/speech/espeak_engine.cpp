#include "speech/espeak_engine.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <mutex>
#include <string_view>

namespace virn::speech {
namespace {

struct Collector {
  std::vector<std::int16_t>* samples;
  const std::atomic<bool>* cancelled;
};

int collect(short* wav, int count, espeak_EVENT* events) {
  // espeak-ng hands every call's user data back in the events.
  auto* collector = events != nullptr ? static_cast<Collector*>(events->user_data) : nullptr;
  if (collector == nullptr) return 0;
  if (collector->cancelled->load()) return 1;
  if (wav != nullptr && count > 0)
    collector->samples->insert(collector->samples->end(), wav, wav + count);
  return 0;
}

struct Session {
  Session() {
    // DONT_EXIT: a missing data folder must come back as an error, not end the process.
    const int rate =
        espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (rate <= 0) {
      error = "无法启动 espeak-ng 语音引擎（找不到它的数据文件）";
    } else {
      sample_rate = rate;
      espeak_SetSynthCallback(collect);
    }
  }
  std::mutex lock;
  int sample_rate = 0;
  std::string error;
  std::string voice;  // the voice set last, so an unchanged voice is not loaded again
};

Session& session() {
  static Session instance;
  return instance;
}

}  // namespace

Result<int> espeak_sample_rate() {
  Session& s = session();
  if (s.sample_rate <= 0) return Error{s.error};
  return s.sample_rate;
}

Result<std::vector<std::int16_t>> espeak_speak(const std::string& text,
                                               const EspeakSettings& settings,
                                               const std::atomic<bool>& cancelled) {
  Session& s = session();
  if (s.sample_rate <= 0) return Error{s.error};
  const std::lock_guard guard(s.lock);

  if (settings.voice != s.voice) {
    if (espeak_SetVoiceByName(settings.voice.c_str()) != EE_OK) {
      s.voice.clear();
      return Error{"espeak-ng 没有语音 \"" + settings.voice + "\""};
    }
    s.voice = settings.voice;
    // The first utterance after a voice is loaded comes out a little different (quieter)
    // from every later one; a short utterance thrown away makes every request sound alike.
    std::vector<std::int16_t> discarded;
    const std::atomic<bool> never{false};
    Collector warm_up{&discarded, &never};
    constexpr std::string_view kWarmUp = "ア";
    espeak_Synth(kWarmUp.data(), kWarmUp.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                 &warm_up);
  }
  espeak_SetParameter(espeakRATE, std::clamp(settings.rate, espeakRATE_MINIMUM, espeakRATE_MAXIMUM),
                      0);
  espeak_SetParameter(espeakPITCH, std::clamp(settings.pitch, 0, 100), 0);
  espeak_SetParameter(espeakRANGE, std::clamp(settings.range, 0, 100), 0);
  espeak_SetParameter(espeakVOLUME, 100, 0);

  std::vector<std::int16_t> samples;
  Collector collector{&samples, &cancelled};
  const espeak_ERROR result = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                           espeakCHARS_UTF8 | espeakENDPAUSE, nullptr, &collector);
  if (result != EE_OK) return Error{"espeak-ng 合成失败"};
  if (cancelled.load()) return Error{"合成已取消"};
  return samples;
}

}  // namespace virn::speech
