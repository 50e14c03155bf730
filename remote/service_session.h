// ocamera::remote::ServiceSession: what every remote object holds of its
// camera: the device manager of the address, the open device session and its
// token.
#pragma once

#include <boost/shared_ptr.hpp>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "ocamera/status.h"
#include "remote/call.h"
#include "remote/factory.h"
#include "support/device.h"
#include "support/device_manager.h"
#include "support/exception.h"
#include "support/soap_cache.h"

namespace ocamera {
namespace remote {

// Access mode "SERVICE-READ-WRITE" of "rdev:open", the mode every object opens
// its session with.
constexpr int kAccessReadWrite = 3;

// Shape of the destroy calls of the services: token in, status out.
using TokenCall = int (*)(struct soap *, const char *, const char *, int, int &);

// The session of one remote object on one service. Requests of several threads
// may be sent at once, each on a context of its own; open, end and destruction
// are the owner's alone.
class ServiceSession {
 public:
  // A manager of the address with no session open yet (token 0).
  explicit ServiceSession(const std::string &address);
  // Closes the session if it is still open, then the manager: the session
  // borrows its contexts from the manager's cache.
  ~ServiceSession();
  ServiceSession(const ServiceSession &) = delete;
  ServiceSession &operator=(const ServiceSession &) = delete;

  // Lists the devices at `address`, opens a session with keep-alive on the
  // first device of `typeName` and sends the service's create request, token
  // first, then `args`. Raises WebServiceException: "<kind> not found" when no
  // such device is listed ("Camera not found" for "ONetCamera"), the fault
  // text of a failed request, or "Create failed" when the service refuses.
  // Nothing stays open when it raises.
  template <class... Params, class... Args>
  static std::unique_ptr<ServiceSession> open(const std::string &address, const char *typeName,
                                              int (*create)(struct soap *, const char *,
                                                            const char *, int, Params...),
                                              const Args &...args) {
    auto session = std::make_unique<ServiceSession>(address);
    session->openDevice(typeName);
    mox::webservice::client::SoapGuard lease(session->cache(), true);
    int status = 0;
    const int rc = lease.send([&](struct soap *c, const char *e) {
      return create(c, e, "", session->token_, args..., status);
    });
    if (rc == 0 && status != 0)
      throw mox::webservice::WebServiceException(
          "Create failed", "setting up the service: " + ocamera::statusText(status));
    duringStep("setting up the service",
               [&] { lease.finish(); });  // raises when the request failed
    return session;
  }

  // One request with the session's token first: the reply's status, or -1 when
  // the request failed.
  template <class... Params, class... Args>
  int send(int (*call)(struct soap *, const char *, const char *, int, Params...), Args &&...args) {
    return callStatus(cache(), call, token_, std::forward<Args>(args)...);
  }

  // Ends the object's calls (SoapCache::closeCalls): new ones fail, those in
  // flight are cut, and this waits for them, at most kCallsEndBound. False
  // when calls are still running then: the session, its cache and the object
  // must be left as they are.
  bool endCalls();

  // Sends the service's destroy request and closes the session; the destroy
  // request's status, or -1 when it failed. Goes on after endCalls.
  int end(TokenCall destroy);

  // A cut call fails at once; one still connecting ends within the connect
  // time-out (2 s). The rest is room for a loaded machine.
  static constexpr std::chrono::milliseconds kCallsEndBound{10000};

  int token() const { return token_; }
  // The description the camera's device list gave the device.
  const std::string &description() const { return description_; }
  mox::webservice::client::SoapCache &cache() { return manager_->soapCache(); }
  mox::webservice::client::DeviceManager &manager() { return *manager_; }

 private:
  void openDevice(const char *typeName);

  std::unique_ptr<mox::webservice::client::DeviceManager> manager_;
  boost::shared_ptr<mox::webservice::client::Device> device_;
  int token_ = 0;
  std::string description_;
};

}  // namespace remote
}  // namespace ocamera
