#include "viewer/camera_link.h"

namespace ocam_viewer {

namespace {
constexpr std::size_t kEventsKept = 32;
}  // namespace

CameraLink::~CameraLink() { close(); }

bool CameraLink::open(const std::string &address, const ocamera::StreamOptions &options,
                      std::string *error) {
  stream_ = ocamera::Stream::create(address.c_str(), options, error);
  if (!stream_) return false;
  stream_->setFrameCallback([this](ocamera::Frame &frame) { hub_.offer(std::move(frame)); });
  stream_->setEventCallback([this](ocamera::StreamEvent event, const std::string &detail) {
    static const char *const kinds[] = {"started", "lost",    "recovered",
                                        "gave up", "stopped", "error"};
    const int i = static_cast<int>(event);
    noteEvent(i >= 0 && i < 6 ? kinds[i] : "event", detail);
  });
  if (stream_->start(error) != 0) {
    stream_.reset();
    return false;
  }
  return true;
}

void CameraLink::close() {
  if (stream_) stream_->stop();
  stream_.reset();
}

void CameraLink::noteEvent(const std::string &kind, const std::string &detail) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back({++eventCount_, kind, detail});
  while (events_.size() > kEventsKept) events_.pop_front();
}

ocamera::StreamStats CameraLink::stats() const {
  return stream_ ? stream_->stats() : ocamera::StreamStats();
}

ocamera::StreamOptions CameraLink::options() const {
  return stream_ ? stream_->options() : ocamera::StreamOptions();
}

std::vector<LinkEvent> CameraLink::eventsAfter(std::uint64_t after) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LinkEvent> out;
  for (const LinkEvent &e : events_)
    if (e.number > after) out.push_back(e);
  return out;
}

std::string CameraLink::stateText() const {
  switch (stream_ ? stream_->state() : ocamera::StreamState::Stopped) {
    case ocamera::StreamState::Running:
      return "running";
    case ocamera::StreamState::Lost:
      return "lost";
    default:
      return "stopped";
  }
}

int CameraLink::readExposure() {
  if (!stream_) return -1;
  return stream_->withCamera([](OCamera &camera) { return camera.getShutterTime(); });
}

}  // namespace ocam_viewer
