// The I/O panel's side of the camera: input levels and the edges seen since
// the last look, the outputs and the LEDs, read by one poller thread so that
// pages see a recent state without each asking the camera; outputs and LEDs
// are switched from the server's threads. A lost I/O service is connected
// again on the next poll.
#pragma once

#include <ocamera/inputs.h>
#include <ocamera/leds.h>
#include <ocamera/outputs.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace ocam_viewer {

struct IoState {
  bool reachable = false;
  std::string problem;  // why not, when not reachable
  int inputs = 0;       // levels, bit 0 = I0, bit 1 = I1
  bool overload = false;
  // Edges latched by the camera, counted since the viewer started.
  unsigned long long risingI0 = 0, fallingI0 = 0, risingI1 = 0, fallingI1 = 0;
  int outputs = 0;  // bits O0-O3
  int leds = 0;     // 8 bits
};

class IoPanel {
 public:
  // `address`: host:port of the I/O services; `pollMs`: how often inputs are read.
  IoPanel(std::string address, int pollMs);
  ~IoPanel();  // stop()s
  IoPanel(const IoPanel &) = delete;
  IoPanel &operator=(const IoPanel &) = delete;

  void start();
  void stop();  // ends the poller and the sessions

  IoState state() const;
  // Switches output 0..3 or LED 0..7 on or off; the camera's status (0 = done),
  // or -1 when the service cannot be reached.
  int setOutput(int line, bool on);
  int setLed(int line, bool on);

 private:
  void run();
  bool connectLocked();  // with io_ held
  void disconnectLocked();
  void pollLocked();

  const std::string address_;
  const int pollMs_;
  std::mutex io_;  // the service objects
  OCameraInputs *inputs_ = nullptr;
  OCameraOutputs *outputs_ = nullptr;
  OCameraLEDs *leds_ = nullptr;
  // After a failed connection the next try waits, so that a camera without
  // I/O services is not asked (and logged) at every poll.
  std::chrono::steady_clock::time_point retryAt_{};
  mutable std::mutex stateMutex_;
  IoState state_;
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread poller_;
};

}  // namespace ocam_viewer
