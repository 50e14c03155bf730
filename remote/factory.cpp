#include "remote/factory.h"

#include <cstring>

#include "ocamera/status.h"
#include "support/log.h"

namespace ocamera {
namespace remote {
namespace {

thread_local std::string last_creation_error;

// "camera" for CreateCameraInterface, "inputs" for CreateCameraInputs, ...
std::string objectName(const char *factory) {
  const char *prefix = "CreateCamera";
  if (std::strncmp(factory, prefix, std::strlen(prefix)) != 0) return factory;
  std::string name = factory + std::strlen(prefix);
  if (name == "Interface") return "camera";
  if (name != "LEDs" && !name.empty()) name[0] = static_cast<char>(name[0] - 'A' + 'a');
  return name;
}

}  // namespace

void noteCreation(const char *factory, const char *address, const std::string &why) {
  try {
    if (why.empty()) {
      last_creation_error.clear();
    } else {
      last_creation_error = "cannot create the " + objectName(factory);
      if (address && *address) last_creation_error += std::string(" at ") + address;
      last_creation_error += ": " + why;
    }
  } catch (...) {
    // Out of memory for the text: the caller still gets its null.
  }
}

void logCreationFailure(const char *factory, const char *address, const char *reason) {
  try {
    std::string line;
    if (!address) {
      line = std::string(factory) + ": " + reason;
    } else if (reason && *reason) {
      // The failure's own text, as the library has always written it.
      line = reason;
    } else {
      line = std::string(factory) + ": " + address + ": no reason given by the camera";
    }
    support::logLine(LogSource::Creation, line);
  } catch (...) {
    // Out of memory for the line itself: the caller still gets its null.
  }
}

}  // namespace remote

std::string lastCreationError() { return remote::last_creation_error; }

}  // namespace ocamera
