#include "speech/remote_backend.h"

#include <utility>

#include "speech/form_body.h"
#include "speech/wav.h"
#include "web/request_object.h"
#include "web/web_request.h"

namespace virn::speech {

namespace {

using WebFailure = web::RequestErrorKind;

TransferFailure failure_of(WebFailure failure) {
  switch (failure) {
    case WebFailure::none:
      return TransferFailure::none;
    case WebFailure::cannot_resolve:
      return TransferFailure::cannot_resolve;
    case WebFailure::cannot_connect:
      return TransferFailure::cannot_connect;
    case WebFailure::timed_out:
      return TransferFailure::timed_out;
    case WebFailure::certificate:
      return TransferFailure::certificate;
    case WebFailure::aborted:
      return TransferFailure::aborted;
    case WebFailure::too_large:
      return TransferFailure::too_large;
    default:
      return TransferFailure::other;
  }
}

std::string host_of(const std::string& url) {
  std::size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  const std::size_t end = url.find_first_of("/?#", start);
  std::string host = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  const std::size_t at = host.rfind('@');  // never show user info
  return at == std::string::npos ? host : host.substr(at + 1);
}

void replace_all(std::string& text, const std::string& secret) {
  if (secret.empty()) return;
  for (std::size_t at = text.find(secret); at != std::string::npos;
       at = text.find(secret, at + 3)) {
    text.replace(at, secret.size(), "***");
  }
}

std::size_t utf8_sequence_length(const Bytes& body, std::size_t index) {
  const std::uint8_t lead = body[index];
  std::size_t length = lead < 0x80                   ? 1
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                       : lead >= 0xE0                ? 3
                       : lead >= 0xC2 && lead < 0xE0 ? 2
                                                     : 0;
  if (length == 0 || index + length > body.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((body[index + k] & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

SpeechReply request_speech(const ServiceConfig& config, const SpeechRequest& request,
                           const std::shared_ptr<web::RequestObject>& object) {
  web::WebRequest call;
  call.url = config.url;
  call.method = 1;  // POST
  call.body_text = form_body(request);
  call.headers = authorization_header(config.access_key);
  call.request_object = object;
  SpeechReply reply;
  reply.body = web::web_request(call);
  reply.status = call.status;
  reply.headers = call.returned_headers;
  reply.failure = object ? failure_of(object->LastError().kind) : TransferFailure::none;
  return reply;
}

std::string service_error_text(const Bytes& body, const ServiceConfig& config,
                               std::size_t max_chars) {
  std::string text;
  std::size_t chars = 0;
  bool pending_space = false;
  for (std::size_t index = 0; index < body.size() && chars < max_chars;) {
    const std::size_t length = utf8_sequence_length(body, index);
    if (length == 0) {  // not UTF-8: this is no text to show
      ++index;
      continue;
    }
    const std::uint8_t byte = body[index];
    if (length == 1 && (byte < 0x20 || byte == 0x7F || byte == ' ')) {
      pending_space = !text.empty();
    } else {
      if (pending_space) {
        text += ' ';
        ++chars;
        pending_space = false;
      }
      text.append(reinterpret_cast<const char*>(body.data() + index), length);
      ++chars;
    }
    index += length;
  }
  if (chars >= max_chars) text += "…";
  replace_all(text, config.access_key);
  if (!config.access_key.empty()) replace_all(text, basic_credential(config.access_key));
  return text;
}

Result<Bytes> interpret_reply(const SpeechReply& reply, const ServiceConfig& config) {
  const std::string host = host_of(config.url);
  switch (reply.failure) {
    case TransferFailure::none:
      break;
    case TransferFailure::cannot_resolve:
      return Error{"找不到语音服务的主机 " + host + "，请检查网址和网络连接。"};
    case TransferFailure::cannot_connect:
      return Error{"无法连接到语音服务的主机 " + host + "。"};
    case TransferFailure::timed_out:
      return Error{"语音服务 " + host + " 响应超时。"};
    case TransferFailure::certificate:
      return Error{"语音服务 " + host + " 的证书未被接受，连接已中止。"};
    case TransferFailure::aborted:
      return Error{"已取消语音合成。"};
    case TransferFailure::too_large:
      return Error{"语音服务 " + host + " 的回复过大，已放弃。"};
    case TransferFailure::other:
      return Error{"与语音服务 " + host + " 的通信失败。"};
  }
  if (reply.status == 0) return Error{"无法连接到语音服务的主机 " + host + "。"};
  if (reply.status < 200 || reply.status > 299) {
    std::string message = "语音服务返回了错误状态 " + std::to_string(reply.status);
    const std::string said = service_error_text(reply.body, config);
    if (!said.empty()) message += "：" + said;
    return Error{message};
  }
  if (!parse_wav(reply.body)) return Error{"语音服务的回复不是 WAV 音频。"};
  return reply.body;
}

RemoteBackend::RemoteBackend(ServiceConfig config) : config_(std::move(config)) {}

Result<Bytes> RemoteBackend::synthesize(const SpeechRequest& request) {
  if (!config_.configured()) {
    return Error{"未配置语音服务：请设置 VIRN_TTS_URL 和 VIRN_TTS_KEY。"};
  }
  std::shared_ptr<web::RequestObject> object = web::RequestObject::create();
  if (!object) return Error{"无法建立网络连接：网络库无法初始化。"};
  if (!config_.ca_file.empty() && !object->SetCaFile(config_.ca_file)) {
    return Error{"无法使用证书文件 " + config_.ca_file + "（VIRN_TTS_CA）。"};
  }
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return Error{"已取消语音合成。"};
    object_ = object;
  }
  SpeechReply reply = request_speech(config_, request, object);
  {
    std::lock_guard lock(mutex_);
    object_.reset();
    if (cancelled_) return Error{"已取消语音合成。"};
  }
  return interpret_reply(reply, config_);
}

void RemoteBackend::cancel() {
  std::lock_guard lock(mutex_);
  cancelled_ = true;
  if (object_) object_->Abort();
}

std::string RemoteBackend::describe() const {
  return "服务 " + config_.url;
}

}  // namespace virn::speech
