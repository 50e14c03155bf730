// ocam grab: take frames from the camera through a stream, convert them on the
// PC and write PNG files (or the raw Bayer bytes); or, continuously, count the
// frames for a while, riding out a camera that goes away and comes back. The
// stream's grab thread fetches and converts the next frames while the main
// thread writes the previous ones.
#include <ocamera/stream.h>
#include <ocamera/stream_options.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

#include "commands.h"
#include "common.h"
#include "files.h"
#include "interrupt.h"
#include "record.h"
#include "setting_words.h"

namespace ocam_cli {
namespace {

using Clock = std::chrono::steady_clock;

// The library's table entry of a stream option.
const ocamera::StreamOption &streamOption(const char *name) {
  return *ocamera::findStreamOption(name);
}

// The acquisition modes a stream runs in, as the library's option table names them.
const std::vector<Named> &modeNames() {
  static const std::vector<Named> names = [] {
    std::vector<Named> table;
    for (const ocamera::StreamOptionChoice &c : streamOption("acquisitionMode").choices)
      table.push_back({c.name, c.value});
    return table;
  }();
  return names;
}

// The window grab sets when --width/--height are not given, nothing is
// recorded and the camera does not describe its sensor: the stream's default.
// 0: the stream's choice (the sensor's).
const int kDefaultWidth = ocamera::StreamOptions().width;
const int kDefaultHeight = ocamera::StreamOptions().height;
// How long a frame may take before grab gives up on it (a triggered or slave
// mode without its trigger, a camera that stalls).
constexpr int kFrameTimeoutMs = 5000;
// The longest wait between two looks at Ctrl-C.
constexpr int kInterruptSliceMs = 200;

// Where the window of a grab comes from.
enum class WindowFrom {
  Given,     // --width/--height
  Recorded,  // the record of what ocam set on this camera
  Sensor,    // the whole sensor, as the camera describes it (or a profile stated)
  Default,   // the stream's default
};

struct Plan {
  std::string address;
  OCamera::eCameraType type = OCamera::CAM_TYPE_GENERIC;
  int frames = 1;
  int x0 = 0;
  int y0 = 0;
  int width = kDefaultWidth;
  int height = kDefaultHeight;
  WindowFrom windowFrom = WindowFrom::Default;
  // The sensor a profile applied with 'ocam config apply' stated, for a
  // camera that does not describe its own.
  ocamera::SensorGeometry sensor;
  bool continuous = false;
  bool json = false;   // the statistics of a continuous run as one JSON object
  double seconds = 0;  // > 0: a timed continuous run
  OCamera::eAcqMode mode = OCamera::ACQ_MODE_FREE_RUN;
  OCameraTools::eBayerPattern pattern = ocamera::kSensorPattern;  // the sensor's unless given
  WhiteBalance wb;
  bool raw = false;
  int buffers = 4;
  std::string directory = ".";
  std::string prefix = "frame";

  std::size_t frameBytes() const { return static_cast<std::size_t>(width) * height; }
  std::string fileName(int index) const {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", index);
    std::string name = prefix + "-" + number + (raw ? ".raw" : ".png");
    return directory == "." ? name : directory + "/" + name;
  }
};

ocamera::StreamOptions streamOptions(const Plan &plan);

// The window 'ocam set' (or a grab before) recorded for this camera, if any,
// and the sensor a profile stated. A record that cannot be trusted ends the
// command before any request.
void takeRecord(Plan &plan) {
  const ocamera::Settings record = CameraRecord(plan.address).load();
  plan.sensor = record.sensor;
  if (plan.windowFrom != WindowFrom::Default) return;
  const ocamera::SettingInfo &window = lookupSetting("window");
  const ocamera::Settings::Entry *entry = record.get(window.name);
  if (!entry) return;
  auto field = [&](const char *name) {
    for (std::size_t i = 0; i < window.fields.size() && i < entry->value.numbers.size(); ++i)
      if (std::string(window.fields[i].name) == name)
        return static_cast<int>(entry->value.numbers[i]);
    return -1;
  };
  if (field("x0") < 0 || field("y0") < 0 || field("width") <= 0 || field("height") <= 0) return;
  plan.x0 = field("x0");
  plan.y0 = field("y0");
  plan.width = field("width");
  plan.height = field("height");
  plan.windowFrom = WindowFrom::Recorded;
}

// An integer of grab's command line that becomes a stream option, within the
// range the library's option table gives it.
int streamArg(const Args &args, const char *key, const char *flag, const char *option,
              int fallback) {
  const ocamera::StreamOption &o = streamOption(option);
  return parseInt(args.get(key, std::to_string(fallback)), flag, static_cast<int>(o.min),
                  static_cast<int>(o.max));
}

Plan makePlan(const Args &args) {
  args.expectPositional(0, 0);
  Plan plan;
  plan.address = cameraAddress(args);
  plan.type = sensorType(args);
  plan.frames = parseInt(args.get("count", "1"), "-n", 1, 1000000);
  plan.width = streamArg(args, "width", "--width", "width", kDefaultWidth);
  plan.height = streamArg(args, "height", "--height", "height", kDefaultHeight);
  plan.windowFrom =
      args.has("width") || args.has("height") ? WindowFrom::Given : WindowFrom::Default;
  plan.continuous = args.has("continuous") || args.has("seconds");
  if (args.has("seconds"))
    plan.seconds = parseFloat(args.get("seconds"), "--seconds", 0.001f, 1e7f);
  if (plan.continuous && args.has("count"))
    throw UsageError("-n counts the frames written; a continuous run writes none");
  if (plan.continuous && args.has("output"))
    throw UsageError("-o names where frames are written; a continuous run writes none");
  plan.json = args.has("json");
  if (plan.json && !plan.continuous)
    throw UsageError("--json gives the statistics of a continuous run (--continuous, --seconds)");
  plan.mode = static_cast<OCamera::eAcqMode>(
      lookupName(modeNames(), args.get("mode", "free-run"), "acquisition mode", "ACQ_MODE_"));
  plan.raw = args.has("raw");
  std::string pattern = args.get("pattern", "GRGR");
  if (!args.has("pattern"))
    plan.pattern = ocamera::kSensorPattern;
  else if (plan.raw)
    plan.pattern = static_cast<OCameraTools::eBayerPattern>(
        lookupName(bayerPatternNames(), pattern, "Bayer pattern", "BAYER_PATTERN_"));
  else
    plan.pattern = parseConvertiblePattern(pattern);
  plan.wb = parseWhiteBalance(args.get("wb", "none"));
  if (plan.raw && plan.wb.mode != ocamera::WhiteBalance::None)
    throw UsageError("--wb applies to PNG output, not to --raw");
  plan.buffers = streamArg(args, "buffers", "--buffers", "cameraBuffers", 4);
  plan.directory = args.get("output", ".");
  plan.prefix = args.get("prefix", "frame");
  if (plan.prefix.empty() || plan.prefix.find('/') != std::string::npos)
    throw UsageError("--prefix must be a plain file name part");
  takeRecord(plan);
  // The rules between options (an RGB window of at least 2x2, a window no
  // camera image exceeds) are the library's, checked before anything is sent.
  const std::string invalid = ocamera::checkStreamOptions(streamOptions(plan));
  if (!invalid.empty()) throw UsageError(invalid);
  return plan;
}

// "[#######-------]  7/15" on standard error, redrawn in place.
class Progress {
 public:
  explicit Progress(int total) : total_(total), shown_(isatty(STDERR_FILENO) == 1) {}
  // An error message after a broken-off bar starts on a line of its own.
  ~Progress() {
    if (shown_ && done_ != total_) std::fputc('\n', stderr);
  }
  void update(int done) {
    done_ = done;
    if (!shown_) return;
    const int width = 30;
    int filled = static_cast<int>(static_cast<long long>(done) * width / total_);
    std::fprintf(stderr, "\r[%s%s] %d/%d", std::string(filled, '#').c_str(),
                 std::string(width - filled, '-').c_str(), done, total_);
    if (done == total_) std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  int total_;
  int done_ = 0;
  bool shown_;
};

// Whether the mode takes a trigger for each frame; free run and free-run slave
// capture on their own.
bool triggered(OCamera::eAcqMode mode) {
  return mode == OCamera::ACQ_MODE_SINGLE_SHOT || mode == OCamera::ACQ_MODE_SELECT_SHOT;
}

ocamera::StreamOptions streamOptions(const Plan &plan) {
  ocamera::StreamOptions o;
  o.cameraType = plan.type;
  o.x0 = plan.x0;
  o.y0 = plan.y0;
  o.width = plan.width;
  o.height = plan.height;
  o.pattern = plan.pattern;
  o.settings.sensor = plan.sensor;
  o.acquisitionMode = plan.mode;
  o.cameraBuffers = plan.buffers;
  if (plan.continuous) {
    // Live: the newest frames, nothing converted, the camera waited for
    // through any outage until the run ends.
    o.whenFull = ocamera::QueuePolicy::DropOldest;
    o.recover = true;
  } else {
    // Every frame taken is written; a lost camera ends the run.
    o.whenFull = ocamera::QueuePolicy::Block;
    o.bufferCount = 4;
    o.queueDepth = 3;
    o.frameLimit = plan.frames;  // no frame is fetched beyond the ones written
    o.recover = false;
    o.rgb = !plan.raw;
    o.whiteBalance = plan.wb.mode == ocamera::WhiteBalance::None
                         ? ocamera::WhiteBalance::None
                         : ocamera::WhiteBalance::Factors;  // wb.conf was read already
    o.red = plan.wb.red;
    o.green = plan.wb.green;
    o.blue = plan.wb.blue;
  }
  return o;
}

// The last Lost or GaveUp detail of a stream, and (for a continuous run) a
// line on standard error for each event.
class EventLines {
 public:
  explicit EventLines(bool print) : print_(print) {}
  void attach(ocamera::Stream &stream) {
    stream.setEventCallback([this](ocamera::StreamEvent event, const std::string &detail) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (event == ocamera::StreamEvent::Lost || event == ocamera::StreamEvent::GaveUp)
        last_ = detail;
      if (!print_) return;
      if (event == ocamera::StreamEvent::Lost)
        std::fprintf(stderr, "camera lost: %s; reconnecting\n", detail.c_str());
      else if (event == ocamera::StreamEvent::Recovered)
        std::fprintf(stderr, "camera back (%s), settings made again\n", detail.c_str());
      else if (event == ocamera::StreamEvent::GaveUp)
        std::fprintf(stderr, "camera not back: %s\n", detail.c_str());
    });
  }
  std::string last() {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_.empty() ? "the camera was lost" : last_;
  }

 private:
  bool print_;
  std::mutex mutex_;
  std::string last_;
};

std::unique_ptr<ocamera::Stream> openStream(Plan &plan, EventLines &events) {
  std::string error;
  std::unique_ptr<ocamera::Stream> stream;
  const std::string address =
      plan.address == kFactoryAddress ? ocamera::kFactoryDefaultAddress : plan.address;
  const Clock::time_point started = Clock::now();
  std::string reason = captureErrors(
      [&] { stream = ocamera::Stream::create(address.c_str(), streamOptions(plan), &error); });
  if (!stream)
    throw Failure("cannot connect to the camera at " + address + ": " +
                  (reason.empty() && !error.empty()
                       ? error
                       : creationReason(reason, Clock::now() - started)));
  stopIfInterrupted();
  // What the command line and the record left open the stream chose: the
  // whole sensor and its layout, as the camera describes it (or as a profile
  // applied to it stated), else 1280 x 1024 GRGR.
  const ocamera::StreamOptions chosen = stream->options();
  if (plan.windowFrom == WindowFrom::Default &&
      (ocamera::sensorGeometry(*stream->camera()).known() || plan.sensor.known()))
    plan.windowFrom = WindowFrom::Sensor;
  // A size given alone kept its value; the stream chose the other.
  plan.x0 = chosen.x0, plan.y0 = chosen.y0;
  plan.width = chosen.width, plan.height = chosen.height;
  plan.pattern = chosen.pattern;
  events.attach(*stream);
  stopIfInterrupted();
  // The window first on its own, so that a refusal names it; start() sets it again.
  expectOk(stream->camera()->setCameraWindow(plan.x0, plan.y0, plan.width, plan.height),
           "setting the window");
  expectOk(stream->start(), "starting the acquisition");
  stopIfInterrupted();
  return stream;
}

std::string windowNote(const Plan &plan) {
  switch (plan.windowFrom) {
    case WindowFrom::Recorded:
      return " at " + std::to_string(plan.x0) + "," + std::to_string(plan.y0) +
             " (the window recorded for this camera; --width/--height change it)";
    case WindowFrom::Sensor:
      return " (the whole sensor; --width/--height change it)";
    case WindowFrom::Default:
      return " (grab's default window; --width/--height change it)";
    default:
      return "";
  }
}

// Adds what the stream made on the camera to the record (a stopped stream).
void recordSession(const Plan &plan, ocamera::Stream &stream) {
  ocamera::Settings made;
  stream.withCamera([&made](OCamera &camera) {
    made = ocamera::sessionRecord(camera);
    return 0;
  });
  CameraRecord(plan.address).update(made);
}

// Waits up to timeoutMs for the next frame in short slices, so that Ctrl-C
// is noticed within one (Interrupted then).
ocamera::FetchResult nextFrame(ocamera::Stream &stream, ocamera::Frame &frame, int timeoutMs) {
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    stopIfInterrupted();
    const long long left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return ocamera::FetchResult::Timeout;
    ocamera::FetchResult result =
        stream.next(frame, static_cast<int>(std::min<long long>(left, kInterruptSliceMs)));
    if (result != ocamera::FetchResult::Timeout) return result;
  }
}

std::string count(std::uint64_t value) { return std::to_string(value); }

// Once a second on standard error during a continuous run: the rates over the
// last second and the counters so far.
void printStatus(const ocamera::StreamStats &s) {
  std::fprintf(
      stderr,
      "%.1f frames/s, %.1f MB/s; %llu frames, dropped %llu, missing %llu, "
      "failed requests %llu, recoveries %llu%s\n",
      s.framesPerSecond, s.megabytesPerSecond, static_cast<unsigned long long>(s.delivered),
      static_cast<unsigned long long>(s.dropped), static_cast<unsigned long long>(s.missing),
      static_cast<unsigned long long>(s.failedRequests),
      static_cast<unsigned long long>(s.recoveries),
      s.state == ocamera::StreamState::Lost ? " (camera lost)" : "");
  std::fflush(stderr);
}

int runContinuous(Plan &plan) {
  EventLines events(true);
  std::unique_ptr<ocamera::Stream> stream = openStream(plan, events);

  const Clock::time_point start = Clock::now();
  const auto until = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(plan.seconds));
  Clock::time_point nextStatus = start + std::chrono::seconds(1);
  ocamera::Frame frame;
  for (;;) {
    if (interrupted()) break;
    const Clock::time_point now = Clock::now();
    if (plan.seconds > 0 && now >= until) break;
    if (now >= nextStatus) {
      printStatus(stream->stats());
      nextStatus += std::chrono::seconds(1);
      if (nextStatus <= now) nextStatus = now + std::chrono::seconds(1);
    }
    // A Ctrl-C, the end of the run and the next status line are all noticed
    // within one wait.
    long long wait = std::min<long long>(
        kInterruptSliceMs,
        std::chrono::duration_cast<std::chrono::milliseconds>(nextStatus - now).count() + 1);
    if (plan.seconds > 0)
      wait = std::min<long long>(
          wait, std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1);
    if (triggered(plan.mode) && stream->state() == ocamera::StreamState::Running)
      stream->triggerImage();
    if (stream->next(frame, static_cast<int>(wait)) == ocamera::FetchResult::Frame) frame.release();
  }
  stream->stop();
  recordSession(plan, *stream);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const ocamera::StreamStats s = stream->stats();
  const double megabytes = static_cast<double>(plan.frameBytes()) * s.delivered / 1e6;
  if (plan.json) {
    char rates[96];
    std::snprintf(rates, sizeof rates, "%.3f", seconds);
    std::string secondsText = rates;
    std::snprintf(rates, sizeof rates, "%.2f", s.delivered / seconds);
    std::string fpsText = rates;
    std::snprintf(rates, sizeof rates, "%.2f", megabytes / seconds);
    printJsonObject({{"frames", count(s.delivered)},
                     {"width", std::to_string(plan.width)},
                     {"height", std::to_string(plan.height)},
                     {"seconds", secondsText},
                     {"frames_per_second", fpsText},
                     {"megabytes_per_second", rates},
                     {"dropped", count(s.dropped)},
                     {"missing", count(s.missing)},
                     {"failed_requests", count(s.failedRequests)},
                     {"recoveries", count(s.recoveries)},
                     {"interrupted", interrupted() ? "true" : "false"}});
    return 0;
  }
  std::printf("%llu frames of %dx%d%s in %.2f s: %.1f frames/s, %.1f MB/s\n",
              static_cast<unsigned long long>(s.delivered), plan.width, plan.height,
              windowNote(plan).c_str(), seconds, s.delivered / seconds, megabytes / seconds);
  std::printf("dropped %llu, missing %llu, failed requests %llu, recoveries %llu\n",
              static_cast<unsigned long long>(s.dropped),
              static_cast<unsigned long long>(s.missing),
              static_cast<unsigned long long>(s.failedRequests),
              static_cast<unsigned long long>(s.recoveries));
  return 0;
}

int run(const Args &args) {
  Plan plan = makePlan(args);
  loadWhiteBalance(plan.wb);
  if (plan.continuous) return runContinuous(plan);
  MadeDirectory directory(plan.directory);

  EventLines events(false);
  std::unique_ptr<ocamera::Stream> stream = openStream(plan, events);
  Progress progress(plan.frames);
  Clock::time_point start = Clock::now();
  ocamera::Frame frame;
  for (int i = 1; i <= plan.frames; ++i) {
    std::string what = "frame " + std::to_string(i);
    if (triggered(plan.mode)) expectOk(stream->triggerImage(), what + ": triggering");
    switch (nextFrame(*stream, frame, kFrameTimeoutMs)) {
      case ocamera::FetchResult::Frame:
        break;
      case ocamera::FetchResult::Timeout:
        throw Failure(what + ": no frame from the camera within " +
                      std::to_string(kFrameTimeoutMs / 1000) + " s");
      default:
        throw Failure(what + ": " + events.last());
    }
    if (frame.status() != 0)
      throw Failure(what + ": the camera reported image status " + std::to_string(frame.status()));
    const std::string path = plan.fileName(i);
    if (plan.raw)
      writeBytes(path, frame.data(), frame.size());
    else
      writePng(path, frame.data(), plan.width, plan.height);
    frame.release();
    progress.update(i);
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  stream->stop();
  recordSession(plan, *stream);
  stream.reset();  // closes the camera
  directory.keep();

  double megabytes = static_cast<double>(plan.frameBytes()) * plan.frames / 1e6;
  std::printf("%d frame%s of %dx%d%s in %.2f s: %.1f frames/s, %.1f MB/s\n", plan.frames,
              plan.frames == 1 ? "" : "s", plan.width, plan.height, windowNote(plan).c_str(),
              seconds, plan.frames / seconds, megabytes / seconds);
  if (plan.frames == 1)
    std::printf("wrote %s\n", plan.fileName(1).c_str());
  else
    std::printf("wrote %s ... %s\n", plan.fileName(1).c_str(), plan.fileName(plan.frames).c_str());
  return 0;
}

}  // namespace

Command grabCommand() {
  return {
      {"grab",
       "Take frames and write them as PNG files (or raw Bayer bytes)",
       "[-a ADDR] [-n N] [-o DIR] [--width W --height H] [--pattern P] [--wb WB] [--raw]\n"
       "       [--continuous | --seconds S] [--json]",
       "Opens the camera, sets the window and the acquisition mode, takes N frames,\n"
       "converts them from Bayer to RGB on the PC and writes DIR/frame-0001.png and\n"
       "on. Each file appears only once it is complete. At the end it prints the\n"
       "frames and megabytes per second; a progress bar shows on a terminal.\n"
       "Single-shot and select-shot frames are triggered by software; free run and\n"
       "free-run slave capture on their own.\n\n"
       "continuous runs (--continuous until Ctrl-C, --seconds S for S seconds) take\n"
       "frames without writing them (so -n and -o do not apply), wait for a camera\n"
       "that goes away (power cycle, cable, restart) and set it up again when it is\n"
       "back. Every second a status line on standard error shows the frames and\n"
       "megabytes per second, dropped and missing frames, failed requests and\n"
       "recoveries; at the end the totals are printed (--json: as one JSON object).\n\n"
       "Ctrl-C (or SIGTERM) ends any grab cleanly: the acquisition is stopped, the\n"
       "camera closed and no partial file is left; the exit status is then 130.\n"
       "Connecting and setting up wait at most the reply time-out (--timeout).\n\n"
       "the window: --width/--height at 0,0 when given; else the window 'ocam set'\n"
       "recorded for this camera (see 'ocam config'); else the whole sensor as the\n"
       "camera describes it (or a profile applied with 'ocam config apply' stated);\n"
       "else 1280x1024. The Bayer layout likewise comes from the sensor unless\n"
       "--pattern is given.\n\n"
       "what stays on the camera: every grab sets the window and the acquisition\n"
       "mode, and stops the acquisition at the end; the window stays set afterwards\n"
       "(and recorded). The frame rate, shutter time and gain are not touched: what\n"
       "'ocam set' made persists on the camera and applies to grab (a low frame rate\n"
       "slows it down).\n\n"
       "white balance (--wb):\n"
       "  none         no correction (default)\n"
       "  R,G,B        factors in percent, e.g. 120,100,85\n"
       "  file         the factors stored in ./wb.conf (see 'ocam wb')\n\n"
       "examples:\n"
       "  ocam grab -n 10 -o out\n"
       "  ocam grab -n 5 --width 640 --height 480 --wb 120,100,85 -o out\n"
       "  ocam grab --raw -o raw && ocam convert raw/frame-0001.raw\n"
       "  ocam grab --seconds 60\n",
       {cameraAddressOption(),
        {"count", 'n', "N", "number of frames (default 1)"},
        {"output", 'o', "DIR", "directory for the files, made if missing (default .)"},
        {"prefix", 0, "NAME", "file name start (default frame)"},
        {"width", 0, "W", "window width in pixels (default: the recorded window or the sensor's)"},
        {"height", 0, "H",
         "window height in pixels (default: the recorded window or the sensor's)"},
        {"mode", 0, "MODE", "free-run (default), single-shot, select-shot, free-run-slave"},
        {"pattern", 0, "P",
         "Bayer pattern of the sensor: GRGR (GRBG) or BGBG (BGGR); default: the sensor's, else "
         "GRGR"},
        {"wb", 0, "WB", "white balance: none, R,G,B or file"},
        {"raw", 0, "", "write the raw Bayer bytes (.raw) instead of PNG"},
        {"buffers", 0, "N", "frame buffers in the camera (default 4)"},
        {"continuous", 0, "", "take frames until Ctrl-C, surviving camera restarts"},
        {"seconds", 0, "S", "a continuous run of S seconds"},
        {"json", 0, "", "a continuous run's statistics as one JSON object at the end"},
        sensorTypeOption()}},
      run};
}

}  // namespace ocam_cli
