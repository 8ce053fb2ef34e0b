#pragma once

#include "speech/espeak_engine.h"
#include "speech/speech_request.h"

namespace virn::speech {

// Everything that shapes the sound of one request: what espeak-ng is told, then what is done
// to its output.
struct VoiceProfile {
  EspeakSettings espeak;
  double stretch = 1.0;        // tempo change after synthesis, pitch kept (2: half as long)
  double pitch_shift = 1.0;    // pitch change after synthesis, tempo kept
  double formant_shift = 1.0;  // resampling: below 1 lowers pitch and formants, a larger body
  double sub_octave = 0.0;     // share of an octave-lower copy mixed in
  double growl = 0.0;          // depth of a rough, irregular low-frequency tremor, 0..1
  double gain = 1.0;           // linear level of the result (1: espeak-ng's normal level)
};

// The profile for a request's voice, mood, strength, volume, speed and pitch. Speed is a
// percentage of the normal rate (200: about half as long); pitch moves the voice's pitch by
// the square root of its percentage (400: an octave up, 50: half an octave down); volume
// scales the level linearly, 50 being the voice's normal level. The request is taken as
// checked: values out of range are clamped, an unknown voice speaks as haruka.
VoiceProfile voice_profile(const SpeechRequest& request);

}  // namespace virn::speech
