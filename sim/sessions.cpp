#include "sim/sessions.h"

#include <algorithm>

namespace ocamsim {
namespace detail {

DeviceKind kindOf(const std::string &type) {
  if (type == "ONetCamera") return DeviceKind::Camera;
  if (type == "ONetCameraInputs") return DeviceKind::Inputs;
  if (type == "ONetCameraOutputs") return DeviceKind::Outputs;
  if (type == "ONetCameraLEDs") return DeviceKind::Leds;
  return DeviceKind::None;
}

std::vector<DeviceEntry> standardDevices(int sensorWidth, int sensorHeight, int bayerPattern) {
  const char *layouts[] = {"GRGR", "BGBG", "RGRG", "GBGB"};
  const std::string geometry =
      " [sensor " + std::to_string(sensorWidth) + "x" + std::to_string(sensorHeight) + " " +
      layouts[bayerPattern >= 1 && bayerPattern <= 4 ? bayerPattern - 1 : 0] + "]";
  const char *types[] = {"ONetCamera", "ONetCameraInputs", "ONetCameraOutputs", "ONetCameraLEDs"};
  const char *texts[] = {"simulated camera", "digital inputs I0, I1", "digital outputs O0-O3",
                         "status LEDs 0-3"};
  std::vector<DeviceEntry> list;
  for (int i = 0; i < 4; ++i) {
    DeviceEntry d;
    d.id = i + 1;
    d.type = types[i];
    d.description = texts[i];
    if (i == 0) d.description += geometry;
    list.push_back(d);
  }
  return list;
}

int SessionTable::open(const DeviceEntry &device, int access, Clock::time_point now) {
  Session s;
  s.token = freshToken();
  s.deviceId = device.id;
  s.kind = kindOf(device.type);
  s.access = access;
  s.timeoutSec = device.maxTimeout;
  s.expires = device.maxTimeout > 0;
  s.deadline = now + std::chrono::seconds(std::max(0, device.maxTimeout));
  sessions_[s.token] = s;
  return s.token;
}

// Tokens are drawn from the system's random source, 31 bits and never 0, so
// that a client cannot reach another's session by guessing near its own; one
// that names an open session is drawn again.
int SessionTable::freshToken() {
  for (;;) {
    const int token = static_cast<int>(random_() & 0x7FFFFFFFu);
    if (token != 0 && sessions_.count(token) == 0) return token;
  }
}

std::vector<Session> SessionTable::expire(Clock::time_point now) {
  std::vector<Session> ended;
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (it->second.expires && it->second.deadline <= now) {
      ended.push_back(it->second);
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
  return ended;
}

Session *SessionTable::find(int token) {
  auto it = sessions_.find(token);
  return it == sessions_.end() ? nullptr : &it->second;
}

}  // namespace detail
}  // namespace ocamsim
