// The device manager's sessions: tokens handed out by "rdev:open", their
// devices and deadlines. Not locked: the model calls it under its own lock.
#pragma once

#include <chrono>
#include <map>
#include <random>
#include <vector>

#include "sim/simulator.h"

namespace ocamsim {
namespace detail {

using Clock = std::chrono::steady_clock;

enum class DeviceKind { Camera, Inputs, Outputs, Leds, None };

// The kind of a device by its type name ("ONetCamera", ...).
DeviceKind kindOf(const std::string &type);
// The four devices a camera lists, ids 1..4. The camera's description ends in
// its geometry, " [sensor <width>x<height> <layout>]" with the Bayer layout
// GRGR, BGBG, RGRG or GBGB: "simulated camera [sensor 1280x1024 GRGR]".
std::vector<DeviceEntry> standardDevices(int sensorWidth, int sensorHeight, int bayerPattern);

struct Session {
  int token = 0;
  int deviceId = 0;
  DeviceKind kind = DeviceKind::None;
  int access = 0;
  bool expires = true;
  int timeoutSec = 0;
  Clock::time_point deadline;
  bool created = false;       // the service instance of this session exists
  bool opened = false;        // "iOpen" (I/O services)
  int inputTimeoutMs = 5000;  // "sinp:iSetTimeout"
};

class SessionTable {
 public:
  // A new session on `device`; its token.
  int open(const DeviceEntry &device, int access, Clock::time_point now);
  // Removes the sessions whose deadline passed and returns them.
  std::vector<Session> expire(Clock::time_point now);
  Session *find(int token);
  bool contains(int token) const { return sessions_.count(token) != 0; }
  void erase(int token) { sessions_.erase(token); }
  std::size_t size() const { return sessions_.size(); }

 private:
  int freshToken();

  std::map<int, Session> sessions_;
  std::random_device random_;
};

}  // namespace detail
}  // namespace ocamsim
