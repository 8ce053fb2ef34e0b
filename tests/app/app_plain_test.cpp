#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/backend_choice.h"
#include "app/control_settings.h"
#include "app/output_files.h"
#include "app/runtime_loader.h"
#include "speech/local_backend.h"
#include "speech/remote_backend.h"

namespace virn::app {
namespace {

namespace fs = std::filesystem;

TEST(SpeechRequestFrom, FirstCheckedButtonOfEachGroupWins) {
  struct Case {
    std::array<bool, 6> voices;
    std::array<bool, 4> moods;
    const char* voice;
    const char* mood;
  };
  const Case cases[] = {
      {{true, false, false, false, false, false}, {true, false, false, false}, "haruka", ""},
      {{false, true, false, false, false, false},
       {false, true, false, false},
       "hikari",
       "happiness"},
      {{false, false, true, false, false, false}, {false, false, true, false}, "show", "anger"},
      {{false, false, false, true, false, false}, {false, false, false, true}, "takeru", "sadness"},
      // 单选框5 is the bear, 单选框6 the demon.
      {{false, false, false, false, true, false}, {true, false, false, false}, "bear", ""},
      {{false, false, false, false, false, true}, {true, false, false, false}, "santa", ""},
      {{false, true, false, false, false, true}, {false, false, true, true}, "hikari", "anger"},
      {{}, {}, "", ""},
  };
  for (const Case& c : cases) {
    ControlStates states;
    states.voices = c.voices;
    states.moods = c.moods;
    const speech::SpeechRequest request = speech_request_from(states);
    EXPECT_EQ(request.voice, c.voice);
    EXPECT_EQ(request.mood, c.mood);
  }
}

TEST(SpeechRequestFrom, SlidersAndTextPassThrough) {
  ControlStates states;
  states.strength = 4;
  states.volume = 1;
  states.speed = 400;
  states.pitch = 50;
  states.text = "こんにちは\nabc";
  const speech::SpeechRequest request = speech_request_from(states);
  EXPECT_EQ(request.strength, 4);
  EXPECT_EQ(request.volume, 1);
  EXPECT_EQ(request.speed, 400);
  EXPECT_EQ(request.pitch, 50);
  EXPECT_EQ(request.text, "こんにちは\nabc");
}

TEST(ChooseFolders, PortableBesideTheProgramInstalledInTheUsersFolders) {
  struct Case {
    FolderFacts facts;
    Folders expected;
  };
  const Case cases[] = {
      {{"/opt/tts", "/opt/tts", true, "/c", "/m", "/h"}, {"/opt/tts/temp/", "/opt/tts/"}},
      {{"/opt/tts", "/", true, "/c", "/m", "/h"}, {"/opt/tts/temp/", "//"}},
      {{"/usr/bin", "/usr/bin", false, "/h/.cache/virn-tts", "/h/Music", "/h"},
       {"/h/.cache/virn-tts/temp/", "/h/Music/"}},
      {{"/usr/bin", "/usr/bin", false, "/h/.cache/virn-tts", "", "/h"},
       {"/h/.cache/virn-tts/temp/", "/h/"}},
  };
  for (const Case& c : cases) {
    const Folders got = choose_folders(c.facts);
    EXPECT_EQ(got.scratch_dir, c.expected.scratch_dir);
    EXPECT_EQ(got.output_dir, c.expected.output_dir);
  }
  EXPECT_EQ(default_output_file("/opt/tts/", "20191208090503"), "/opt/tts/20191208090503.wav");
}

class SaveTarget : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("virn-save-" + std::to_string(::getpid()));
    fs::create_directories(root_ / "out");
    fs::create_directories(root_ / "tts");
    std::ofstream(root_ / "out/a.wav") << "a";
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string at(const std::string& name) const { return (root_ / name).string(); }
  fs::path root_;
};

TEST_F(SaveTarget, AutomaticNamingOnlyWhenTheNamedFileExists) {
  const std::string out_dir = at("tts") + "/";
  const std::string stamp = "20191208090503";
  // Existing file, automatic naming: a fresh name in output_dir, whatever folder it was in.
  EXPECT_EQ(save_target(true, at("out/a.wav"), out_dir, stamp).value(),
            out_dir + "20191208090503.wav");
  std::ofstream(out_dir + "20191208090503.wav") << "taken";
  EXPECT_EQ(save_target(true, at("out/a.wav"), out_dir, stamp).value(),
            out_dir + "20191208090503_2.wav");
  // A name that is free stays; automatic naming off replaces the named file.
  EXPECT_EQ(save_target(true, at("out/b.wav"), out_dir, stamp).value(), at("out/b.wav"));
  EXPECT_EQ(save_target(false, at("out/a.wav"), out_dir, stamp).value(), at("out/a.wav"));

  auto empty = save_target(true, "", out_dir, stamp);
  ASSERT_FALSE(empty.ok());
  EXPECT_NE(empty.error().message.find("未指定输出文件"), std::string::npos);
}

TEST(OutputAfterDialog, ConfirmedTakenCancelledReappliesTheLast) {
  auto confirmed = output_after_dialog(std::string("/e/voice/x.wav"), std::nullopt);
  ASSERT_TRUE(confirmed);
  EXPECT_EQ(confirmed->file, "/e/voice/x.wav");
  EXPECT_EQ(confirmed->output_dir, "/e/voice/");

  auto again = output_after_dialog(std::nullopt, std::string("/e/voice/x.wav"));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->file, "/e/voice/x.wav");
  EXPECT_EQ(again->output_dir, "/e/voice/");

  EXPECT_FALSE(output_after_dialog(std::nullopt, std::nullopt));
  auto multibyte = output_after_dialog(std::string("/音声/合成/x.wav"), std::nullopt);
  EXPECT_EQ(multibyte->output_dir, "/音声/合成/");
}

}  // namespace
}  // namespace virn::app

namespace virn::app {
namespace {

TEST(ChooseBackend, ServiceWhenConfiguredElseTheEmbeddedEngine) {
  const BackendChoice remote = choose_backend({"https://127.0.0.1:1/v1/tts", "key", ""});
  EXPECT_EQ(remote.description, "服务 https://127.0.0.1:1/v1/tts");
  EXPECT_NE(dynamic_cast<speech::RemoteBackend*>(remote.make().get()), nullptr);

  for (const speech::ServiceConfig& none :
       {speech::ServiceConfig{}, speech::ServiceConfig{"https://127.0.0.1:1/v1/tts", "", ""},
        speech::ServiceConfig{"", "key", ""}}) {
    const BackendChoice local = choose_backend(none);
    EXPECT_EQ(local.description, speech::LocalBackend().describe());
    EXPECT_NE(dynamic_cast<speech::LocalBackend*>(local.make().get()), nullptr);
  }
}

}  // namespace
}  // namespace virn::app

namespace virn::app {
namespace {

TEST(Runtime, LoadsTheModuleOrSaysWhereItLooked) {
  const auto candidates = runtime_candidates("/opt/virn/bin", "../lib/virn-tts");
  EXPECT_EQ(candidates,
            (std::vector<std::string>{"/opt/virn/bin/libvirn-tts-runtime.so",
                                      "/opt/virn/bin/../lib/virn-tts/libvirn-tts-runtime.so"}));

  auto missing = open_runtime(runtime_candidates("/nonexistent", ""));
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.error().message.find("/nonexistent/libvirn-tts-runtime.so"), std::string::npos);
  EXPECT_FALSE(unavailable_backend(missing.error())->synthesize({}).ok());

  const fs::path bogus = fs::temp_directory_path() / "libvirn-tts-runtime.so";
  std::ofstream(bogus) << "not a module";
  auto broken = open_runtime({bogus.string()});
  fs::remove(bogus);
  ASSERT_FALSE(broken.ok());
  EXPECT_NE(broken.error().message.find("无法加载"), std::string::npos);

  // The module the build made: everything it needs resolves, and it gives both halves.
  auto loaded = open_runtime(runtime_candidates(VIRN_RUNTIME_MODULE_DIR, ""));
  ASSERT_TRUE(loaded.ok()) << loaded.error().message;
  EXPECT_FALSE(loaded.value()->configured_backend().description.empty());
  EXPECT_NE(loaded.value()->configured_backend().make(), nullptr);
}

}  // namespace
}  // namespace virn::app
