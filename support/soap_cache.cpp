#include "support/soap_cache.h"

#include <cerrno>
#include <exception>
#include <string>

#include "protocol/connection_guard.h"
#include "protocol/transport.h"
#include "stdsoap2.h"

namespace mox {
namespace webservice {
namespace client {

// soap's copy constructor is soap_copy_context: settings, hooks and the
// namespace table are copied, the connection is not.
SoapItem::SoapItem(const struct soap *source) : soap_(new soap(*source)) {}

SoapItem::SoapItem(const SoapItem &other) : soap_(new soap(*other.soap_)) {}

SoapItem::~SoapItem() = default;

void SoapItem::Release::operator()(struct soap *ctx) const {
  soap_destroy(ctx);
  soap_end(ctx);
  soap_done(ctx);
  delete ctx;
}

SoapCache::SoapCache(const struct soap *prototype, const char *endpoint, std::size_t count)
    : Cache<SoapItem>(count, std::make_unique<SoapItem>(prototype)), endpoint_(endpoint) {}

SoapItem *SoapCache::enterCall() {
  std::lock_guard<std::mutex> lock(callMutex_);
  if (callsClosed_) return nullptr;
  SoapItem *item = acquire();
  // A cut left over from an earlier lease is forgotten before the item can be
  // cut again (closeCalls takes the same lock).
  ocamera::wire::beginRequest(item->context());
  try {
    calls_.insert(item);
  } catch (...) {
    release(item);
    throw;
  }
  return item;
}

void SoapCache::leaveCall(SoapItem *item) {
  // Under the lock, so that closeCalls never cuts an item given back (and
  // perhaps destroyed) meanwhile; notified under it too: once closeCalls sees
  // no call left it may let the owner destroy the cache, and nothing here is
  // touched after the unlock.
  std::lock_guard<std::mutex> lock(callMutex_);
  calls_.erase(item);
  release(item);
  if (calls_.empty()) callsLeft_.notify_all();
}

bool SoapCache::closeCalls(std::chrono::milliseconds bound) {
  std::unique_lock<std::mutex> lock(callMutex_);
  callsClosed_ = true;
  for (SoapItem *item : calls_) ocamera::wire::cutConnection(item->context());
  return callsLeft_.wait_for(lock, bound, [this] { return calls_.empty(); });
}

SoapGuard::SoapGuard(SoapCache &cache, bool raising, LeaseKind kind)
    : item_(nullptr), cache_(cache), raising_(raising), kind_(kind) {
  if (kind == LeaseKind::kCall) {
    item_ = cache.enterCall();
    if (!item_) return;
  } else {
    item_ = cache.acquire();
    ocamera::wire::beginRequest(item_->context());
  }
  // Every request starts under the reply time-out in force when it starts.
  ocamera::wire::applyReplyTimeout(item_->context());
}

int SoapGuard::refused() { return SOAP_EOF; }

SoapGuard::~SoapGuard() {
  if (!item_) return;
  try {
    end(nullptr, nullptr);
  } catch (...) {
    // Only a broken pool could refuse the item; a destructor cannot report it.
  }
}

struct soap *SoapGuard::context() const {
  return item_ ? item_->context() : nullptr;
}

void SoapGuard::finish() {
  if (!item_) return;
  std::string text, reason;
  if (end(&text, &reason)) throw WebServiceException(text, reason);
}

// Ends the lease; after a failed call the connection is closed. For a raising
// lease whose call failed, stores the fault text in *text (when given) and
// returns true.
bool SoapGuard::end(std::string *text, std::string *reason) {
  struct soap *ctx = item_->context();
  const bool failed = ctx->error != SOAP_OK;
  // The runtime keeps the fault in the memory soap_destroy and soap_end free,
  // so it is read first.
  if (failed && raising_ && text) *text = faultText(ctx);
  if (failed && raising_ && reason) *reason = faultReason(ctx);
  if (ocamera::support::requestLogging()) logRequest(ctx);
  soap_destroy(ctx);
  if (failed) {
    soap_end(ctx);
    // A reply rejected part-way leaves the rest of it unread on a connection
    // the camera may keep open: the next request on it would read that rest as
    // its reply. Drop the connection but keep the settings and hooks
    // (soap_done would reset the hooks and leave the context unusable).
    soap_force_closesock(ctx);
    ctx->error = SOAP_OK;
  } else {
    // The call's memory goes; the runtime's temporary tables are cleared by
    // the next call's start (soap_end would clear them once more per call).
    soap_dealloc(ctx, nullptr);
  }
  SoapItem *item = item_;
  item_ = nullptr;
  const bool raise = failed && raising_;
  // The last touch of the cache: once the last call has left, its owner may go.
  if (kind_ == LeaseKind::kCall) {
    cache_.leaveCall(item);
  } else {
    cache_.release(item);
  }
  return raise;
}

bool SoapGuard::dropRefusedConnection() {
  struct soap *ctx = context();
  if (!ctx) return false;
  const int cause = ctx->errnum;
  if (cause != ECONNREFUSED && cause != ECONNRESET && cause != EPIPE) return false;
  soap_force_closesock(ctx);
  ctx->error = SOAP_OK;
  ctx->errnum = 0;
  return true;
}

// One Request line: the operation and the reply's status, "ok", or why the
// request failed. A lease that sent nothing and failed nothing logs nothing.
void SoapGuard::logRequest(struct soap *ctx) {
  std::string line = note_.operation();
  if (line.empty()) {
    if (ctx->error == SOAP_OK) return;
    line = "request not sent";
  }
  if (ctx->error != SOAP_OK) {
    std::string why = faultText(ctx);
    if (why.empty()) why = "error " + std::to_string(ctx->error);
    line += " failed: " + why;
  } else if (hasStatus_) {
    line += " status " + std::to_string(status_);
  } else {
    line += " ok";
  }
  ocamera::support::logLine(ocamera::LogSource::Request, line);
}

}  // namespace client
}  // namespace webservice
}  // namespace mox
