// The viewer: the camera streamed into a page served over HTTP.
//
// Endpoints (every request carries the access token, see viewer/access.h):
//   GET  /, /app.js, /style.css   the page
//   GET  /picture.jpg?scale=N&after=G   the newest picture once there is one
//                                 newer than number G (X-Generation), or 204
//                                 after a second without; the page asks for
//                                 one at a time, so however slow the browser,
//                                 what it shows is at most a picture behind
//   GET  /stream.mjpg?scale=N     the live picture as multipart JPEG (for
//                                 <img>, players); behind by at most what the
//                                 connection's buffers hold
//                                 Both: N = 1, 2, 4 or 8 divides the frame's
//                                 size; X-Sequence, X-Camera-Time-Us and
//                                 X-Frame-Size say which frame it shows
//   GET  /api/status?after=E      numbers, state, events after E, histogram, I/O
//   GET  /api/settings            the library's settings table and the values set
//   POST /api/settings            a settings document (JSON) to make
//   POST /api/reset               the camera's power-on settings
//   GET  /api/profile             what this viewer set, as a profile to save
//   POST /api/profile             a profile to load (same as /api/settings)
//   POST /api/io                  {"output": 0..3 | "led": 0..7, "on": bool}
//   GET  /snapshot.png, /snapshot.raw   the newest frame, full size
// Errors are {"error": "..."} with a 4xx/5xx status; a refused request
// changes nothing.
#pragma once

#include <ocamera/stream.h>

#include <memory>
#include <string>

namespace ocam_viewer {

struct ViewerOptions {
  std::string cameraAddress;  // host:port of the camera service
  std::string ioAddress;      // host:port of the I/O services; empty: no I/O panel
  std::string bindAddress = "127.0.0.1";
  int port = 0;        // 0: a free port
  std::string token;   // empty: a random one
  int maxViewers = 4;  // live pictures served at once
  int ioPollMs = 250;
  std::size_t maxBodyBytes = 64 * 1024;
  // The kernel's send buffer of each connection: what a slow browser can
  // have queued behind it. Small, so that its pictures stay recent and a
  // stalled one is found out (and cut off after the write time-out).
  int sendBufferBytes = 256 * 1024;
  int writeTimeoutS = 5;          // a browser that takes no bytes this long is cut off
  ocamera::StreamOptions stream;  // the window, pattern, type, recovery
};

class Viewer {
 public:
  explicit Viewer(ViewerOptions options);
  ~Viewer();  // stop()s
  Viewer(const Viewer &) = delete;
  Viewer &operator=(const Viewer &) = delete;

  // Connects to the camera, starts the stream, binds and starts serving;
  // false with the reason in *error (nothing left running).
  bool start(std::string *error);
  // Ends serving, then stops the camera (mode STOP, close, session ended).
  void stop();

  int port() const;
  const std::string &token() const;
  // "http://ADDRESS:PORT/?token=TOKEN" (the bind address; loopback for a wildcard).
  std::string url() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ocam_viewer
