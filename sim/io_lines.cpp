#include "sim/io_lines.h"

namespace ocamsim {
namespace detail {
namespace {

using namespace status;

constexpr int kEdgeRise[2] = {4, 16};
constexpr int kEdgeFall[2] = {8, 32};
constexpr int kOverloadBit = 64;
constexpr int kUnlockBit = 16;  // "OUTPUT-OVERLOAD-UNLOCK"

}  // namespace

int IoLines::word() const { return levels_ | edges_ | (overload_ ? kOverloadBit : 0); }

std::uint64_t IoLines::changes(int mask) const {
  std::uint64_t sum = 0;
  for (int b = 0; b < 7; ++b)
    if (mask & (1 << b)) sum += changes_[b];
  return sum;
}

int IoLines::lineMask(DeviceKind kind, int line) {
  switch (kind) {
    case DeviceKind::Inputs:
      return (line == 1 || line == 2 || line == 4 || line == 8 || line == 16 || line == 32 ||
              line == 64 || line == 3)
                 ? line
                 : -1;
    case DeviceKind::Outputs:
      return (line == 1 || line == 2 || line == 4 || line == 8 || line == 16 || line == 15) ? line
                                                                                            : -1;
    case DeviceKind::Leds:
      return (line == 1 || line == 2 || line == 4 || line == 8 || line == 16 || line == 32 ||
              line == 64 || line == 128 || line == 85 || line == 10 || line == 160 || line == 255)
                 ? line
                 : -1;
    default:
      return -1;
  }
}

int IoLines::input(int line) const {
  const int mask = lineMask(DeviceKind::Inputs, line);
  if (mask < 0) return kBadArgument;
  if (mask == 3) return word() & 3;
  return (word() & mask) ? 1 : 0;
}

int IoLines::output(DeviceKind kind, int line) const {
  const int mask = lineMask(kind, line);
  if (mask < 0) return kBadArgument;
  if (kind == DeviceKind::Outputs && mask == kUnlockBit) return overload_ ? 1 : 0;
  const int state = kind == DeviceKind::Leds ? leds_ : outputs_;
  // A group answers the states of its lines; a single line 0 or 1.
  const bool group =
      (kind == DeviceKind::Outputs && mask == 15) ||
      (kind == DeviceKind::Leds && (mask == 85 || mask == 10 || mask == 160 || mask == 255));
  if (group) return state & mask;
  return (state & mask) ? 1 : 0;
}

int IoLines::apply(DeviceKind kind, int mask, int state, bool &woke) {
  woke = false;
  if (kind == DeviceKind::Leds) {
    if (mask & ~0xFF) return kBadArgument;
    leds_ = (leds_ & ~mask) | (state & mask);
    return kOk;
  }
  if (mask & ~0x1F) return kBadArgument;
  if ((mask & kUnlockBit) && (state & kUnlockBit) && overload_) {
    overload_ = false;
    ++changes_[6];
    woke = true;
  }
  const int lines = mask & 15;
  if (lines && overload_) return kOverload;
  outputs_ = (outputs_ & ~lines) | (state & lines);
  return kOk;
}

IoLines::Edges IoLines::setLevels(int levels) {
  Edges e;
  levels &= 3;
  for (int i = 0; i < 2; ++i) {
    const int bit = 1 << i;
    if ((levels_ & bit) == (levels & bit)) continue;
    const bool rising = (levels & bit) != 0;
    (rising ? e.rising : e.falling) |= bit;
    ++changes_[i];
    const int edge = rising ? kEdgeRise[i] : kEdgeFall[i];
    if (!(edges_ & edge)) {
      edges_ |= edge;
      for (int b = 2; b < 6; ++b)
        if (edge == (1 << b)) ++changes_[b];
    }
  }
  levels_ = levels;
  return e;
}

bool IoLines::clearEdges(int mask) {
  const int cleared = edges_ & mask & 0x3C;
  for (int b = 2; b < 6; ++b)
    if (cleared & (1 << b)) ++changes_[b];
  edges_ &= ~cleared;
  return cleared != 0;
}

bool IoLines::setOverload(bool on) {
  if (overload_ == on) return false;
  overload_ = on;
  ++changes_[6];
  return true;
}

}  // namespace detail
}  // namespace ocamsim
