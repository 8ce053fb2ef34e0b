#include "app/backend_choice.h"

#include "speech/remote_backend.h"

namespace virn::app {

namespace {

// Stands in while the program has neither a service nor an engine to speak with.
class NoBackend final : public speech::SpeechBackend {
 public:
  Result<Bytes> synthesize(const speech::SpeechRequest&) override {
    return Error{"未配置语音服务：请设置环境变量 VIRN_TTS_URL 和 VIRN_TTS_KEY。"};
  }
  void cancel() override {}
  std::string describe() const override { return "未配置语音服务"; }
};

}  // namespace

BackendChoice choose_backend(const speech::ServiceConfig& config) {
  if (config.configured()) {
    return {[config] { return std::make_shared<speech::RemoteBackend>(config); },
            speech::RemoteBackend(config).describe()};
  }
  return {[] { return std::make_shared<NoBackend>(); }, NoBackend().describe()};
}

}  // namespace virn::app
