// The camera's operations: creating and opening it, acquisition and
// triggers, delivering frames, and the settings it checks or keeps.
#include <algorithm>
#include <cstring>
#include <functional>

#include "sim/model.h"

namespace ocamsim {
namespace detail {
namespace {

using namespace status;

bool within(int v, int lo, int hi) { return v >= lo && v <= hi; }
bool bayerPattern(int v) { return within(v, 1, 4); }  // GRGR, BGBG, RGRG, GBGB
bool threshold(int v) { return within(v, 0, 255); }

}  // namespace

int Model::cameraCreate(int token, int type) {
  return withSession(token, DeviceKind::Camera, false, false, [&](Session &s, auto &) {
    if (type < 3 || type > 6) return kBadArgument;
    if (s.created) return kAlreadyCreated;
    s.created = true;
    return kOk;
  });
}

int Model::cameraDestroy(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &s, auto &) {
    if (cam_.open && cam_.owner == token) stopCamera();
    s.created = false;
    return kOk;
  });
}

int Model::cameraOpen(int token, int frameBufferSize, int maxBuffers) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (frameBufferSize < 0 || maxBuffers < 1 || maxBuffers > 1024) return kBadArgument;
    if (cam_.open) return kAlreadyOpen;
    cam_.open = true;
    cam_.owner = token;
    cam_.maxBuffers = maxBuffers;
    cam_.mode = kStop;
    cam_.queue.clear();
    cam_.triggers.clear();
    return kOk;
  });
}

void Model::stopCamera() {
  cam_.stop();
  cv_.notify_all();
}

int Model::cameraClose(int token) {
  return withSession(token, DeviceKind::Camera, true, true, [&](Session &, auto &) {
    stopCamera();
    return kOk;
  });
}

int Model::setAcquisitionMode(int token, int mode) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    const bool known = mode == kStop || mode == kSingleShot || mode == kFreeRun ||
                       mode == kSelectShot || mode == kSlave || mode == kSlaveStop;
    if (!known) return kBadArgument;
    const bool stops = mode == kStop || mode == kSlaveStop;
    if (!stops && !cam_.open) return kNotOpen;
    const auto now = Clock::now();
    cam_.advance(now);
    cam_.mode = mode;
    cam_.triggers.clear();
    if (mode == kFreeRun || mode == kSlave) cam_.nextFrameAt = now + cam_.period();
    if (mode == kSingleShot) cam_.scheduleTrigger(now);
    cv_.notify_all();
    return kOk;
  });
}

int Model::setTriggerSource(int token, int source, int polarity) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (source < 1 || source > 3 || polarity < 1 || polarity > 2) return kBadArgument;
    cam_.triggerSource = source;
    cam_.triggerPolarity = polarity;
    return kOk;
  });
}

int Model::setTriggerDelay(int token, int delayUs) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (delayUs < 0 || delayUs > 10000000) return kBadArgument;
    cam_.triggerDelayUs = delayUs;
    return kOk;
  });
}

int Model::triggerImage(int token) {
  return withSession(token, DeviceKind::Camera, true, true, [&](Session &, auto &) {
    if (cam_.mode != kSingleShot && cam_.mode != kSelectShot) return kBadMode;
    cam_.scheduleTrigger(Clock::now());
    cv_.notify_all();
    return kOk;
  });
}

int Model::triggerImageAbort(int token) {
  return withSession(token, DeviceKind::Camera, true, true, [&](Session &, auto &) {
    cam_.advance(Clock::now());
    cam_.triggers.clear();
    return kOk;
  });
}

int Model::nextFrame(std::unique_lock<std::mutex> &lock, int token, FrameInfo &frame) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(cam_.readTimeoutMs);
  for (;;) {
    if (stopping_) return kShutdown;
    Session *s = nullptr;
    const int st = check(token, DeviceKind::Camera, true, true, s);
    if (st != kOk) return st;
    const auto now = Clock::now();
    cam_.advance(now);
    if (!cam_.queue.empty()) {
      frame = cam_.queue.front();
      cam_.queue.pop_front();
      return kOk;
    }
    const bool running = cam_.running();
    const bool triggered = cam_.triggered();
    if (!running && !triggered && cam_.triggers.empty()) return kNoImage;
    if (now >= deadline) return kTimeout;
    auto wake = deadline;
    if (running) wake = std::min(wake, cam_.nextFrameAt);
    if (!cam_.triggers.empty()) wake = std::min(wake, cam_.triggers.front());
    cv_.wait_until(lock, wake);
  }
}

const ImageSource &Model::source() {
  if (pictures_) return *pictures_;  // set before serving starts
  std::call_once(sceneOnce_, [&] {
    scene_ = std::make_unique<Scene>(options_.sensorWidth, options_.sensorHeight);
  });
  return *scene_;
}

void Model::releaseImage(std::shared_ptr<Frame> &image) {
  std::lock_guard<std::mutex> lock(mutex_);
  image.reset();
}

Image Model::getSingleImage(int token) {
  Image img;
  FrameInfo frame;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    img.status = nextFrame(lock, token, frame);
    if (img.status != kOk) return img;
  }
  // The image before the last one is rendered over when nobody holds it any
  // more (its reply has gone out), so that a stream of frames reuses two blocks.
  std::shared_ptr<Frame> bytes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_ && spare_.use_count() == 1) bytes = std::move(spare_);
    spare_.reset();
  }
  if (!bytes) bytes = std::make_shared<Frame>();
  bytes->reset(source(), frame, options_.bayerPattern);  // rendered as it is read
  img.seq = frame.seq;
  img.sec = frame.sec;
  img.usec = frame.usec;
  img.bytes = bytes;
  std::lock_guard<std::mutex> lock(mutex_);
  spare_ = std::move(last_);
  last_ = bytes;
  return img;
}

int Model::getImageToImageRAM(int token, std::uint32_t address) {
  FrameInfo frame;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    Session *s = nullptr;
    int st = check(token, DeviceKind::Camera, true, true, s);
    if (st != kOk) return st;
    if (!ram_.enabled()) return kRamDisabled;
    const std::uint64_t size = static_cast<std::uint64_t>(cam_.window.width) * cam_.window.height;
    if ((st = ram_.check(address, size)) != kOk) return st;
    if ((st = nextFrame(lock, token, frame)) != kOk) return st;
  }
  const std::size_t size = static_cast<std::size_t>(frame.window.width) * frame.window.height;
  std::vector<std::uint8_t> pixels(size);
  renderAll(source(), frame, options_.bayerPattern, pixels.data());
  std::lock_guard<std::mutex> lock(mutex_);
  const int st = ram_.check(address, size);
  if (st != kOk) return st;
  std::memcpy(ram_.at(address), pixels.data(), size);
  return kOk;
}

int Model::getMaxImageCount(int token) {
  return withSession(token, DeviceKind::Camera, true, false,
                     [&](Session &, auto &) { return cam_.open ? cam_.maxBuffers : 0; });
}

int Model::getImageCount(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    cam_.advance(Clock::now());
    return static_cast<int>(cam_.queue.size());
  });
}

int Model::resetSequenceCounter(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    cam_.advance(Clock::now());
    cam_.seq = 0;
    return kOk;
  });
}

int Model::purgeImages(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    cam_.advance(Clock::now());
    cam_.queue.clear();
    return kOk;
  });
}

int Model::setReadTimeout(int token, int ms) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (ms < 0) return kBadArgument;
    cam_.readTimeoutMs = ms;
    return kOk;
  });
}

int Model::setCircularOverwrite(int token, int on) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    cam_.advance(Clock::now());
    cam_.overwrite = on != 0;
    return kOk;
  });
}

int Model::setShutterTime(int token, int us) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (us < 1 || us > 1000000) return kBadArgument;
    cam_.advance(Clock::now());
    cam_.shutterUs = us;
    return kOk;
  });
}

int Model::getShutterTime(int token) {
  return withSession(token, DeviceKind::Camera, true, false,
                     [&](Session &, auto &) { return cam_.shutterUs; });
}

bool Model::insideSensor(int x0, int y0, int width, int height) const {
  return x0 >= 0 && y0 >= 0 && width >= 1 && height >= 1 &&
         static_cast<long long>(x0) + width <= options_.sensorWidth &&
         static_cast<long long>(y0) + height <= options_.sensorHeight;
}

int Model::setCameraWindow(int token, int x0, int y0, int width, int height) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (!insideSensor(x0, y0, width, height)) return kBadArgument;
    cam_.advance(Clock::now());
    cam_.window = {x0, y0, width, height};
    return kOk;
  });
}

int Model::setFrameRate(int token, double fps) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (!(fps > 0.0) || fps > 1000.0) return kBadArgument;
    const auto now = Clock::now();
    cam_.advance(now);
    cam_.fps = fps;
    if (cam_.nextFrameAt > now) cam_.nextFrameAt = now + cam_.period();
    cv_.notify_all();
    return kOk;
  });
}

int Model::setGain(int token, int factor) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (factor < 1 || factor > 32) return kBadArgument;
    cam_.advance(Clock::now());
    cam_.gainSixteenths = 16 * factor;
    return kOk;
  });
}

int Model::acceptSetting(int token, bool valid) {
  return withSession(token, DeviceKind::Camera, true, false,
                     [&](Session &, auto &) { return valid ? kOk : kBadArgument; });
}

int Model::keepSetting(int token, bool valid, const std::function<void()> &keep) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (!valid) return kBadArgument;
    keep();
    return kOk;
  });
}

int Model::setTriggerWindow(int token, int x0, int y0, int width, int height, int threshMin,
                            int threshMax) {
  const bool valid = insideSensor(x0, y0, width, height) && threshold(threshMin) &&
                     threshold(threshMax) && threshMin <= threshMax;
  return keepSetting(token, valid, [&] {
    stored_.triggerWindow = {x0, y0, width, height};
    stored_.triggerThreshMin = threshMin;
    stored_.triggerThreshMax = threshMax;
  });
}

int Model::setFrequency(int token, int frequency) {
  // 20, 40, 50, 60 MHz
  return keepSetting(token, within(frequency, 0, 3), [&] { stored_.frequency = frequency; });
}

int Model::setIlluminationMode(int token, int mode) {
  // off, normal, pulsed
  return keepSetting(token, within(mode, 1, 3), [&] { stored_.illuminationMode = mode; });
}

int Model::setIlluminationModeExternal(int token, int mode) {
  // off, on positive, on negative
  return keepSetting(token, within(mode, 0, 2), [&] { stored_.illuminationModeExternal = mode; });
}

int Model::setIlluminationTiming(int token, int delay, int period) {
  return keepSetting(token, delay >= 0 && period >= 0, [&] {
    stored_.illuminationDelay = delay;
    stored_.illuminationPeriod = period;
  });
}

int Model::switchIllumination(int token, bool on) {
  return keepSetting(token, true, [&] { stored_.illumination = on; });
}

int Model::initColor(int token) { return acceptSetting(token, true); }

int Model::setJpeg(int token, bool enable, int quality, bool byteStuff, int pattern,
                   bool greyscale) {
  return keepSetting(token, within(quality, 0, 3) && bayerPattern(pattern), [&] {
    stored_.jpegEnable = enable;
    stored_.jpegQuality = quality;
    stored_.jpegByteStuff = byteStuff;
    stored_.jpegPattern = pattern;
    stored_.jpegGreyscale = greyscale;
  });
}

int Model::setBayer2X(int token, int output, int pattern) {
  // raw, H .. B
  return keepSetting(token, within(output, 0, 7) && bayerPattern(pattern), [&] {
    stored_.bayer2XOutput = output;
    stored_.bayer2XPattern = pattern;
  });
}

int Model::setMedian(int token, bool on) {
  return keepSetting(token, true, [&] { stored_.median = on; });
}

int Model::setWhiteBalance(int token, int pattern, const std::vector<std::uint8_t> &table) {
  // The table holds 256 entries for each of red, green and blue.
  const bool valid = bayerPattern(pattern) && (table.empty() || table.size() == 768);
  return keepSetting(token, valid, [&] {
    stored_.whiteBalancePattern = pattern;
    stored_.whiteBalanceTable = table;
  });
}

int Model::setHardwareApplet(int token, bool enable, std::uint32_t maxSize, int applet) {
  return keepSetting(token, within(applet, 0, 3), [&] {
    stored_.applet = enable;
    stored_.appletMaxSize = maxSize;
    stored_.appletType = applet;
  });
}

int Model::setupLaserProfiling(int token, const LaserSetup &s) {
  // A setup that is switched off is taken as it is.
  const bool valid =
      !s.enable ||
      (insideSensor(s.x0, s.y0, s.width, s.height) && within(s.priority, 0, 3) &&
       within(s.direction, 0, 1) && (s.format == 4 || within(s.format, 16, 20)) &&
       threshold(s.threshMin) && threshold(s.threshMax) && s.threshMin <= s.threshMax &&
       s.areaMin >= 0 && s.areaMin <= s.areaMax &&
       (s.reference.empty() || s.reference.size() == static_cast<std::size_t>(s.width)));
  return keepSetting(token, valid, [&] {
    stored_.laserEnable = s.enable;
    stored_.laserWindow = {s.x0, s.y0, s.width, s.height};
    stored_.laserPriority = s.priority;
    stored_.laserDirection = s.direction;
    stored_.laserThreshMin = s.threshMin;
    stored_.laserThreshMax = s.threshMax;
    stored_.laserAreaMin = s.areaMin;
    stored_.laserAreaMax = s.areaMax;
    stored_.laserFormat = s.format;
    stored_.laserReference = s.reference;
  });
}

int Model::setFilter(int token, int kind, bool hasParams, std::uint32_t numParams, std::uint32_t p1,
                     std::uint32_t p2) {
  // Off, binarize only, median, mean, SNN, Sobel; the reserved kinds are refused.
  return keepSetting(token, within(kind, 0, 5) && (!hasParams || numParams <= 2), [&] {
    stored_.filter = kind;
    stored_.filterParams[0] = hasParams ? numParams : 0;
    stored_.filterParams[1] = hasParams ? p1 : 0;
    stored_.filterParams[2] = hasParams ? p2 : 0;
  });
}

int Model::setBinarization(int token, bool enable, bool hasParams, bool invert, int numThresholds,
                           int threshold1, int threshold2) {
  const bool two = hasParams && numThresholds == 2;
  const bool valid = (!hasParams || numThresholds <= 2) && (!two || threshold1 <= threshold2);
  return keepSetting(token, valid, [&] {
    stored_.binarization = enable;
    stored_.binarizationInvert = hasParams && invert;
    stored_.binarizationThresholds[0] = hasParams ? numThresholds : 0;
    stored_.binarizationThresholds[1] = hasParams ? threshold1 : 0;
    stored_.binarizationThresholds[2] = hasParams ? threshold2 : 0;
  });
}

}  // namespace detail
}  // namespace ocamsim
