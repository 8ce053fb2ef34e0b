#include "server/tts_reply.h"

#include "server/form_decoding.h"
#include "speech/wav.h"

namespace virn::server {
namespace {

bool is_form_type(std::string_view type) {
  constexpr std::string_view kForm = "application/x-www-form-urlencoded";
  const std::string_view media = type.substr(0, type.find(';'));
  std::string_view trimmed = media;
  while (trimmed.ends_with(' ') || trimmed.ends_with('\t'))
    trimmed.remove_suffix(1);
  if (trimmed.size() != kForm.size()) return false;
  for (std::size_t i = 0; i < kForm.size(); ++i) {
    const char c = trimmed[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kForm[i]) return false;
  }
  return true;
}

// Messages may quote what the client sent; keep them one clean line.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

}  // namespace

HttpReply error_reply(int status, std::string message) {
  HttpReply reply{status, "text/plain; charset=utf-8", one_line(std::move(message)) + "\n", {}};
  if (status == 401) reply.headers.emplace_back("WWW-Authenticate", R"(Basic realm="virn-tts")");
  if (status == 503) reply.headers.emplace_back("Retry-After", "1");
  return reply;
}

std::variant<speech::SpeechRequest, HttpReply> admit_tts_request(const TtsInput& input,
                                                                 const KeyRing& keys) {
  if (!input.authorization) return error_reply(401, "缺少访问密钥（HTTP Basic 认证）");
  const auto key = basic_user_id(*input.authorization);
  if (!key || !keys.accepts(*key)) return error_reply(401, "访问密钥无效");

  if (input.content_type && !is_form_type(*input.content_type)) {
    return error_reply(415, "请求体须为 application/x-www-form-urlencoded 表单");
  }
  auto request = decode_speech_form(input.body);
  if (!request) return error_reply(400, request.error().message);

  const auto length = speech::utf8_length(request->text);
  if (length && *length > static_cast<std::size_t>(speech::kMaxTextChars)) {
    return error_reply(413, "text 有 " + std::to_string(*length) + " 个字符，最多 " +
                                std::to_string(speech::kMaxTextChars) + " 个");
  }
  if (auto problem = speech::check_request(*request)) {
    return error_reply(400, problem->message);
  }
  return std::move(*request);
}

HttpReply speech_reply(SynthesisQueue::Reply reply) {
  using Outcome = SynthesisQueue::Outcome;
  switch (reply.outcome) {
    case Outcome::spoken:
      if (!speech::parse_wav(*reply.audio)) {
        return error_reply(500, "语音引擎没有给出 WAV 数据");
      }
      return HttpReply{200, "audio/wav", to_text(*reply.audio), {}};
    case Outcome::refused:
    case Outcome::stopped:
      return error_reply(503, reply.audio.error().message);
    case Outcome::timed_out:
      return error_reply(504, reply.audio.error().message);
    case Outcome::failed:
      break;
  }
  return error_reply(500, "语音合成失败：" + reply.audio.error().message);
}

}  // namespace virn::server
