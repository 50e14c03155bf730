#include "support/exception.h"

#include <cctype>
#include <cstring>
#include <sstream>

#include "protocol/transport.h"
#include "stdsoap2.h"

namespace mox {
namespace webservice {
namespace {

// The runtime hands out the address of each fault field; either may be null.
const char *field(const char **address) { return address ? *address : nullptr; }

// strerror's text with a lower-case start, to follow "WHAT: ".
std::string systemError(int errnum) {
  std::string text = std::strerror(errnum);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

std::string faultText(struct soap *ctx) {
  std::ostringstream text;
  if (const char *code = field(soap_faultcode(ctx))) text << code << ": ";
  if (const char *string = field(soap_faultstring(ctx))) text << string;
  if (const char *detail = field(soap_faultdetail(ctx))) text << " Details: " << detail;
  return text.str();
}

std::string faultReason(struct soap *ctx) {
  const char *string = field(soap_faultstring(ctx));
  switch (ctx->error) {
    case SOAP_OK:
      return "";
    case SOAP_TCP_ERROR:
      if (ctx->errnum) return systemError(ctx->errnum);
      if (string && std::strstr(string, "ost name")) return "the host name cannot be resolved";
      return "the connection could not be made";
    case SOAP_EOF:
      // The runtime leaves errnum 0 when a receive or send time-out ran out.
      if (ctx->errnum) return "the connection broke: " + systemError(ctx->errnum);
      if (const int ms = ocamera::wire::effectiveReplyTimeout())
        return "no answer within " + std::to_string(ms) + " ms";
      return "the camera closed the connection";
    case SOAP_CLI_FAULT:
    case SOAP_SVR_FAULT:
    case SOAP_FAULT:
      if (string && *string) return std::string("the camera answered with a fault: ") + string;
      return "the camera answered with a fault";
    case SOAP_HTTP_ERROR:
      return "the camera answered an HTTP error";
    default:
      return "the camera's reply could not be read";
  }
}

}  // namespace webservice
}  // namespace mox
