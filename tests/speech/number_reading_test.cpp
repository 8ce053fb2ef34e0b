#include "speech/number_reading.h"

#include <gtest/gtest.h>

namespace virn::speech {
namespace {

struct NumberCase {
  const char* number;
  const char* reading;
};

TEST(NumberReading, ReadsNumbersAsSpoken) {
  const NumberCase cases[] = {
      {"0", "ゼロ"},
      {"4", "ヨン"},
      {"7", "ナナ"},
      {"9", "キュウ"},
      {"10", "ジュウ"},
      {"12", "ジュウニ"},
      {"40", "ヨンジュウ"},
      {"99", "キュウジュウキュウ"},
      {"100", "ヒャク"},
      {"300", "サンビャク"},
      {"600", "ロッピャク"},
      {"800", "ハッピャク"},
      {"1000", "セン"},
      {"3000", "サンゼン"},
      {"8000", "ハッセン"},
      {"2026", "ニセンニジュウロク"},
      {"10000", "イチマン"},
      {"10001", "イチマンイチ"},
      {"12345", "イチマンニセンサンビャクヨンジュウゴ"},
      {"10000000", "イッセンマン"},
      {"100000000", "イチオク"},
      {"123456789", "イチオクニセンサンビャクヨンジュウゴマンロクセンナナヒャクハチジュウキュウ"},
      {"1000000000000", "イッチョウ"},
      {"8000000000000", "ハッチョウ"},
      {"10000000000000", "ジュッチョウ"},
      {"10000000000000000", "イッケイ"},
      {"3.5", "サンテンゴ"},
      {"0.25", "ゼロテンニゴ"},
      {"1,000", "セン"},
      {"12,345,678", "センニヒャクサンジュウヨンマンゴセンロッピャクナナジュウハチ"},
      {"-4", "マイナスヨン"},
      {"007", "ゼロゼロナナ"},
      {"123456789012345678901",
       "イチニサンヨンゴロクナナハチキュウゼロイチニサンヨンゴロクナナハチキュウゼロイチ"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(number_reading(c.number), c.reading) << c.number;
}

TEST(NumberReading, RefusesWhatIsNotANumber) {
  for (const char* text : {"", "-", "1.", ".5", "1,00", "1,0000", ",100", "12a", "1.2.3", "1..2"}) {
    EXPECT_EQ(number_reading(text), "") << text;
  }
}

TEST(NumberReading, DigitsOneByOne) {
  EXPECT_EQ(digit_reading("090-1"), "ゼロキュウゼロイチ");
}

}  // namespace
}  // namespace virn::speech
