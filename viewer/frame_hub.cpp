#include "viewer/frame_hub.h"

#include <ocamera/tools.h>

#include <algorithm>
#include <chrono>

#include "viewer/image_codec.h"

namespace ocam_viewer {

using Clock = std::chrono::steady_clock;

namespace {
// How long pictures are made after the numbers asked for one without a
// viewer, or after a viewer asked for its scale.
constexpr auto kAskedFor = std::chrono::seconds(3);
// The scale made for the numbers alone: small, the histogram is all it is for.
constexpr int kNumbersScale = 4;
}  // namespace

FrameHub::FrameHub(int maxViewers, int jpegQuality)
    : maxViewers_(maxViewers), quality_(jpegQuality) {}

FrameHub::~FrameHub() { close(); }

void FrameHub::start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (encoder_.joinable() || closed_) return;
  encoder_ = std::thread([this] { run(); });
}

void FrameHub::close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  frameReady_.notify_all();
  pictureReady_.notify_all();
  if (encoder_.joinable() && encoder_.get_id() != std::this_thread::get_id()) encoder_.join();
}

bool FrameHub::closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

void FrameHub::offer(ocamera::Frame &&frame) {
  auto kept = std::make_shared<ocamera::Frame>(std::move(frame));
  std::shared_ptr<const ocamera::Frame> old;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    old = std::move(frame_);
    frame_ = std::move(kept);
    ++frameCount_;
  }
  frameReady_.notify_one();
  // `old` goes back to the pool here, outside the lock (unless the encoder holds it).
}

std::shared_ptr<const ocamera::Frame> FrameHub::newestFrame() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frame_;
}

FrameHub::Seat::~Seat() { hub_.leave(scale_); }

std::unique_ptr<FrameHub::Seat> FrameHub::join(int scale) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || !validScale(scale)) return nullptr;
  int taken = 0;
  for (const auto &s : seats_) taken += s.second;
  if (taken >= maxViewers_) return nullptr;
  ++seats_[scale];
  askedUntil_[scale] = Clock::now() + kAskedFor;
  return std::unique_ptr<Seat>(new Seat(*this, scale));
}

void FrameHub::leave(int scale) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = seats_.find(scale);
  if (it != seats_.end() && --it->second == 0) seats_.erase(it);
}

int FrameHub::viewers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int taken = 0;
  for (const auto &s : seats_) taken += s.second;
  return taken;
}

std::shared_ptr<const Picture> FrameHub::wait(const Seat &seat, std::uint64_t after,
                                              int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  std::shared_ptr<const Picture> found;
  pictureReady_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    if (closed_) return true;
    auto it = pictures_.find(seat.scale());
    if (it != pictures_.end() && it->second->generation > after) found = it->second;
    return found != nullptr;
  });
  return closed_ ? nullptr : found;
}

std::shared_ptr<const Picture> FrameHub::newestPicture() {
  bool wake = false;
  std::shared_ptr<const Picture> newest;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wake = Clock::now() >= numbersUntil_;
    numbersUntil_ = Clock::now() + kAskedFor;
    newest = newest_;
  }
  if (wake) frameReady_.notify_one();
  return newest;
}

std::vector<int> FrameHub::wantedScales(Clock::time_point now) const {
  std::vector<int> scales;
  for (const auto &s : askedUntil_)
    if (seats_.count(s.first) || now < s.second) scales.push_back(s.first);
  if (scales.empty() && now < numbersUntil_) scales.push_back(kNumbersScale);
  return scales;  // ascending: the largest picture first
}

void FrameHub::run() {
  JpegEncoder encoder;
  std::vector<unsigned char> rgb, shrunk, jpeg;
  std::uint64_t done = 0;  // frameCount_ of the last frame made into pictures
  for (;;) {
    std::shared_ptr<const ocamera::Frame> frame;
    std::vector<int> scales;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // Wakes at least once a second so that an interest that lapsed while
      // a frame waited is seen again.
      frameReady_.wait_for(lock, std::chrono::seconds(1), [&] {
        return closed_ || (frameCount_ != done && !wantedScales(Clock::now()).empty());
      });
      if (closed_) return;
      scales = wantedScales(Clock::now());
      if (frameCount_ == done || scales.empty()) continue;
      frame = frame_;
      done = frameCount_;
    }
    if (!frame || !*frame) continue;
    const int w = frame->width(), h = frame->height();
    const std::size_t pixels = static_cast<std::size_t>(w) * h;
    if (w < 2 || h < 2 || frame->size() < pixels) continue;
    rgb.resize(pixels * 3);
    if (frame->channels() == 3) {
      std::copy(frame->data(), frame->data() + pixels * 3, rgb.begin());
    } else if (OCameraTools::ConvertsPattern(frame->pattern())) {
      // The conversion reads its source only; the frame stays as it came.
      OCameraTools::Bayer2RGB(const_cast<unsigned char *>(frame->data()), rgb.data(), w, h,
                              frame->pattern());
    } else {
      for (std::size_t i = 0; i < pixels; ++i)
        rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = frame->data()[i];
    }
    const long long cameraTimeUs =
        static_cast<long long>(frame->timeSec()) * 1000000 + frame->timeMicroSec();
    const int seqNr = frame->seqNr();
    frame.reset();  // back to the stream's pool before the slow part
    for (int scale : scales) {
      const int pw = w / scale, ph = h / scale;
      if (pw < 1 || ph < 1) continue;
      shrinkRgb(rgb.data(), w, h, scale, shrunk);
      if (!encoder.encode(shrunk.data(), pw, ph, quality_, jpeg)) continue;
      auto picture = std::make_shared<Picture>();
      picture->seqNr = seqNr;
      picture->cameraTimeUs = cameraTimeUs;
      picture->width = pw;
      picture->height = ph;
      picture->frameWidth = w;
      picture->frameHeight = h;
      picture->scale = scale;
      picture->jpeg.swap(jpeg);
      picture->histogram = histogramOf(shrunk.data(), pw, ph);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        picture->generation = ++generation_;
        pictures_[scale] = picture;
        if (scale == scales.front()) newest_ = picture;
      }
      pictureReady_.notify_all();
    }
  }
}

}  // namespace ocam_viewer
