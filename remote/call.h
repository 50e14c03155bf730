// One request of a camera-side service under a silent lease.
#pragma once

#include "support/soap_cache.h"

namespace ocamera {
namespace remote {

// Sends one request whose reply holds a single status and returns that status,
// or -1 when the request failed. `call` is a generated client call such as
// ocam::soap_call_scam__setGain; `args` are its inputs after the SOAPAction and
// before the status, e.g.
//
//   return callStatus(cache, &ocam::soap_call_scam__setGain, token, factor);
//
// The context is borrowed with a silent lease of `kind` and handed back before
// returning.
template <class... Params, class... Args>
int callStatusAs(mox::webservice::client::LeaseKind kind, mox::webservice::client::SoapCache &cache,
                 int (*call)(struct soap *, const char *, const char *, Params...),
                 const Args &...args) {
  mox::webservice::client::SoapGuard lease(cache, false, kind);
  int status = 0;
  const int rc = lease.send([&](struct soap *ctx, const char *endpoint) {
    return call(ctx, endpoint, "", args..., status);
  });
  if (rc == 0) lease.noteStatus(status);
  lease.finish();
  return rc == 0 ? status : -1;
}

// The same as one of the owning object's calls.
template <class... Params, class... Args>
int callStatus(mox::webservice::client::SoapCache &cache,
               int (*call)(struct soap *, const char *, const char *, Params...),
               const Args &...args) {
  return callStatusAs(mox::webservice::client::LeaseKind::kCall, cache, call, args...);
}

}  // namespace remote
}  // namespace ocamera
