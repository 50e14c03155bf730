#include "sim/sensor_registers.h"

#include "sim/simulator.h"

namespace ocamsim {
namespace detail {
namespace {

using namespace status;

// Registers of the simulated sensor, with their reset values. The first is read-only.
const std::pair<const char *, std::uint32_t> kRegisters[] = {
    {"CHIP_VERSION", 0x1313},
    {"COLUMN_START", 1},
    {"ROW_START", 4},
    {"WINDOW_HEIGHT", 480},
    {"WINDOW_WIDTH", 752},
    {"HORIZONTAL_BLANKING", 94},
    {"VERTICAL_BLANKING", 45},
    {"CHIP_CONTROL", 0x0388},
    {"SHUTTER_WIDTH_1", 443},
    {"SHUTTER_WIDTH_2", 473},
    {"SHUTTER_WIDTH_CONTROL", 0x164},
    {"TOTAL_SHUTTER_WIDTH", 480},
    {"RESET", 0},
    {"READ_MODE", 0x0300},
    {"MONITOR_MODE", 0},
    {"PIXEL_OPERATION_MODE", 0x0011},
    {"LED_OUT_CONTROL", 0},
    {"ADC_MODE_CONTROL", 2},
    {"ANALOG_GAIN", 16},
    {"BLACK_LEVEL_CALIB", 0x20},
    {"ROW_NOISE_CORR_CONTROL", 0},
    {"AEC_AGC_ENABLE", 0x0003},
    {"MAX_SHUTTER_WIDTH", 480},
    {"MAX_ANALOG_GAIN", 64},
};
const char kReadOnly[] = "CHIP_VERSION";

}  // namespace

SensorRegisters::SensorRegisters() {
  for (const auto &r : kRegisters) values_[r.first] = r.second;
}

std::vector<std::string> SensorRegisters::names() const {
  std::vector<std::string> list;
  for (const auto &r : kRegisters) list.push_back(r.first);
  return list;
}

int SensorRegisters::get(const std::string &name, std::uint32_t &value) const {
  auto it = values_.find(name);
  if (it == values_.end()) return kUnknownRegister;
  value = it->second;
  return kOk;
}

int SensorRegisters::set(const std::string &name, std::uint32_t value) {
  auto it = values_.find(name);
  if (it == values_.end()) return kUnknownRegister;
  if (name == kReadOnly) return kReadOnlyRegister;
  if (value > 0xFFFF) return kBadArgument;
  it->second = value;
  return kOk;
}

}  // namespace detail
}  // namespace ocamsim
