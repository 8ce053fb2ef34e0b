#pragma once

#include <array>
#include <string>

#include "speech/speech_request.h"

namespace virn::app {

// What the window's controls hold at a click, as plain values.
struct ControlStates {
  // 单选框1, 单选框2, 单选框3, 单选框4, 单选框5, 单选框6: the order of kVoices.
  std::array<bool, 6> voices{};
  // 单选框12, 单选框11, 单选框10, 单选框9: the order of kMoods.
  std::array<bool, 4> moods{};
  int strength = speech::kStrengthRange.start;  // 滑块条1
  int volume = speech::kVolumeRange.start;      // 滑块条2
  int speed = speech::kSpeedRange.start;        // 滑块条3
  int pitch = speech::kPitchRange.start;        // 滑块条4
  std::string text;                             // 编辑框1, UTF-8
};

// The speech request the controls describe: the first checked button of each group gives
// its value, none checked gives the empty value.
speech::SpeechRequest speech_request_from(const ControlStates& states);

}  // namespace virn::app
