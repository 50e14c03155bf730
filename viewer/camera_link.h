// The viewer's camera: a stream of the newest frames into the frame hub, and
// the stream's state and events for the page.
#pragma once

#include <ocamera/stream.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "viewer/frame_hub.h"

namespace ocam_viewer {

// A line of the stream's history shown on the page ("lost: ...", "recovered").
struct LinkEvent {
  std::uint64_t number = 0;  // rises with every event
  std::string kind;          // "started", "lost", "recovered", "gave up", "stopped", "error"
  std::string detail;
};

class CameraLink {
 public:
  CameraLink(FrameHub &hub) : hub_(hub) {}
  ~CameraLink();  // stops the stream
  CameraLink(const CameraLink &) = delete;
  CameraLink &operator=(const CameraLink &) = delete;

  // Connects and starts the stream; false with the reason in *error.
  bool open(const std::string &address, const ocamera::StreamOptions &options, std::string *error);
  // Stops the camera (mode STOP, close) and ends the session; idempotent.
  void close();

  ocamera::StreamStats stats() const;
  ocamera::StreamOptions options() const;
  // The events since `after` (at most the last few).
  std::vector<LinkEvent> eventsAfter(std::uint64_t after) const;
  std::string stateText() const;  // "running", "lost", "stopped"
  // The exposure the camera reports (us), or a status < 0.
  int readExposure();

  // The stream, for the settings the page makes (null before open()).
  ocamera::Stream *stream() { return stream_.get(); }

 private:
  void noteEvent(const std::string &kind, const std::string &detail);

  FrameHub &hub_;
  std::unique_ptr<ocamera::Stream> stream_;
  mutable std::mutex mutex_;  // events_
  std::deque<LinkEvent> events_;
  std::uint64_t eventCount_ = 0;
};

}  // namespace ocam_viewer
