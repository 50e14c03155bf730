// The log hook: where the library's lines go with and without a handler, and
// the one line per request that request logging adds.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "ocamera/camera.h"
#include "ocamera/export.h"
#include "sim_fixture.h"

namespace support_test {
namespace {

// Collects the lines handed to the hook; installs itself and restores the
// default when it goes.
class LogCollector {
 public:
  LogCollector() { ocamera::setLogHandler(&LogCollector::receive, this); }
  ~LogCollector() {
    ocamera::setRequestLogging(false);
    ocamera::setLogHandler(nullptr, nullptr);
  }

  std::vector<std::string> lines(ocamera::LogSource source) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const auto &entry : entries_)
      if (entry.first == source) out.push_back(entry.second);
    return out;
  }
  bool waitFor(ocamera::LogSource source, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      for (const auto &entry : entries_)
        if (entry.first == source) return true;
      return false;
    });
  }

 private:
  static void receive(ocamera::LogSource source, const char *line, void *user) {
    auto *self = static_cast<LogCollector *>(user);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->entries_.emplace_back(source, line);
    self->arrived_.notify_all();
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<std::pair<ocamera::LogSource, std::string>> entries_;
};

using LogTest = SimFixture;

TEST_F(LogTest, RequestLinesNameEachOperationAndItsResultOnlyWhileSwitchedOn) {
  startCamera(-1);
  LogCollector log;
  OCamera *camera = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, sim_->cameraAddress().c_str());
  ASSERT_NE(camera, nullptr);
  EXPECT_TRUE(log.lines(ocamera::LogSource::Request).empty());

  ocamera::setRequestLogging(true);
  const int gain = camera->setGain(4);
  const int refused = camera->setGain(1000);  // out of range: a non-zero status
  const int shutter = camera->getShutterTime();
  ocamera::setRequestLogging(false);
  camera->setGain(2);
  camera->destroy();

  ASSERT_NE(refused, 0);
  const std::vector<std::string> expected = {
      "scam:setGain status " + std::to_string(gain),
      "scam:setGain status " + std::to_string(refused),
      "scam:getShutterTime status " + std::to_string(shutter)};
  EXPECT_EQ(log.lines(ocamera::LogSource::Request), expected);
}

TEST_F(LogTest, FailedRequestsAndCreationsReachTheHandlerNotTheStreams) {
  RefusedPort refused;
  LogCollector log;
  ocamera::setRequestLogging(true);
  EXPECT_EQ(CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, refused.address().c_str()), nullptr);
  EXPECT_EQ(log.lines(ocamera::LogSource::Creation),
            std::vector<std::string>{refusedConnectionText()});
  EXPECT_EQ(
      log.lines(ocamera::LogSource::Request),
      std::vector<std::string>{std::string("request not sent failed: ") + refusedConnectionText()});

  // A session whose camera goes away: the keep-alive thread's failure line
  // goes to the handler, not to standard output.
  startDevice(1);
  device_->open(true, 3);
  sim_->stop();
  EXPECT_TRUE(log.waitFor(ocamera::LogSource::KeepAlive, 5000));
  EXPECT_EQ(log.lines(ocamera::LogSource::KeepAlive).at(0), "failure keep-alive");
  device_->close();
  EXPECT_EQ(out_.text(), "");
}

TEST_F(LogTest, WithoutAHandlerKeepAliveLinesGoToStandardOutputAgain) {
  { LogCollector log; }  // installs, then restores the default
  startDevice(1);
  device_->open(true, 3);
  sim_->stop();
  EXPECT_TRUE(out_.waitForCount("failure keep-alive", 1, 5000));
  device_->close();
}

}  // namespace
}  // namespace support_test
