// What the stream tests share: a small simulated camera, a stream on it, and
// the stream's events as they arrive.
#pragma once

#include <gtest/gtest.h>
#include <ocamera/stream.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace stream_test {

using ocamera::FetchResult;
using ocamera::Frame;
using ocamera::QueuePolicy;
using ocamera::Stream;
using ocamera::StreamEvent;
using ocamera::StreamOptions;
using ocamera::StreamState;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr const char *kImage = "scam:getSingleImage";

inline ocamsim::Options simOptions(int port = 0) {
  ocamsim::Options o;
  o.sensorWidth = kWidth;
  o.sensorHeight = kHeight;
  o.ioPort = -1;
  o.cameraPort = port;
  return o;
}

inline std::unique_ptr<ocamsim::Simulator> startSim(int port = 0) {
  auto sim = std::make_unique<ocamsim::Simulator>(simOptions(port));
  sim->start();
  return sim;
}

inline StreamOptions smallStream() {
  StreamOptions o;
  o.width = kWidth;
  o.height = kHeight;
  o.cameraBuffers = 1024;  // the camera keeps every frame: no gaps unless a test makes them
  o.retryInitialMs = 20;
  o.retryMaxMs = 100;
  return o;
}

inline std::unique_ptr<Stream> makeStream(const ocamsim::Simulator &sim, const StreamOptions &o) {
  std::string error;
  std::unique_ptr<Stream> s = Stream::create(sim.cameraAddress().c_str(), o, &error);
  EXPECT_TRUE(s) << error;
  return s;
}

inline long msSince(Clock::time_point t) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// The stream's events as they arrive, with a wait for one of them. The
// record is shared with the callback, so a stream that outlives the log (a
// test that ends early) reports into it safely.
class EventLog {
 public:
  void attach(Stream &stream) {
    std::shared_ptr<Record> record = record_;
    stream.setEventCallback([record](StreamEvent e, const std::string &detail) {
      std::lock_guard<std::mutex> lock(record->mutex);
      record->events.push_back(e);
      record->details.push_back(detail);
      record->times.push_back(Clock::now());
      record->changed.notify_all();
    });
  }
  // The time of the n-th (1-based) event of this kind, or nothing in time.
  bool waitFor(StreamEvent e, int n, int timeoutMs, Clock::time_point *at = nullptr) {
    Record &r = *record_;
    std::unique_lock<std::mutex> lock(r.mutex);
    bool seen = r.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return r.count(e) >= n; });
    if (seen && at) {
      int k = 0;
      for (std::size_t i = 0; i < r.events.size(); ++i)
        if (r.events[i] == e && ++k == n) *at = r.times[i];
    }
    return seen;
  }
  int count(StreamEvent e) {
    std::lock_guard<std::mutex> lock(record_->mutex);
    return record_->count(e);
  }
  std::string details() {
    std::lock_guard<std::mutex> lock(record_->mutex);
    std::string all;
    for (const std::string &d : record_->details) all += d + "; ";
    return all;
  }

 private:
  struct Record {
    int count(StreamEvent e) const {
      int n = 0;
      for (StreamEvent x : events) n += x == e;
      return n;
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<StreamEvent> events;
    std::vector<std::string> details;
    std::vector<Clock::time_point> times;
  };
  std::shared_ptr<Record> record_ = std::make_shared<Record>();
};

}  // namespace stream_test
