// The namespace table every context of the library and the simulator speaks.
#include "stdsoap2.h"

#include "protocol/transport.h"

namespace ocamera {
namespace wire {

const char kDeviceManagerUrn[] = "urn:ocamera:vdx/DeviceManager";

}  // namespace wire
}  // namespace ocamera

// Entries 1-4 accept the SOAP 1.2 and other-year schema URIs on input; the five
// services must use exactly their own URIs. The table ends with an empty row.
#define OCAMERA_NAMESPACE_ROWS                                                                  \
  {"SOAP-ENV", "http://schemas.xmlsoap.org/soap/envelope/", "http://www.w3.org/*/soap-envelope", \
   nullptr},                                                                                    \
      {"SOAP-ENC", "http://schemas.xmlsoap.org/soap/encoding/",                                 \
       "http://www.w3.org/*/soap-encoding", nullptr},                                           \
      {"xsi", "http://www.w3.org/2001/XMLSchema-instance",                                      \
       "http://www.w3.org/*/XMLSchema-instance", nullptr},                                      \
      {"xsd", "http://www.w3.org/2001/XMLSchema", "http://www.w3.org/*/XMLSchema", nullptr},    \
      {"rdev", ocamera::wire::kDeviceManagerUrn, nullptr, nullptr},                             \
      {"scam", "urn:vdx", nullptr, nullptr}, {"sinp", "urn:vdx_inputs", nullptr, nullptr},      \
      {"sout", "urn:vdx_outputs", nullptr, nullptr}, {"sled", "urn:vdx_leds", nullptr, nullptr}, \
  {                                                                                             \
    nullptr, nullptr, nullptr, nullptr                                                          \
  }

namespace ocamera {
namespace wire {

// Our own copy: an application that also uses gSOAP defines the global table
// below with its own namespaces, and its definition may take the place of ours.
static struct Namespace kTable[] = {OCAMERA_NAMESPACE_ROWS};

struct Namespace *namespace_table() { return kTable; }

}  // namespace wire
}  // namespace ocamera

// The SOAP runtime refers to a global table by this name even when every
// context is given its own; it must be visible outside a shared library too.
__attribute__((visibility("default"))) SOAP_NMAC struct Namespace namespaces[] = {
    OCAMERA_NAMESPACE_ROWS};
