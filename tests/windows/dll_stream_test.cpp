// The stream of the Windows DLL against a Linux ocamsim: frames flow, and
// after the simulator restarts (its sessions gone, its connections cut) the
// stream notices, recovers on a new camera object and delivers again.
#include <gtest/gtest.h>
#include <ocamera/ocamera.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "simulator_env.h"

namespace windows_test {
namespace {

// The stream's events, as its threads report them.
class EventLog {
 public:
  void add(ocamera::StreamEvent event, const std::string &detail) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
    details_ += detail + "\n";
    changed_.notify_all();
  }
  bool waitFor(ocamera::StreamEvent event, std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, bound, [&] {
      for (auto e : events_)
        if (e == event) return true;
      return false;
    });
  }
  std::string details() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return details_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ocamera::StreamEvent> events_;
  std::string details_;
};

class DllStream : public WithSimulator {};

TEST_F(DllStream, RecoversAfterTheSimulatorRestartsAndDeliversAgain) {
  ocamera::StreamOptions options;
  options.width = 64;
  options.height = 48;
  options.rgb = true;
  options.retryInitialMs = 100;
  options.retryMaxMs = 500;
  std::string error;
  auto stream = ocamera::Stream::create(cameraAddress().c_str(), options, &error);
  ASSERT_NE(stream, nullptr) << error;
  EventLog events;
  stream->setEventCallback([&events](ocamera::StreamEvent event, const std::string &detail) {
    events.add(event, detail);
  });
  ASSERT_EQ(stream->start(&error), 0) << error;

  ocamera::Frame frame;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(stream->next(frame, 10000), ocamera::FetchResult::Frame) << "frame " << i;
    EXPECT_EQ(frame.width(), 64);
    EXPECT_EQ(frame.channels(), 3);
    EXPECT_EQ(frame.size(), 64u * 48u * 3u);
  }
  frame.release();

  restartSimulator();
  // A cut connection fails the next request at once; recovery retries every
  // 500 ms at most. The bound leaves room for a busy machine under Wine.
  ASSERT_TRUE(events.waitFor(ocamera::StreamEvent::Lost, std::chrono::seconds(30)))
      << events.details();
  ASSERT_TRUE(events.waitFor(ocamera::StreamEvent::Recovered, std::chrono::seconds(30)))
      << events.details();
  EXPECT_GE(stream->stats().recoveries, 1u);

  // Frames of the new simulator: its sequence starts again.
  ocamera::FetchResult result = ocamera::FetchResult::Timeout;
  for (int i = 0; i < 3; ++i) {
    result = stream->next(frame, 10000);
    ASSERT_EQ(result, ocamera::FetchResult::Frame) << "frame " << i << " after the restart";
  }
  EXPECT_EQ(frame.size(), 64u * 48u * 3u);
  EXPECT_EQ(stream->state(), ocamera::StreamState::Running);
  stream->stop();
  EXPECT_TRUE(events.waitFor(ocamera::StreamEvent::Stopped, std::chrono::seconds(10)));
}

}  // namespace
}  // namespace windows_test
