#include "speech/form_body.h"

#include "util/base64.h"
#include "util/bytes.h"

namespace virn::speech {

namespace {

bool stays_as_is(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '*';
}

void append_escaped(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

}  // namespace

std::string crlf_line_breaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t index = 0; index < text.size(); ++index) {
    const char c = text[index];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && index + 1 < text.size() && text[index + 1] == '\n') ++index;
    } else {
      out += c;
    }
  }
  return out;
}

std::string form_encode(std::string_view value) {
  std::string out;
  out.reserve(value.size() * 3);
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == ' ') {
      out += '+';
    } else if (stays_as_is(byte)) {
      out += static_cast<char>(byte);
    } else {
      append_escaped(out, byte);
    }
  }
  return out;
}

std::string form_body(const SpeechRequest& request) {
  std::string body;
  body += "&speaker=" + form_encode(request.voice);
  body += "&emotion=" + form_encode(request.mood);
  body += "&emotionLevel=" + std::to_string(request.strength);
  body += "&volume=" + std::to_string(request.volume);
  body += "&speed=" + std::to_string(request.speed);
  body += "&pitch=" + std::to_string(request.pitch);
  body += "&format=wav";
  body += "&text=" + form_encode(crlf_line_breaks(request.text));
  return body;
}

std::string basic_credential(std::string_view access_key) {
  Bytes bytes = to_bytes(access_key);
  bytes.push_back(':');
  return base64_encode(bytes);
}

std::string authorization_header(std::string_view access_key) {
  return "Authorization: Basic " + basic_credential(access_key);
}

}  // namespace virn::speech
