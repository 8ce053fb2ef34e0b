// virn-tts-server on a fake engine, so that the program itself (signals, options, output)
// can be tested without the real engine. VIRN_FAKE_ENGINE_DELAY_MS makes each synthesis
// take that long.
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/server_program.h"
#include "speech/wav.h"

namespace {

class SlowFakeBackend final : public virn::speech::SpeechBackend {
 public:
  explicit SlowFakeBackend(int delay_ms) : delay_(delay_ms) {}
  virn::Result<virn::Bytes> synthesize(const virn::speech::SpeechRequest& request) override {
    std::this_thread::sleep_for(delay_);
    return virn::speech::make_wav(std::vector<std::int16_t>(request.text.size() + 1, 1000), 16000);
  }
  void cancel() override {}
  std::string describe() const override { return "假引擎"; }

 private:
  std::chrono::milliseconds delay_;
};

}  // namespace

int main(int argc, char** argv) {
  const char* delay = std::getenv("VIRN_FAKE_ENGINE_DELAY_MS");
  const int delay_ms = delay ? std::atoi(delay) : 0;
  return virn::server::run_server_program(std::vector<std::string>(argv + 1, argv + argc), [&] {
    return std::make_unique<SlowFakeBackend>(delay_ms);
  });
}
