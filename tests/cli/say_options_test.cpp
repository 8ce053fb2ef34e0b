#include "cli/say_options.h"

#include <gtest/gtest.h>

namespace virn::cli {
namespace {

Result<SayOptions> parse(std::vector<std::string> args) {
  return parse_say_options(args);
}

TEST(SayOptions, DefaultsAreTheWindowsStartValues) {
  const auto o = parse({"こんにちは"});
  ASSERT_TRUE(o.ok()) << o.error().message;
  EXPECT_EQ(o->request.voice, "haruka");
  EXPECT_EQ(o->request.mood, "");
  EXPECT_EQ(o->request.strength, 2);
  EXPECT_EQ(o->request.volume, 50);
  EXPECT_EQ(o->request.speed, 100);
  EXPECT_EQ(o->request.pitch, 100);
  EXPECT_EQ(o->text_argument, "こんにちは");
  EXPECT_EQ(o->backend, Backend::automatic);
  EXPECT_FALSE(o->output.has_value());
}

TEST(SayOptions, EveryOptionIsTaken) {
  const auto o = parse({"--voice", "santa", "--mood=anger", "--strength", "4", "--volume", "1",
                        "--speed=400", "--pitch", "50", "-o", "out.wav", "--play", "--local", "--",
                        "--not-an-option", "text"});
  ASSERT_TRUE(o.ok()) << o.error().message;
  EXPECT_EQ(o->request.voice, "santa");
  EXPECT_EQ(o->request.mood, "anger");
  EXPECT_EQ(o->request.strength, 4);
  EXPECT_EQ(o->request.volume, 1);
  EXPECT_EQ(o->request.speed, 400);
  EXPECT_EQ(o->request.pitch, 50);
  EXPECT_EQ(o->output, "out.wav");
  EXPECT_TRUE(o->play);
  EXPECT_EQ(o->backend, Backend::local);
  EXPECT_EQ(o->text_argument, "--not-an-option text");
}

TEST(SayOptions, MoodsByIdNameOrCaption) {
  const std::pair<const char*, const char*> moods[] = {
      {"normal", ""},        {"", ""},
      {"普通", ""},          {"happiness", "happiness"},
      {"高兴", "happiness"}, {"sadness", "sadness"},
      {"悲伤", "sadness"},   {"anger", "anger"},
      {"愤怒", "anger"}};
  for (const auto& [given, id] : moods) {
    const auto o = parse({"--mood", given, "x"});
    ASSERT_TRUE(o.ok()) << given;
    EXPECT_EQ(o->request.mood, id) << given;
  }
}

TEST(SayOptions, UsageErrorsNameTheOptionAndWhatItAccepts) {
  struct Bad {
    std::vector<std::string> args;
    std::vector<const char*> mentions;
  };
  const Bad cases[] = {
      {{"--speed", "401", "x"}, {"--speed", "50 to 400", "401"}},
      {{"--speed", "fast", "x"}, {"--speed", "fast"}},
      {{"--pitch=49", "x"}, {"--pitch", "50 to 400"}},
      {{"--volume", "0", "x"}, {"--volume", "1 to 100"}},
      {{"--strength", "5", "x"}, {"--strength", "1 to 4"}},
      {{"--strength", "2.5", "x"}, {"--strength"}},
      {{"--voice", "robot", "x"}, {"--voice", "haruka", "santa", "robot"}},
      {{"--mood", "joy", "x"}, {"--mood", "happiness", "joy"}},
      {{"--voice"}, {"--voice", "needs a value"}},
      {{"-o"}, {"-o", "needs a value"}},
      {{"--file", ""}, {"--file"}},
      {{"--loud", "x"}, {"--loud"}},
      {{"--play=yes", "x"}, {"--play", "no value"}},
      {{"--file", "a.txt", "text"}, {"one way"}},
      {{"--batch", "a.txt", "--play"}, {"--play", "--batch"}},
      {{"--reading", "-o", "a.wav", "x"}, {"--reading"}},
  };
  for (const auto& c : cases) {
    const auto o = parse(c.args);
    ASSERT_FALSE(o.ok()) << c.args.front();
    for (const char* m : c.mentions) {
      EXPECT_NE(o.error().message.find(m), std::string::npos) << o.error().message;
    }
    EXPECT_EQ(o.error().message.find('\n'), std::string::npos) << o.error().message;
  }
}

}  // namespace
}  // namespace virn::cli
