#include "remote/session_record.h"

#include "remote/net_camera.h"

namespace ocamera {
namespace remote {

void SessionRecord::note(int status, const char *name, std::initializer_list<double> numbers,
                         std::vector<unsigned char> bytes) {
  if (status != 0) return;
  SettingValue value;
  value.numbers.assign(numbers.begin(), numbers.end());
  value.bytes = std::move(bytes);
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_.set(name, value, SettingOrigin::Recorded);
  } catch (...) {
    // Out of memory for the record: the setter's result stands.
  }
}

void SessionRecord::noteRegister(int status, const char *name, unsigned value) {
  if (status != 0 || !name) return;
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_.setRegister(name, value, SettingOrigin::Recorded);
  } catch (...) {
  }
}

Settings SessionRecord::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return settings_;
}

}  // namespace remote

Settings sessionRecord(const OCamera &camera) {
  try {
    if (auto *net = dynamic_cast<const remote::ONetCamera *>(&camera)) return net->record();
  } catch (...) {
  }
  return Settings();
}

SensorGeometry sensorGeometry(const OCamera &camera) {
  try {
    if (auto *net = dynamic_cast<const remote::ONetCamera *>(&camera))
      return parseSensorGeometry(net->description());
  } catch (...) {
  }
  return SensorGeometry();
}

}  // namespace ocamera
