// The library's own lines (failed creations, failed keep-alives, one line per
// request when asked for) and where they go: the application's handler, or
// the standard streams.
#pragma once

#include <string>

#include "ocamera/export.h"

struct soap;

namespace ocamera {
namespace support {

// Passes one line (without a line end) to the installed handler; without one,
// keep-alive lines go to standard output and every other line to standard
// error. Thread-safe; never raises.
void logLine(LogSource source, const std::string &line);

// Whether every request is to produce a Request line.
bool requestLogging();

// Makes the context note the operation each request it sends names, so that
// the lease that lent it can log it. Copies of the context keep the hook.
void noteRequests(struct soap *ctx);

// Which operation the requests on this thread name while a lease is held. A
// lease keeps one for its lifetime; leases nest (a keep-alive that fails
// closes the session under a second lease), so each one saves the note of the
// lease around it and gives it back when it ends.
class RequestNote {
 public:
  RequestNote();
  ~RequestNote();
  RequestNote(const RequestNote &) = delete;
  RequestNote &operator=(const RequestNote &) = delete;
  // The element the request sent under this note names ("scam:setGain"), or
  // empty when nothing was sent.
  std::string operation() const;

 private:
  static constexpr int kNameBytes = 64;
  char saved_[kNameBytes];
  bool savedActive_;
};

}  // namespace support
}  // namespace ocamera
