#include "speech/text_chunks.h"

#include <gtest/gtest.h>

#include "speech/speech_request.h"

namespace virn::speech {
namespace {

std::string repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i)
    out += s;
  return out;
}

std::size_t chars(const std::string& s) {
  return *utf8_length(s);
}

std::string joined(const std::vector<std::string>& pieces) {
  std::string out;
  for (const auto& p : pieces)
    out += p;
  return out;
}

TEST(SplitText, ShortTextIsOnePiece) {
  EXPECT_EQ(split_text("こんにちは。元気？"), std::vector<std::string>{"こんにちは。元気？"});
  EXPECT_TRUE(split_text("").empty());
  EXPECT_TRUE(split_text(" \n　\r\n").empty());
}

TEST(SplitText, PacksWholeSentencesUpToTheLimit) {
  const std::string sentence = repeat("あ", 59) + "。";  // 60 characters
  const auto pieces = split_text(repeat(sentence, 5), 200);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], repeat(sentence, 3));
  EXPECT_EQ(pieces[1], repeat(sentence, 2));
}

TEST(SplitText, LineBreaksEndSentencesAndBlanksAtCutsGo) {
  const auto pieces = split_text("一行目です\n二行目です\n三", 6);
  EXPECT_EQ(pieces, (std::vector<std::string>{"一行目です", "二行目です", "三"}));
}

TEST(SplitText, LongSentenceIsCutAtCommaOrSpaceElseHard) {
  const std::string text = repeat("い", 150) + "、" + repeat("う", 100) + "。";
  const auto at_comma = split_text(text, 200);
  ASSERT_EQ(at_comma.size(), 2u);
  EXPECT_EQ(at_comma[0], repeat("い", 150) + "、");
  EXPECT_EQ(at_comma[1], repeat("う", 100) + "。");

  const auto at_space = split_text(repeat("a", 150) + " " + repeat("b", 100), 200);
  EXPECT_EQ(at_space, (std::vector<std::string>{repeat("a", 150), repeat("b", 100)}));

  const auto hard = split_text(repeat("え", 450), 200);
  ASSERT_EQ(hard.size(), 3u);
  EXPECT_EQ(chars(hard[0]), 200u);
  EXPECT_EQ(chars(hard[2]), 50u);
}

TEST(SplitText, NothingLostAndEveryPieceFits) {
  std::string text;
  for (int i = 0; i < 40; ++i) {
    text += repeat("か", i * 7 % 230) + (i % 3 == 0 ? "、" : i % 3 == 1 ? "！" : "。");
  }
  const auto pieces = split_text(text, 200);
  for (const auto& p : pieces)
    EXPECT_LE(chars(p), 200u);
  EXPECT_EQ(joined(pieces), text);
}

TEST(SplitText, NeverCutsInsideACharacter) {
  for (const auto& p : split_text(repeat("漢字", 301), 200))
    EXPECT_TRUE(utf8_length(p).has_value());
}

}  // namespace
}  // namespace virn::speech
