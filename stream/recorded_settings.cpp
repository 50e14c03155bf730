// Making the stream's settings again on a camera.
#include "stream/recorded_settings.h"

#include <ocamera/status.h>

namespace ocamera {
namespace stream {

RecordedSettings::RecordedSettings(Settings document) : document_(std::move(document)) {}

bool RecordedSettings::record(const std::string &name, const SettingValue &value, bool accepted) {
  return document_.set(name, value, accepted ? SettingOrigin::Recorded : SettingOrigin::Given);
}

int RecordedSettings::applyTo(OCamera &camera, std::string *dropped, std::string *failed) {
  Settings remaining = document_;
  while (!remaining.empty()) {
    const ApplyResult r = applySettings(camera, remaining, ApplyMode::StopAtRefusal);
    for (const std::string &name : r.applied) {
      if (name.rfind("registers.", 0) == 0) {
        const std::string reg = name.substr(10);
        document_.setRegister(reg, document_.registers().at(reg).value, SettingOrigin::Recorded);
      } else {
        document_.set(name, document_.get(name)->value, SettingOrigin::Recorded);
      }
    }
    if (r.refused.empty()) return 0;
    const SettingRefusal &refusal = r.refused.front();
    const bool isRegister = refusal.name.rfind("registers.", 0) == 0;
    const std::string reg = isRegister ? refusal.name.substr(10) : std::string();
    const SettingOrigin origin =
        isRegister ? document_.registers().at(reg).origin : document_.get(refusal.name)->origin;
    // A value a camera took once, or a request that failed, fails the set-up.
    if (origin == SettingOrigin::Recorded || refusal.status == status::kRequestFailed) {
      if (failed) *failed = refusal.name;
      return refusal.status;
    }
    if (isRegister)
      document_.eraseRegister(reg);
    else
      document_.erase(refusal.name);
    if (dropped) {
      if (!dropped->empty()) *dropped += ", ";
      *dropped += refusal.name + " (refused with " + std::to_string(refusal.status) + ")";
    }
    // The rest, after the dropped entry, in the same order.
    Settings rest;
    for (const std::string &name : r.notSent) {
      if (name.rfind("registers.", 0) == 0) {
        const auto &entry = remaining.registers().at(name.substr(10));
        rest.setRegister(name.substr(10), entry.value, entry.origin);
      } else {
        const Settings::Entry *e = remaining.get(name);
        rest.set(name, e->value, e->origin);
      }
    }
    remaining = rest;
  }
  return 0;
}

}  // namespace stream
}  // namespace ocamera
