// The three I/O interfaces behind one handle, so that what they have in common
// (creation, the session, the operations without parameters, destroy) is tested
// once for all three.
#pragma once

#include <gtest/gtest.h>
#include <ocamera/inputs.h>
#include <ocamera/leds.h>
#include <ocamera/outputs.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace ocamera_test {

// One object of any of the three interfaces; empty when the factory gave null.
struct IoHandle {
  const void *object = nullptr;
  std::function<int()> open;    // iOpen
  std::function<int()> close;   // iClose
  std::function<int()> getAll;  // iGetInputs, iGetOutputs or iGetLEDs
  std::function<void()> destroy;

  explicit operator bool() const { return object != nullptr; }
};

inline int getAll(OCameraInputs *io) { return io->iGetInputs(); }
inline int getAll(OCameraOutputs *io) { return io->iGetOutputs(); }
inline int getAll(OCameraLEDs *io) { return io->iGetLEDs(); }

template <class Interface>
IoHandle handleOf(Interface *io) {
  IoHandle h;
  if (io == nullptr) return h;
  h.object = io;
  h.open = [io] { return io->iOpen(); };
  h.close = [io] { return io->iClose(); };
  h.getAll = [io] { return ocamera_test::getAll(io); };
  h.destroy = [io] { io->destroy(); };
  return h;
}

struct IoKind {
  std::string name;      // for test names: "Inputs", "Outputs", "LEDs"
  std::string prefix;    // the service's wire prefix: "sinp", "sout", "sled"
  std::string typeName;  // device type in the device list
  std::string notFound;  // what the factory prints when that type is not listed
  std::function<IoHandle(const char *)> create;  // the exported factory
  std::function<IoHandle()> createDefault;       // the static factory

  std::string op(const std::string &operation) const { return prefix + ":" + operation; }
};

inline const std::vector<IoKind> &ioKinds() {
  static const std::vector<IoKind> kinds = {
      {"Inputs", "sinp", "ONetCameraInputs", "CameraInputs not found",
       [](const char *a) { return handleOf(CreateCameraInputs(a)); },
       [] { return handleOf(OCameraInputs::poCreateInterface()); }},
      {"Outputs", "sout", "ONetCameraOutputs", "CameraOutputs not found",
       [](const char *a) { return handleOf(CreateCameraOutputs(a)); },
       [] { return handleOf(OCameraOutputs::poCreateInterface()); }},
      {"LEDs", "sled", "ONetCameraLEDs", "CameraLEDs not found",
       [](const char *a) { return handleOf(CreateCameraLEDs(a)); },
       [] { return handleOf(OCameraLEDs::poCreateInterface()); }},
  };
  return kinds;
}

inline void PrintTo(const IoKind &kind, std::ostream *os) { *os << kind.name; }
inline std::string kindName(const testing::TestParamInfo<IoKind> &info) { return info.param.name; }

}  // namespace ocamera_test
