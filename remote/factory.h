// The boundary of every exported factory: nothing is thrown across it.
#pragma once

#include <exception>
#include <string>

namespace ocamera {
namespace remote {

// The one line a failed creation writes: the failure's text, or when that is
// empty the address and that no reason was given.
void logCreationFailure(const char *factory, const char *address, const char *reason);

// Runs make(address) and returns what it made. A null or empty address, and
// any exception make raises (a failed request, a refused thread start, memory
// running out), give null after one line through the library's log.
template <class Make>
auto createGuarded(const char *factory, const char *address, Make make) noexcept
    -> decltype(make(std::string())) {
  if (!address || !*address) {
    logCreationFailure(factory, nullptr, "no camera address given");
    return nullptr;
  }
  try {
    return make(std::string(address));
  } catch (const std::exception &e) {
    logCreationFailure(factory, address, e.what());
  } catch (...) {
    logCreationFailure(factory, address, "");
  }
  return nullptr;
}

}  // namespace remote
}  // namespace ocamera
