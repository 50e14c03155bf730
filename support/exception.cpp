#include "support/exception.h"

#include <sstream>

#include "stdsoap2.h"

namespace mox {
namespace webservice {
namespace {

// The runtime hands out the address of each fault field; either may be null.
const char *field(const char **address) { return address ? *address : nullptr; }

}  // namespace

std::string faultText(struct soap *ctx) {
  std::ostringstream text;
  if (const char *code = field(soap_faultcode(ctx))) text << code << ": ";
  if (const char *string = field(soap_faultstring(ctx))) text << string;
  if (const char *detail = field(soap_faultdetail(ctx))) text << " Details: " << detail;
  return text.str();
}

}  // namespace webservice
}  // namespace mox
