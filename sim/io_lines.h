// The camera's digital lines: inputs I0, I1 with their latched edges and the
// overload flag, outputs O0-O3 and the LEDs. Not locked: the model calls it
// under its own lock and wakes the waits when something changed.
#pragma once

#include <array>
#include <cstdint>

#include "sim/sessions.h"

namespace ocamsim {
namespace detail {

class IoLines {
 public:
  // The input word: levels (bits 0-1) | latched edges (2-5) | overload (6).
  int word() const;
  int levels() const { return levels_; }
  int outputs() const { return outputs_; }
  int leds() const { return leds_; }
  bool overload() const { return overload_; }
  // How often the masked bits of the input word changed, summed: a wait for a
  // change compares it with the value at its start.
  std::uint64_t changes(int mask) const;

  // The mask a single-line selector stands for, or -1 when it is no enumerator.
  static int lineMask(DeviceKind kind, int line);
  // "iGetInput": 0/1 for a single bit, the levels for INPUT-ALL; kBadArgument
  // for a selector that is no enumerator.
  int input(int line) const;
  // "iGetOutput"/"lGetLED": 0/1 for a line, the group's bits for a group.
  int output(DeviceKind kind, int line) const;

  // Sets the masked lines of the outputs or LEDs to `state`; a status.
  // `woke` is set when the overload lock was released.
  int apply(DeviceKind kind, int mask, int state, bool &woke);

  // New input levels; the bits (0-1) that rose and fell.
  struct Edges {
    int rising = 0;
    int falling = 0;
  };
  Edges setLevels(int levels);
  // Clears the masked latched edges; whether any was set.
  bool clearEdges(int mask);
  // Whether the flag changed.
  bool setOverload(bool on);

 private:
  int levels_ = 0;
  int edges_ = 0;
  bool overload_ = false;
  std::array<std::uint64_t, 7> changes_{};  // per bit of the input word
  int outputs_ = 0;
  int leds_ = 0;
};

}  // namespace detail
}  // namespace ocamsim
