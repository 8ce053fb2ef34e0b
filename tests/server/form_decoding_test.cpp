#include "server/form_decoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_backend.h"
#include "speech/form_body.h"

namespace virn::server {
namespace {

using testing::fields_of;

constexpr char kWindowDefault[] =
    "&speaker=haruka&emotion=&emotionLevel=2&volume=50&speed=100&pitch=100&format=wav&text=abc";

std::string body_with(const std::string& field, const std::string& value) {
  std::string body;
  for (const auto name : kFormFields) {
    std::string piece = name == "speaker"        ? "haruka"
                        : name == "emotion"      ? ""
                        : name == "format"       ? "wav"
                        : name == "text"         ? "abc"
                        : name == "emotionLevel" ? "2"
                                                 : "100";
    body += "&" + std::string(name) + "=" + (name == field ? value : piece);
  }
  return body;
}

TEST(FormDecoding, DecodesWhatTheWindowSends) {
  struct Case {
    std::string body;
    std::string expected;  // fields_of the decoded request
  };
  const std::vector<Case> cases = {
      {kWindowDefault, "haruka||2|50|100|100|abc"},
      // Without the leading "&", with a trailing one, in another order.
      {"speaker=bear&emotion=anger&emotionLevel=4&volume=1&speed=400&pitch=50&format=wav&text=x&",
       "bear|anger|4|1|400|50|x"},
      {"text=x&format=wav&pitch=50&speed=50&volume=100&emotionLevel=1&emotion=sadness&speaker="
       "santa",
       "santa|sadness|1|100|50|50|x"},
      // "+" is a space; escapes carry the bytes that would otherwise split the form.
      {body_with("text", "a%26b%3Dc+100%25+%2B1"), "haruka||2|100|100|100|a&b=c 100% +1"},
      {body_with("text", "a%0D%0Ab"), "haruka||2|100|100|100|a\r\nb"},
      // UTF-8 in upper- or lower-case hex.
      {body_with("text", "%E3%81%93%e3%82%93"), "haruka||2|100|100|100|こん"},
      // Leading zeros are still the number.
      {body_with("volume", "007"), "haruka||2|7|100|100|abc"},
  };
  for (const auto& c : cases) {
    const auto decoded = decode_speech_form(c.body);
    ASSERT_TRUE(decoded.ok()) << c.body << ": " << decoded.error().message;
    EXPECT_EQ(fields_of(*decoded), c.expected) << c.body;
  }
}

TEST(FormDecoding, RefusesMalformedFormsNamingTheProblem) {
  struct Case {
    std::string body;
    std::string message_part;
  };
  std::vector<Case> cases = {
      {body_with("text", "100%"), "text"},
      {body_with("text", "%zz"), "%zz"},
      {body_with("text", "ab%4"), "百分号转义"},
      {body_with("speaker", "har%G1uka"), "speaker"},
      {std::string(kWindowDefault) + "&text=again", "text 出现了不止一次"},
      {std::string(kWindowDefault) + "&speaker=haruka", "speaker 出现了不止一次"},
      {std::string(kWindowDefault) + "&voice=haruka", "未知的字段 \"voice\""},
      {std::string(kWindowDefault) + "&Speaker=haruka", "未知的字段 \"Speaker\""},
      {std::string(kWindowDefault) + "&text", "缺少 \"=\""},
      {"%zz=1&" + std::string(kWindowDefault), "字段名"},
      {body_with("volume", "abc"), "volume 的值 \"abc\" 不是整数"},
      {body_with("volume", ""), "volume 的值 \"\" 不是整数"},
      {body_with("speed", "1.5"), "speed"},
      {body_with("pitch", "+100"), "pitch"},  // "+" is a space
      {body_with("pitch", "0x64"), "pitch"},
      {body_with("emotionLevel", "99999999999999999999"),
       "emotionLevel 的值 \"99999999999999999999\" 超出范围 1–4"},
      {body_with("format", "mp3"), "format 的值 \"mp3\" 无效"},
      {body_with("format", ""), "format"},
      {"", "缺少字段 speaker"},
      {"&&&", "缺少字段 speaker"},
  };
  for (const auto field : kFormFields) {
    std::string body;
    for (const auto other : kFormFields) {
      if (other != field)
        body += "&" + std::string(other) + "=" + (other == "format" ? "wav" : "1");
    }
    cases.push_back({body, "缺少字段 " + std::string(field)});
  }
  for (const auto& c : cases) {
    const auto decoded = decode_speech_form(c.body);
    ASSERT_FALSE(decoded.ok()) << c.body;
    EXPECT_NE(decoded.error().message.find(c.message_part), std::string::npos)
        << c.body << " gave: " << decoded.error().message;
  }
}

TEST(FormDecoding, QuotedValuesCannotBreakTheMessage) {
  const auto decoded =
      decode_speech_form(body_with("volume", "1%0D%0AX-Evil:+1" + std::string(60, 'z')));
  ASSERT_FALSE(decoded.ok());
  const auto& message = decoded.error().message;
  EXPECT_EQ(message.find('\r'), std::string::npos);
  EXPECT_EQ(message.find('\n'), std::string::npos);
  EXPECT_NE(message.find("\\x0D\\x0A"), std::string::npos);
  EXPECT_EQ(message.find(std::string(60, 'z')), std::string::npos) << "long values are cut";
}

TEST(FormDecoding, UndoesTheWindowsEncoding) {
  std::vector<speech::SpeechRequest> requests(6);
  requests[1].text = "a&b=c 100% +x";
  requests[2].text = "一行目\r\n二行目";
  requests[2].voice = "takeru";
  requests[2].mood = "happiness";
  requests[3].text = "〜ｶﾞﾝﾊﾞﾚ🎌 tab\tend";
  requests[3].voice = "santa";
  requests[3].strength = 4;
  requests[4].text = "%41%zz+%";
  requests[4].volume = 1;
  requests[4].speed = 400;
  requests[4].pitch = 50;
  requests[5].text = std::string(200, 'a');
  for (const auto& request : requests) {
    const auto decoded = decode_speech_form(speech::form_body(request));
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    EXPECT_EQ(fields_of(*decoded), fields_of(request));
  }
}

}  // namespace
}  // namespace virn::server
