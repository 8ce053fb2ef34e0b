#include "speech/reading.h"

#include <gtest/gtest.h>

#include "speech/local_backend.h"

namespace virn::speech {
namespace {

std::string display(std::string_view text) {
  auto tokens = read_text(text);
  EXPECT_TRUE(tokens.ok()) << (tokens.ok() ? "" : tokens.error().message);
  return tokens.ok() ? reading_display(*tokens) : std::string();
}

struct ReadingCase {
  const char* text;
  const char* reading;
};

TEST(Reading, ReadsTextAsSpoken) {
  const ReadingCase cases[] = {
      // Kanji compounds, with the dictionary's long vowels.
      {"東京", "トーキョー"},
      {"日本語の勉強", "ニホンゴノベンキョー"},
      // Particles as spoken: は ワ, へ エ, を オ.
      {"私は学生です", "ワタシワガクセイデス"},
      {"東京へ行く", "トーキョーエイク"},
      {"本を読む", "ホンオヨム"},
      // Numbers, half- and full-width, with what follows them.
      {"12", "ジュウニ"},
      {"2026年", "ニセンニジュウロクネン"},
      {"３.５", "サンテンゴ"},
      {"１２３個", "ヒャクニジュウサンコ"},
      {"1,000円", "センエン"},
      {"3〜5人", "サンカラゴニン"},
      {"-5度", "マイナスゴド"},
      // Latin letters by their names, either width and case.
      {"A", "エー"},
      {"ABCとｘｙｚ", "エービーシートエックスワイゼット"},
      // Symbols as words.
      {"50%", "ゴジュウパーセント"},
      {"A&B", "エーアンドビー"},
      {"1+1=2", "イチプラスイチイコールニ"},
      // Kana as written, hiragana turned to katakana; half-width kana made full-width.
      {"ぴょんぴょん", "ピョンピョン"},
      {"ｶﾞｷﾞｸﾞﾊﾟ", "ガギグパ"},
      {"コーヒー", "コーヒー"},
      {"すごーい", "スゴーイ"},
      // Kana espeak-ng cannot take alone become what they sound like.
      {"ヶ月", "カゲツ"},
      {"ァ", "ア"},
      {"ヲ", "オ"},
      {"いすゞ", "イスズ"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(display(c.text), c.reading) << c.text;
}

TEST(Reading, PunctuationAndLineBreaksArePauses) {
  EXPECT_EQ(display("はい、そうです。"), "ハイ、ソーデス。");
  EXPECT_EQ(display("本当？"), "ホントー？");
  EXPECT_EQ(display("やった!"), "ヤッタ！");
  EXPECT_EQ(display("はい\r\nいいえ\nまた"), "ハイ。イーエ。マタ");
  // Runs of marks make one pause, the strongest; leading marks none.
  EXPECT_EQ(display("。。あ。。？"), "ア？");
  // Brackets and spaces only separate words.
  EXPECT_EQ(display("「猫」 と　犬"), "ネコトイヌ");
}

TEST(Reading, WhatHasNoReadingIsLeftOut) {
  EXPECT_EQ(display("🙂猫"), "ネコ");
  auto tokens = read_text("🙂");
  ASSERT_TRUE(tokens.ok());
  EXPECT_FALSE(has_words(*tokens));
}

TEST(Reading, EngineTextKeepsWordsApartWithAsciiPauses) {
  auto tokens = read_text("私は学生です。本当？");
  ASSERT_TRUE(tokens.ok());
  EXPECT_EQ(reading_for_engine(*tokens), "ワタシワ ガクセイデス. ホントー?");
}

TEST(Reading, LongWordsReachTheEngineInParts) {
  auto tokens = read_text(std::string(20, 'A'));
  ASSERT_TRUE(tokens.ok());
  ASSERT_EQ(tokens->size(), 1u);
  const std::string engine = reading_for_engine(*tokens);
  EXPECT_NE(engine.find(' '), std::string::npos);
  std::string rejoined = engine;
  std::erase(rejoined, ' ');
  EXPECT_EQ(rejoined, reading_display(*tokens));
  // Parts start on a new sound: never before ー or a small kana.
  EXPECT_EQ(engine.find(" ー"), std::string::npos);
}

TEST(Reading, BrokenUtf8DoesNotCrash) {
  auto tokens = read_text(std::string("\xE6\x9D\xFF\x80猫\xE3", 8));
  ASSERT_TRUE(tokens.ok());
  EXPECT_EQ(reading_display(*tokens), "ネコ");
}

TEST(Reading, OnlyPunctuation) {
  for (const char* text : {"。", "、。！？", "!?...", " 「」（）… \n", "-"}) {
    EXPECT_TRUE(only_punctuation(text)) << text;
  }
  for (const char* text : {"あ。", "%", "1", "a", "🙂"}) {
    EXPECT_FALSE(only_punctuation(text)) << text;
  }
}

TEST(SpokenReading, RefusesTextWithNothingToRead) {
  for (const char* text : {"", "。。", "🙂🙂"}) {
    const auto reading = spoken_reading(text);
    ASSERT_FALSE(reading.ok()) << text;
    EXPECT_NE(reading.error().message.find("text"), std::string::npos) << text;
  }
  EXPECT_EQ(*spoken_reading("猫です"), "ネコデス");
}

}  // namespace
}  // namespace virn::speech
