#include "server/synthesis_queue.h"

#include <algorithm>

namespace virn::server {

struct SynthesisQueue::Job {
  explicit Job(speech::SpeechRequest r) : request(std::move(r)) {}
  speech::SpeechRequest request;
  std::optional<Reply> reply;  // set by the worker under the queue's mutex
  std::condition_variable done;
};

SynthesisQueue::SynthesisQueue(speech::SpeechBackend& backend, std::size_t waiting)
    : backend_(backend), waiting_limit_(waiting), worker_([this] { work(); }) {}

SynthesisQueue::~SynthesisQueue() {
  shutdown();
}

SynthesisQueue::Reply SynthesisQueue::speak(const speech::SpeechRequest& request,
                                            std::chrono::milliseconds limit) {
  auto job = std::make_shared<Job>(request);
  std::unique_lock lock(mutex_);
  if (stopping_) return Reply{Outcome::stopped, Error{"服务正在停止"}, {}};
  if (line_.size() + (current_ ? 1 : 0) > waiting_limit_) {
    return Reply{Outcome::refused, Error{"语音引擎繁忙，请稍后再试"}, {}};
  }
  line_.push_back(job);
  wake_.notify_all();

  if (job->done.wait_for(lock, limit, [&] { return job->reply.has_value(); })) {
    return std::move(*job->reply);
  }
  const auto waiting = std::find(line_.begin(), line_.end(), job);
  if (waiting != line_.end()) {
    line_.erase(waiting);
  } else if (current_ == job) {
    // Still being spoken. The lock keeps the worker from moving on meanwhile, so the
    // cancel cannot reach the next request.
    backend_.cancel();
  }
  return Reply{Outcome::timed_out, Error{"语音合成超时"}, {}};
}

std::size_t SynthesisQueue::waiting() const {
  std::lock_guard lock(mutex_);
  return line_.size();
}

void SynthesisQueue::shutdown() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void SynthesisQueue::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || !line_.empty(); });
    if (line_.empty()) return;  // stopping, and everything accepted has been spoken
    current_ = line_.front();
    line_.pop_front();
    const auto job = current_;
    lock.unlock();

    const auto started = std::chrono::steady_clock::now();
    auto audio = backend_.synthesize(job->request);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);

    lock.lock();
    const auto outcome = audio ? Outcome::spoken : Outcome::failed;
    job->reply = Reply{outcome, std::move(audio), took};
    current_.reset();
    job->done.notify_all();
  }
}

}  // namespace virn::server
