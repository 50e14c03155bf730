// Settings shared by every SOAP context that talks the camera protocol, on the
// client side and in the simulator.
#pragma once

struct soap;
struct Namespace;

namespace ocamera {
namespace wire {

// Namespace URI of the device-manager service; both ends use this one string.
extern const char kDeviceManagerUrn[];

// The value of the "User-Agent" header of every HTTP-framed request.
constexpr const char *kUserAgent = "gSOAP/2.7";

// The namespace table: SOAP-ENV, SOAP-ENC, xsi, xsd, rdev, scam, sinp, sout, sled.
struct Namespace *namespace_table();

// Gives a freshly initialised context the namespace table and the header hooks:
// every request carries "User-Agent: kUserAgent" and a "Connection" header only
// when the context keeps its connections alive; socket buffer sizes are left
// to the kernel. Copies made with
// soap_copy_context keep all of it.
void configure(struct soap *ctx);

}  // namespace wire
}  // namespace ocamera
