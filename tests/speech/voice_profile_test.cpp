#include "speech/voice_profile.h"

#include <gtest/gtest.h>

namespace virn::speech {
namespace {

SpeechRequest request(std::string voice, std::string mood, int strength) {
  SpeechRequest r;
  r.voice = std::move(voice);
  r.mood = std::move(mood);
  r.strength = strength;
  return r;
}

// Overall tempo a profile gives, whichever stage delivers it.
double tempo_of(const VoiceProfile& p) {
  return p.espeak.rate * p.stretch * p.formant_shift;
}

TEST(VoiceProfile, SpeedBeyondEspeakIsStretched) {
  SpeechRequest slow = request("santa", "sadness", 4);
  slow.speed = 50;
  const VoiceProfile p = voice_profile(slow);
  EXPECT_EQ(p.espeak.rate, 80);
  EXPECT_LT(p.stretch, 1.0);
  SpeechRequest fast = request("hikari", "happiness", 4);
  fast.speed = 400;
  const VoiceProfile q = voice_profile(fast);
  EXPECT_EQ(q.espeak.rate, 450);
  EXPECT_GT(q.stretch, 1.0);
  // Half the speed is half the tempo, wherever it is delivered.
  SpeechRequest normal = request("santa", "sadness", 4);
  EXPECT_NEAR(tempo_of(p) / tempo_of(voice_profile(normal)), 0.5, 0.01);
}

TEST(VoiceProfile, MoodsMoveInTheirDirectionAndPlainIgnoresStrength) {
  for (const auto& voice : kVoices) {
    const std::string id(voice.id);
    const VoiceProfile plain1 = voice_profile(request(id, "", 1));
    const VoiceProfile plain4 = voice_profile(request(id, "", 4));
    EXPECT_EQ(plain1.espeak.pitch, plain4.espeak.pitch);
    EXPECT_EQ(plain1.gain, plain4.gain);
    EXPECT_EQ(plain1.espeak.rate, plain4.espeak.rate);

    const VoiceProfile happy = voice_profile(request(id, "happiness", 4));
    const VoiceProfile sad = voice_profile(request(id, "sadness", 4));
    const VoiceProfile angry = voice_profile(request(id, "anger", 4));
    EXPECT_GE(happy.espeak.pitch, plain1.espeak.pitch) << id;
    EXPECT_LE(sad.espeak.pitch, plain1.espeak.pitch) << id;
    EXPECT_GT(happy.espeak.range, plain1.espeak.range) << id;
    EXPECT_LT(sad.espeak.range, plain1.espeak.range) << id;
    EXPECT_GT(angry.espeak.range, plain1.espeak.range) << id;
    EXPECT_GT(tempo_of(happy), tempo_of(plain1)) << id;
    EXPECT_LT(tempo_of(sad), tempo_of(plain1)) << id;
    EXPECT_GT(angry.gain, happy.gain) << id;
    EXPECT_LT(sad.gain, plain1.gain) << id;
  }
}

}  // namespace
}  // namespace virn::speech
