#include "app/control_settings.h"

namespace virn::app {

namespace {

template <typename Table, typename Checked>
std::string first_checked(const Table& table, const Checked& checked) {
  for (std::size_t index = 0; index < checked.size(); ++index) {
    if (checked[index]) return std::string(table[index].id);
  }
  return {};
}

}  // namespace

speech::SpeechRequest speech_request_from(const ControlStates& states) {
  speech::SpeechRequest request;
  request.voice = first_checked(speech::kVoices, states.voices);
  request.mood = first_checked(speech::kMoods, states.moods);
  request.strength = states.strength;
  request.volume = states.volume;
  request.speed = states.speed;
  request.pitch = states.pitch;
  request.text = states.text;
  return request;
}

}  // namespace virn::app
