#include "support/device_manager.h"

#include <cstring>
#include <map>
#include <memory>

#include "ocamH.h"
#include "protocol/connection_guard.h"
#include "protocol/limits.h"
#include "protocol/transport.h"
#include "support/device.h"
#include "support/log.h"
#include "support/soap_cache.h"

namespace mox {
namespace webservice {
namespace client {
namespace {

const std::size_t kPooledContexts = 4;
const int kConnectTimeoutSeconds = 2;

std::unique_ptr<char[]> copyString(const std::string &text) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

std::string orEmpty(const char *text) { return text ? std::string(text) : std::string(); }

}  // namespace

// The endpoint and proxy host are declared first so that they outlive the
// cache (its contexts point at them).
struct DeviceManager::Impl {
  Impl(std::unique_ptr<char[]> endpointText, std::unique_ptr<char[]> proxyText,
       const struct soap *prototype)
      : endpoint(std::move(endpointText)),
        proxyHost(std::move(proxyText)),
        cache(prototype, endpoint.get(), kPooledContexts) {}

  std::unique_ptr<char[]> endpoint;
  std::unique_ptr<char[]> proxyHost;
  std::map<std::string, Factory> registry;
  std::list<Descriptor> devices;
  SoapCache cache;
};

DeviceManager::DeviceManager(const std::string &address, bool keepAlive,
                             const std::string &proxyHost, unsigned short proxyPort) {
  const soap_mode mode = keepAlive ? SOAP_IO_KEEPALIVE : SOAP_IO_DEFAULT;
  // The prototype lives only until the cache has copied it.
  struct soap prototype(mode, mode);
  ocamera::wire::configure(&prototype);
  // A host that vanishes fails the call in flight instead of blocking it.
  ocamera::wire::watchPeer(&prototype);
  // A reply that trickles fails under a reply time-out, and destroy can cut
  // the requests in flight.
  ocamera::wire::guardConnections(&prototype);
  ocamera::wire::applyClientLimits(&prototype);
  ocamera::support::noteRequests(&prototype);
  prototype.connect_timeout = kConnectTimeoutSeconds;
  prototype.recv_timeout = 0;

  std::unique_ptr<char[]> endpoint = copyString(address);
  std::unique_ptr<char[]> proxy;
  if (!proxyHost.empty() && proxyPort != 0) {
    proxy = copyString(proxyHost);
    prototype.proxy_host = proxy.get();
    prototype.proxy_port = proxyPort;
  }
  impl_ = std::make_unique<Impl>(std::move(endpoint), std::move(proxy), &prototype);
}

DeviceManager::~DeviceManager() = default;

void DeviceManager::registerType(const std::string &type, Factory factory) {
  impl_->registry[type] = factory;
}

boost::shared_ptr<Device> DeviceManager::createDevice(std::string type) {
  list();
  const Descriptor *found = nullptr;
  for (const Descriptor &descriptor : impl_->devices) {
    if (descriptor.type == type) {
      found = &descriptor;
      break;
    }
  }
  if (!found) return boost::shared_ptr<Device>();
  auto factory = impl_->registry.find(found->type);
  if (factory == impl_->registry.end()) throw WebServiceException("type not registered");
  return factory->second(found, impl_->cache);
}

void DeviceManager::list() {
  SoapGuard lease(impl_->cache, true);
  ocam::rdev__listResponse result;
  const int rc = lease.send(
      [&](struct soap *c, const char *e) { return ocam::soap_call_rdev__list(c, e, "", result); });
  impl_->devices.clear();
  if (rc == SOAP_OK) {
    // The reply lives in the lent context: copy it before the lease ends.
    for (int i = 0; result.devices && i < result.__sizedevices; ++i) {
      const ocam::rdev__Descriptor &in = result.devices[i];
      Descriptor out;
      out.id = in.id;
      out.vendor = orEmpty(in.vendor);
      out.type = orEmpty(in.type);
      out.description = orEmpty(in.description);
      out.versionMajor = in.versionMajor;
      out.versionMinor = in.versionMinor;
      out.maxTimeout = in.maxTimeout;
      out.status = orEmpty(in.status);
      impl_->devices.push_back(out);
    }
  }
  // Over the list limit the runtime stops without a fault text of its own.
  if (rc == SOAP_OCCURS)
    throw WebServiceException(std::string(impl_->endpoint.get()) + ": device list too long");
  lease.finish();
}

const std::list<Descriptor> &DeviceManager::devices() const { return impl_->devices; }

SoapCache &DeviceManager::soapCache() { return impl_->cache; }

}  // namespace client
}  // namespace webservice
}  // namespace mox
