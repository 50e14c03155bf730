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

// Makes every connection the context (and each copy of it) opens notice a host
// that stops answering, with the probes and limits of protocol/dead_peer.h.
// For client contexts; a context given its own connect hook afterwards keeps
// that hook instead.
void watchPeer(struct soap *ctx);

// The process-wide reply time-out of client requests in milliseconds, 0 when
// off (the default). Values <= 0 switch it off. Thread-safe.
void setReplyTimeout(int milliseconds);
int replyTimeout();

// A reply time-out for the requests the calling thread starts while the
// object lives, in place of the process-wide one (0 switches it off for this
// thread). A stream bounds its own threads' requests this way without
// changing those of the application's other objects. Scopes nest; each
// restores the one before it.
class ThreadReplyTimeout {
 public:
  explicit ThreadReplyTimeout(int milliseconds);
  ~ThreadReplyTimeout();
  ThreadReplyTimeout(const ThreadReplyTimeout &) = delete;
  ThreadReplyTimeout &operator=(const ThreadReplyTimeout &) = delete;

 private:
  int previous_;
};

// The reply time-out that applies to a request the calling thread starts now.
int effectiveReplyTimeout();

// Gives a client context the reply time-out in force now as its receive and
// send stall time-outs (none when it is off). Called each time a context is
// lent for a request, so a change applies to every request started after it;
// a thread's own time-out (ThreadReplyTimeout) comes first.
void applyReplyTimeout(struct soap *ctx);

}  // namespace wire
}  // namespace ocamera
