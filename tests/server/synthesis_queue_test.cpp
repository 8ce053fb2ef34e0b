#include "server/synthesis_queue.h"

#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "fake_backend.h"

namespace virn::server {
namespace {

using namespace std::chrono_literals;
using Outcome = SynthesisQueue::Outcome;
using testing::FakeBackend;

speech::SpeechRequest request_saying(std::string text) {
  speech::SpeechRequest request;
  request.text = std::move(text);
  return request;
}

// What a reply comes to, in plain members (futures of Result trip a GCC 12 warning).
struct Spoken {
  Outcome outcome;
  Bytes audio;
};

Spoken speak(SynthesisQueue& queue, std::string text, std::chrono::milliseconds limit) {
  auto reply = queue.speak(request_saying(std::move(text)), limit);
  return {reply.outcome, reply.audio ? *reply.audio : Bytes{}};
}

TEST(SynthesisQueue, OneRequestAtATimeReachesTheEngine) {
  FakeBackend backend;
  SynthesisQueue queue(backend, 8);
  std::vector<std::future<Spoken>> replies;
  for (int i = 0; i < 6; ++i) {
    replies.push_back(std::async(std::launch::async,
                                 [&, i] { return speak(queue, std::string(i + 1, 'a'), 10s); }));
  }
  for (int i = 0; i < 6; ++i) {
    auto reply = replies[i].get();
    ASSERT_EQ(reply.outcome, Outcome::spoken);
    EXPECT_EQ(reply.audio, FakeBackend::wav_for(request_saying(std::string(i + 1, 'a'))));
  }
  EXPECT_EQ(backend.peak_concurrency(), 1);
}

TEST(SynthesisQueue, RefusesAtOnceWhenTheLineIsFull) {
  FakeBackend backend;
  backend.hold();
  SynthesisQueue queue(backend, 1);
  auto speaking = std::async(std::launch::async, [&] { return speak(queue, "1", 10s); });
  ASSERT_TRUE(backend.wait_started(1));
  auto waiting = std::async(std::launch::async, [&] { return speak(queue, "2", 10s); });
  for (int i = 0; i < 1000 && queue.waiting() == 0; ++i)
    std::this_thread::sleep_for(2ms);
  ASSERT_EQ(queue.waiting(), 1u);
  const auto third = queue.speak(request_saying("3"), 10s).outcome;
  EXPECT_EQ(third, Outcome::refused);
  backend.release();
  EXPECT_EQ(speaking.get().outcome, Outcome::spoken);
  EXPECT_EQ(waiting.get().outcome, Outcome::spoken);
  for (const auto& request : backend.requests())
    EXPECT_NE(request.text, "3");
}

TEST(SynthesisQueue, TimeOutDropsAWaitingRequestAndCancelsARunningOne) {
  FakeBackend backend;
  backend.hold();
  SynthesisQueue queue(backend, 4);
  auto running = std::async(std::launch::async, [&] { return speak(queue, "run", 300ms); });
  ASSERT_TRUE(backend.wait_started(1));
  const auto waited = queue.speak(request_saying("wait"), 50ms);
  EXPECT_EQ(waited.outcome, Outcome::timed_out);
  EXPECT_EQ(running.get().outcome, Outcome::timed_out);

  // The engine is free again, and the dropped request never reached it.
  backend.release();
  EXPECT_EQ(queue.speak(request_saying("next"), 10s).outcome, Outcome::spoken);
  const auto seen = backend.requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].text, "run");
  EXPECT_EQ(seen[1].text, "next");
}

TEST(SynthesisQueue, ShutdownSpeaksWhatWasAcceptedAndRefusesTheRest) {
  FakeBackend backend;
  backend.hold();
  SynthesisQueue queue(backend, 4);
  auto first = std::async(std::launch::async, [&] { return speak(queue, "1", 10s); });
  ASSERT_TRUE(backend.wait_started(1));
  auto stopping = std::async(std::launch::async, [&] { queue.shutdown(); });
  EXPECT_EQ(stopping.wait_for(100ms), std::future_status::timeout) << "waits for the engine";
  EXPECT_EQ(queue.speak(request_saying("late"), 1s).outcome, Outcome::stopped);
  backend.release();
  EXPECT_EQ(first.get().outcome, Outcome::spoken);
  stopping.get();
}

TEST(SynthesisQueue, EngineFailureIsReported) {
  FakeBackend backend;
  backend.fail_with("引擎坏了");
  SynthesisQueue queue(backend, 1);
  const auto reply = queue.speak(request_saying("x"), 10s);
  EXPECT_EQ(reply.outcome, Outcome::failed);
  EXPECT_EQ(reply.audio.error().message, "引擎坏了");
}

}  // namespace
}  // namespace virn::server
