// The boundary of every exported factory: nothing is thrown across it.
#pragma once

#include <exception>
#include <new>
#include <string>

#include "support/exception.h"

namespace ocamera {
namespace remote {

// The one line a failed creation writes: the failure's text, or when that is
// empty the address and that no reason was given.
void logCreationFailure(const char *factory, const char *address, const char *reason);

// Keeps what lastCreationError() answers on this thread: "" after a success,
// else "cannot create the <object> at <address>: <why>".
void noteCreation(const char *factory, const char *address, const std::string &why);

// Runs step(), giving a WebServiceException it raises a reason that starts
// with what was being done: "listing the devices: connection refused".
template <class Step>
void duringStep(const char *what, Step step) {
  try {
    step();
  } catch (const mox::webservice::WebServiceException &e) {
    throw mox::webservice::WebServiceException(e.message(), std::string(what) + ": " + e.reason());
  }
}

// Runs make(address) and returns what it made. A null or empty address, and
// any exception make raises (a failed request, a refused thread start, memory
// running out), give null after one line through the library's log.
template <class Make>
auto createGuarded(const char *factory, const char *address, Make make) noexcept
    -> decltype(make(std::string())) {
  if (!address || !*address) {
    noteCreation(factory, address, "no camera address given");
    logCreationFailure(factory, nullptr, "no camera address given");
    return nullptr;
  }
  try {
    auto made = make(std::string(address));
    noteCreation(factory, address, "");
    return made;
  } catch (const mox::webservice::WebServiceException &e) {
    noteCreation(factory, address, e.reason());
    logCreationFailure(factory, address, e.what());
  } catch (const std::bad_alloc &) {
    noteCreation(factory, address, "out of memory");
    logCreationFailure(factory, address, "out of memory");
  } catch (const std::exception &e) {
    noteCreation(factory, address, e.what());
    logCreationFailure(factory, address, e.what());
  } catch (...) {
    noteCreation(factory, address, "no reason given");
    logCreationFailure(factory, address, "");
  }
  return nullptr;
}

}  // namespace remote
}  // namespace ocamera
