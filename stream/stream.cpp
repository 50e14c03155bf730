// ocamera::Stream: the grab thread, the queue policies, the statistics and the
// recovery after the camera was lost. Built on the public camera interface only.
#include <ocamera/status.h>
#include <ocamera/stream.h>
#include <ocamera/stream_options.h>
#include <ocamera/white_balance.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <shared_mutex>
#include <thread>
#include <utility>
#include <vector>

#include "protocol/transport.h"
#include "stream/frame_pool.h"
#include "stream/rate_meter.h"
#include "stream/recorded_settings.h"
#include "stream/request_order.h"
#include "stream/sequence_gaps.h"

namespace ocamera {
namespace {

using Clock = std::chrono::steady_clock;
using stream::FramePool;
using stream::FrameSlot;

// How long past its read time-out an image request may stay silent when
// neither the stream nor the process sets a reply time-out: a camera that
// holds a reply this long is stalled.
constexpr int kDefaultImageMargin = 10000;

// Which stream's grab thread the calling thread is (null on other threads):
// start(), stop() and the destructor must not wait for the thread they run on.
thread_local const void *tl_grabbing = nullptr;

std::size_t rawBytes(const StreamOptions &o) {
  return static_cast<std::size_t>(o.width) * static_cast<std::size_t>(o.height);
}

// An options record a stream can run with; "" when it is one, else why not.
std::string invalidOptions(const StreamOptions &o) { return checkStreamOptions(o); }

// The entries of a settings document the stream makes itself, from its own
// fields, at every start: they are left out of the document it applies.
const char *const kStreamOwn[] = {"window", "readTimeout", "acquisitionMode"};

Settings withoutStreamOwn(Settings document) {
  for (const char *name : kStreamOwn) document.erase(name);
  return document;
}

// The window and pattern a stream leaves to be chosen (0), chosen: the
// document's window when neither size is given, else the given size with the
// missing one from the whole sensor of the camera's geometry, else of the
// document's, else 1280 x 1024 GRGR.
StreamOptions withGeometry(StreamOptions o, const SensorGeometry &camera) {
  const SensorGeometry sensor = camera.known() ? camera : o.settings.sensor;
  const Settings::Entry *window = o.settings.get("window");
  if (o.width == 0 && o.height == 0 && window) {
    o.x0 = static_cast<int>(window->value.numbers[0]);
    o.y0 = static_cast<int>(window->value.numbers[1]);
    o.width = static_cast<int>(window->value.numbers[2]);
    o.height = static_cast<int>(window->value.numbers[3]);
  } else if (o.width == 0 || o.height == 0) {
    if (o.width == 0) o.width = sensor.known() ? sensor.width : 1280;
    if (o.height == 0) o.height = sensor.known() ? sensor.height : 1024;
  }
  if (o.pattern == kSensorPattern)
    o.pattern = sensor.known() ? sensor.pattern : OCameraTools::BAYER_PATTERN_GRGR;
  return o;
}

}  // namespace

struct Stream::Impl {
  using FrameCallback = std::function<void(Frame &frame)>;
  using EventCallback = std::function<void(StreamEvent event, const std::string &detail)>;

  Impl(std::string address, const StreamOptions &options, OCamera *camera)
      : address(std::move(address)),
        options(options),
        pool(std::make_shared<FramePool>(options.bufferCount)),
        camera(camera),
        settings(withoutStreamOwn(options.settings)) {}

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
  bool failed = false;    // the grab thread ended on an Error
  bool orphaned = false;  // the stream was destroyed from a callback of the grab thread

  // The camera object: calls hold the lock shared; replacing the object and
  // changing the acquisition mode hold it exclusively.
  mutable std::shared_mutex cameraMutex;
  OCamera *camera;

  std::mutex settingsMutex;
  stream::RecordedSettings settings;

  mutable std::mutex statsMutex;
  StreamStats stats;
  stream::RateMeter rate;
  stream::SequenceGaps gaps;

  // Copied (not called) under callbackMutex, so that a callback may replace
  // itself; a copy of a shared pointer allocates nothing.
  std::mutex callbackMutex;
  std::shared_ptr<const FrameCallback> onFrame;
  std::shared_ptr<const EventCallback> onEvent;
  std::atomic<bool> framesToCallback{false};

  // ------------------------------------------------------------------ helpers

  // An exception of the event callback is dropped: it must not end the
  // thread that reports, and there is nobody left to report it to.
  void emit(StreamEvent event, const std::string &detail) noexcept {
    std::shared_ptr<const EventCallback> callback;
    {
      std::lock_guard<std::mutex> lock(callbackMutex);
      callback = onEvent;
    }
    try {
      if (callback) (*callback)(event, detail);
    } catch (...) {
    }
  }

  void setState(StreamState state) {
    std::lock_guard<std::mutex> lock(statsMutex);
    stats.state = state;
  }

  // The stream's own reply time-out for the calling thread's requests while
  // it lives; nothing (the process-wide one) when the stream sets none.
  struct CallerTimeout {
    explicit CallerTimeout(int ms) {
      if (ms > 0) scope.emplace(ms);
    }
    std::optional<wire::ThreadReplyTimeout> scope;
  };
  int replyTimeoutMs() const {
    std::lock_guard<std::mutex> lock(optionsMutex);
    return options.replyTimeoutMs;
  }

  // The reply time-out of the grab thread's requests: the stream's, else the
  // process-wide one, else the default margin.
  int grabMargin() const {
    if (active.replyTimeoutMs > 0) return active.replyTimeoutMs;
    const int processWide = wire::replyTimeout();
    return processWide > 0 ? processWide : kDefaultImageMargin;
  }
  // How long an image request may stay silent.
  int imageBound() const {
    const long long bound = static_cast<long long>(active.readTimeoutMs) + grabMargin();
    return bound > INT_MAX ? INT_MAX : static_cast<int>(bound);
  }

  // Waits up to ms; false when stop() asked the grab thread to end.
  bool pause(int ms) {
    std::unique_lock<std::mutex> lock(pool->mutex);
    return !pool->changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping; });
  }

  // Opens the camera's buffers and makes every setting of the stream on it.
  // Returns 0, or the first failed result (the camera is closed again then),
  // with the step that failed in *step. Called with cameraMutex held
  // exclusively; *dropped names recorded settings the camera refused (see
  // RecordedSettings::applyTo).
  int configure(OCamera &cam, const StreamOptions &o, std::string *dropped, std::string *step) {
    int rc = cam.open(static_cast<int>(rawBytes(o)), o.cameraBuffers);
    if (rc != 0) {
      if (step)
        *step = "opening " + std::to_string(o.cameraBuffers) + " frame buffers of " +
                std::to_string(rawBytes(o)) + " bytes";
      return rc;
    }
    std::string setting;
    auto applySettings = [&] {
      std::lock_guard<std::mutex> lock(settingsMutex);
      return settings.applyTo(cam, dropped, &setting);
    };
    std::string what;
    if ((rc = cam.setCameraWindow(o.x0, o.y0, o.width, o.height)) != 0)
      what = "setting the window " + std::to_string(o.width) + "x" + std::to_string(o.height) +
             " at " + std::to_string(o.x0) + "," + std::to_string(o.y0);
    else if ((rc = cam.setReadTimeout(o.readTimeoutMs)) != 0)
      what = "setting the read time-out";
    else if ((rc = applySettings()) != 0)
      what = "setting the recorded " + setting;
    else if ((rc = cam.setAcquisitionMode(o.acquisitionMode)) != 0)
      what = "setting the acquisition mode";
    if (rc == 0) return 0;
    if (step) *step = what;
    cam.setAcquisitionMode(OCamera::ACQ_MODE_STOP);
    cam.close();
    return rc;
  }

  // A call on the camera object with the object kept alive meanwhile; -1
  // while there is none (the camera is lost).
  template <class Call>
  int onCamera(Call call) {
    CallerTimeout timeout(replyTimeoutMs());
    std::shared_lock<std::shared_mutex> lock(cameraMutex);
    if (!camera) return -1;
    return call(*camera);
  }

  // A recorded setter: made on the camera, and recorded unless the camera
  // refused the value (a failed request, -1, is recorded: the camera may be
  // on its way out). A value outside the settings table is refused as the
  // camera would, without a request. Both locks in the order configure()
  // takes them.
  template <class Call>
  int setting(const char *name, const SettingValue &value, Call call) {
    if (!Settings().set(name, value)) return status::kBadArgument;
    CallerTimeout timeout(replyTimeoutMs());
    std::shared_lock<std::shared_mutex> lock(cameraMutex);
    const int rc = camera ? call(*camera) : -1;
    if (rc == 0 || rc == -1) {
      std::lock_guard<std::mutex> settingsLock(settingsMutex);
      settings.record(name, value, rc == 0);
    }
    return rc;
  }

  // Ends a run: the grab thread first, then the acquisition on the camera.
  // Called with control held and the grab thread started.
  void halt() {
    {
      std::lock_guard<std::mutex> lock(pool->mutex);
      stopping = true;
      pool->changed.notify_all();
    }
    grabber.join();
    {
      CallerTimeout timeout(replyTimeoutMs());
      std::unique_lock<std::shared_mutex> lock(cameraMutex);
      if (camera) {
        camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP);
        camera->close();
      }
    }
    {
      std::lock_guard<std::mutex> lock(pool->mutex);
      running = false;
      lost = gaveUp = finished = failed = false;
      pool->dropQueued();
      pool->changed.notify_all();  // next() waiting on an empty queue returns Stopped
    }
    setState(StreamState::Stopped);
  }

  // ------------------------------------------------------------------ grab thread

  // A free slot by the queue policy, or null when the policy says to wait.
  // `pending` frames are fetched or being fetched but not yet delivered: with
  // Block they count against the queue, so that a delivery never finds it
  // full. Called with pool->mutex held.
  FrameSlot *pickSlot(std::size_t pending) {
    const bool toQueue = !framesToCallback.load();
    if (toQueue && active.whenFull == QueuePolicy::Block &&
        pool->queued() + pending >= static_cast<std::size_t>(active.queueDepth))
      return nullptr;
    if (FrameSlot *slot = pool->takeFree()) return slot;
    // Every buffer is queued or held: the oldest waiting frame makes room.
    if (toQueue && active.whenFull == QueuePolicy::DropOldest && pool->queued() > 0) {
      std::lock_guard<std::mutex> statsLock(statsMutex);
      ++stats.dropped;
      return pool->popOldest();
    }
    return nullptr;
  }

  // Gives a slot room for the frame; false (the slot given back, the reason in
  // failure) when no memory is to be had.
  bool reserve(FrameSlot *slot, std::string &failure) {
    const std::size_t rawNeeded = rawBytes(active);
    const std::size_t rgbNeeded = active.rgb ? rawBytes(active) * 3 : 0;
    try {
      FramePool::reserve(*slot, rawNeeded, rgbNeeded);
    } catch (const std::bad_alloc &) {
      pool->giveBack(slot);
      failure =
          "no memory for a frame buffer of " + std::to_string(rawNeeded + rgbNeeded) + " bytes";
      return false;
    }
    return true;
  }

  // A free slot to fetch into, with room for the frame; null when stopping
  // or when no memory is to be had (then *failure says so).
  FrameSlot *takeSlot(std::string &failure) {
    FrameSlot *slot = nullptr;
    {
      std::unique_lock<std::mutex> lock(pool->mutex);
      pool->changed.wait(lock, [&] { return stopping || (slot = pickSlot(0)) != nullptr; });
      if (stopping) {
        if (slot) pool->putFree(slot);
        return nullptr;
      }
    }
    return reserve(slot, failure) ? slot : nullptr;
  }

  enum class Outcome { Frame, Empty, Failed, SessionGone, Stalled };

  // One image request into slot, bounded by the slot's room for the window;
  // detail says what failed. A request that failed after staying silent for
  // its whole bound is a stalled camera.
  Outcome fetch(FrameSlot &slot, std::string &detail) {
    OCamera::Image image{};
    const std::size_t expected = rawBytes(active);
    const int bound = imageBound();
    OCamera::eGrabResult result;
    Clock::duration took;
    {
      std::shared_lock<std::shared_mutex> lock(cameraMutex);
      if (!camera) return Outcome::Failed;
      const Clock::time_point asked = Clock::now();
      wire::ThreadReplyTimeout imageTimeout(bound);
      result = camera->grabImage(slot.raw.get(), expected, &image);
      took = Clock::now() - asked;
    }
    switch (result) {
      case OCamera::GRAB_IMAGE:
        if (image.size < 0 || static_cast<std::size_t>(image.size) != expected) {
          detail = "the camera sent a frame of " + std::to_string(image.size) + " bytes, not " +
                   std::to_string(active.width) + "x" + std::to_string(active.height);
          return Outcome::Failed;
        }
        slot.seqNr = image.seqNr;
        slot.timeSec = image.timeSec;
        slot.timeMicroSec = image.timeMicroSec;
        slot.status = image.status;
        return Outcome::Frame;
      case OCamera::GRAB_TIMEOUT:
      case OCamera::GRAB_EMPTY:
        return Outcome::Empty;
      case OCamera::GRAB_TOO_LARGE:
        detail = "the camera sent a frame of " + std::to_string(image.size) +
                 " bytes, larger than the window of " + std::to_string(active.width) + "x" +
                 std::to_string(active.height);
        return Outcome::Failed;
      case OCamera::GRAB_REFUSED:
        if (image.status == status::kBadSession) {
          detail = "the camera no longer knows the session";
          return Outcome::SessionGone;
        }
        detail = "the camera refused the image request: " + statusText(image.status);
        return Outcome::Failed;
      case OCamera::GRAB_FAILED:
        break;
    }
    // (Nine tenths: the runtime's clock may end the wait a little early.)
    if (took >= std::chrono::milliseconds(bound) * 9 / 10) {
      detail = "the camera sent no reply to an image request within " + std::to_string(bound) +
               " ms (the read time-out plus the reply time-out)";
      return Outcome::Stalled;
    }
    detail = "the image request failed: " + statusText(status::kRequestFailed);
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

  // Counts the frame and hands it to the callback or the queue; false (with
  // the reason in failure) when the frame callback threw.
  bool deliver(FrameSlot *slot, std::string &failure) {
    convert(*slot);
    {
      std::lock_guard<std::mutex> lock(statsMutex);
      gaps.add(slot->seqNr);
      stats.missing = gaps.missing();
      stats.sequenceResets = gaps.resets();
    }
    std::shared_ptr<const FrameCallback> callback;
    if (framesToCallback.load()) {
      std::lock_guard<std::mutex> lock(callbackMutex);
      callback = onFrame;
    }
    if (callback) {
      countDelivered(slot->size);
      Frame frame = pool->wrap(slot);
      try {
        (*callback)(frame);
      } catch (const std::exception &e) {
        failure = std::string("the frame callback threw: ") + e.what();
        return false;
      } catch (...) {
        failure = "the frame callback threw";
        return false;
      }
      return true;
    }
    std::lock_guard<std::mutex> lock(pool->mutex);
    if (pool->queued() >= static_cast<std::size_t>(active.queueDepth)) {
      // Block never gets here with a full queue: takeSlot waited for room.
      std::lock_guard<std::mutex> statsLock(statsMutex);
      ++stats.dropped;
      if (active.whenFull == QueuePolicy::DropNewest) {
        pool->putFree(slot);
        return true;
      }
      pool->putFree(pool->popOldest());
    }
    // Counted before it can be taken: stats() never lags what next() returned.
    countDelivered(slot->size);
    pool->push(slot);
    return true;
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

  // The back-off of recovery. It starts afresh once the camera delivered a
  // frame or a read time-out; a loss before that goes on where the last
  // recovery left off.
  struct Backoff {
    int tries = 0;
    int delayMs = 0;
  };

  // Replaces the lost camera object; false when stop() cut it short or the
  // tries ran out.
  bool recover(Backoff &backoff) {
    std::string why = "lost again right after each recovery";
    for (;;) {
      if (active.retryLimit > 0 && backoff.tries >= active.retryLimit) {
        {
          std::lock_guard<std::mutex> lock(pool->mutex);
          gaveUp = true;
          pool->changed.notify_all();
        }
        emit(StreamEvent::GaveUp, why + " (" + std::to_string(backoff.tries) + " tries)");
        return false;
      }
      if (!pause(backoff.delayMs)) return false;
      const int tries = ++backoff.tries;
      backoff.delayMs = std::min(backoff.delayMs * 2, active.retryMaxMs);
      std::string dropped, step;
      if (OCamera *cam = CreateCameraInterface(active.cameraType, address.c_str())) {
        int rc;
        {
          // Setters wait meanwhile, so that none is made on the new object
          // before the recorded ones, and none is lost between the two.
          std::unique_lock<std::shared_mutex> lock(cameraMutex);
          rc = configure(*cam, active, &dropped, &step);
          if (rc == 0) camera = cam;
        }
        if (rc == 0) {
          {
            std::lock_guard<std::mutex> lock(statsMutex);
            ++stats.recoveries;
            stats.state = StreamState::Running;
            gaps.restart();
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
        why = step + " on the new camera object failed: " + statusText(rc);
      } else {
        why = lastCreationError();
      }
    }
  }

  // After frameLimit frames: state() says Stopped by the time next() does.
  void finish() {
    std::lock_guard<std::mutex> lock(pool->mutex);
    setState(StreamState::Stopped);
    finished = true;
    pool->changed.notify_all();
  }

  // A lost stream without recovery gives up: nothing will come before stop(),
  // so next() need not wait.
  void giveUpUnrecovered() {
    std::lock_guard<std::mutex> lock(pool->mutex);
    gaveUp = true;
    pool->changed.notify_all();
  }

  // ------------------------------------------------ several requests in flight

  // With requestsInFlight > 1 the grab thread issues image requests as jobs,
  // fetcher threads run them on the camera object (each on a pooled
  // connection of its own), and the grab thread takes the results, keeps the
  // statistics, recovers, and delivers the frames in order (RequestOrder).
  // jobs, done and fetchersEnd live under pool->mutex.
  struct Job {
    std::uint64_t ticket = 0;
    FrameSlot *slot = nullptr;
    Outcome outcome = Outcome::Failed;
    std::string detail;
    Clock::duration took{};
  };
  std::vector<Job> jobs;  // issued, not yet taken by a fetcher
  std::vector<Job> done;  // fetched, not yet taken by the grab thread
  bool fetchersEnd = false;

  void fetcher() noexcept {
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (;;) {
      pool->changed.wait(lock, [&] { return fetchersEnd || !jobs.empty(); });
      if (fetchersEnd) return;  // the grab thread gives back what was not taken
      Job job = std::move(jobs.front());
      jobs.erase(jobs.begin());
      lock.unlock();
      const Clock::time_point asked = Clock::now();
      try {
        job.outcome = fetch(*job.slot, job.detail);
      } catch (...) {
        job.outcome = Outcome::Failed;
      }
      job.took = Clock::now() - asked;
      lock.lock();
      done.push_back(std::move(job));  // never past the capacity reserved
      pool->changed.notify_all();
    }
  }

  // Ends the fetchers once their requests returned, and gives back every slot
  // still out. Runs however the grab loop ended.
  void endFetchers(stream::RequestOrder &order, std::vector<std::thread> &fetchers) noexcept {
    {
      std::lock_guard<std::mutex> lock(pool->mutex);
      fetchersEnd = true;
      for (Job &job : jobs) pool->putFree(job.slot);
      jobs.clear();
      pool->changed.notify_all();
    }
    for (std::thread &t : fetchers) t.join();
    std::lock_guard<std::mutex> lock(pool->mutex);
    for (Job &job : done) pool->putFree(job.slot);
    done.clear();
    while (FrameSlot *slot = order.takeHeld()) pool->putFree(slot);
    pool->changed.notify_all();
  }

  // The result of one request, as grabLoop takes it; then the frames that may
  // go out are delivered. False when the loop ends (failure set, or finished).
  struct LoopState {
    int failures = 0;
    int fetched = 0;
    Backoff backoff;
    Clock::time_point notBefore{};  // no request before (after a quick "no image")
  };
  bool settle(Job &job, bool wasLost, stream::RequestOrder &order, LoopState &st,
              std::string &failure) {
    if (job.outcome == Outcome::Frame || job.outcome == Outcome::Empty)
      st.backoff = Backoff{0, active.retryInitialMs};
    if (job.outcome == Outcome::Frame) {
      st.failures = 0;
      order.complete(job.ticket, job.slot);
    } else {
      order.complete(job.ticket, nullptr);
      pool->giveBack(job.slot);
      if (job.outcome == Outcome::Empty) {
        st.failures = 0;
        // As grabLoop: a quick "no image" is asked again after a read time-out.
        if (job.took < std::chrono::milliseconds(active.readTimeoutMs / 2))
          st.notBefore = Clock::now() + std::chrono::milliseconds(active.readTimeoutMs);
      } else if (!wasLost) {  // requests cut by the loss are not counted again
        {
          std::lock_guard<std::mutex> lock(statsMutex);
          ++stats.failedRequests;
        }
        if (job.outcome == Outcome::SessionGone || job.outcome == Outcome::Stalled ||
            ++st.failures >= active.failuresBeforeLost) {
          markLost(job.detail);
          st.failures = 0;
        }
      }
    }
    while (FrameSlot *slot = order.next()) {
      if (!deliver(slot, failure)) return false;
      if (active.frameLimit > 0 && ++st.fetched >= active.frameLimit) {
        finish();
        return false;
      }
    }
    return true;
  }

  void grabLoopInFlight(std::string &failure) {
    const std::size_t n = static_cast<std::size_t>(active.requestsInFlight);
    stream::RequestOrder order(n);
    {
      std::lock_guard<std::mutex> lock(pool->mutex);
      jobs.clear();
      done.clear();
      jobs.reserve(n);
      done.reserve(n);
      fetchersEnd = false;
    }
    std::vector<std::thread> fetchers;
    fetchers.reserve(n);
    struct Ending {
      Impl &d;
      stream::RequestOrder &order;
      std::vector<std::thread> &fetchers;
      ~Ending() { d.endFetchers(order, fetchers); }
    } ending{*this, order, fetchers};
    for (std::size_t i = 0; i < n; ++i) fetchers.emplace_back([this] { fetcher(); });

    LoopState st;
    st.backoff = Backoff{0, active.retryInitialMs};
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (;;) {
      if (stopping) return;
      if (!done.empty()) {
        Job job = std::move(done.front());
        done.erase(done.begin());
        const bool wasLost = lost;
        lock.unlock();
        if (!settle(job, wasLost, order, st, failure)) return;
        lock.lock();
        continue;
      }
      if (lost) {
        if (order.inFlight() > 0) {  // the requests on the old object end first
          pool->changed.wait(lock);
          continue;
        }
        lock.unlock();
        if (!active.recover) return giveUpUnrecovered();
        if (!recover(st.backoff)) return;
        st.failures = 0;
        order.restart();
        lock.lock();
        continue;
      }
      const std::size_t out = order.inFlight() + order.held();
      const bool room =
          order.inFlight() < n &&
          (active.frameLimit == 0 || st.fetched + static_cast<long long>(out) < active.frameLimit);
      const Clock::time_point now = Clock::now();
      if (room && now >= st.notBefore) {
        if (FrameSlot *slot = pickSlot(out)) {
          lock.unlock();
          if (!reserve(slot, failure)) return;
          lock.lock();
          Job job;
          job.ticket = order.issue();
          job.slot = slot;
          jobs.push_back(std::move(job));
          pool->changed.notify_all();
          continue;
        }
      }
      if (room && now < st.notBefore)
        pool->changed.wait_until(lock, st.notBefore);
      else
        pool->changed.wait(lock);
    }
  }

  // The grab thread's loop; returns when stopping, finished, given up, or on
  // a failure of its own (described in failure).
  void grabLoop(std::string &failure) {
    if (active.requestsInFlight > 1) return grabLoopInFlight(failure);
    int failures = 0;
    int fetched = 0;
    Backoff backoff{0, active.retryInitialMs};
    std::string detail;
    for (;;) {
      bool isLost;
      {
        std::lock_guard<std::mutex> lock(pool->mutex);
        if (stopping) return;
        isLost = lost;
      }
      if (isLost) {
        if (!active.recover) return giveUpUnrecovered();
        if (!recover(backoff)) return;
        failures = 0;
        continue;
      }
      FrameSlot *slot = takeSlot(failure);
      if (!slot) return;
      const Clock::time_point asked = Clock::now();
      const Outcome outcome = fetch(*slot, detail);
      if (outcome == Outcome::Frame || outcome == Outcome::Empty)
        backoff = Backoff{0, active.retryInitialMs};
      if (outcome == Outcome::Frame) {
        failures = 0;
        if (!deliver(slot, failure)) return;
        if (active.frameLimit > 0 && ++fetched >= active.frameLimit) return finish();
        continue;
      }
      pool->giveBack(slot);
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
      if (outcome == Outcome::SessionGone || outcome == Outcome::Stalled ||
          ++failures >= active.failuresBeforeLost) {
        markLost(detail);
        failures = 0;
      }
    }
  }

  // The body of the grab thread. Nothing leaves it: a failure of its own ends
  // the run with an Error event. When the stream was destroyed from one of
  // its callbacks, the thread ends the acquisition and the camera object.
  void run() noexcept {
    tl_grabbing = this;
    std::string failure;
    try {
      wire::ThreadReplyTimeout timeout(grabMargin());
      grabLoop(failure);
    } catch (const std::exception &e) {
      failure = std::string("the grab thread failed: ") + e.what();
    } catch (...) {
      failure = "the grab thread failed";
    }
    bool wasOrphaned;
    {
      std::lock_guard<std::mutex> lock(pool->mutex);
      wasOrphaned = orphaned;
      if (!failure.empty() && !wasOrphaned) {
        setState(StreamState::Stopped);
        failed = true;
        pool->changed.notify_all();
      }
    }
    if (wasOrphaned) {
      try {
        wire::ThreadReplyTimeout timeout(grabMargin());
        std::unique_lock<std::shared_mutex> lock(cameraMutex);
        if (camera) {
          camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP);
          camera->close();
          camera->destroy();
          camera = nullptr;
        }
      } catch (...) {
      }
    } else if (!failure.empty()) {
      emit(StreamEvent::Error, failure);
    }
    tl_grabbing = nullptr;
  }
};

// ---------------------------------------------------------------- Stream

Stream::Stream(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<Stream> Stream::create(const char *address, const StreamOptions &options,
                                       std::string *error) {
  auto fail = [&](const std::string &why) {
    if (error) *error = why;
    return std::unique_ptr<Stream>();
  };
  try {
    if (!address) return fail("no camera address");
    const std::string invalid = invalidOptions(options);
    if (!invalid.empty()) return fail(invalid);
    Impl::CallerTimeout timeout(options.replyTimeoutMs);
    OCamera *camera = CreateCameraInterface(options.cameraType, address);
    if (!camera) return fail(lastCreationError());
    try {
      // The window and pattern left to be chosen follow the camera's sensor.
      const StreamOptions chosen = withGeometry(options, sensorGeometry(*camera));
      const std::string unfit = invalidOptions(chosen);
      if (!unfit.empty()) {
        camera->destroy();
        return fail(unfit);
      }
      return std::unique_ptr<Stream>(new Stream(std::make_shared<Impl>(address, chosen, camera)));
    } catch (...) {
      camera->destroy();
      throw;
    }
  } catch (const std::bad_alloc &) {
    return fail("no memory for the stream");
  } catch (const std::exception &e) {
    return fail(std::string("making the stream failed: ") + e.what());
  }
}

Stream::~Stream() {
  Impl &d = *impl_;
  if (tl_grabbing == &d) {
    // From a callback of the grab thread: it cannot be joined from here. It
    // ends once the callback returns, holding the state until then, and
    // ends the camera itself.
    std::lock_guard<std::mutex> lock(d.pool->mutex);
    d.stopping = d.orphaned = true;
    d.pool->changed.notify_all();
    d.grabber.detach();
    return;
  }
  stop();
  Impl::CallerTimeout timeout(d.replyTimeoutMs());
  if (d.camera) d.camera->destroy();
}

int Stream::start(std::string *error) {
  // The state outlives this call even when a callback destroys the stream
  // before start() returns.
  const std::shared_ptr<Impl> keep = impl_;
  Impl &d = *keep;
  auto fail = [&](int rc, const std::string &why) noexcept {
    try {
      if (error) *error = why;
    } catch (...) {
    }
    return rc;
  };
  if (tl_grabbing == &d) return fail(-1, "start() called from a callback of the stream");
  std::unique_lock<std::mutex> control(d.control);
  Impl::CallerTimeout timeout(d.replyTimeoutMs());
  bool opened = false;  // the camera's buffers are open: close them on a failure
  // Closes what a start that failed half-way opened; -1 with the reason.
  auto abandon = [&](const char *why) {
    if (opened) {
      std::unique_lock<std::shared_mutex> lock(d.cameraMutex);
      if (d.camera) {
        d.camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP);
        d.camera->close();
      }
    }
    d.setState(StreamState::Stopped);
    return fail(-1, why);
  };
  try {
    if (error) error->clear();
    if (d.grabber.joinable()) {
      bool ended;
      {
        std::lock_guard<std::mutex> lock(d.pool->mutex);
        ended = d.finished || d.failed;
      }
      if (!ended) return 0;  // running or lost
      d.halt();              // the last run ended by itself: this is a new one
    }
    {
      std::lock_guard<std::mutex> lock(d.optionsMutex);
      d.active = d.options;
    }
    // The factors before any traffic: a file that cannot be read fails here.
    int red = d.active.red, green = d.active.green, blue = d.active.blue;
    if (d.active.whiteBalance == WhiteBalance::File) {
      WhiteBalanceSetting file;
      std::string why;
      if (!readWhiteBalanceFile(&file, &why))
        return fail(-1, "reading the white-balance factors failed: " + why);
      red = file.red;
      green = file.green;
      blue = file.blue;
    }
    std::string dropped;
    {
      std::unique_lock<std::shared_mutex> lock(d.cameraMutex);
      // A stream stopped while lost has no camera object: make one now.
      if (!d.camera && !(d.camera = CreateCameraInterface(d.active.cameraType, d.address.c_str())))
        return fail(-1, lastCreationError());
      std::string step;
      const int rc = d.configure(*d.camera, d.active, &dropped, &step);
      if (rc != 0) return fail(rc, step + " failed: " + statusText(rc));
      opened = true;
    }
    d.red = red;
    d.green = green;
    d.blue = blue;
    {
      std::lock_guard<std::mutex> lock(d.pool->mutex);
      d.running = true;
      d.stopping = d.lost = d.gaveUp = d.finished = d.failed = false;
      d.pool->changed.notify_all();
    }
    {
      std::lock_guard<std::mutex> lock(d.statsMutex);
      d.stats.state = StreamState::Running;
      d.gaps.restart();
    }
    std::string detail = d.address;
    if (!dropped.empty()) {
      detail += "; settings the camera refused: " + dropped;
      if (error) *error = "settings the camera refused: " + dropped;
    }
    try {
      d.grabber = std::thread([impl = keep] { impl->run(); });
    } catch (const std::exception &e) {
      {
        std::lock_guard<std::mutex> lock(d.pool->mutex);
        d.running = false;
        d.pool->changed.notify_all();
      }
      throw std::runtime_error(std::string("starting the grab thread failed: ") + e.what());
    }
    control.unlock();  // the event callback may use the stream
    d.emit(StreamEvent::Started, detail);
    return 0;
  } catch (const std::exception &e) {
    return abandon(e.what());
  } catch (...) {
    return abandon("start() failed");
  }
}

void Stream::stop() {
  Impl &d = *impl_;
  if (tl_grabbing == &d) return;  // from a callback: the thread cannot wait for itself
  std::unique_lock<std::mutex> control(d.control);
  if (!d.grabber.joinable()) return;
  d.halt();
  control.unlock();
  d.emit(StreamEvent::Stopped, d.address);
}

FetchResult Stream::next(Frame &frame, int timeoutMs) {
  Impl &d = *impl_;
  FrameSlot *slot = nullptr;
  FetchResult result = FetchResult::Timeout;
  {
    std::unique_lock<std::mutex> lock(d.pool->mutex);
    auto ended = [&] { return !d.running || d.stopping || d.finished || d.failed; };
    auto ready = [&] { return d.pool->queued() > 0 || ended() || d.gaveUp; };
    if (timeoutMs < 0)
      d.pool->changed.wait(lock, ready);
    else
      d.pool->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if ((slot = d.pool->popOldest()) == nullptr) {
      if (ended())
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
  StreamOptions o;
  {
    std::lock_guard<std::mutex> lock(d.optionsMutex);
    o = d.options;
  }
  // The document as the setters updated it, with the entries the stream
  // makes from its own fields.
  Settings document;
  {
    std::lock_guard<std::mutex> lock(d.settingsMutex);
    document = d.settings.document();
  }
  SettingValue window;
  window.numbers = {double(o.x0), double(o.y0), double(o.width), double(o.height)};
  document.set("window", window);
  document.set("readTimeout", o.readTimeoutMs);
  document.set("acquisitionMode", o.acquisitionMode);
  document.sensor = o.settings.sensor;
  o.settings = std::move(document);
  return o;
}

namespace {

SettingValue numbers(std::initializer_list<double> list) {
  SettingValue v;
  v.numbers = list;
  return v;
}

}  // namespace

int Stream::setShutterTime(int microseconds) {
  return impl_->setting("shutterTime", numbers({double(microseconds)}),
                        [&](OCamera &c) { return c.setShutterTime(microseconds); });
}

int Stream::setGain(int factor) {
  return impl_->setting("gain", numbers({double(factor)}),
                        [&](OCamera &c) { return c.setGain(factor); });
}

int Stream::setFrameRate(float fps) {
  return impl_->setting("frameRate", numbers({double(fps)}),
                        [&](OCamera &c) { return c.setFrameRate(fps); });
}

int Stream::setTriggerSource(OCamera::eTrigSource source, OCamera::eTrigPolarity polarity) {
  return impl_->setting("triggerSource", numbers({double(source), double(polarity)}),
                        [&](OCamera &c) { return c.setTriggerSource(source, polarity); });
}

int Stream::setTriggerDelay(int microseconds) {
  return impl_->setting("triggerDelay", numbers({double(microseconds)}),
                        [&](OCamera &c) { return c.setTriggerDelay(microseconds); });
}

int Stream::setCameraWindow(int x0, int y0, int width, int height) {
  Impl &d = *impl_;
  // Not waiting for a start() or stop() under way (a callback of the grab
  // thread that stop() waits for may be the caller): the stream is not
  // stopped then.
  std::unique_lock<std::mutex> control(d.control, std::try_to_lock);
  if (!control.owns_lock() || d.grabber.joinable()) return -1;
  if (width < 1 || height < 1) return -1;  // 0 is for create() to choose
  StreamOptions changed;
  {
    std::lock_guard<std::mutex> lock(d.optionsMutex);
    changed = d.options;
  }
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
  StreamOptions changed;
  {
    std::lock_guard<std::mutex> lock(d.optionsMutex);
    changed = d.options;
  }
  changed.acquisitionMode = mode;
  if (!invalidOptions(changed).empty()) return -1;
  std::lock_guard<std::mutex> lock(d.optionsMutex);
  d.options = changed;
  return 0;
}

int Stream::triggerImage() {
  return impl_->onCamera([](OCamera &c) { return c.triggerImage(); });
}

int Stream::withCamera(const std::function<int(OCamera &camera)> &call) {
  if (!call) return -1;
  return impl_->onCamera([&](OCamera &c) {
    try {
      return call(c);
    } catch (...) {
      return -1;
    }
  });
}

OCamera *Stream::camera() {
  std::shared_lock<std::shared_mutex> lock(impl_->cameraMutex);
  return impl_->camera;
}

}  // namespace ocamera
