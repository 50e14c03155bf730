// Running a generated client call so that a failed request leaves the caller's
// result alone: how the protocol tests call the camera services directly. (The
// library's own send path is remote/call.h.)
//
// The generated calls (ocam::soap_call_<prefix>__<operation>) clear their out
// value before they read the reply, so a call that fails half-way (a fault, a
// broken connection, an unexpected reply element) would still overwrite what
// the caller passed in. ocamera::wire::call reads the reply into a scratch
// value and copies it to the caller only when the call succeeded.
#pragma once

#include <type_traits>
#include <utility>

#include "stdsoap2.h"

namespace ocamera {
namespace wire {

// The SOAPAction of every request. An empty string (not null) makes the
// runtime send the header as `SOAPAction: ""`.
constexpr const char *kNoAction = "";

// Calls fn(ctx, endpoint, kNoAction, in..., reply) and assigns the reply to
// `out` only when the call returns SOAP_OK; returns the call's result.
//
// `out` is the reply place of the operation: the int of a status or token
// reply, a reply object (scam__SingleImageResponse, rdev__listResponse, ...),
// or the empty reply struct of an operation that takes it by pointer
// (rdev__closeResponse, rdev__keepAliveResponse).
//
//   int status = -1;
//   int rc = ocamera::wire::call(ocam::soap_call_scam__setGain, ctx, endpoint, status, token, 3);
//
// A reply object copied this way still points into the context's memory (base64
// payloads, strings, lists) and is valid until that memory is released.
template <typename Fn, typename Out, typename... In>
int call(Fn fn, struct soap *ctx, const char *endpoint, Out &out, In &&...in) {
  Out reply{};
  int result;
  if constexpr (std::is_invocable_v<Fn &, struct soap *, const char *, const char *, In...,
                                    Out *>) {
    result = fn(ctx, endpoint, kNoAction, std::forward<In>(in)..., &reply);
  } else {
    result = fn(ctx, endpoint, kNoAction, std::forward<In>(in)..., reply);
  }
  if (result == SOAP_OK) out = reply;
  return result;
}

}  // namespace wire
}  // namespace ocamera
