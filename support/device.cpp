#include "support/device.h"

#include <algorithm>
#include <cstdint>

#include "ocamH.h"
#include "protocol/transport.h"
#include "support/log.h"

namespace mox {
namespace webservice {
namespace client {
namespace {

// Sends "rdev:close" under a silent lease; the result does not matter.
void sendClose(SoapCache &cache, int token) {
  SoapGuard lease(cache, false, LeaseKind::kUpkeep);
  ocam::rdev__closeResponse out;
  lease.send([&](struct soap *c, const char *e) {
    return ocam::soap_call_rdev__close(c, e, "", token, &out);
  });
}

// Half the announced time-out in milliseconds, in 32-bit arithmetic: a negative
// time-out gives a negative interval, which the loop compares as unsigned.
std::int32_t keepAliveInterval(std::int32_t maxTimeoutSeconds) {
  const auto milliseconds =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(maxTimeoutSeconds) * 1000u);
  return milliseconds / 2;
}

// How long a keep-alive request may wait for its reply: a reply later than
// the interval would not keep the session anyway, and a camera that takes a
// request and stays silent must not hold the session's tear-down (which waits
// for this thread) for ever. The process-wide reply time-out still applies
// when it is shorter; 0 (no announced time-out) leaves it alone.
int keepAliveReplyBound(std::int32_t interval) {
  if (interval <= 0) return ocamera::wire::replyTimeout();
  const int own = std::max<std::int32_t>(interval, 1000);
  const int global = ocamera::wire::replyTimeout();
  return global > 0 ? std::min(own, global) : own;
}

}  // namespace

Device::Device(const Descriptor *descriptor, SoapCache &cache)
    : cache_(&cache), descriptor_(*descriptor) {}

Device::~Device() {
  try {
    close();
  } catch (...) {
    // close() raises nothing of its own; a failure to borrow a context
    // (out of memory) only means no "rdev:close" is sent.
  }
}

void Device::open(bool keepAlive, int accessMode) {
  // Held until the session counts as open, so that a keep-alive thread that
  // fails at once closes a complete session.
  boost::mutex::scoped_lock lock(sessionMutex_);
  if (open_.load()) throw WebServiceException("Device already open");
  int token = 0;
  {
    SoapGuard lease(*cache_, true, LeaseKind::kUpkeep);
    lease.send([&](struct soap *c, const char *e) {
      return ocam::soap_call_rdev__open(c, e, "", descriptor_.id,
                                        static_cast<ocam::rdev__eAccess>(accessMode), token);
    });
    lease.finish();
  }
  token_.store(token);
  if (keepAlive) {
    try {
      start();
    } catch (...) {
      sendClose(*cache_, token);  // nobody would keep this session alive
      throw;
    }
  }
  opened();
  open_.store(true);
}

void Device::close() {
  // Stops the keep-alive thread and waits for it; on the keep-alive thread
  // itself this only clears the running flag.
  stop();
  closeSession();
}

void Device::closeSession() {
  boost::mutex::scoped_lock lock(sessionMutex_);
  if (!open_.load()) return;
  SoapGuard lease(*cache_, false, LeaseKind::kUpkeep);
  ocam::rdev__closeResponse out;
  lease.send([&](struct soap *c, const char *e) {
    return ocam::soap_call_rdev__close(c, e, "", token_.load(), &out);
  });
  open_.store(false);
  closed();
  lease.finish();
}

bool Device::keepAlive(bool closeOnFailure) {
  SoapGuard lease(*cache_, false, LeaseKind::kUpkeep);
  ocam::rdev__keepAliveResponse out;
  if (lease.send([&](struct soap *c, const char *e) {
        return ocam::soap_call_rdev__keepAlive(c, e, "", token_.load(), &out);
      }) != SOAP_OK) {
    if (closeOnFailure) close();  // borrows a second context
    return false;
  }
  lease.finish();
  return true;
}

// Wakes every kStepMs and sends "rdev:keepAlive" once a period has passed; the
// period is half the announced time-out, halved after a failure. Two failures
// in a row close the session.
void Device::run() {
  const std::int32_t interval = keepAliveInterval(descriptor_.maxTimeout);
  const ocamera::wire::ThreadReplyTimeout bound(keepAliveReplyBound(interval));
  std::uint32_t period = static_cast<std::uint32_t>(interval);
  std::uint32_t elapsed = 0;
  int failures = 0;
  while (running()) {
    if (elapsed >= period) {
      elapsed = 0;
      if (keepAlive(false)) {
        period = static_cast<std::uint32_t>(interval);
        failures = 0;
      } else {
        ocamera::support::logLine(ocamera::LogSource::KeepAlive, "failure keep-alive");
        if (++failures == 2) {
          clearRunning();
          close();
          return;
        }
        period /= 2;
      }
    }
    if (!sleepFor(kStepMs)) break;
    elapsed += kStepMs;
  }
}

}  // namespace client
}  // namespace webservice
}  // namespace mox
