#include "speech/local_backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "audio_measure.h"
#include "speech/wav.h"

namespace virn::speech {
namespace {

using testing::brightness;
using testing::mean_pitch;
using testing::periodicity;
using testing::rms;

constexpr const char* kSentence = "今日は良い天気ですね。私は学生です。";

// Speech samples with their measurements, each taken once (the pitch is costly).
struct Sound {
  Sound() = default;
  Sound(std::vector<std::int16_t> s, int r) : samples(std::move(s)), rate(r) {}

  std::vector<std::int16_t> samples;
  int rate = 1;
  double seconds() const { return static_cast<double>(samples.size()) / rate; }
  double pitch() const {
    return cached(pitch_, [&] { return mean_pitch(samples, rate); });
  }
  double level() const {
    return cached(level_, [&] { return rms(samples); });
  }
  double bright() const {
    return cached(bright_, [&] { return brightness(samples, rate); });
  }

 private:
  static double cached(std::optional<double>& slot, auto measure) {
    if (!slot) slot = measure();
    return *slot;
  }
  mutable std::optional<double> pitch_;
  mutable std::optional<double> level_;
  mutable std::optional<double> bright_;
};

Sound speak(SpeechRequest request) {
  if (request.text.empty()) request.text = kSentence;
  LocalBackend backend;
  auto wav = backend.synthesize(request);
  EXPECT_TRUE(wav.ok()) << (wav.ok() ? "" : wav.error().message);
  if (!wav.ok()) return {};
  const auto format = parse_wav(*wav);
  EXPECT_TRUE(format.has_value());
  return {wav_samples(*wav), format ? format->sample_rate : 1};
}

SpeechRequest with(auto change) {
  SpeechRequest r;
  change(r);
  return r;
}

TEST(LocalBackend, WritesStandardMonoPcmWav) {
  LocalBackend backend;
  EXPECT_EQ(backend.describe(), "本地引擎");
  auto wav = backend.synthesize(with([](SpeechRequest& r) { r.text = "こんにちは"; }));
  ASSERT_TRUE(wav.ok()) << wav.error().message;
  const auto format = parse_wav(*wav);
  ASSERT_TRUE(format.has_value());
  EXPECT_EQ(format->encoding, 1);
  EXPECT_EQ(format->channels, 1);
  EXPECT_EQ(format->bits_per_sample, 16);
  EXPECT_EQ(format->data_offset, 44u);
  EXPECT_EQ(format->data_size + 44, wav->size());
  // About a second of sound, not silence.
  const Sound sound{wav_samples(*wav), format->sample_rate};
  EXPECT_GT(sound.seconds(), 0.4);
  EXPECT_LT(sound.seconds(), 3.0);
  EXPECT_GT(sound.level(), 500.0);
}

TEST(LocalBackend, SpeedSetsTheRate) {
  const int speeds[] = {50, 100, 200, 400};
  std::vector<double> seconds;
  for (const int speed : speeds)
    seconds.push_back(speak(with([&](auto& r) { r.speed = speed; })).seconds());
  for (std::size_t i = 1; i < seconds.size(); ++i)
    EXPECT_LT(seconds[i], seconds[i - 1]) << speeds[i];
  // 200 takes about half as long as 100.
  EXPECT_NEAR(seconds[2] / seconds[1], 0.5, 0.1);
  EXPECT_NEAR(seconds[0] / seconds[1], 2.0, 0.3);
}

TEST(LocalBackend, PitchMovesTheVoicePitch) {
  const int pitches[] = {50, 100, 200, 400};
  std::vector<double> f0;
  for (const int pitch : pitches)
    f0.push_back(speak(with([&](auto& r) { r.pitch = pitch; })).pitch());
  for (std::size_t i = 1; i < f0.size(); ++i)
    EXPECT_GT(f0[i], f0[i - 1] * 1.2) << pitches[i];
  // Pitch changes leave the length alone.
  EXPECT_NEAR(speak(with([](auto& r) { r.pitch = 400; })).seconds(), speak({}).seconds(), 0.2);
}

TEST(LocalBackend, VolumeSetsTheLevel) {
  const int volumes[] = {1, 25, 50, 100};
  std::vector<double> level;
  for (const int volume : volumes)
    level.push_back(speak(with([&](auto& r) { r.volume = volume; })).level());
  for (std::size_t i = 1; i < level.size(); ++i)
    EXPECT_GT(level[i], level[i - 1] * 1.5) << volumes[i];
  EXPECT_LT(level[0], 200.0);
}

TEST(LocalBackend, SixVoicesAreSixCharacters) {
  std::vector<std::pair<std::string, Sound>> voices;
  for (const auto& v : kVoices) {
    voices.emplace_back(std::string(v.id),
                        speak(with([&](auto& r) { r.voice = std::string(v.id); })));
  }
  const auto of = [&](std::string_view id) -> const Sound& {
    for (const auto& [name, sound] : voices) {
      if (name == id) return sound;
    }
    ADD_FAILURE() << id;
    return voices.front().second;
  };
  // Every two voices differ clearly in pitch, brightness or pace.
  for (std::size_t a = 0; a < voices.size(); ++a) {
    for (std::size_t b = a + 1; b < voices.size(); ++b) {
      const Sound& x = voices[a].second;
      const Sound& y = voices[b].second;
      const auto apart = [](double p, double q, double by) {
        return std::abs(p - q) > by * std::max(p, q);
      };
      EXPECT_TRUE(apart(x.pitch(), y.pitch(), 0.12) || apart(x.bright(), y.bright(), 0.08) ||
                  apart(x.seconds(), y.seconds(), 0.05))
          << voices[a].first << " vs " << voices[b].first;
    }
  }
  // The women are higher than the men, the demon lowest and darkest.
  for (const char* woman : {"haruka", "hikari"}) {
    for (const char* man : {"show", "takeru"})
      EXPECT_GT(of(woman).pitch(), of(man).pitch() * 1.4);
  }
  for (const auto& [name, sound] : voices) {
    if (name == "santa") continue;
    EXPECT_LT(of("santa").pitch(), sound.pitch()) << name;
    EXPECT_LT(of("santa").bright(), sound.bright()) << name;
  }
  // The bear is rough: its voice is far less regular than any human one.
  EXPECT_LT(of("bear").bright(), of("show").bright() * 0.9);
  for (const char* human : {"haruka", "hikari", "show", "takeru"}) {
    EXPECT_LT(periodicity(of("bear").samples, of("bear").rate),
              0.8 * periodicity(of(human).samples, of(human).rate))
        << human;
  }
  // Loudness stays comparable, so the volume slider means the same for every voice.
  for (const auto& [name, sound] : voices)
    EXPECT_NEAR(sound.level() / of("haruka").level(), 1.0, 0.25) << name;
}

TEST(LocalBackend, MoodsShiftPitchPaceAndLevelMoreWithStrength) {
  const Sound plain = speak({});
  const auto mood = [](const char* id, int strength) {
    return speak(with([&](auto& r) {
      r.mood = id;
      r.strength = strength;
    }));
  };
  const Sound happy1 = mood("happiness", 1);
  const Sound happy4 = mood("happiness", 4);
  EXPECT_GT(happy1.pitch(), plain.pitch());
  EXPECT_GT(happy4.pitch(), happy1.pitch());
  EXPECT_LT(happy4.seconds(), happy1.seconds());
  EXPECT_GT(happy4.level(), happy1.level());

  const Sound sad1 = mood("sadness", 1);
  const Sound sad4 = mood("sadness", 4);
  EXPECT_LT(sad1.pitch(), plain.pitch());
  EXPECT_LT(sad4.pitch(), sad1.pitch());
  EXPECT_GT(sad4.seconds(), sad1.seconds());
  EXPECT_GT(sad1.seconds(), plain.seconds());
  EXPECT_LT(sad4.level(), sad1.level());

  const Sound angry1 = mood("anger", 1);
  const Sound angry4 = mood("anger", 4);
  EXPECT_GT(angry1.level(), plain.level());
  EXPECT_GT(angry4.level(), angry1.level());
  EXPECT_LT(angry4.seconds(), angry1.seconds());
}

TEST(LocalBackend, PlainMoodIgnoresStrength) {
  // espeak-ng carries a little state from one utterance to the next, so equal requests give
  // equal sound up to a few samples, not byte for byte.
  const Sound one = speak(with([](auto& r) { r.strength = 1; }));
  const Sound four = speak(with([](auto& r) { r.strength = 4; }));
  EXPECT_NEAR(one.seconds(), four.seconds(), 0.01 * one.seconds());
  EXPECT_NEAR(one.level(), four.level(), 0.03 * one.level());
  EXPECT_NEAR(one.pitch(), four.pitch(), 0.03 * one.pitch());
}

TEST(LocalBackend, QuestionEndsHigherThanStatement) {
  const auto tail_pitch = [](const char* text) {
    const Sound s = speak(with([&](auto& r) { r.text = text; }));
    std::size_t end = s.samples.size();
    while (end > 0 && std::abs(s.samples[end - 1]) < 300)
      --end;
    const std::vector<std::int16_t> tail(
        s.samples.begin() + static_cast<std::ptrdiff_t>(end * 4 / 5),
        s.samples.begin() + static_cast<std::ptrdiff_t>(end));
    return mean_pitch(tail, s.rate);
  };
  EXPECT_GT(tail_pitch("これはペンです？"), tail_pitch("これはペンです。") * 1.05);
}

TEST(LocalBackend, LongWordsAreSpokenWhole) {
  // A long run of letters or digits is one long word; none of it may be dropped.
  const auto length_of = [](std::string text) {
    return speak(with([&](auto& r) { r.text = std::move(text); })).seconds();
  };
  EXPECT_NEAR(length_of(std::string(100, 'A')) / length_of(std::string(50, 'A')), 2.0, 0.2);
  EXPECT_NEAR(length_of(std::string(200, '7')) / length_of(std::string(100, '7')), 2.0, 0.2);
}

TEST(LocalBackend, RefusesBadInputWithClearErrors) {
  struct Bad {
    SpeechRequest request;
    const char* mentions;
  };
  const Bad cases[] = {
      {with([](auto& r) { r.text = ""; }), "text"},
      {with([](auto& r) { r.text = "。、！？"; }), "标点"},
      {with([](auto& r) { r.text = "🙂"; }), "text"},
      {with([](auto& r) { r.text = std::string("\xE3\x81", 2); }), "UTF-8"},
      {with([](auto& r) { r.text = std::string("あ\0い", 7); }), "控制字符"},
      {with([](auto& r) { r.text = "あ\x1b"; }), "控制字符"},
      {with([](auto& r) { r.text = std::string(201, 'a'); }), "201"},
      {with([](auto& r) {
         r.text = "あ";
         r.speed = 401;
       }),
       "speed"},
      {with([](auto& r) {
         r.text = "あ";
         r.pitch = 49;
       }),
       "pitch"},
      {with([](auto& r) {
         r.text = "あ";
         r.volume = 0;
       }),
       "volume"},
      {with([](auto& r) {
         r.text = "あ";
         r.strength = 5;
         r.mood = "anger";
       }),
       "emotionLevel"},
      {with([](auto& r) {
         r.text = "あ";
         r.voice = "robot";
       }),
       "robot"},
      {with([](auto& r) {
         r.text = "あ";
         r.mood = "joy";
       }),
       "joy"},
  };
  LocalBackend backend;
  for (const auto& c : cases) {
    const auto result = backend.synthesize(c.request);
    ASSERT_FALSE(result.ok()) << c.mentions;
    EXPECT_NE(result.error().message.find(c.mentions), std::string::npos) << result.error().message;
  }
}

TEST(LocalBackend, WorksFromSeveralThreadsAtOnce) {
  const SpeechRequest request = with([](auto& r) {
    r.text = "熊が吠える";
    r.voice = "bear";
  });
  const Sound expected = speak(request);
  std::vector<Result<Bytes>> results(3, Error{"not run"});
  std::vector<std::thread> threads;
  for (auto& slot : results) {
    threads.emplace_back([&request, &slot] {
      LocalBackend backend;
      slot = backend.synthesize(request);
    });
  }
  for (auto& t : threads)
    t.join();
  for (const auto& r : results) {
    ASSERT_TRUE(r.ok()) << r.error().message;
    const Sound sound{wav_samples(*r), expected.rate};
    EXPECT_NEAR(sound.seconds(), expected.seconds(), 0.01 * expected.seconds());
    EXPECT_NEAR(sound.level(), expected.level(), 0.05 * expected.level());
  }
}

TEST(LocalBackend, CancelEndsARunningSynthesis) {
  LocalBackend backend;
  std::atomic<bool> done{false};
  Result<Bytes> result = Error{"not run"};
  std::thread worker([&] {
    std::string text;
    for (int i = 0; i < 20; ++i)
      text += "長い文章を読みます。";
    result = backend.synthesize(with([&](auto& r) {
      r.text = text;
      r.speed = 50;
    }));
    done = true;
  });
  for (int i = 0; i < 20000 && !done; ++i) {
    backend.cancel();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  worker.join();
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.error().message.find("取消"), std::string::npos) << result.error().message;
  // The engine recovers: the next request is spoken whole.
  const Sound after = speak(with([](auto& r) { r.text = "こんにちは"; }));
  EXPECT_GT(after.seconds(), 0.4);
}

}  // namespace
}  // namespace virn::speech
