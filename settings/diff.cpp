// The differences between two settings documents.
#include <algorithm>

#include "settings/ids.h"

namespace ocamera {
namespace {

const char *const kPatterns[] = {"GRGR", "BGBG", "RGRG", "GBGB"};

std::string geometryText(const SensorGeometry &g) {
  const int p = g.pattern >= 1 && g.pattern <= 4 ? g.pattern : 1;
  return std::to_string(g.width) + "x" + std::to_string(g.height) + " " + kPatterns[p - 1];
}

}  // namespace

std::vector<SettingDifference> diffSettings(const Settings &a, const Settings &b) {
  std::vector<SettingDifference> out;
  for (const SettingInfo &s : settingTable()) {
    const Settings::Entry *ea = a.get(s.name);
    const Settings::Entry *eb = b.get(s.name);
    if (!ea && !eb) continue;
    if (ea && eb && ea->value == eb->value) continue;
    SettingDifference d;
    d.name = s.name;
    d.inA = ea != nullptr;
    d.inB = eb != nullptr;
    if (ea) d.a = settingValueText(s, ea->value);
    if (eb) d.b = settingValueText(s, eb->value);
    out.push_back(d);
  }
  auto names = [](const Settings &x, std::vector<std::string> &into) {
    for (const auto &r : x.registers()) into.push_back(r.first);
  };
  std::vector<std::string> regs;
  names(a, regs);
  names(b, regs);
  std::sort(regs.begin(), regs.end());
  regs.erase(std::unique(regs.begin(), regs.end()), regs.end());
  for (const std::string &name : regs) {
    auto ia = a.registers().find(name);
    auto ib = b.registers().find(name);
    const bool inA = ia != a.registers().end(), inB = ib != b.registers().end();
    if (inA && inB && ia->second.value == ib->second.value) continue;
    SettingDifference d;
    d.name = "registers." + name;
    d.inA = inA;
    d.inB = inB;
    if (inA) d.a = std::to_string(ia->second.value);
    if (inB) d.b = std::to_string(ib->second.value);
    out.push_back(d);
  }
  const bool ka = a.sensor.known(), kb = b.sensor.known();
  if (ka || kb) {
    const std::string ta = ka ? geometryText(a.sensor) : "", tb = kb ? geometryText(b.sensor) : "";
    if (ta != tb) {
      SettingDifference d;
      d.name = "sensor";
      d.inA = ka;
      d.inB = kb;
      d.a = ta;
      d.b = tb;
      out.push_back(d);
    }
  }
  std::sort(out.begin(), out.end(),
            [](const SettingDifference &x, const SettingDifference &y) { return x.name < y.name; });
  return out;
}

}  // namespace ocamera
