// mox::webservice::client::Device: the client side of one device session.
#pragma once

#include <atomic>
#include <boost/thread/mutex.hpp>

#include "support/descriptor.h"
#include "support/soap_cache.h"
#include "support/thread.h"

namespace mox {
namespace webservice {
namespace client {

// Opens a session on a device ("rdev:open"), keeps it alive from its own thread
// ("rdev:keepAlive" every half of the device's time-out, checked in 500 ms
// steps) and closes it ("rdev:close"). Two keep-alive failures in a row close
// the session from the keep-alive thread.
//
// The device borrows its contexts from the cache of the device manager that made
// it: close it before that manager is destroyed. open and close are called by
// the owner's thread; token() and isOpen() may be read from any thread. A
// derived class whose hooks do something must close() in its own destructor.
class Device : public mox::Thread {
 public:
  Device(const Descriptor *descriptor, SoapCache &cache);
  virtual ~Device();

  // Raises "Device already open", or the fault text when "rdev:open" fails.
  void open(bool keepAlive, int accessMode);
  // Stops the keep-alive thread, then sends "rdev:close" if open. Never raises
  // a web-service exception.
  void close();
  // Sends one "rdev:keepAlive"; on failure closes the session if asked to.
  bool keepAlive(bool closeOnFailure);

  int token() const { return token_.load(); }
  bool isOpen() const { return open_.load(); }
  SoapCache &soapCache() const { return *cache_; }
  const Descriptor &descriptor() const { return descriptor_; }

  // Length of one step of the keep-alive loop in milliseconds.
  static constexpr int kStepMs = 500;

 protected:
  void run() override;
  virtual void reserved1() {}
  virtual void opened() {}
  virtual void closed() {}
  virtual void reserved2() {}

 private:
  void closeSession();

  std::atomic<bool> open_{false};
  std::atomic<int> token_{0};
  SoapCache *cache_;
  Descriptor descriptor_;
  // Held while a session is opened or closed, so that the application and the
  // keep-alive thread never close one session twice or close a half-open one.
  boost::mutex sessionMutex_;
};

}  // namespace client
}  // namespace webservice
}  // namespace mox
