#include "remote/factory.h"

#include "support/log.h"

namespace ocamera {
namespace remote {

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
}  // namespace ocamera
