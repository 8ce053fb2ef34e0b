#pragma once

#include <string>
#include <utility>
#include <vector>

#include "web/request_object.h"

namespace virn::web {

// A RequestObject that notes every call web_request makes on it, in order, and then does
// what the real object does. With `offline` set, Send sends nothing and fails.
class RecordingRequestObject : public RequestObject {
 public:
  struct Call {
    std::string operation;
    std::vector<std::string> arguments;
    bool operator==(const Call&) const = default;
  };

  std::vector<Call> calls;
  bool offline = false;

  std::vector<Call> calls_to(const std::string& operation) const {
    std::vector<Call> found;
    for (const Call& call : calls) {
      if (call.operation == operation) found.push_back(call);
    }
    return found;
  }

  bool SetTimeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) override {
    note("SetTimeouts", {std::to_string(resolve_ms), std::to_string(connect_ms),
                         std::to_string(send_ms), std::to_string(receive_ms)});
    return RequestObject::SetTimeouts(resolve_ms, connect_ms, send_ms, receive_ms);
  }
  bool SetProxy(int setting, const std::string& server) override {
    note("SetProxy", {std::to_string(setting), server});
    return RequestObject::SetProxy(setting, server);
  }
  bool Open(const std::string& method, const std::string& url, bool asynchronous) override {
    note("Open", {method, url, asynchronous ? "true" : "false"});
    return RequestObject::Open(method, url, asynchronous);
  }
  bool Option(int index, long value) override {
    note("Option", {std::to_string(index), std::to_string(value)});
    return RequestObject::Option(index, value);
  }
  bool SetCredentials(const std::string& user, const std::string& password, int flag) override {
    note("SetCredentials", {user, password, std::to_string(flag)});
    return RequestObject::SetCredentials(user, password, flag);
  }
  bool SetRequestHeader(const std::string& name, const std::string& value) override {
    note("SetRequestHeader", {name, value});
    return RequestObject::SetRequestHeader(name, value);
  }
  bool Send(const Bytes& body) override {
    note("Send bytes", {std::string(body.begin(), body.end())});
    return offline ? false : RequestObject::Send(body);
  }
  bool Send(const std::string& body) override {
    note("Send text", {body});
    return offline ? false : RequestObject::Send(body);
  }

 private:
  void note(std::string operation, std::vector<std::string> arguments) {
    calls.push_back({std::move(operation), std::move(arguments)});
  }
};

}  // namespace virn::web
