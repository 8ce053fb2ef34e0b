#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "say_process.h"
#include "speech/wav.h"

namespace virn::cli {
namespace {

namespace fs = std::filesystem;
using testing::Invocation;
using testing::Outcome;

// Runs the built virn-say in a fresh folder, with no speech service configured.
class SayBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "virn-say-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  Outcome say(std::vector<std::string> args, std::string input = {},
              std::map<std::string, std::optional<std::string>> env = {}) {
    Invocation how;
    how.arguments = std::move(args);
    how.folder = folder_;
    how.input = std::move(input);
    how.environment = {{"VIRN_TTS_URL", std::nullopt}, {"VIRN_TTS_KEY", std::nullopt}};
    for (auto& [k, v] : env)
      how.environment[k] = v;
    return testing::run(VIRN_SAY_PATH, how);
  }

  std::vector<fs::path> wavs() const {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(folder_)) {
      if (e.path().extension() == ".wav") found.push_back(e.path());
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  static Bytes read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static double seconds(const fs::path& p) {
    const Bytes b = read(p);
    const auto f = speech::parse_wav(b);
    return f ? static_cast<double>(f->data_size) / 2.0 / f->sample_rate : -1.0;
  }

  void write(const std::string& name, const std::string& content) const {
    std::ofstream(folder_ / name, std::ios::binary) << content;
  }

  fs::path folder_;
};

TEST_F(SayBinary, SpeaksTheArgumentIntoAFreshStampedFileEachRun) {
  const Outcome first = say({"こんにちは"});
  ASSERT_EQ(first.status, 0) << first.err;
  const Outcome second = say({"こんにちは"});
  ASSERT_EQ(second.status, 0) << second.err;
  const auto files = wavs();
  ASSERT_EQ(files.size(), 2u);  // the second run did not overwrite the first
  for (const auto& f : files) {
    EXPECT_GT(seconds(f), 0.3) << f;
    const auto name = f.stem().string();
    EXPECT_EQ(name.substr(0, 14).find_first_not_of("0123456789"), std::string::npos) << name;
  }
  EXPECT_NE(first.out, second.out);
  EXPECT_NE(first.out.find(files[0].filename().string()), std::string::npos);
}

TEST_F(SayBinary, TextFromStandardInputOrFile) {
  ASSERT_EQ(say({"-o", "stdin.wav"}, "猫が好きです。\n").status, 0);
  write("text.txt", "\xEF\xBB\xBF犬も好きです。");
  const Outcome from_file = say({"--file", "text.txt", "-o", "file.wav"});
  ASSERT_EQ(from_file.status, 0) << from_file.err;
  EXPECT_GT(seconds(folder_ / "stdin.wav"), 0.5);
  EXPECT_GT(seconds(folder_ / "file.wav"), 0.5);
}

TEST_F(SayBinary, OptionsShapeTheSound) {
  ASSERT_EQ(say({"--speed", "100", "-o", "normal.wav", "今日は良い天気です"}).status, 0);
  ASSERT_EQ(say({"--speed", "200", "-o", "fast.wav", "今日は良い天気です"}).status, 0);
  ASSERT_EQ(say({"--voice", "santa", "--mood", "sadness", "--strength", "4", "-o", "demon.wav",
                 "今日は良い天気です"})
                .status,
            0);
  EXPECT_LT(seconds(folder_ / "fast.wav"), seconds(folder_ / "normal.wav") * 0.65);
  EXPECT_GT(seconds(folder_ / "demon.wav"), seconds(folder_ / "normal.wav") * 1.2);
}

TEST_F(SayBinary, LongTextBecomesOneWav) {
  std::string text;
  for (int i = 0; i < 30; ++i)
    text += "今日は良い天気ですね。";  // 330 characters
  const Outcome long_run = say({"-o", "long.wav"}, text);
  ASSERT_EQ(long_run.status, 0) << long_run.err;
  ASSERT_EQ(say({"-o", "short.wav", "今日は良い天気ですね。"}).status, 0);
  const auto format = speech::parse_wav(read(folder_ / "long.wav"));
  ASSERT_TRUE(format.has_value());
  EXPECT_EQ(format->data_offset + format->data_size, read(folder_ / "long.wav").size());
  EXPECT_NEAR(seconds(folder_ / "long.wav") / seconds(folder_ / "short.wav"), 30.0, 4.0);
}

TEST_F(SayBinary, ReadingPrintsKatakanaAndWritesNothing) {
  const Outcome o = say({"--reading", "私は東京へ行きます。2026年"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "ワタシワトーキョーエイキマス。ニセンニジュウロクネン\n");
  EXPECT_TRUE(wavs().empty());
}

TEST_F(SayBinary, ListsVoicesHelpAndVersion) {
  const Outcome voices = say({"--list-voices"});
  ASSERT_EQ(voices.status, 0);
  for (const char* id :
       {"haruka", "hikari", "show", "takeru", "bear\t熊(凶暴)", "santa\t撒旦(恶魔)"}) {
    EXPECT_NE(voices.out.find(id), std::string::npos) << id;
  }
  const Outcome help = say({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--batch"), std::string::npos);
  const Outcome version = say({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("virn-say ", 0), 0u);
}

TEST_F(SayBinary, FailuresExitNonZeroWithOneLineAndLeaveNoFile) {
  write("bad.txt", "\xE3\x81\x82\xFF");
  write("existing.wav", "keep me");
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    const char* mentions;
  };
  const Case cases[] = {
      {{"--speed", "0", "x"}, "", 2, "--speed"},
      {{"--nonsense"}, "", 2, "--nonsense"},
      {{"--service", "x"}, "", 2, "VIRN_TTS_URL"},
      {{}, "", 1, "text"},
      {{"。、！？"}, "", 1, "标点"},
      {{"--file", "bad.txt"}, "", 1, "UTF-8"},
      {{"--file", "missing.txt"}, "", 1, "missing.txt"},
      {{"-o", "existing.wav", "あ\x1b"}, "", 1, "控制字符"},
      {{"-o", "no/such/folder/x.wav", "あ"}, "", 1, "no/such/folder"},
  };
  for (const auto& c : cases) {
    const Outcome o = say(c.args, c.input);
    EXPECT_EQ(o.status, c.status) << o.err;
    EXPECT_NE(o.err.find(c.mentions), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << o.err;  // exactly one line
  }
  EXPECT_EQ(wavs(), std::vector<fs::path>{folder_ / "existing.wav"});
  EXPECT_EQ(read(folder_ / "existing.wav"), to_bytes("keep me"));
}

TEST_F(SayBinary, ServiceIsTheDefaultWhenConfiguredAndLocalOverrides) {
  // Port 9 on the loopback: nothing listens, so the service fails at once.
  const std::map<std::string, std::optional<std::string>> service = {
      {"VIRN_TTS_URL", "http://127.0.0.1:9/v1/tts"}, {"VIRN_TTS_KEY", "0123456789abcdef"}};
  const Outcome by_default = say({"-o", "a.wav", "あ"}, "", service);
  EXPECT_EQ(by_default.status, 1);
  EXPECT_NE(by_default.err.find("127.0.0.1"), std::string::npos) << by_default.err;
  EXPECT_EQ(by_default.err.find("0123456789abcdef"), std::string::npos);
  const Outcome forced = say({"--service", "-o", "a.wav", "あ"}, "", service);
  EXPECT_EQ(forced.status, 1);
  const Outcome local = say({"--local", "-o", "a.wav", "あ"}, "", service);
  EXPECT_EQ(local.status, 0) << local.err;
  EXPECT_GT(seconds(folder_ / "a.wav"), 0.1);
}

TEST_F(SayBinary, PlayUsesThePlayerOnThePathOrSaysThereIsNone) {
  fs::create_directories(folder_ / "bin");
  const Outcome none =
      say({"--play", "-o", "p.wav", "あ"}, "", {{"PATH", (folder_ / "bin").string()}});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("paplay"), std::string::npos) << none.err;
  EXPECT_TRUE(wavs().empty());

  const fs::path player = folder_ / "bin" / "paplay";
  std::ofstream(player) << "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/played\"\n";
  fs::permissions(player, fs::perms::owner_all);
  const Outcome played = say({"--play", "-o", "p.wav", "あ"}, "",
                             {{"PATH", (folder_ / "bin").string() + ":/usr/bin:/bin"}});
  ASSERT_EQ(played.status, 0) << played.err;
  std::ifstream log(folder_ / "bin" / "played");
  std::string line;
  std::getline(log, line);
  EXPECT_EQ(line, "p.wav");
}

TEST_F(SayBinary, BatchWritesNumberedClipsAndGoesOnPastFailures) {
  write("lines.txt", "一行目です\n\n\x1b\r\n三行目です\n");
  const Outcome o = say({"--batch", "lines.txt", "-o", "clips"});
  EXPECT_EQ(o.status, 1);  // the second clip failed
  EXPECT_NE(o.err.find("002.wav failed: text 含有控制字符"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("1/3 001.wav"), std::string::npos) << o.err;  // plain lines: no terminal
  EXPECT_EQ(o.err.find('\r'), std::string::npos);
  EXPECT_NE(o.out.find("2 of 3"), std::string::npos) << o.out;
  EXPECT_GT(seconds(folder_ / "clips" / "001.wav"), 0.3);
  EXPECT_FALSE(fs::exists(folder_ / "clips" / "002.wav"));
  EXPECT_GT(seconds(folder_ / "clips" / "003.wav"), 0.3);

  // The same folder again: refused before anything is overwritten.
  const Bytes before = read(folder_ / "clips" / "001.wav");
  const Outcome again = say({"--batch", "lines.txt", "-o", "clips"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("001.wav"), std::string::npos);
  EXPECT_EQ(read(folder_ / "clips" / "001.wav"), before);

  write("good.txt", "はい\nいいえ\n");
  const Outcome good = say({"--batch", "good.txt", "-o", "more"});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_TRUE(fs::exists(folder_ / "more" / "002.wav"));
}

}  // namespace
}  // namespace virn::cli
