// ocamera::Stream: continuous acquisition from one camera, with a pool of
// reusable frame buffers, a bounded queue, statistics, and recovery after the
// camera was lost (power cycle, cable pulled, session expired).
//
// Built on the OCamera interface only: one grab thread calls
// grabImage into the pool's buffers, converts to RGB when asked, and
// hands each frame to the queue (next, tryNext) or to a frame callback. In
// steady state nothing is allocated per frame by the stream.
#pragma once

#include <ocamera/camera.h>
#include <ocamera/export.h>
#include <ocamera/settings.h>
#include <ocamera/tools.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace ocamera {

namespace stream {
class FramePool;  // the buffers of one stream; shared by the stream and its frames
struct FrameSlot;
}  // namespace stream

// What the grab thread does with a new frame when queueDepth frames are
// waiting for the application already. Frames the application holds count
// against bufferCount too: when every buffer is held or queued the grab thread
// waits for one (DropOldest first takes back the oldest queued frame).
enum class QueuePolicy : int {
  DropOldest = 0,  // drop the oldest waiting frame (live view: always the newest)
  DropNewest = 1,  // drop the new frame (the waiting ones keep their order)
  Block = 2,       // stop fetching until the application takes a frame (nothing dropped)
};

// White balance of the optional RGB conversion.
enum class WhiteBalance : int {
  None = 0,     // plain conversion
  Factors = 1,  // StreamOptions::red, green, blue in percent
  File = 2,     // the factors of "wb.conf" in the current directory, read at start() (which
                // fails when the file is missing, incomplete or out of range)
};

// StreamOptions::pattern for "the sensor's layout".
constexpr OCameraTools::eBayerPattern kSensorPattern = static_cast<OCameraTools::eBayerPattern>(0);

// How a stream is made. Every field has a usable default.
struct StreamOptions {
  OCamera::eCameraType cameraType = OCamera::CAM_TYPE_GENERIC;  // the camera's sensor
  // The window set on the camera at every start and recovery; frames are
  // width x height raw bytes (x 3 with rgb). setCameraWindow changes it. A
  // frame of another size counts as a failed request; one larger than the
  // window is never written past its buffer. Each pool buffer holds one
  // frame of the window; a buffer that cannot be had ends the acquisition
  // with an Error event. A width or height of 0 (the default) is chosen by
  // create(): both left at 0 take the window of `settings` when it has one;
  // otherwise a size left at 0 is the sensor's (see sensorGeometry; the
  // geometry of `settings` for a camera that does not tell; 1280 x 1024 when
  // neither does) and a size given keeps its value. options() then says what
  // was chosen.
  int x0 = 0, y0 = 0, width = 0, height = 0;
  // The sensor's Bayer layout: reported with every frame and used by the
  // RGB conversion. kSensorPattern (the default): the sensor's, found as the
  // window is (GRGR when unknown).
  OCameraTools::eBayerPattern pattern = kSensorPattern;
  // Acquisition mode set at start. In SINGLE_SHOT and SELECT_SHOT frames come
  // only on triggers (triggerImage, or the trigger source set).
  OCamera::eAcqMode acquisitionMode = OCamera::ACQ_MODE_FREE_RUN;
  int cameraBuffers = 4;  // frame buffers in the camera (OCamera::open's maxBuffers), 1..1024
  int bufferCount = 8;    // frames in the stream's pool, >= 2
  int queueDepth = 4;     // frames delivered but not yet taken, 1..bufferCount
  QueuePolicy whenFull = QueuePolicy::DropOldest;  // what a full queue does
  // Convert every frame to 24-bit RGB on the grab thread (the pattern must be
  // one the conversion handles: GRGR or BGBG).
  bool rgb = false;
  WhiteBalance whiteBalance = WhiteBalance::None;  // of the RGB conversion
  int red = 100, green = 100, blue = 100;          // percent, with WhiteBalance::Factors
  // The camera's read time-out (ms, 1..600000) the stream sets at start: how
  // long one image request waits for a frame. A request that ends with the
  // camera's "no frame within the read time-out" (-21) is no failure.
  int readTimeoutMs = 250;
  // The reply time-out (ms, 0..3600000) of the stream's requests: how long the
  // camera may stay silent in a reply before the request fails (see
  // setReplyTimeout in <ocamera/export.h>; a reply that keeps flowing is not
  // cut). 0 follows the process-wide setting. It applies to create(), start(),
  // stop(), the setters, withCamera() and the destructor on the calling
  // thread, and to every request of the grab thread. An image request may
  // stay silent for readTimeoutMs plus this margin (a margin of 10 s when
  // neither this nor the process-wide time-out is set): one that outlives it is a
  // loss (Lost event, recovery). So stop() waits at most that long for a
  // request in flight, whatever the camera does.
  int replyTimeoutMs = 0;
  // Image requests kept in flight, 1..4, each on a pooled connection of the
  // camera object (fetched by threads of the stream's own). With more than one
  // the link does not idle for a round trip between two frames; frames are
  // still delivered in seqNr order (one that arrives early waits for the
  // requests issued before it), and the statistics, recovery and the bound of
  // stop() are those of one request. Worth raising where frames are small
  // beside the round trip (small windows over a real network), or where the
  // camera's own work per frame is long beside the transfer: requests in
  // flight overlap both with the transfer of the frame before.
  int requestsInFlight = 1;
  // Recovery: a stream is lost after failuresBeforeLost failed requests in a
  // row (or at once on a reply saying the session is gone, status -10); it
  // then ends the camera object and makes a new one, waiting retryInitialMs
  // before the first try and doubling up to retryMaxMs between tries, for at
  // most retryLimit tries (0: until stop()). Each try that reaches the camera
  // sets it up as start() does. A stream lost again right after a recovery,
  // before the camera delivered a frame or a read time-out, goes on with the
  // same back-off and the same count of tries: a camera that fails every
  // request is tried less and less often and, with a retryLimit, given up.
  // Without recover a lost stream stays Lost until stop(). A failed creation
  // writes the library's line (standard error, or the log handler of
  // <ocamera/export.h>).
  bool recover = true;
  int failuresBeforeLost = 2;  // failed requests in a row that make a loss
  int retryInitialMs = 100;    // wait before the first try, ms
  int retryMaxMs = 2000;       // longest wait between tries, ms
  int retryLimit = 0;          // tries before giving up (0: until stop())
  // Frames fetched after each start() at most (0: no limit). Once the last
  // is fetched the grab thread asks the camera for nothing more; next()
  // returns Stopped when the queue is empty, until stop() and start() again.
  // A run of exactly N frames ("take 10 pictures") uses it so that no frame
  // is fetched beyond them.
  int frameLimit = 0;
  // Camera settings made at every start and after every recovery, after the
  // window and the read time-out and before the acquisition mode (see
  // <ocamera/settings.h>). The stream's own setters (setShutterTime ...
  // setTriggerDelay) update it; options() returns it so updated. Its window
  // serves as the default window (above); its window, read time-out and
  // acquisition mode are otherwise left out: the fields above set those.
  Settings settings;
};

// One frame from a stream's pool. Move-only; the buffer goes back to the pool
// when the frame is released (release() or destruction). An empty frame
// (default-constructed, moved from or released) has data() null and size() 0.
//
// Ownership and threads: the data belongs to the frame until it is released.
// A frame may outlive its stream (the pool lives until its last frame is
// released). One frame must not be used by two threads at once; different
// frames may be released on any threads.
class OCAMERA_API Frame {
 public:
  Frame() noexcept = default;
  // Takes the other frame's buffer; the other is left empty.
  Frame(Frame &&other) noexcept;
  // Releases this frame's buffer, then takes the other's.
  Frame &operator=(Frame &&other) noexcept;
  Frame(const Frame &) = delete;
  Frame &operator=(const Frame &) = delete;
  ~Frame();

  // Whether the frame holds a buffer.
  explicit operator bool() const noexcept { return slot_ != nullptr; }
  // The pixels, row after row (null for an empty frame).
  const unsigned char *data() const noexcept;
  std::size_t size() const noexcept;  // bytes at data(): width x height x channels
  int width() const noexcept;         // in pixels
  int height() const noexcept;        // in pixels
  int channels() const noexcept;      // 1 raw Bayer, 3 RGB
  OCameraTools::eBayerPattern pattern() const noexcept;  // of the raw frame
  int seqNr() const noexcept;                            // the camera's sequence number
  int timeSec() const noexcept;                          // the camera's time stamp of the capture
  int timeMicroSec() const noexcept;                     // microseconds within timeSec
  int status() const noexcept;                           // the camera's image status (0 = good)
  // Gives the buffer back to the pool; the frame is empty afterwards.
  void release() noexcept;

 private:
  friend class stream::FramePool;
  Frame(std::shared_ptr<stream::FramePool> pool, stream::FrameSlot *slot) noexcept;
  std::shared_ptr<stream::FramePool> pool_;
  stream::FrameSlot *slot_ = nullptr;
};

// Where a stream is: stopped, running, or lost and recovering.
enum class StreamState : int {
  Stopped = 0,  // made or stopped: no acquisition
  Running = 1,  // frames are fetched
  Lost = 2,     // the camera was lost; recovery is trying (or gave up: see StreamEvent::GaveUp)
};

// Started and Stopped are reported on the thread that called start() or
// stop(), the others on the grab thread.
enum class StreamEvent : int {
  Started = 0,    // start() succeeded; the detail names settings the camera refused
  Lost = 1,       // requests fail, stall or the session is gone; the detail says what failed
  Recovered = 2,  // a new camera object is made and the settings re-applied
  GaveUp = 3,     // retryLimit tries failed; the stream stays Lost until stop()
  Stopped = 4,    // stop() ended the acquisition
  // The grab thread ended on a failure of its own: no memory for the frame
  // buffers, an exception thrown by the frame callback. The detail says which.
  // state() and next() say Stopped until stop() or start().
  Error = 5,
};

// What next() found. Frames queued before a loss are delivered first.
enum class FetchResult : int {
  Frame = 0,    // a frame was delivered
  Timeout = 1,  // none arrived within the time-out
  // The stream is stopped (or stopped while waiting, or its frameLimit is
  // reached, or the grab thread ended on an Error)
  Stopped = 2,
  Lost = 3,  // the camera was lost when the time-out ended (at once once recovery gave up)
};

// Counters since the stream was made, and the rates over the last second.
// Frames still queued at stop() were counted as delivered, not as dropped.
struct StreamStats {
  std::uint64_t delivered = 0;  // frames handed to the application (queue or callback)
  std::uint64_t dropped = 0;    // frames dropped because the queue was full
  // Frames the camera numbered but never delivered: the gaps between
  // successive seqNrs, counted modulo 2^32 (INT_MAX to INT_MIN is one step).
  // A jump forward by more than 2^20, a step back or a repeated number is a
  // new count, not a gap: it adds to sequenceResets instead.
  std::uint64_t missing = 0;
  std::uint64_t sequenceResets = 0;          // new counts of seqNr (see missing)
  std::uint64_t failedRequests = 0;          // image requests that failed
  std::uint64_t recoveries = 0;              // times the stream recovered after a loss
  double framesPerSecond = 0;                // delivered over the last second
  double megabytesPerSecond = 0;             // bytes of those frames, 10^6 bytes a second
  StreamState state = StreamState::Stopped;  // the stream's state when counted
};

// A stream owns its camera object and one grab thread (while running).
//
// Thread safety: every member function may be called from any thread at the
// same time as the others, except the destructor. Frame callbacks and the
// Lost, Recovered, GaveUp and Error events run on the grab thread; a callback
// may call any member, and should return quickly: the stream does not fetch
// while it runs. There start() returns -1 and stop() returns at once without
// doing anything (they would wait for the thread they run on); the
// stopped-only setters return -1. Destroying the stream from such a callback
// is allowed: the grab thread ends the acquisition and the camera object once
// the callback returns. Nothing is thrown out of a member function or on the
// grab thread: an exception of the frame callback ends the acquisition with an
// Error event; one of the event callback is dropped.
//
// Settings made through the stream (setShutterTime ... setTriggerDelay, and
// the window and mode) are recorded and made again at every start and after
// every recovery, with StreamOptions::settings (the setters update that
// document). Each setter returns the camera's result (0 = success), or -1
// while the camera is lost or the request failed; a value the camera refused
// is not recorded (the one before it stays); a value outside the range of
// the settings table (settingTable) is refused without a request (-15, as
// the camera would). A value recorded while lost that the new camera refuses
// is dropped from the record, and the Recovered event's detail names it by
// its key ("triggerDelay (refused with -15)"); so is an entry of
// StreamOptions::settings that the camera refuses at start() (the Started
// event's detail and *error name it). Settings made on camera() directly are
// not recorded.
class OCAMERA_API Stream {
 public:
  // Connects to the camera (as CreateCameraInterface does) and returns a
  // stopped stream; null on failure, with the reason in *error when given:
  // options it cannot run with (checked first, before any traffic, see
  // checkStreamOptions), or why the camera object could not be made
  // (lastCreationError's words).
  static std::unique_ptr<Stream> create(const char *address, const StreamOptions &options = {},
                                        std::string *error = nullptr);
  ~Stream();  // stops, then destroys the camera object; frames still held stay valid
  Stream(const Stream &) = delete;
  Stream &operator=(const Stream &) = delete;

  // Reads wb.conf (WhiteBalance::File), opens the camera's frame buffers,
  // applies the window, the read time-out, the recorded settings and the
  // acquisition mode, and starts the grab thread. Returns 0, or the result
  // of the first camera call that failed (the camera is closed again and
  // nothing is left running), or -1 for a failure of another step: a missing
  // or broken wb.conf (nothing is sent then), a stream stopped while lost
  // that cannot make a new camera object, a grab thread that cannot start, a
  // call from a callback of the grab thread. *error, when given, says which
  // step failed and why; on 0 it is empty or names the recorded settings the
  // camera refused (dropped from the record, as after a recovery). Starting
  // a running (or lost) stream returns 0 and does nothing; a stream whose
  // frameLimit was reached or that ended on an Error starts afresh.
  int start(std::string *error = nullptr);
  // Ends the acquisition (mode STOP, close) and joins the grab thread; a
  // request in flight is waited for (bounded by readTimeoutMs plus the reply
  // time-out margin, see replyTimeoutMs), a recovery is cut short (a new
  // camera object being made or set up is finished first, each request with
  // the same margin), and a thread waiting in next() returns Stopped. Frames still queued are
  // dropped; frames the application holds stay valid. Called from a callback
  // of the grab thread it returns at once and does nothing.
  void stop();

  // Waits up to timeoutMs (< 0: without limit) for the next frame. On Frame
  // the frame held in `frame` before is released and replaced; on any other
  // result `frame` is left as it was.
  FetchResult next(Frame &frame, int timeoutMs);
  // The next frame if one is waiting (true; as next() with Frame); never
  // blocks. false leaves `frame` as it was.
  bool tryNext(Frame &frame);

  // With a frame callback set, frames go to it instead of the queue; it may
  // move the frame out to keep it (it is released when the callback returns
  // otherwise). An empty function goes back to the queue.
  void setFrameCallback(std::function<void(Frame &frame)> callback);
  // Lost, Recovered, GaveUp, Started and Stopped, with a line of detail.
  void setEventCallback(std::function<void(StreamEvent event, const std::string &detail)> callback);

  // What the stream counted since it was made, and its state; thread-safe.
  StreamStats stats() const;
  // Stopped, Running or Lost.
  StreamState state() const;
  // The options the stream was made with, with the window as set last.
  StreamOptions options() const;

  // Recorded settings (see above).
  int setShutterTime(int microseconds);
  // The gain factor, recorded as setShutterTime.
  int setGain(int factor);
  // The frame rate in frames per second, recorded as setShutterTime.
  int setFrameRate(float fps);
  // Where triggers come from and their edge, recorded as setShutterTime.
  int setTriggerSource(OCamera::eTrigSource source, OCamera::eTrigPolarity polarity);
  // Delay from a trigger to its picture in microseconds, recorded as
  // setShutterTime.
  int setTriggerDelay(int microseconds);
  // Changes the frame size for the next start(), which sets it on the camera
  // (and reports a refusal). 0 when recorded; -1 while running or lost, or
  // for a window the stream cannot run with. Nothing is sent here.
  int setCameraWindow(int x0, int y0, int width, int height);
  // The mode for the next start(), which sets it on the camera: 0 when
  // recorded; -1 while running or lost, or for a mode that delivers no
  // images (STOP, FREE_RUN_SLAVE_STOP). Nothing is sent here.
  int setAcquisitionMode(OCamera::eAcqMode mode);
  // A software trigger (single-shot and select-shot modes); not recorded.
  int triggerImage();

  // Runs call on the camera object, for operations the stream does not offer,
  // and returns its result; -1 without calling it while the camera is lost,
  // or when it throws. The object cannot be replaced by a recovery while call
  // runs (a recovery waits), and its requests have the stream's reply
  // time-out. call must not keep the reference, must not call the stream's
  // own members, and must not change the acquisition state (mode,
  // open/close, window) while running.
  int withCamera(const std::function<int(OCamera &camera)> &call);

  // Deprecated: use withCamera. The camera object itself; null while the
  // camera is lost. A recovery may destroy it at any moment while the stream
  // runs, so the pointer is safe to use only while the stream is stopped.
  OCamera *camera();

 private:
  struct Impl;
  explicit Stream(std::shared_ptr<Impl> impl);
  // Shared with the grab thread, which ends the camera itself when the stream
  // is destroyed from one of its callbacks.
  std::shared_ptr<Impl> impl_;
};

}  // namespace ocamera
