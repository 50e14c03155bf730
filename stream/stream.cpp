// ocamera::Stream: the grab thread, the queue policies, the statistics and the
// recovery after the camera was lost. Built on the public camera interface only.
#include <ocamera/status.h>
#include <ocamera/stream.h>
#include <ocamera/stream_options.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <utility>

#include "stream/frame_pool.h"
#include "stream/rate_meter.h"
#include "stream/recorded_settings.h"

namespace ocamera {
namespace {

using Clock = std::chrono::steady_clock;
using stream::FramePool;
using stream::FrameSlot;

// The library accepts a reply of at most 64 MiB, whose base64 payload decodes
// to at most 48 MiB. An image is decoded straight into the buffer, up to what
// the camera announces, so every buffer has room for that much: no camera can
// make it overrun, and the pages a frame does not fill are never touched and
// cost no memory.
constexpr std::size_t kLargestImage = std::size_t{48} << 20;

std::size_t rawBytes(const StreamOptions &o) {
  return static_cast<std::size_t>(o.width) * static_cast<std::size_t>(o.height);
}

// An options record a stream can run with; "" when it is one, else why not.
std::string invalidOptions(const StreamOptions &o) { return checkStreamOptions(o); }

}  // namespace

struct Stream::Impl {
  using FrameCallback = std::function<void(Frame &frame)>;
  using EventCallback = std::function<void(StreamEvent event, const std::string &detail)>;

  Impl(std::string address, const StreamOptions &options, OCamera *camera)
      : address(std::move(address)),
        options(options),
        pool(std::make_shared<FramePool>(options.bufferCount)),
        camera(camera) {}

  const std::string address;

  // The options as made, with the window and mode as set last (optionsMutex).
  mutable std::mutex optionsMutex;
  StreamOptions options;
  // The copy the grab thread runs with: written by start() before the thread
  // starts, read by the grab thread only.
  StreamOptions active;
  int red = 100, green = 100, blue = 100;  // factors of the conversion in force

  // start(), stop() and the stopped-only setters run one at a time.
  std::mutex control;
  std::thread grabber;

  // The buffers, the queue, and the state below (all under pool->mutex; every
  // change is announced on pool->changed).
  const std::shared_ptr<FramePool> pool;
  bool running = false;   // between start() and stop()
  bool stopping = false;  // stop() asked the grab thread to end
  bool lost = false;
  bool gaveUp = false;
  bool finished = false;  // frameLimit frames were fetched

  // The camera object: calls hold the lock shared; replacing the object and
  // changing the acquisition mode hold it exclusively.
  mutable std::shared_mutex cameraMutex;
  OCamera *camera;

  std::mutex settingsMutex;
  stream::RecordedSettings settings;

  mutable std::mutex statsMutex;
  StreamStats stats;
  stream::RateMeter rate;
  bool haveSeqNr = false;
  int lastSeqNr = 0;

  // Copied (not called) under callbackMutex, so that a callback may replace
  // itself; a copy of a shared pointer allocates nothing.
  std::mutex callbackMutex;
  std::shared_ptr<const FrameCallback> onFrame;
  std::shared_ptr<const EventCallback> onEvent;
  std::atomic<bool> framesToCallback{false};

  // ------------------------------------------------------------------ helpers

  void emit(StreamEvent event, const std::string &detail) {
    std::shared_ptr<const EventCallback> callback;
    {
      std::lock_guard<std::mutex> lock(callbackMutex);
      callback = onEvent;
    }
    if (callback) (*callback)(event, detail);
  }

  void setState(StreamState state) {
    std::lock_guard<std::mutex> lock(statsMutex);
    stats.state = state;
  }

  // Waits up to ms; false when stop() asked the grab thread to end.
  bool pause(int ms) {
    std::unique_lock<std::mutex> lock(pool->mutex);
    return !pool->changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping; });
  }

  // Opens the camera's buffers and makes every setting of the stream on it.
  // Returns 0, or the first failed result (the camera is closed again then).
  // Called with cameraMutex held exclusively; *dropped names recorded
  // settings the camera refused (see RecordedSettings::applyTo).
  int configure(OCamera &cam, const StreamOptions &o, std::string *dropped) {
    int rc = cam.open(static_cast<int>(rawBytes(o)), o.cameraBuffers);
    if (rc != 0) return rc;
    auto applySettings = [&] {
      std::lock_guard<std::mutex> lock(settingsMutex);
      return settings.applyTo(cam, dropped);
    };
    if ((rc = cam.setCameraWindow(o.x0, o.y0, o.width, o.height)) == 0 &&
        (rc = cam.setReadTimeout(o.readTimeoutMs)) == 0 && (rc = applySettings()) == 0 &&
        (rc = cam.setAcquisitionMode(o.acquisitionMode)) == 0)
      return 0;
    cam.setAcquisitionMode(OCamera::ACQ_MODE_STOP);
    cam.close();
    return rc;
  }

  // A call on the camera object with the object kept alive meanwhile; -1
  // while there is none (the camera is lost).
  template <class Call>
  int onCamera(Call call) {
    std::shared_lock<std::shared_mutex> lock(cameraMutex);
    if (!camera) return -1;
    return call(*camera);
  }

  // A recorded setter: made on the camera, and recorded unless the camera
  // refused the value (a failed request, -1, is recorded: the camera may be
  // on its way out). Both locks in the order configure() takes them.
  template <class Store, class Call>
  int setting(stream::RecordedSettings::Kind kind, Store store, Call call) {
    std::shared_lock<std::shared_mutex> lock(cameraMutex);
    const int rc = camera ? call(*camera) : -1;
    if (rc == 0 || rc == -1) {
      std::lock_guard<std::mutex> settingsLock(settingsMutex);
      store(settings);
      settings.record(kind, rc == 0);
    }
    return rc;
  }

  // ------------------------------------------------------------------ grab thread

  // A free slot to fetch into, with room for the frame; null when stopping.
  FrameSlot *takeSlot() {
    FrameSlot *slot = nullptr;
    {
      std::unique_lock<std::mutex> lock(pool->mutex);
      for (;;) {
        if (stopping) return nullptr;
        const bool toQueue = !framesToCallback.load();
        if (toQueue && active.whenFull == QueuePolicy::Block &&
            pool->queued() >= static_cast<std::size_t>(active.queueDepth)) {
          pool->changed.wait(lock);
          continue;
        }
        if ((slot = pool->takeFree())) break;
        // Every buffer is queued or held: the oldest waiting frame makes room.
        if (toQueue && active.whenFull == QueuePolicy::DropOldest && pool->queued() > 0) {
          slot = pool->popOldest();
          std::lock_guard<std::mutex> statsLock(statsMutex);
          ++stats.dropped;
          break;
        }
        pool->changed.wait(lock);
      }
    }
    FramePool::reserve(*slot, std::max(rawBytes(active), kLargestImage),
                       active.rgb ? rawBytes(active) * 3 : 0);
    return slot;
  }

  void giveBack(FrameSlot *slot) { pool->giveBack(slot); }

  enum class Outcome { Frame, Empty, Failed, SessionGone };

  // One image request into slot; detail says what failed.
  //
  // A reply without an image comes back as the camera's status (-21: no frame
  // within the read time-out, not a failure), or, from a library that does
  // not pass that status on, as -1 like a failed request. A -1 that took the
  // read time-out is asked about: a camera that still knows the session
  // answers the buffer count of the open camera, and then it was a time-out.
  // A quick -1 is a failure (a dropped connection, a refusal without image).
  Outcome fetch(FrameSlot &slot, std::string &detail) {
    OCamera::Image image{};
    image.data = slot.raw.get();
    int rc = -1;
    int probe = 0;
    {
      std::shared_lock<std::shared_mutex> lock(cameraMutex);
      if (!camera) return Outcome::Failed;
      const Clock::time_point asked = Clock::now();
      rc = camera->getSingleImageInto(&image);
      if (rc == -1 &&
          Clock::now() - asked >= std::chrono::milliseconds(active.readTimeoutMs) * 3 / 4)
        probe = camera->getMaxImageCount();
    }
    if (rc == 0) {
      if (image.size < 0 || static_cast<std::size_t>(image.size) != rawBytes(active)) {
        detail = "the camera sent a frame of " + std::to_string(image.size) + " bytes, not " +
                 std::to_string(active.width) + "x" + std::to_string(active.height);
        return Outcome::Failed;
      }
      slot.seqNr = image.seqNr;
      slot.timeSec = image.timeSec;
      slot.timeMicroSec = image.timeMicroSec;
      slot.status = image.status;
      return Outcome::Frame;
    }
    if (rc == status::kTimeout || (rc == -1 && probe > 0)) return Outcome::Empty;
    if (rc == status::kBadSession || probe == status::kBadSession) {
      detail = "the camera no longer knows the session";
      return Outcome::SessionGone;
    }
    if (rc == -1)
      detail = "the request failed (no answer from the camera)";
    else if (rc == status::kNoImage)
      detail = "the camera has stopped acquiring (status " + std::to_string(rc) + ")";
    else
      detail = "the camera refused the image request (status " + std::to_string(rc) + ")";
    return Outcome::Failed;
  }

  void convert(FrameSlot &slot) {
    const StreamOptions &o = active;
    slot.width = o.width;
    slot.height = o.height;
    slot.pattern = o.pattern;
    if (!o.rgb) {
      slot.data = slot.raw.get();
      slot.size = rawBytes(o);
      slot.channels = 1;
      return;
    }
    if (o.whiteBalance == WhiteBalance::None)
      OCameraTools::Bayer2RGB(slot.raw.get(), slot.rgb.get(), o.width, o.height, o.pattern);
    else
      OCameraTools::Bayer2RGBWhiteBalance(slot.raw.get(), slot.rgb.get(), o.width, o.height, red,
                                          green, blue, o.pattern);
    slot.data = slot.rgb.get();
    slot.size = rawBytes(o) * 3;
    slot.channels = 3;
  }

  // Counts the frame and hands it to the callback or the queue.
  void deliver(FrameSlot *slot) {
    convert(*slot);
    {
      std::lock_guard<std::mutex> lock(statsMutex);
      // A number at or below the last one is a new count (a reset, a new
      // session after recovery): it starts the gap count afresh.
      if (haveSeqNr && slot->seqNr > lastSeqNr)
        stats.missing += static_cast<std::uint64_t>(slot->seqNr - lastSeqNr - 1);
      haveSeqNr = true;
      lastSeqNr = slot->seqNr;
    }
    std::shared_ptr<const FrameCallback> callback;
    if (framesToCallback.load()) {
      std::lock_guard<std::mutex> lock(callbackMutex);
      callback = onFrame;
    }
    if (callback) {
      countDelivered(slot->size);
      Frame frame = pool->wrap(slot);
      (*callback)(frame);
      return;
    }
    bool dropped = false;
    {
      std::lock_guard<std::mutex> lock(pool->mutex);
      if (pool->queued() >= static_cast<std::size_t>(active.queueDepth)) {
        // Block never gets here with a full queue: takeSlot waited for room.
        dropped = true;
        if (active.whenFull == QueuePolicy::DropNewest) {
          pool->putFree(slot);
          slot = nullptr;
        } else {
          pool->putFree(pool->popOldest());
        }
      }
      if (slot) pool->push(slot);
    }
    if (dropped) {
      std::lock_guard<std::mutex> lock(statsMutex);
      ++stats.dropped;
    }
    if (slot) countDelivered(slot->size);
  }

  void countDelivered(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(statsMutex);
    ++stats.delivered;
    rate.add(Clock::now(), bytes);
  }

  // The camera object is given up at once (camera() is null from the event
  // on) and ended after the event.
  void markLost(const std::string &detail) {
    OCamera *old = nullptr;
    {
      std::unique_lock<std::shared_mutex> lock(cameraMutex);
      std::swap(old, camera);
    }
    {
      std::lock_guard<std::mutex> lock(pool->mutex);
      lost = true;
      pool->changed.notify_all();
    }
    setState(StreamState::Lost);
    emit(StreamEvent::Lost, detail);
    if (old) old->destroy();
  }

  // Replaces the lost camera object; false when stop() cut it short or the
  // tries ran out.
  bool recover() {
    int delay = active.retryInitialMs;
    for (int tries = 1;; ++tries) {
      if (!pause(delay)) return false;
      std::string why, dropped;
      if (OCamera *cam = CreateCameraInterface(active.cameraType, address.c_str())) {
        int rc;
        {
          // Setters wait meanwhile, so that none is made on the new object
          // before the recorded ones, and none is lost between the two.
          std::unique_lock<std::shared_mutex> lock(cameraMutex);
          rc = configure(*cam, active, &dropped);
          if (rc == 0) camera = cam;
        }
        if (rc == 0) {
          {
            std::lock_guard<std::mutex> lock(statsMutex);
            ++stats.recoveries;
            stats.state = StreamState::Running;
            haveSeqNr = false;
          }
          {
            std::lock_guard<std::mutex> lock(pool->mutex);
            lost = false;
            pool->changed.notify_all();
          }
          std::string detail =
              "after " + std::to_string(tries) + " tr" + (tries == 1 ? "y" : "ies");
          if (!dropped.empty()) detail += "; settings the camera refused: " + dropped;
          emit(StreamEvent::Recovered, detail);
          return true;
        }
        cam->destroy();
        why = "setting up the new camera object failed with " + std::to_string(rc);
      } else {
        why = "the camera cannot be reached";
      }
      if (active.retryLimit > 0 && tries >= active.retryLimit) {
        {
          std::lock_guard<std::mutex> lock(pool->mutex);
          gaveUp = true;
          pool->changed.notify_all();
        }
        emit(StreamEvent::GaveUp, why + " (" + std::to_string(tries) + " tries)");
        return false;
      }
      delay = std::min(delay * 2, active.retryMaxMs);
    }
  }

  void grabLoop() {
    int failures = 0;
    int fetched = 0;
    std::string detail;
    for (;;) {
      bool isLost;
      {
        std::lock_guard<std::mutex> lock(pool->mutex);
        if (stopping) return;
        isLost = lost;
      }
      if (isLost) {
        if (!active.recover) {
          std::lock_guard<std::mutex> lock(pool->mutex);
          gaveUp = true;  // nothing will come before stop(): next() need not wait
          pool->changed.notify_all();
          return;
        }
        if (!recover()) return;
        failures = 0;
        continue;
      }
      FrameSlot *slot = takeSlot();
      if (!slot) return;
      const Clock::time_point asked = Clock::now();
      const Outcome outcome = fetch(*slot, detail);
      if (outcome == Outcome::Frame) {
        failures = 0;
        deliver(slot);
        if (active.frameLimit > 0 && ++fetched >= active.frameLimit) {
          std::lock_guard<std::mutex> lock(pool->mutex);
          finished = true;
          pool->changed.notify_all();
          return;
        }
        continue;
      }
      giveBack(slot);
      if (outcome == Outcome::Empty) {
        failures = 0;
        // A camera that answers "no image" at once (stopped behind our back)
        // is asked again only after a read time-out, not in a tight loop.
        if (Clock::now() - asked < std::chrono::milliseconds(active.readTimeoutMs / 2) &&
            !pause(active.readTimeoutMs))
          return;
        continue;
      }
      {
        std::lock_guard<std::mutex> lock(statsMutex);
        ++stats.failedRequests;
      }
      if (outcome == Outcome::SessionGone || ++failures >= active.failuresBeforeLost) {
        markLost(detail);
        failures = 0;
      }
    }
  }
};

// ---------------------------------------------------------------- Stream

Stream::Stream(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<Stream> Stream::create(const char *address, const StreamOptions &options,
                                       std::string *error) {
  auto fail = [&](const std::string &why) {
    if (error) *error = why;
    return std::unique_ptr<Stream>();
  };
  if (!address) return fail("no camera address");
  const std::string invalid = invalidOptions(options);
  if (!invalid.empty()) return fail(invalid);
  OCamera *camera = CreateCameraInterface(options.cameraType, address);
  if (!camera) return fail(lastCreationError());
  return std::unique_ptr<Stream>(new Stream(std::make_unique<Impl>(address, options, camera)));
}

Stream::~Stream() {
  stop();
  if (impl_->camera) impl_->camera->destroy();
}

int Stream::start() {
  Impl &d = *impl_;
  std::unique_lock<std::mutex> control(d.control);
  if (d.grabber.joinable()) return 0;
  {
    std::lock_guard<std::mutex> lock(d.optionsMutex);
    d.active = d.options;
  }
  {
    std::unique_lock<std::shared_mutex> lock(d.cameraMutex);
    // A stream stopped while lost has no camera object: make one now.
    if (!d.camera && !(d.camera = CreateCameraInterface(d.active.cameraType, d.address.c_str())))
      return -1;
    const int rc = d.configure(*d.camera, d.active, nullptr);
    if (rc != 0) return rc;
  }
  d.red = d.active.red;
  d.green = d.active.green;
  d.blue = d.active.blue;
  if (d.active.whiteBalance == WhiteBalance::File) {
    d.red = d.green = d.blue = 100;
    OCameraTools::GetWhiteBalanceFactors(&d.red, &d.green, &d.blue);
  }
  {
    std::lock_guard<std::mutex> lock(d.pool->mutex);
    d.running = true;
    d.stopping = d.lost = d.gaveUp = d.finished = false;
    d.pool->changed.notify_all();
  }
  {
    std::lock_guard<std::mutex> lock(d.statsMutex);
    d.stats.state = StreamState::Running;
    d.haveSeqNr = false;
  }
  d.grabber = std::thread([&d] { d.grabLoop(); });
  control.unlock();  // the event callback may use the stream
  d.emit(StreamEvent::Started, d.address);
  return 0;
}

void Stream::stop() {
  Impl &d = *impl_;
  std::unique_lock<std::mutex> control(d.control);
  if (!d.grabber.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(d.pool->mutex);
    d.stopping = true;
    d.pool->changed.notify_all();
  }
  d.grabber.join();
  {
    std::unique_lock<std::shared_mutex> lock(d.cameraMutex);
    if (d.camera) {
      d.camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP);
      d.camera->close();
    }
  }
  {
    std::lock_guard<std::mutex> lock(d.pool->mutex);
    d.running = false;
    d.lost = d.gaveUp = false;
    d.pool->dropQueued();
  }
  d.setState(StreamState::Stopped);
  control.unlock();
  d.emit(StreamEvent::Stopped, d.address);
}

FetchResult Stream::next(Frame &frame, int timeoutMs) {
  Impl &d = *impl_;
  FrameSlot *slot = nullptr;
  FetchResult result = FetchResult::Timeout;
  {
    std::unique_lock<std::mutex> lock(d.pool->mutex);
    auto ready = [&] { return d.pool->queued() > 0 || !d.running || d.gaveUp || d.finished; };
    if (timeoutMs < 0)
      d.pool->changed.wait(lock, ready);
    else
      d.pool->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if ((slot = d.pool->popOldest()) == nullptr) {
      if (!d.running || d.finished)
        result = FetchResult::Stopped;
      else if (d.lost)
        result = FetchResult::Lost;
    }
  }
  // Outside the lock: the frame given before goes back to the pool here.
  if (!slot) return result;
  frame = d.pool->wrap(slot);
  return FetchResult::Frame;
}

bool Stream::tryNext(Frame &frame) {
  Impl &d = *impl_;
  FrameSlot *slot;
  {
    std::lock_guard<std::mutex> lock(d.pool->mutex);
    slot = d.pool->popOldest();
  }
  if (!slot) return false;
  frame = d.pool->wrap(slot);
  return true;
}

void Stream::setFrameCallback(std::function<void(Frame &frame)> callback) {
  Impl &d = *impl_;
  std::lock_guard<std::mutex> lock(d.callbackMutex);
  d.onFrame = callback ? std::make_shared<const Impl::FrameCallback>(std::move(callback)) : nullptr;
  d.framesToCallback = d.onFrame != nullptr;
  std::lock_guard<std::mutex> poolLock(d.pool->mutex);
  d.pool->changed.notify_all();  // a grab thread waiting for room in the queue goes on
}

void Stream::setEventCallback(
    std::function<void(StreamEvent event, const std::string &detail)> callback) {
  Impl &d = *impl_;
  std::lock_guard<std::mutex> lock(d.callbackMutex);
  d.onEvent = callback ? std::make_shared<const Impl::EventCallback>(std::move(callback)) : nullptr;
}

StreamStats Stream::stats() const {
  Impl &d = *impl_;
  std::lock_guard<std::mutex> lock(d.statsMutex);
  StreamStats s = d.stats;
  double bytesPerSecond = 0;
  d.rate.rates(Clock::now(), s.framesPerSecond, bytesPerSecond);
  s.megabytesPerSecond = bytesPerSecond / 1e6;
  return s;
}

StreamState Stream::state() const {
  Impl &d = *impl_;
  std::lock_guard<std::mutex> lock(d.statsMutex);
  return d.stats.state;
}

StreamOptions Stream::options() const {
  Impl &d = *impl_;
  std::lock_guard<std::mutex> lock(d.optionsMutex);
  return d.options;
}

using Kind = stream::RecordedSettings::Kind;

int Stream::setShutterTime(int microseconds) {
  return impl_->setting(
      Kind::kShutter, [&](stream::RecordedSettings &r) { r.shutterUs = microseconds; },
      [&](OCamera &c) { return c.setShutterTime(microseconds); });
}

int Stream::setGain(int factor) {
  return impl_->setting(
      Kind::kGain, [&](stream::RecordedSettings &r) { r.gain = factor; },
      [&](OCamera &c) { return c.setGain(factor); });
}

int Stream::setFrameRate(float fps) {
  return impl_->setting(
      Kind::kFrameRate, [&](stream::RecordedSettings &r) { r.fps = fps; },
      [&](OCamera &c) { return c.setFrameRate(fps); });
}

int Stream::setTriggerSource(OCamera::eTrigSource source, OCamera::eTrigPolarity polarity) {
  return impl_->setting(
      Kind::kTriggerSource,
      [&](stream::RecordedSettings &r) {
        r.triggerSource = source;
        r.triggerPolarity = polarity;
      },
      [&](OCamera &c) { return c.setTriggerSource(source, polarity); });
}

int Stream::setTriggerDelay(int microseconds) {
  return impl_->setting(
      Kind::kTriggerDelay, [&](stream::RecordedSettings &r) { r.triggerDelayUs = microseconds; },
      [&](OCamera &c) { return c.setTriggerDelay(microseconds); });
}

int Stream::setCameraWindow(int x0, int y0, int width, int height) {
  Impl &d = *impl_;
  // Not waiting for a start() or stop() under way (a callback of the grab
  // thread that stop() waits for may be the caller): the stream is not
  // stopped then.
  std::unique_lock<std::mutex> control(d.control, std::try_to_lock);
  if (!control.owns_lock() || d.grabber.joinable()) return -1;
  StreamOptions changed = options();
  changed.x0 = x0;
  changed.y0 = y0;
  changed.width = width;
  changed.height = height;
  if (!invalidOptions(changed).empty()) return -1;
  std::lock_guard<std::mutex> lock(d.optionsMutex);
  d.options = changed;
  return 0;
}

int Stream::setAcquisitionMode(OCamera::eAcqMode mode) {
  Impl &d = *impl_;
  // Not waiting for a start() or stop() under way (a callback of the grab
  // thread that stop() waits for may be the caller): the stream is not
  // stopped then.
  std::unique_lock<std::mutex> control(d.control, std::try_to_lock);
  if (!control.owns_lock() || d.grabber.joinable()) return -1;
  StreamOptions changed = options();
  changed.acquisitionMode = mode;
  if (!invalidOptions(changed).empty()) return -1;
  std::lock_guard<std::mutex> lock(d.optionsMutex);
  d.options = changed;
  return 0;
}

int Stream::triggerImage() {
  return impl_->onCamera([](OCamera &c) { return c.triggerImage(); });
}

OCamera *Stream::camera() {
  std::shared_lock<std::shared_mutex> lock(impl_->cameraMutex);
  return impl_->camera;
}

}  // namespace ocamera
