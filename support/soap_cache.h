// The pool of SOAP contexts of one camera address and the lease of one context.
#pragma once

#include <boost/utility.hpp>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "support/cache.h"
#include "support/log.h"

struct soap;

namespace mox {
namespace webservice {
namespace client {

// One pooled context, owned. Copies carry the settings of the source context
// (modes, time-outs, limits, namespace table, header hook), not its connection.
class SoapItem {
 public:
  explicit SoapItem(const struct soap *source);
  SoapItem(const SoapItem &other);
  SoapItem &operator=(const SoapItem &) = delete;
  ~SoapItem();
  struct soap *context() const {
    return soap_.get();
  }

 private:
  // Ends the context's memory and connection, then frees it.
  struct Release {
    void operator()(struct soap *ctx) const;
  };
  std::unique_ptr<struct soap, Release> soap_;
};

// What a lease is for: one of the owning object's operations (a call), or the
// session's own upkeep (open, keep-alive, close, the destroy request), which
// goes on after the calls are closed.
enum class LeaseKind { kCall, kUpkeep };

// The contexts of one address. The endpoint string belongs to the owner of the
// cache (the device manager) and must outlive it.
class SoapCache : public Cache<SoapItem> {
 public:
  SoapCache(const struct soap *prototype, const char *endpoint, std::size_t count);
  const char *endpoint() const { return endpoint_; }

  // Ends the calls, for the owner's destruction: call leases made from now on
  // fail at once (their send returns an error without sending), the
  // connections of the calls in flight are cut (protocol/connection_guard.h)
  // so that they fail, and this waits until every call lease has ended, at
  // most `bound`. True when none is left.
  bool closeCalls(std::chrono::milliseconds bound);

 private:
  friend class SoapGuard;
  // Lends a context to a call: null once the calls are closed.
  SoapItem *enterCall();
  // Takes the context of a call back (release included).
  void leaveCall(SoapItem *item);

  const char *endpoint_;
  std::mutex callMutex_;
  std::condition_variable callsLeft_;
  std::set<SoapItem *> calls_;  // the contexts lent to calls
  bool callsClosed_ = false;
};

// Borrows one context for one request. A silent lease leaves judging the call
// to the caller; a raising lease turns a failed call into a
// WebServiceException with the fault text (and the reason in words) when
// finish() is called.
//
//   SoapGuard lease(cache, true);
//   ocam::soap_call_rdev__list(lease.context(), lease.endpoint(), "", result);
//   ... copy what is needed out of result ...
//   lease.finish();  // raises on failure; the context is back in the pool
//
// The destructor ends a lease that finish() did not end, and never raises.
// After a failed call (under either kind of lease) the context's connection is
// closed; its settings stay. finish() a second time does nothing, and
// context() is null once the lease has ended. A call lease made after the
// cache's calls were closed holds no context: its send fails at once.
class SoapGuard : private boost::noncopyable {
 public:
  SoapGuard(SoapCache &cache, bool raising, LeaseKind kind = LeaseKind::kCall);
  ~SoapGuard();
  struct soap *context() const;
  const char *endpoint() const { return cache_.endpoint(); }
  // Frees what the request built in the context, hands the context back and,
  // for a raising lease whose call failed, raises the fault text.
  void finish();
  // Runs call(context(), endpoint()), one generated client call, and returns
  // its result. When the connection was refused or reset, the call runs once
  // more on a fresh connection: a camera that dropped an idle connection, or
  // turned one away while its connection slots were full, gets one more try.
  template <class Call>
  int send(Call &&call) {
    if (!item_) return refused();
    int rc = call(context(), endpoint());
    if (rc != 0 && dropRefusedConnection()) rc = call(context(), endpoint());
    return rc;
  }
  // The status the reply carried, for the request's log line.
  void noteStatus(int status) {
    status_ = status;
    hasStatus_ = true;
  }

 private:
  bool end(std::string *text, std::string *reason);
  void logRequest(struct soap *ctx);
  // After a failed call: when its connection was refused or reset, closes it
  // and returns true.
  bool dropRefusedConnection();
  // The result of a send on a lease without a context.
  static int refused();

  SoapItem *item_;
  SoapCache &cache_;
  bool raising_;
  LeaseKind kind_;
  bool hasStatus_ = false;
  int status_ = 0;
  ocamera::support::RequestNote note_;
};

}  // namespace client
}  // namespace webservice
}  // namespace mox
