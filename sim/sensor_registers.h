// The sensor's registers as "scam:getSensorRegister"/"setSensorRegister" see
// them: a fixed list of names with their reset values, 16-bit values, the
// chip version read-only. Not locked: the model calls it under its own lock.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ocamsim {
namespace detail {

class SensorRegisters {
 public:
  SensorRegisters();
  std::vector<std::string> names() const;
  int get(const std::string &name, std::uint32_t &value) const;
  int set(const std::string &name, std::uint32_t value);
  // Sets a register the camera itself keeps (no checks).
  void store(const std::string &name, std::uint32_t value) { values_[name] = value; }

 private:
  std::map<std::string, std::uint32_t> values_;
};

}  // namespace detail
}  // namespace ocamsim
