#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "cli/player.h"
#include "cli/progress.h"
#include "cli/say.h"
#include "cli/wav_join.h"
#include "speech/reading.h"
#include "speech/speech_request.h"
#include "speech/wav.h"

namespace virn::cli {
namespace {

// A backend that keeps what it was asked and answers each text with as many samples as it
// has bytes, each sample the piece's number.
class RecordingBackend final : public speech::SpeechBackend {
 public:
  std::vector<speech::SpeechRequest> requests;
  std::size_t fail_at = 0;  // 1-based; 0: never

  Result<Bytes> synthesize(const speech::SpeechRequest& request) override {
    requests.push_back(request);
    if (requests.size() == fail_at) return Error{"服务出错"};
    const auto n = static_cast<std::int16_t>(requests.size());
    return speech::make_wav(std::vector<std::int16_t>(request.text.size(), n), 16000);
  }
  void cancel() override {}
  std::string describe() const override { return "recording"; }
};

std::string repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i)
    out += s;
  return out;
}

TEST(SpeakText, LongTextGoesInPiecesWithinTheLimitAndComesBackAsOneWav) {
  RecordingBackend backend;
  speech::SpeechRequest settings;
  settings.voice = "takeru";
  settings.speed = 150;
  std::string text;
  for (int i = 0; i < 9; ++i)
    text += repeat("あ", 70) + "。";
  const auto wav = speak_text(backend, settings, text);
  ASSERT_TRUE(wav.ok()) << wav.error().message;

  std::string sent;
  for (const auto& r : backend.requests) {
    EXPECT_LE(*speech::utf8_length(r.text), 200u);
    EXPECT_FALSE(speech::check_request(r).has_value());
    EXPECT_EQ(r.voice, "takeru");
    EXPECT_EQ(r.speed, 150);
    sent += r.text;
  }
  EXPECT_EQ(sent, text);
  EXPECT_EQ(backend.requests.size(), 5u);  // two sentences of 71 per piece

  // The pieces' sound, in order, in one file.
  const auto samples = speech::wav_samples(*wav);
  std::size_t at = 0;
  for (std::size_t i = 0; i < backend.requests.size(); ++i) {
    for (std::size_t k = 0; k < backend.requests[i].text.size(); ++k, ++at) {
      ASSERT_LT(at, samples.size());
      ASSERT_EQ(samples[at], static_cast<std::int16_t>(i + 1));
    }
  }
  EXPECT_EQ(at, samples.size());
}

TEST(SpeakText, SkipsBarePunctuationPiecesAndReportsWhichPieceFailed) {
  RecordingBackend backend;
  const std::string text = repeat("い", 150) + "。" + repeat("！", 250) + repeat("う", 10);
  ASSERT_TRUE(speak_text(backend, {}, text).ok());
  ASSERT_EQ(backend.requests.size(), 2u);
  for (const auto& r : backend.requests)
    EXPECT_FALSE(speech::only_punctuation(r.text)) << r.text;

  RecordingBackend failing;
  failing.fail_at = 2;
  const auto result = speak_text(failing, {}, repeat(repeat("え", 150) + "。", 3));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().message, "第 2/3 段：服务出错");
}

TEST(SpeakText, RefusesTextWithNothingToSay) {
  RecordingBackend backend;
  for (const char* text : {"", " \n\n ", "。。。、", "\xE3\x81"}) {
    EXPECT_FALSE(speak_text(backend, {}, text).ok()) << text;
  }
  EXPECT_TRUE(backend.requests.empty());
}

TEST(JoinWavs, ConcatenatesSoundOfOneFormat) {
  const Bytes a = speech::make_wav({1, 2, 3}, 22050);
  const Bytes b = speech::make_wav({4, 5}, 22050);
  EXPECT_EQ(*join_wavs({a}), a);
  const auto joined = join_wavs({a, b});
  ASSERT_TRUE(joined.ok());
  EXPECT_EQ(speech::wav_samples(*joined), (std::vector<std::int16_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(speech::parse_wav(*joined)->sample_rate, 22050);

  const auto mixed = join_wavs({a, speech::make_wav({1}, 16000)});
  ASSERT_FALSE(mixed.ok());
  EXPECT_NE(mixed.error().message.find("第 2 段"), std::string::npos);
  EXPECT_FALSE(join_wavs({a, to_bytes("not a wav")}).ok());
  EXPECT_FALSE(join_wavs({}).ok());
}

TEST(BatchLines, NonEmptyLinesTrimmed) {
  EXPECT_EQ(batch_lines("一\r\n\r\n  二 \n\t\n三"), (std::vector<std::string>{"一", "二", "三"}));
  EXPECT_TRUE(batch_lines("\n \r\n").empty());
}

TEST(ProgressBar, FillsWithTheCount) {
  EXPECT_EQ(progress_bar(0, 4, 8), "[--------] 0/4");
  EXPECT_EQ(progress_bar(1, 4, 8), "[##------] 1/4");
  EXPECT_EQ(progress_bar(3, 10, 10), "[###-------]  3/10");
  EXPECT_EQ(progress_bar(12, 10, 10), "[##########] 10/10");
}

TEST(FindPlayer, PrefersPaplayThenAplayOnThePath) {
  const auto root =
      std::filesystem::temp_directory_path() / ("virn-player-" + std::to_string(::getpid()));
  std::filesystem::create_directories(root / "a");
  std::filesystem::create_directories(root / "b");
  const auto tool = [](const std::filesystem::path& p) {
    std::ofstream(p) << "#!/bin/sh\n";
    std::filesystem::permissions(p, std::filesystem::perms::owner_all);
  };
  const std::string path = (root / "a").string() + ":" + (root / "b").string();
  EXPECT_FALSE(find_player(path).has_value());
  tool(root / "b" / "aplay");
  EXPECT_EQ(find_player(path), (root / "b" / "aplay").string());
  tool(root / "b" / "paplay");
  EXPECT_EQ(find_player(path), (root / "b" / "paplay").string());
  // Not executable: not a player.
  std::ofstream(root / "a" / "paplay") << "";
  std::filesystem::permissions(root / "a" / "paplay", std::filesystem::perms::owner_read);
  EXPECT_EQ(find_player(path), (root / "b" / "paplay").string());
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace virn::cli
