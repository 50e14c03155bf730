#include "viewer/io_panel.h"

#include <ocamera/status.h>

#include <chrono>

namespace ocam_viewer {

IoPanel::IoPanel(std::string address, int pollMs) : address_(std::move(address)), pollMs_(pollMs) {}

IoPanel::~IoPanel() { stop(); }

void IoPanel::start() {
  if (!poller_.joinable()) poller_ = std::thread([this] { run(); });
}

void IoPanel::stop() {
  {
    std::lock_guard<std::mutex> lock(wakeMutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (poller_.joinable()) poller_.join();
  std::lock_guard<std::mutex> lock(io_);
  disconnectLocked();
}

IoState IoPanel::state() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return state_;
}

void IoPanel::disconnectLocked() {
  if (inputs_) inputs_->destroy();
  if (outputs_) outputs_->destroy();
  if (leds_) leds_->destroy();
  inputs_ = nullptr;
  outputs_ = nullptr;
  leds_ = nullptr;
}

bool IoPanel::connectLocked() {
  if (inputs_ && outputs_ && leds_) return true;
  disconnectLocked();
  if (std::chrono::steady_clock::now() < retryAt_) return false;
  inputs_ = CreateCameraInputs(address_.c_str());
  outputs_ = CreateCameraOutputs(address_.c_str());
  leds_ = CreateCameraLEDs(address_.c_str());
  int rc = -1;
  if (inputs_ && outputs_ && leds_) {
    rc = inputs_->iOpen();
    if (rc == 0) rc = outputs_->iOpen();
    if (rc == 0) rc = leds_->iOpen();
  }
  if (rc != 0) {
    disconnectLocked();
    retryAt_ = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::lock_guard<std::mutex> lock(stateMutex_);
    state_.reachable = false;
    state_.problem = "the I/O services at " + address_ + " cannot be reached";
    return false;
  }
  return true;
}

void IoPanel::pollLocked() {
  if (!connectLocked()) return;
  const int word = inputs_->iGetInputs();
  const int outputs = word < 0 ? word : outputs_->iGetOutputs();
  const int leds = outputs < 0 ? outputs : leds_->iGetLEDs();
  if (word < 0 || outputs < 0 || leds < 0) {
    const int failed = word < 0 ? word : outputs < 0 ? outputs : leds;
    disconnectLocked();
    std::lock_guard<std::mutex> lock(stateMutex_);
    state_.reachable = false;
    state_.problem = "reading the I/O: " + ocamera::statusText(failed);
    return;
  }
  const int edges = word & (OCameraInputs::INPUT_I0_RE | OCameraInputs::INPUT_I0_FE |
                            OCameraInputs::INPUT_I1_RE | OCameraInputs::INPUT_I1_FE);
  if (edges) inputs_->iClearEdges(edges);
  std::lock_guard<std::mutex> lock(stateMutex_);
  state_.reachable = true;
  state_.problem.clear();
  state_.inputs = word & OCameraInputs::INPUT_ALL;
  state_.overload = (word & OCameraInputs::OVERLOAD) != 0;
  if (word & OCameraInputs::INPUT_I0_RE) ++state_.risingI0;
  if (word & OCameraInputs::INPUT_I0_FE) ++state_.fallingI0;
  if (word & OCameraInputs::INPUT_I1_RE) ++state_.risingI1;
  if (word & OCameraInputs::INPUT_I1_FE) ++state_.fallingI1;
  state_.outputs = outputs & OCameraOutputs::OUTPUT_ALL;
  state_.leds = leds & OCameraLEDs::LED_ALL;
}

void IoPanel::run() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(io_);
      pollLocked();
    }
    std::unique_lock<std::mutex> lock(wakeMutex_);
    if (wake_.wait_for(lock, std::chrono::milliseconds(pollMs_), [this] { return stopping_; }))
      return;
  }
}

int IoPanel::setOutput(int line, bool on) {
  if (line < 0 || line > 3) return -1;
  std::lock_guard<std::mutex> lock(io_);
  if (!connectLocked()) return -1;
  const int rc = outputs_->iSetOutput(static_cast<OCameraOutputs::eCameraOutput>(1 << line), on);
  if (rc == 0) {
    std::lock_guard<std::mutex> s(stateMutex_);
    state_.outputs = on ? (state_.outputs | 1 << line) : (state_.outputs & ~(1 << line));
  }
  return rc;
}

int IoPanel::setLed(int line, bool on) {
  if (line < 0 || line > 7) return -1;
  std::lock_guard<std::mutex> lock(io_);
  if (!connectLocked()) return -1;
  const int rc = leds_->iSetLED(static_cast<OCameraLEDs::eCameraLED>(1 << line), on);
  if (rc == 0) {
    std::lock_guard<std::mutex> s(stateMutex_);
    state_.leds = on ? (state_.leds | 1 << line) : (state_.leds & ~(1 << line));
  }
  return rc;
}

}  // namespace ocam_viewer
