// Visibility of the library's exported entry points, and the settings that
// apply to every object of the library at once.
#pragma once

#if defined(OCAMERA_BUILDING)
#define OCAMERA_API __attribute__((visibility("default")))
#else
#define OCAMERA_API
#endif

namespace ocamera {

// The camera's factory-default IPv4 address. The static factories use it: the
// camera service on port 80 (the address alone), the inputs, outputs and LED
// services on port 8080.
constexpr const char *kFactoryDefaultAddress = "192.168.0.42";
// The port of the inputs, outputs and LED services, and the address their
// static factories use.
constexpr int kIoServicePort = 8080;
constexpr const char *kFactoryDefaultIoAddress = "192.168.0.42:8080";  // the two together

// ---------------------------------------------------------------- reply time-out
//
// By default a request waits for its reply as long as the camera's host is
// alive (a camera may legitimately take long: an image read with a long read
// time-out, an input wait); a host that stops answering fails the request
// within the library's dead-peer bound. An application that also wants a hard
// limit against a camera that accepts requests and never answers sets a reply
// time-out: every request started afterwards, of every object (including the
// keep-alive requests and those of destroy), that waits longer than this for
// its reply fails with -1, and its connection is dropped so the next request
// starts on a fresh one. The time-out counts while nothing arrives: it runs
// from the moment the request is sent, and again across any pause inside a
// reply (or while the camera takes no more request bytes), so a large image
// that keeps flowing is never cut short. So that a camera cannot hold a request
// for ever by sending a byte now and then, a reply that has begun must also
// keep a floor on its rate: every further time-out period of it must bring at
// least 4 KiB (kMinReplyBytesPerTimeout), or the request fails with -1 and its
// connection is dropped, within about two periods of the reply's start. The
// floor is far below any working link (a 100 ms time-out asks for 40 KiB/s),
// so a large image that keeps flowing is never cut. A wait of the camera that
// is meant to take longer (an input wait with a long time-out) fails too, so
// choose it longer than any such wait. Requests already waiting keep the setting they
// started with.
//
// milliseconds <= 0 switches it off (the default), and the rate floor with it.
// Thread-safe.
OCAMERA_API void setReplyTimeout(int milliseconds);
// The reply time-out in force, 0 when off.
OCAMERA_API int replyTimeout();
// The rate floor under a reply time-out: bytes per time-out period.
constexpr int kMinReplyBytesPerTimeout = 4096;

// ---------------------------------------------------------------- log lines
//
// Where the library's own lines go. Without a handler (the default, and after
// setLogHandler(nullptr, nullptr)) a failed creation writes its line to
// standard error and a failed keep-alive request writes "failure keep-alive"
// to standard output. With a handler every such line is passed to it instead
// (without a line end), on the thread that produced it: an application thread
// for creation and request lines, an object's keep-alive thread for keep-alive
// lines. The handler must be thread-safe and must not call into the library.
enum class LogSource : int {
  Creation = 0,   // a factory failed; the line says why
  KeepAlive = 1,  // a keep-alive request failed
  Request = 2,    // one request and its result (only with setRequestLogging(true))
};
// Receives each line (without a line end) with its source and the user
// pointer given to setLogHandler.
using LogHandler = void (*)(LogSource source, const char *line, void *user);
// Installs handler (called with user as its last argument); thread-safe.
OCAMERA_API void setLogHandler(LogHandler handler, void *user);
// With on, every request of every object produces one Request line naming the
// operation and its result. Off by default. Thread-safe.
OCAMERA_API void setRequestLogging(bool on);

}  // namespace ocamera
