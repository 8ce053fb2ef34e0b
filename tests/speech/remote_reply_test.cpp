#include <gtest/gtest.h>

#include <string>

#include "speech/form_body.h"
#include "speech/remote_backend.h"
#include "speech/wav.h"

namespace virn::speech {
namespace {

const ServiceConfig kConfig{"https://user:pw@127.0.0.1:8443/v1/tts", "k3y9abcd0123wxyz", ""};

SpeechReply reply(int status, Bytes body, TransferFailure failure = TransferFailure::none) {
  return {status, std::move(body), "", failure};
}

TEST(InterpretReply, OnlyA2xxWaveCounts) {
  const Bytes wav = make_wav({0, 1000, -1000, 0}, 16000);
  auto ok = interpret_reply(reply(200, wav), kConfig);
  ASSERT_TRUE(ok.ok()) << ok.error().message;
  EXPECT_EQ(ok.value(), wav);
  EXPECT_TRUE(interpret_reply(reply(201, wav), kConfig).ok());

  struct Case {
    SpeechReply reply;
    std::string says;
  };
  const Case cases[] = {
      {reply(200, to_bytes("<html>busy</html>")), "不是 WAV"},
      {reply(200, {}), "不是 WAV"},
      {reply(404, to_bytes("no such voice")), "404：no such voice"},
      {reply(500, wav), "500"},  // audio with an error status is still an error
      {reply(302, {}), "302"},
      {reply(0, {}, TransferFailure::cannot_connect), "无法连接到语音服务的主机 127.0.0.1:8443"},
      {reply(0, {}, TransferFailure::cannot_resolve), "找不到"},
      {reply(0, {}, TransferFailure::timed_out), "超时"},
      {reply(0, {}, TransferFailure::certificate), "证书"},
      {reply(0, {}, TransferFailure::aborted), "取消"},
      {reply(0, {}, TransferFailure::too_large), "过大"},
      {reply(0, {}), "无法连接"},
  };
  for (const Case& c : cases) {
    auto result = interpret_reply(c.reply, kConfig);
    ASSERT_FALSE(result.ok()) << c.says;
    EXPECT_NE(result.error().message.find(c.says), std::string::npos) << result.error().message;
    EXPECT_EQ(result.error().message.find("user:pw"), std::string::npos);
  }
}

TEST(InterpretReply, ServiceTextIsShortCleanAndHoldsNoSecret) {
  const std::string credential = basic_credential(kConfig.access_key);
  std::string body = "bad key k3y9abcd0123wxyz\r\n\x01(Basic " + credential + ")\xff\xfe ok";
  auto result = interpret_reply(reply(401, to_bytes(body)), kConfig);
  ASSERT_FALSE(result.ok());
  const std::string& message = result.error().message;
  EXPECT_EQ(message.find(kConfig.access_key), std::string::npos) << message;
  EXPECT_EQ(message.find(credential), std::string::npos) << message;
  EXPECT_EQ(message, "语音服务返回了错误状态 401：bad key *** (Basic ***) ok");

  const std::string long_text(5000, 'x');
  const std::string shown = service_error_text(to_bytes(long_text), kConfig);
  EXPECT_EQ(shown, std::string(160, 'x') + "…");

  // A cut never splits a character.
  std::string japanese;
  for (int i = 0; i < 200; ++i)
    japanese += "あ";
  const std::string cut = service_error_text(to_bytes(japanese), kConfig, 10);
  EXPECT_EQ(cut, "ああああああああああ…");
}

TEST(RemoteBackend, UnconfiguredSaysSoAndNamesItself) {
  RemoteBackend backend(ServiceConfig{"", "", ""});
  auto result = backend.synthesize(SpeechRequest{});
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.error().message.find("未配置语音服务"), std::string::npos);
  EXPECT_EQ(RemoteBackend(kConfig).describe(), "服务 " + kConfig.url);
}

}  // namespace
}  // namespace virn::speech
