#include "ocamerasrc.h"

#include <ocamera/status.h>
#include <ocamera/stream.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "closer.h"
#include "message_limiter.h"
#include "settings.h"

GST_DEBUG_CATEGORY_STATIC(ocamerasrc_debug);
#define GST_CAT_DEFAULT ocamerasrc_debug

namespace {

using ocamerasrc::Closer;
using ocamerasrc::MessageLimiter;
using ocamerasrc::Settings;

// How long one wait for a frame lasts before the streaming thread looks
// whether it was asked to stop; bounds how long unlock() takes to be seen.
constexpr int kPollMs = 20;
// While the camera is lost, a GAP event at most this often tells downstream
// that time goes on without data.
constexpr GstClockTime kGapInterval = 100 * GST_MSECOND;
// Camera time stamps further than this from the pipeline's running time
// (another camera clock after a recovery, a clock that jumped) start a new
// mapping of camera time to running time.
constexpr GstClockTime kMaxClockSkew = GST_SECOND;
// Frames in the stream's pool, and how many of them may be lent to
// downstream at once: the rest hold the frames queued in the stream and the
// one being fetched.
constexpr int kPoolFrames = 12;
const int kMaxLent = kPoolFrames - ocamera::StreamOptions().queueDepth - 1;
// Assumed frame period for the latency without a frame rate.
constexpr GstClockTime kDefaultFramePeriod = GST_SECOND / 30;

enum {
  PROP_0,
  PROP_ADDRESS,
  PROP_SHUTTER,
  PROP_GAIN,
  PROP_FRAME_RATE,
  PROP_WHITE_BALANCE,
  PROP_SETTINGS_FILE,
  // Then the stream options of ocamerasrc::optionParamSpec, in its order.
  PROP_OPTION_FIRST,
};

// Live changes not yet made on the running stream (bits).
enum : unsigned { kLiveShutter = 1, kLiveGain = 2 };

}  // namespace

// The state of one element besides its settings.
//
// Threads: start(), stop() and property setters run on application threads;
// set_caps() and create() on the streaming thread; the stream's event callback
// on its grab thread; unlock()/unlock_stop() on any. Only start(), stop()
// and the streaming thread touch the stream (never at once: stop() runs once
// the streaming thread has ended); property setters leave live changes to
// the streaming thread.
struct OcameraSrcState {
  std::unique_ptr<ocamera::Stream> stream;
  bool rgb = false;      // the stream converts to RGB
  bool running = false;  // the stream's acquisition was started
  // The settings of the running element, with the live changes the camera
  // took (object lock).
  Settings active;

  std::mutex wakeLock;
  std::condition_variable wake;
  bool flushing = false;
  std::string failure;  // the detail of the stream's Error event (wakeLock)

  std::atomic<bool> gaveUp{false};
  // Frames lent to downstream in buffers not yet freed.
  std::shared_ptr<std::atomic<int>> lent = std::make_shared<std::atomic<int>>(0);
  std::atomic<bool> rebase{true};  // map camera time to running time anew

  // Streaming thread only.
  std::size_t frameSize = 0;
  // The frame period of the caps; also read by latency queries on any thread.
  std::atomic<GstClockTime> duration{GST_CLOCK_TIME_NONE};
  GstClockTime baseRunning = 0;
  std::int64_t baseCameraUs = 0;
  GstClockTime nextTime = GST_CLOCK_TIME_NONE;  // end of the last buffer or GAP pushed
  int lastSeq = -1;
  bool discont = false;

  bool waitFlushing(int ms) {
    std::unique_lock<std::mutex> lock(wakeLock);
    return wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return flushing; });
  }
  bool isFlushing() {
    std::lock_guard<std::mutex> lock(wakeLock);
    return flushing;
  }
  // Why the stream's acquisition ended on a failure of its own.
  std::string takeFailure() {
    std::lock_guard<std::mutex> lock(wakeLock);
    std::string why = failure.empty() ? "the stream ended" : failure;
    failure.clear();
    return why;
  }
  // A stopped element's stream ends on a thread of its own: stopping waits
  // for the image request in flight, which a stalled camera may hold up to
  // the stream's bounds, and a state change to NULL should not. The next
  // start waits for it, as the camera takes one acquisition at a time.
  Closer closer;

  // Live changes (shutter, gain) made while started, for the streaming
  // thread to make on the stream (object lock).
  unsigned liveChanges = 0;

  // Losses and recoveries reported lately (grab thread, and the streaming
  // thread for a recovery message left out). A camera that fails again right
  // after each recovery would flood the bus: at most one warning of a loss,
  // and one message of a recovery, every 3 s; the next one counts those left
  // out.
  MessageLimiter lostMessages{std::chrono::seconds(3)}, backMessages{std::chrono::seconds(3)};

  void setFlushing(bool on) {
    {
      std::lock_guard<std::mutex> lock(wakeLock);
      flushing = on;
    }
    wake.notify_all();
  }
};

struct _GstOcameraSrc {
  GstPushSrc parent;
  Settings *settings;  // the properties (object lock)
  OcameraSrcState *state;
};

G_DEFINE_TYPE(GstOcameraSrc, gst_ocamera_src, GST_TYPE_PUSH_SRC)

static GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-bayer, format = (string) { grbg, bggr, rggb, gbrg }, "
                    "width = (int) [ 1, MAX ], height = (int) [ 1, MAX ], "
                    "framerate = (fraction) [ 0/1, MAX ]; "
                    "video/x-raw, format = (string) RGB, "
                    "width = (int) [ 1, MAX ], height = (int) [ 1, MAX ], "
                    "framerate = (fraction) [ 0/1, MAX ]"));

// ------------------------------------------------------------ properties

static void setProperty(GObject *object, guint id, const GValue *value, GParamSpec *pspec) {
  GstOcameraSrc *src = GST_OCAMERA_SRC(object);
  Settings *s = src->settings;
  OcameraSrcState *st = src->state;
  GST_OBJECT_LOCK(src);
  switch (id) {
    case PROP_ADDRESS:
      s->address = g_value_get_string(value) ? g_value_get_string(value) : "";
      break;
    // Shutter and gain also change a running camera: the streaming thread
    // makes the change (a camera that does not answer holds it, never the
    // caller), and later streams of this run start with it.
    case PROP_SHUTTER:
      s->shutter = g_value_get_int(value);
      if (s->shutter > 0) st->liveChanges |= kLiveShutter;
      break;
    case PROP_GAIN:
      s->gain = g_value_get_int(value);
      if (s->gain > 0) st->liveChanges |= kLiveGain;
      break;
    case PROP_FRAME_RATE:
      s->frameRate = g_value_get_double(value);
      break;
    case PROP_WHITE_BALANCE: {
      std::string why;
      if (!ocamerasrc::setWhiteBalance(g_value_get_string(value), s, &why))
        GST_WARNING_OBJECT(src, "white-balance \"%s\": %s; kept \"%s\"",
                           GST_STR_NULL(g_value_get_string(value)), why.c_str(),
                           ocamerasrc::whiteBalanceText(*s).c_str());
      break;
    }
    case PROP_SETTINGS_FILE:
      s->settingsFile = g_value_get_string(value) ? g_value_get_string(value) : "";
      break;
    default: {
      const int option = static_cast<int>(id) - PROP_OPTION_FIRST;
      std::string why;
      if (option < 0 || option >= ocamerasrc::optionPropertyCount())
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
      else if (!ocamerasrc::setOption(s, option, value, &why))
        GST_WARNING_OBJECT(src, "%s: %s", pspec->name, why.c_str());
      break;
    }
  }
  GST_OBJECT_UNLOCK(src);
}

static void getProperty(GObject *object, guint id, GValue *value, GParamSpec *pspec) {
  GstOcameraSrc *src = GST_OCAMERA_SRC(object);
  const Settings *s = src->settings;
  GST_OBJECT_LOCK(src);
  switch (id) {
    case PROP_ADDRESS:
      g_value_set_string(value, s->address.c_str());
      break;
    case PROP_SHUTTER:
      g_value_set_int(value, s->shutter);
      break;
    case PROP_GAIN:
      g_value_set_int(value, s->gain);
      break;
    case PROP_FRAME_RATE:
      g_value_set_double(value, s->frameRate);
      break;
    case PROP_WHITE_BALANCE:
      g_value_set_string(value, ocamerasrc::whiteBalanceText(*s).c_str());
      break;
    case PROP_SETTINGS_FILE:
      g_value_set_string(value, s->settingsFile.c_str());
      break;
    default: {
      const int option = static_cast<int>(id) - PROP_OPTION_FIRST;
      if (option < 0 || option >= ocamerasrc::optionPropertyCount())
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
      else
        ocamerasrc::getOption(*s, option, value);
      break;
    }
  }
  GST_OBJECT_UNLOCK(src);
}

// ------------------------------------------------------------ the stream

// Records the settings on a new stream, so that its start and every recovery
// apply them; false (with an error posted) when the camera refused one.
static bool applySettings(GstOcameraSrc *src, ocamera::Stream &stream, const Settings &s) {
  struct {
    const char *name;
    int rc;
  } results[3] = {
      {"shutter", s.shutter > 0 ? stream.setShutterTime(s.shutter) : 0},
      {"gain", s.gain > 0 ? stream.setGain(s.gain) : 0},
      {"frame-rate", s.frameRate > 0 ? stream.setFrameRate(static_cast<float>(s.frameRate)) : 0}};
  for (const auto &r : results) {
    if (r.rc != 0) {
      GST_ELEMENT_ERROR(src, RESOURCE, SETTINGS, ("The camera refused the %s setting", r.name),
                        ("%s", ocamera::statusText(r.rc).c_str()));
      return false;
    }
  }
  return true;
}

// Makes the shutter and gain set while started on the running stream (on
// the streaming thread: a camera that does not answer holds it no longer
// than the stream's reply time-out). A value the camera takes becomes part
// of the settings every later stream of this run starts with.
static void applyLiveChanges(GstOcameraSrc *src, ocamera::Stream &stream) {
  OcameraSrcState *st = src->state;
  GST_OBJECT_LOCK(src);
  const unsigned changes = st->liveChanges;
  st->liveChanges = 0;
  const int shutter = src->settings->shutter, gain = src->settings->gain;
  GST_OBJECT_UNLOCK(src);
  if (changes == 0) return;
  for (unsigned which : {kLiveShutter, kLiveGain}) {
    if (!(changes & which)) continue;
    const bool isShutter = which == kLiveShutter;
    const int value = isShutter ? shutter : gain;
    const int rc = isShutter ? stream.setShutterTime(value) : stream.setGain(value);
    // A failed request (-1) is recorded by the stream for its recovery.
    if (rc == 0 || rc == -1) {
      GST_OBJECT_LOCK(src);
      (isShutter ? st->active.shutter : st->active.gain) = value;
      GST_OBJECT_UNLOCK(src);
    }
    if (rc != 0)
      GST_ELEMENT_WARNING(src, RESOURCE, SETTINGS,
                          ("The camera did not take %s %d", isShutter ? "shutter" : "gain", value),
                          ("%s%s", ocamera::statusText(rc).c_str(),
                           rc == -1 ? "; made again after a recovery" : ""));
  }
}

// The detail of a message, with the count of those held back before it.
static std::string withHeldBack(const std::string &detail, int heldBack, const char *what) {
  if (heldBack == 0) return detail;
  return detail + " (" + std::to_string(heldBack) + " more " + what + " since the last message)";
}

static void onStreamEvent(GstOcameraSrc *src, ocamera::StreamEvent event,
                          const std::string &detail) {
  OcameraSrcState *st = src->state;
  int heldBack = 0;
  switch (event) {
    case ocamera::StreamEvent::Lost:
      if (st->lostMessages.due(&heldBack))
        GST_ELEMENT_WARNING(src, RESOURCE, READ, ("Lost the camera; trying to reconnect"),
                            ("%s", withHeldBack(detail, heldBack, "losses").c_str()));
      break;
    case ocamera::StreamEvent::Recovered:
      st->rebase = true;
      if (st->backMessages.due(&heldBack))
        GST_ELEMENT_INFO(src, RESOURCE, READ, ("The camera is back"),
                         ("%s", withHeldBack(detail, heldBack, "recoveries").c_str()));
      break;
    case ocamera::StreamEvent::GaveUp:
      st->gaveUp = true;
      st->wake.notify_all();
      break;
    case ocamera::StreamEvent::Error: {
      // The acquisition ended; create() finds the stream stopped and says why.
      std::lock_guard<std::mutex> lock(st->wakeLock);
      st->failure = detail;
      break;
    }
    default:
      GST_DEBUG_OBJECT(src, "stream event %d: %s", static_cast<int>(event), detail.c_str());
      break;
  }
}

// Ends the element's stream on a thread of its own.
static void retireStream(OcameraSrcState *st) {
  st->running = false;
  st->closer.close(std::move(st->stream));  // frames still in buffers stay valid
}

// Waits (at most the timeout) for the stream retired last: the camera takes
// one acquisition at a time.
static void awaitRetired(GstOcameraSrc *src, int timeoutMs) {
  if (!src->state->closer.wait(timeoutMs))
    GST_WARNING_OBJECT(src, "the previous stream has not ended after %d ms; going on", timeoutMs);
}

// Connects a stopped stream for the active settings, raw or RGB; the
// element's stream is replaced (the old one ends first, as the camera
// accepts one acquisition at a time).
static bool connectStream(GstOcameraSrc *src, bool rgb) {
  OcameraSrcState *st = src->state;
  retireStream(st);
  GST_OBJECT_LOCK(src);
  const Settings s = st->active;
  GST_OBJECT_UNLOCK(src);
  awaitRetired(src, ocamerasrc::closeWaitMs(s));

  std::string error;
  std::unique_ptr<ocamera::Stream> stream = ocamera::Stream::create(
      s.address.c_str(), ocamerasrc::streamOptions(s, rgb, kPoolFrames), &error);
  if (!stream) {
    GST_ELEMENT_ERROR(src, RESOURCE, OPEN_READ,
                      ("Could not connect to the camera at %s", s.address.c_str()),
                      ("%s", error.c_str()));
    return false;
  }
  stream->setEventCallback([src](ocamera::StreamEvent event, const std::string &detail) {
    onStreamEvent(src, event, detail);
  });
  if (!applySettings(src, *stream, s)) {
    st->closer.close(std::move(stream));
    return false;
  }
  // The window and pattern the stream chose (those left to the sensor).
  const ocamera::StreamOptions chosen = stream->options();
  GST_OBJECT_LOCK(src);
  st->active.options.x0 = chosen.x0;
  st->active.options.y0 = chosen.y0;
  st->active.options.width = chosen.width;
  st->active.options.height = chosen.height;
  st->active.options.pattern = chosen.pattern;
  GST_OBJECT_UNLOCK(src);
  st->stream = std::move(stream);
  st->rgb = rgb;
  return true;
}

static gboolean start(GstBaseSrc *base) {
  GstOcameraSrc *src = GST_OCAMERA_SRC(base);
  OcameraSrcState *st = src->state;
  GST_OBJECT_LOCK(src);
  st->active = *src->settings;
  st->liveChanges = 0;
  Settings loaded = st->active;
  GST_OBJECT_UNLOCK(src);
  // The settings file is read once a start, and checked whole before anything is sent.
  std::string why;
  if (!ocamerasrc::loadProfile(&loaded, &why)) {
    GST_ELEMENT_ERROR(src, RESOURCE, SETTINGS,
                      ("Could not use the settings file %s", loaded.settingsFile.c_str()),
                      ("%s", why.c_str()));
    return FALSE;
  }
  GST_OBJECT_LOCK(src);
  st->active = loaded;
  GST_OBJECT_UNLOCK(src);
  st->gaveUp = false;
  st->rebase = true;
  st->nextTime = GST_CLOCK_TIME_NONE;
  st->lastSeq = -1;
  st->discont = false;
  st->lostMessages.reset();
  st->backMessages.reset();
  // Connect now, so that a camera that cannot be reached fails the state
  // change; the acquisition starts once the caps say raw or RGB.
  return connectStream(src, false);
}

// Runs after the streaming thread has ended; returns at once, the stream
// ends in the background.
static gboolean stop(GstBaseSrc *base) {
  retireStream(GST_OCAMERA_SRC(base)->state);
  return TRUE;
}

static GstCaps *getCaps(GstBaseSrc *base, GstCaps *filter) {
  GstOcameraSrc *src = GST_OCAMERA_SRC(base);
  GST_OBJECT_LOCK(src);
  const bool started = GST_OBJECT_FLAG_IS_SET(src, GST_BASE_SRC_FLAG_STARTED);
  const Settings s = started ? src->state->active : *src->settings;
  GST_OBJECT_UNLOCK(src);
  GstCaps *caps = ocamerasrc::offeredCaps(s);
  if (filter) {
    GstCaps *both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(caps);
    caps = both;
  }
  return caps;
}

static gboolean setCaps(GstBaseSrc *base, GstCaps *caps) {
  GstOcameraSrc *src = GST_OCAMERA_SRC(base);
  OcameraSrcState *st = src->state;
  const GstStructure *s = gst_caps_get_structure(caps, 0);
  const bool rgb = gst_structure_has_name(s, "video/x-raw");
  int width = 0, height = 0, num = 0, den = 1;
  gst_structure_get_int(s, "width", &width);
  gst_structure_get_int(s, "height", &height);
  if (!gst_structure_get_fraction(s, "framerate", &num, &den)) num = 0;
  GST_DEBUG_OBJECT(src, "caps %" GST_PTR_FORMAT, caps);

  if (!st->stream || st->rgb != rgb) {
    if (!connectStream(src, rgb)) return FALSE;
  }
  st->frameSize = static_cast<std::size_t>(width) * height * (rgb ? 3 : 1);
  st->duration =
      num > 0 && den > 0 ? gst_util_uint64_scale_int(GST_SECOND, den, num) : GST_CLOCK_TIME_NONE;
  if (!st->running) {
    std::string why;
    const int rc = st->stream->start(&why);
    if (rc != 0) {
      GST_ELEMENT_ERROR(src, RESOURCE, OPEN_READ, ("Could not start the camera's acquisition"),
                        ("%s", why.empty() ? ocamera::statusText(rc).c_str() : why.c_str()));
      return FALSE;
    }
    if (!why.empty())  // recorded settings the camera refused at start
      GST_ELEMENT_WARNING(src, RESOURCE, SETTINGS, ("The camera did not take every setting"),
                          ("%s", why.c_str()));
    st->running = true;
    st->rebase = true;
  }
  return TRUE;
}

static gboolean query(GstBaseSrc *base, GstQuery *q) {
  GstOcameraSrc *src = GST_OCAMERA_SRC(base);
  if (GST_QUERY_TYPE(q) == GST_QUERY_LATENCY) {
    // A frame is complete one frame period after its capture started, and
    // may wait in the stream's queue for a few more.
    GstClockTime period = src->state->duration;
    if (!GST_CLOCK_TIME_IS_VALID(period)) period = kDefaultFramePeriod;
    const ocamera::StreamOptions defaults;
    gst_query_set_latency(q, TRUE, period, period * (defaults.queueDepth + 1));
    return TRUE;
  }
  return GST_BASE_SRC_CLASS(gst_ocamera_src_parent_class)->query(base, q);
}

static gboolean unlock(GstBaseSrc *base) {
  GST_OCAMERA_SRC(base)->state->setFlushing(true);
  return TRUE;
}

static gboolean unlockStop(GstBaseSrc *base) {
  GST_OCAMERA_SRC(base)->state->setFlushing(false);
  return TRUE;
}

// ------------------------------------------------------------ buffers

// The pipeline's running time now, or GST_CLOCK_TIME_NONE without a clock.
static GstClockTime runningTime(GstOcameraSrc *src) {
  GstClock *clock = gst_element_get_clock(GST_ELEMENT(src));
  if (!clock) return GST_CLOCK_TIME_NONE;
  const GstClockTime now = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const GstClockTime base = gst_element_get_base_time(GST_ELEMENT(src));
  return now > base ? now - base : 0;
}

// The camera's capture time as running time: the first frame (and the first
// after a recovery or a clock jump) is taken to be captured now, the others
// keep their distance from it in camera time.
static GstClockTime frameTime(GstOcameraSrc *src, const ocamera::Frame &frame) {
  OcameraSrcState *st = src->state;
  const GstClockTime now = runningTime(src);
  if (!GST_CLOCK_TIME_IS_VALID(now)) return GST_CLOCK_TIME_NONE;
  const std::int64_t cameraUs =
      static_cast<std::int64_t>(frame.timeSec()) * 1000000 + frame.timeMicroSec();
  std::int64_t since = cameraUs - st->baseCameraUs;
  GstClockTime t = st->baseRunning + static_cast<GstClockTime>(since) * GST_USECOND;
  const bool skewed = since < 0 || t + kMaxClockSkew < now || t > now + kMaxClockSkew;
  if (st->rebase.exchange(false) || skewed) {
    st->baseRunning = now;
    st->baseCameraUs = cameraUs;
    t = now;
  }
  // Never before what was pushed already (a GAP, the previous buffer).
  if (GST_CLOCK_TIME_IS_VALID(st->nextTime) && t < st->nextTime) t = st->nextTime;
  return t;
}

// A frame lent to downstream in a buffer, and the count of such frames of
// one element (which a buffer may outlive).
struct LentFrame {
  ocamera::Frame frame;
  std::shared_ptr<std::atomic<int>> lent;
};

static void releaseFrame(gpointer data) {
  auto *f = static_cast<LentFrame *>(data);
  f->lent->fetch_sub(1);
  delete f;
}

// Puts the frame into a buffer: wrapped without a copy, released when the
// buffer is freed; or, once downstream holds so many frames that the stream
// would run out of buffers for the frames it fetches and queues, copied and
// released at once, so that elements which keep many buffers (encoders with
// look-ahead, queues) cannot stall the camera. Null (the frame released) when
// its size does not match the caps.
static GstBuffer *wrapFrame(GstOcameraSrc *src, ocamera::Frame &&frame) {
  OcameraSrcState *st = src->state;
  if (frame.size() != st->frameSize) {
    GST_WARNING_OBJECT(src, "dropped a frame of %zu bytes; the caps say %zu", frame.size(),
                       st->frameSize);
    return nullptr;
  }
  const int seq = frame.seqNr();
  const int status = frame.status();
  const GstClockTime t = gst_base_src_get_do_timestamp(GST_BASE_SRC(src)) ? GST_CLOCK_TIME_NONE
                                                                          : frameTime(src, frame);
  GstBuffer *buffer;
  if (st->lent->load() < kMaxLent) {
    st->lent->fetch_add(1);
    auto *held = new LentFrame{std::move(frame), st->lent};
    buffer = gst_buffer_new_wrapped_full(
        GST_MEMORY_FLAG_READONLY, const_cast<unsigned char *>(held->frame.data()),
        held->frame.size(), 0, held->frame.size(), held, releaseFrame);
  } else {
    buffer = gst_buffer_new_allocate(nullptr, frame.size(), nullptr);
    gst_buffer_fill(buffer, 0, frame.data(), frame.size());
    frame.release();
  }

  if (st->lastSeq >= 0 && seq != st->lastSeq + 1) st->discont = true;
  st->lastSeq = seq;
  GST_BUFFER_OFFSET(buffer) = static_cast<guint64>(seq);
  GST_BUFFER_OFFSET_END(buffer) = static_cast<guint64>(seq) + 1;
  if (status != 0) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_CORRUPTED);
  if (st->discont) {
    GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
    st->discont = false;
  }
  const GstClockTime duration = st->duration;
  GST_BUFFER_DURATION(buffer) = duration;
  if (!gst_base_src_get_do_timestamp(GST_BASE_SRC(src))) {
    GST_BUFFER_PTS(buffer) = t;
    GST_BUFFER_DTS(buffer) = t;
    if (GST_CLOCK_TIME_IS_VALID(t))
      st->nextTime = t + (GST_CLOCK_TIME_IS_VALID(duration) ? duration : 0);
  } else {
    // GstBaseSrc stamps it with the running time after create() returns.
    st->nextTime = runningTime(src);
  }
  return buffer;
}

// While the camera is lost: tells downstream that no data comes for the time
// since the last buffer or GAP (only once data has flowed, so that the caps
// and segment went first).
static void pushGap(GstOcameraSrc *src) {
  OcameraSrcState *st = src->state;
  if (!GST_CLOCK_TIME_IS_VALID(st->nextTime)) return;
  const GstClockTime now = runningTime(src);
  if (!GST_CLOCK_TIME_IS_VALID(now) || now < st->nextTime + kGapInterval) return;
  GST_DEBUG_OBJECT(src, "gap %" GST_TIME_FORMAT " + %" GST_TIME_FORMAT, GST_TIME_ARGS(st->nextTime),
                   GST_TIME_ARGS(now - st->nextTime));
  gst_pad_push_event(GST_BASE_SRC_PAD(src), gst_event_new_gap(st->nextTime, now - st->nextTime));
  st->nextTime = now;
  st->discont = true;
}

// A recovery whose message was held back, once frames flow and the interval
// has passed: the application hears that the camera is back.
static void reportHeldBackRecovery(GstOcameraSrc *src) {
  int heldBack = 0;
  if (src->state->backMessages.heldBackDue(&heldBack))
    GST_ELEMENT_INFO(src, RESOURCE, READ, ("The camera is back"),
                     ("%s", withHeldBack("frames arrive again", heldBack, "recoveries").c_str()));
}

static GstFlowReturn create(GstPushSrc *push, GstBuffer **out) {
  GstOcameraSrc *src = GST_OCAMERA_SRC(push);
  OcameraSrcState *st = src->state;
  ocamera::Stream *stream = st->stream.get();  // replaced only on this thread while running
  if (!stream || !st->running) return GST_FLOW_NOT_NEGOTIATED;
  for (;;) {
    if (st->isFlushing()) return GST_FLOW_FLUSHING;
    applyLiveChanges(src, *stream);
    if (st->gaveUp) {
      GST_ELEMENT_ERROR(src, RESOURCE, READ, ("Lost the camera and could not reconnect"),
                        ("the stream gave up its recovery"));
      return GST_FLOW_ERROR;
    }
    ocamera::Frame frame;
    switch (stream->next(frame, kPollMs)) {
      case ocamera::FetchResult::Frame:
        reportHeldBackRecovery(src);
        if (GstBuffer *buffer = wrapFrame(src, std::move(frame))) {
          *out = buffer;
          return GST_FLOW_OK;
        }
        break;
      case ocamera::FetchResult::Timeout:
        break;
      case ocamera::FetchResult::Lost:
        pushGap(src);
        st->waitFlushing(kPollMs);
        break;
      case ocamera::FetchResult::Stopped:
        if (st->isFlushing()) return GST_FLOW_FLUSHING;
        GST_ELEMENT_ERROR(src, RESOURCE, READ, ("The camera's stream stopped"),
                          ("%s", st->takeFailure().c_str()));
        return GST_FLOW_ERROR;
    }
  }
}

// ------------------------------------------------------------ the type

static void finalize(GObject *object) {
  GstOcameraSrc *src = GST_OCAMERA_SRC(object);
  awaitRetired(src, ocamerasrc::closeWaitMs(*src->settings));
  delete src->state;
  delete src->settings;
  G_OBJECT_CLASS(gst_ocamera_src_parent_class)->finalize(object);
}

static void gst_ocamera_src_init(GstOcameraSrc *src) {
  src->settings = new Settings();
  src->state = new OcameraSrcState();
  gst_base_src_set_live(GST_BASE_SRC(src), TRUE);
  gst_base_src_set_format(GST_BASE_SRC(src), GST_FORMAT_TIME);
}

static void gst_ocamera_src_class_init(GstOcameraSrcClass *klass) {
  GObjectClass *object = G_OBJECT_CLASS(klass);
  GstElementClass *element = GST_ELEMENT_CLASS(klass);
  GstBaseSrcClass *base = GST_BASE_SRC_CLASS(klass);
  GstPushSrcClass *push = GST_PUSH_SRC_CLASS(klass);
  GST_DEBUG_CATEGORY_INIT(ocamerasrc_debug, "ocamerasrc", 0, "ocamera camera source");

  object->set_property = setProperty;
  object->get_property = getProperty;
  object->finalize = finalize;

  const auto atReady = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                GST_PARAM_MUTABLE_READY);
  const auto whilePlaying = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                     GST_PARAM_MUTABLE_PLAYING);
  g_object_class_install_property(
      object, PROP_ADDRESS,
      g_param_spec_string("address", "Address",
                          "The camera: host, host:port or http://host:port (port 80 when absent)",
                          ocamera::kFactoryDefaultAddress, atReady));
  // The camera checks shutter, gain and frame rate; a value it refuses is an
  // error at start and a warning while playing, in the library's words.
  g_object_class_install_property(
      object, PROP_SHUTTER,
      g_param_spec_int("shutter", "Shutter time",
                       "Exposure time in microseconds (0: leave the camera's); may change while "
                       "playing",
                       0, G_MAXINT, 0, whilePlaying));
  g_object_class_install_property(
      object, PROP_GAIN,
      g_param_spec_int("gain", "Gain",
                       "Sensor gain factor (0: leave the camera's); may change while playing", 0,
                       G_MAXINT, 0, whilePlaying));
  g_object_class_install_property(
      object, PROP_FRAME_RATE,
      g_param_spec_double("frame-rate", "Frame rate",
                          "Frames per second the camera captures in free run (0: leave the "
                          "camera's; the caps then say 0/1, a variable rate)",
                          0, G_MAXFLOAT, 0, atReady));
  g_object_class_install_property(
      object, PROP_WHITE_BALANCE,
      g_param_spec_string("white-balance", "White balance",
                          "White balance of the RGB output: \"none\", \"R,G,B\" factors in "
                          "percent (e.g. \"120,100,85\"), or \"file\" for the factors of wb.conf "
                          "in the current directory",
                          "none", atReady));
  g_object_class_install_property(
      object, PROP_SETTINGS_FILE,
      g_param_spec_string("settings-file", "Settings file",
                          "A camera settings file (JSON, as 'ocam config save' writes it) made on "
                          "the camera at start and after every recovery; its window and sensor "
                          "stand for the window and pattern properties left to the sensor",
                          "", atReady));
  for (int i = 0; i < ocamerasrc::optionPropertyCount(); ++i)
    g_object_class_install_property(object, PROP_OPTION_FIRST + i,
                                    ocamerasrc::optionParamSpec(i, atReady));

  gst_element_class_set_static_metadata(element, "ocamera camera source", "Source/Video/Network",
                                        "Live video from a networked smart camera, raw Bayer or "
                                        "converted to RGB by the ocamera library",
                                        "ocamera developers");
  gst_element_class_add_static_pad_template(element, &srcTemplate);

  base->start = start;
  base->stop = stop;
  base->get_caps = getCaps;
  base->set_caps = setCaps;
  base->query = query;
  base->unlock = unlock;
  base->unlock_stop = unlockStop;
  push->create = create;
}
