// ocam grab: take frames from the camera, convert them on the PC and write PNG
// files (or the raw Bayer bytes). Frames are fetched on the main thread into
// reused buffers while a second thread converts and writes the previous ones.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "commands.h"
#include "common.h"
#include "files.h"

namespace ocam_cli {
namespace {

using Clock = std::chrono::steady_clock;

const std::vector<Named> &modeNames() {
  static const std::vector<Named> names = {{"FREE_RUN", OCamera::ACQ_MODE_FREE_RUN},
                                           {"SINGLE_SHOT", OCamera::ACQ_MODE_SINGLE_SHOT},
                                           {"SELECT_SHOT", OCamera::ACQ_MODE_SELECT_SHOT},
                                           {"FREE_RUN_SLAVE", OCamera::ACQ_MODE_FREE_RUN_SLAVE}};
  return names;
}

struct Plan {
  std::string address;
  OCamera::eCameraType type = OCamera::CAM_TYPE_GENERIC;
  int frames = 1;
  int width = 1280;
  int height = 1024;
  OCamera::eAcqMode mode = OCamera::ACQ_MODE_FREE_RUN;
  OCameraTools::eBayerPattern pattern = OCameraTools::BAYER_PATTERN_GRGR;
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

Plan makePlan(const Args &args) {
  args.expectPositional(0, 0);
  Plan plan;
  plan.address = cameraAddress(args);
  plan.type = sensorType(args);
  plan.frames = parseInt(args.get("count", "1"), "-n", 1, 1000000);
  plan.width = parseInt(args.get("width", "1280"), "--width", 2, 16384);
  plan.height = parseInt(args.get("height", "1024"), "--height", 2, 16384);
  plan.mode = static_cast<OCamera::eAcqMode>(
      lookupName(modeNames(), args.get("mode", "free-run"), "acquisition mode", "ACQ_MODE_"));
  plan.raw = args.has("raw");
  std::string pattern = args.get("pattern", "GRGR");
  if (plan.raw)
    plan.pattern = static_cast<OCameraTools::eBayerPattern>(
        lookupName(bayerPatternNames(), pattern, "Bayer pattern", "BAYER_PATTERN_"));
  else
    plan.pattern = parseConvertiblePattern(pattern);
  plan.wb = parseWhiteBalance(args.get("wb", "none"));
  if (plan.raw && plan.wb.source != WhiteBalance::Source::kNone)
    throw UsageError("--wb applies to PNG output, not to --raw");
  plan.buffers = parseInt(args.get("buffers", "4"), "--buffers", 1, 64);
  plan.directory = args.get("output", ".");
  plan.prefix = args.get("prefix", "frame");
  if (plan.prefix.empty() || plan.prefix.find('/') != std::string::npos)
    throw UsageError("--prefix must be a plain file name part");
  return plan;
}

// Converts and writes frames on its own thread; the grabbing thread hands over
// filled buffers and takes empty ones back.
class Writer {
 public:
  Writer(const Plan &plan, std::size_t capacity, int slots) : plan_(plan) {
    for (int i = 0; i < slots; ++i) {
      buffers_.emplace_back(new unsigned char[capacity]);
      free_.push_back(buffers_.back().get());
    }
    if (!plan.raw) rgb_.resize(plan.frameBytes() * 3);
    thread_ = std::thread([this] { work(); });
  }
  ~Writer() { finish(std::nothrow); }

  // An empty buffer; Failure when writing has failed meanwhile.
  unsigned char *acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !free_.empty() || !error_.empty(); });
    if (!error_.empty()) throw Failure(error_);
    unsigned char *buffer = free_.front();
    free_.pop_front();
    return buffer;
  }
  void release(unsigned char *buffer) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(buffer);
    changed_.notify_all();
  }
  void submit(unsigned char *buffer, int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back({buffer, index});
    changed_.notify_all();
  }
  // Waits until every submitted frame is written; Failure when one was not.
  void finish() {
    finish(std::nothrow);
    if (!error_.empty()) throw Failure(error_);
  }

 private:
  struct Job {
    unsigned char *buffer;
    int index;
  };

  void finish(std::nothrow_t) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

  void work() {
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !jobs_.empty() || closing_; });
        if (jobs_.empty() || !error_.empty()) return;
        job = jobs_.front();
        jobs_.pop_front();
      }
      try {
        write(job);
        release(job.buffer);
      } catch (const std::exception &e) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = e.what();
        changed_.notify_all();
        return;
      }
    }
  }

  void write(const Job &job) {
    std::string path = plan_.fileName(job.index);
    if (plan_.raw) {
      writeBytes(path, job.buffer, plan_.frameBytes());
      return;
    }
    convertBayer(job.buffer, rgb_.data(), plan_.width, plan_.height, plan_.pattern, plan_.wb);
    writePng(path, rgb_.data(), plan_.width, plan_.height);
  }

  const Plan &plan_;
  std::vector<std::unique_ptr<unsigned char[]>> buffers_;
  std::vector<unsigned char> rgb_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<unsigned char *> free_;
  std::deque<Job> jobs_;
  bool closing_ = false;
  std::string error_;
  std::thread thread_;
};

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

// Stops the acquisition and closes the camera on every way out.
struct Acquisition {
  OCamera *camera;
  bool opened = false;
  bool started = false;
  ~Acquisition() {
    if (started) camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP);
    if (opened) camera->close();
  }
};

int run(const Args &args) {
  Plan plan = makePlan(args);
  loadWhiteBalance(plan.wb);
  MadeDirectory directory(plan.directory);

  CameraPtr camera = connectCamera(plan.address, plan.type);
  Acquisition acquisition{camera.get()};
  expectOk(camera->open(static_cast<int>(plan.frameBytes()), plan.buffers), "opening the camera");
  acquisition.opened = true;
  expectOk(camera->setCameraWindow(0, 0, plan.width, plan.height), "setting the window");
  expectOk(camera->setAcquisitionMode(plan.mode), "setting the acquisition mode");
  acquisition.started = true;
  bool triggered = plan.mode != OCamera::ACQ_MODE_FREE_RUN;

  // The library copies a frame into the buffer without knowing its size: leave
  // room for a full sensor even if the camera ignored the window, and check.
  const std::size_t capacity = std::max<std::size_t>(plan.frameBytes(), 16u << 20);
  Writer writer(plan, capacity, 3);
  Progress progress(plan.frames);
  Clock::time_point start = Clock::now();
  for (int i = 1; i <= plan.frames; ++i) {
    std::string what = "frame " + std::to_string(i);
    if (triggered) expectOk(camera->triggerImage(), what + ": triggering");
    OCamera::Image image{};
    image.data = writer.acquire();
    expectOk(camera->getSingleImageInto(&image), what);
    if (image.status != 0)
      throw Failure(what + ": the camera reported image status " + std::to_string(image.status));
    if (static_cast<std::size_t>(image.size) != plan.frameBytes())
      throw Failure(what + ": the camera sent " + std::to_string(image.size) + " bytes, not " +
                    std::to_string(plan.width) + "x" + std::to_string(plan.height));
    writer.submit(image.data, i);
    progress.update(i);
  }
  writer.finish();
  directory.keep();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  double megabytes = static_cast<double>(plan.frameBytes()) * plan.frames / 1e6;
  std::printf("%d frame%s of %dx%d in %.2f s: %.1f frames/s, %.1f MB/s\n", plan.frames,
              plan.frames == 1 ? "" : "s", plan.width, plan.height, seconds, plan.frames / seconds,
              megabytes / seconds);
  if (plan.frames == 1)
    std::printf("wrote %s\n", plan.fileName(1).c_str());
  else
    std::printf("wrote %s ... %s\n", plan.fileName(1).c_str(), plan.fileName(plan.frames).c_str());
  return 0;
}

}  // namespace

Command grabCommand() {
  return {{"grab",
           "Take frames and write them as PNG files (or raw Bayer bytes)",
           "[-a ADDR] [-n N] [-o DIR] [--width W --height H] [--pattern P] [--wb WB] [--raw]",
           "Opens the camera, sets the window and the acquisition mode, takes N frames,\n"
           "converts them from Bayer to RGB on the PC and writes DIR/frame-0001.png and\n"
           "on. Each file appears only once it is complete. At the end it prints the\n"
           "frames and megabytes per second; a progress bar shows on a terminal.\n\n"
           "white balance (--wb):\n"
           "  none         no correction (default)\n"
           "  R,G,B        factors in percent, e.g. 120,100,85\n"
           "  file         the factors stored in ./wb.conf (see 'ocam wb')\n\n"
           "examples:\n"
           "  ocam grab -n 10 -o out\n"
           "  ocam grab -n 5 --width 640 --height 480 --wb 120,100,85 -o out\n"
           "  ocam grab --raw -o raw && ocam convert raw/frame-0001.raw\n",
           {cameraAddressOption(),
            {"count", 'n', "N", "number of frames (default 1)"},
            {"output", 'o', "DIR", "directory for the files, made if missing (default .)"},
            {"prefix", 0, "NAME", "file name start (default frame)"},
            {"width", 0, "W", "window width in pixels (default 1280)"},
            {"height", 0, "H", "window height in pixels (default 1024)"},
            {"mode", 0, "MODE", "free-run (default), single-shot, select-shot, free-run-slave"},
            {"pattern", 0, "P", "Bayer pattern of the sensor: GRGR (default), BGBG"},
            {"wb", 0, "WB", "white balance: none, R,G,B or file"},
            {"raw", 0, "", "write the raw Bayer bytes (.raw) instead of PNG"},
            {"buffers", 0, "N", "frame buffers in the camera (default 4)"},
            sensorTypeOption()}},
          run};
}

}  // namespace ocam_cli
