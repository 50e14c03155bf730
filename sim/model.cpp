#include "sim/model.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>

namespace ocamsim {
namespace detail {
namespace {

using namespace status;

DeviceKind kindOf(const std::string &type) {
  if (type == "ONetCamera") return DeviceKind::Camera;
  if (type == "ONetCameraInputs") return DeviceKind::Inputs;
  if (type == "ONetCameraOutputs") return DeviceKind::Outputs;
  if (type == "ONetCameraLEDs") return DeviceKind::Leds;
  return DeviceKind::None;
}

std::vector<DeviceEntry> standardDevices() {
  const char *types[] = {"ONetCamera", "ONetCameraInputs", "ONetCameraOutputs", "ONetCameraLEDs"};
  const char *texts[] = {"simulated camera", "digital inputs I0, I1", "digital outputs O0-O3",
                         "status LEDs 0-3"};
  std::vector<DeviceEntry> list;
  for (int i = 0; i < 4; ++i) {
    DeviceEntry d;
    d.id = i + 1;
    d.type = types[i];
    d.description = texts[i];
    list.push_back(d);
  }
  return list;
}

// Registers of the simulated sensor, with their reset values. The first is read-only.
const std::pair<const char *, std::uint32_t> kRegisters[] = {
    {"CHIP_VERSION", 0x1313},
    {"COLUMN_START", 1},
    {"ROW_START", 4},
    {"WINDOW_HEIGHT", 480},
    {"WINDOW_WIDTH", 752},
    {"HORIZONTAL_BLANKING", 94},
    {"VERTICAL_BLANKING", 45},
    {"CHIP_CONTROL", 0x0388},
    {"SHUTTER_WIDTH_1", 443},
    {"SHUTTER_WIDTH_2", 473},
    {"SHUTTER_WIDTH_CONTROL", 0x164},
    {"TOTAL_SHUTTER_WIDTH", 480},
    {"RESET", 0},
    {"READ_MODE", 0x0300},
    {"MONITOR_MODE", 0},
    {"PIXEL_OPERATION_MODE", 0x0011},
    {"LED_OUT_CONTROL", 0},
    {"ADC_MODE_CONTROL", 2},
    {"ANALOG_GAIN", 16},
    {"BLACK_LEVEL_CALIB", 0x20},
    {"ROW_NOISE_CORR_CONTROL", 0},
    {"AEC_AGC_ENABLE", 0x0003},
    {"MAX_SHUTTER_WIDTH", 480},
    {"MAX_ANALOG_GAIN", 64},
};
const char kReadOnly[] = "CHIP_VERSION";

constexpr int kEdgeRise[2] = {4, 16};
constexpr int kEdgeFall[2] = {8, 32};
constexpr int kOverloadBit = 64;
constexpr int kUnlockBit = 16;  // "OUTPUT-OVERLOAD-UNLOCK"

bool within(int v, int lo, int hi) { return v >= lo && v <= hi; }
bool bayerPattern(int v) { return within(v, 1, 4); }  // GRGR, BGBG, RGRG, GBGB
bool threshold(int v) { return within(v, 0, 255); }

}  // namespace

Model::Model(const Options &options) : options_(options) {
  devices_ = options.devices.empty() ? standardDevices() : options.devices;
  for (DeviceEntry &d : devices_)
    if (d.maxTimeout < 0) d.maxTimeout = options.maxTimeout;
  wallOffset_ = std::chrono::system_clock::now().time_since_epoch() -
                std::chrono::duration_cast<std::chrono::system_clock::duration>(
                    Clock::now().time_since_epoch());
  cam_.window = {0, 0, options.sensorWidth, options.sensorHeight};
  cam_.ram.assign(options.imageRamSize, 0);
  for (const auto &r : kRegisters) cam_.registers[r.first] = r.second;
}

void Model::shutdown() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = true;
  cv_.notify_all();
}

void Model::resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = false;
}

bool Model::stopping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopping_;
}

void Model::pause(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping_; });
}

// ------------------------------------------------------------------ sessions

int Model::openSession(int id, int access, int &token) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto dev = std::find_if(devices_.begin(), devices_.end(),
                          [&](const DeviceEntry &d) { return d.id == id; });
  if (dev == devices_.end()) return kBadArgument;
  Session s;
  s.token = freshToken();
  s.deviceId = id;
  s.kind = kindOf(dev->type);
  s.access = access;
  s.timeoutSec = dev->maxTimeout;
  s.expires = dev->maxTimeout > 0;
  s.deadline = Clock::now() + std::chrono::seconds(std::max(0, dev->maxTimeout));
  sessions_[s.token] = s;
  token = s.token;
  return kOk;
}

// Tokens are drawn from the system's random source, 31 bits and never 0, so
// that a client cannot reach another's session by guessing near its own; one
// that names an open session is drawn again.
int Model::freshToken() {
  for (;;) {
    const int token = static_cast<int>(random_() & 0x7FFFFFFFu);
    if (token != 0 && sessions_.count(token) == 0) return token;
  }
}

void Model::expireSessions(Clock::time_point now) {
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (it->second.expires && it->second.deadline <= now) {
      endSession(it->second);
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
}

void Model::endSession(Session &s) {
  if (s.kind == DeviceKind::Camera && cam_.open && cam_.owner == s.token) stopCamera();
}

int Model::keepAlive(int token) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = Clock::now();
  expireSessions(now);
  auto it = sessions_.find(token);
  if (it == sessions_.end()) return kBadSession;
  it->second.deadline = now + std::chrono::seconds(it->second.timeoutSec);
  return kOk;
}

int Model::closeSession(int token) {
  std::lock_guard<std::mutex> lock(mutex_);
  expireSessions(Clock::now());
  auto it = sessions_.find(token);
  if (it == sessions_.end()) return kBadSession;
  endSession(it->second);
  sessions_.erase(it);
  cv_.notify_all();
  return kOk;
}

std::size_t Model::openSessions() {
  std::lock_guard<std::mutex> lock(mutex_);
  expireSessions(Clock::now());
  return sessions_.size();
}

bool Model::sessionOpen(int token) {
  std::lock_guard<std::mutex> lock(mutex_);
  expireSessions(Clock::now());
  return sessions_.count(token) != 0;
}

int Model::check(int token, DeviceKind kind, bool needCreated, bool needOpened, Session *&out) {
  expireSessions(Clock::now());
  auto it = sessions_.find(token);
  if (it == sessions_.end() || it->second.kind != kind) return kBadSession;
  if (needCreated && !it->second.created) return kNotCreated;
  if (needOpened) {
    const bool open = kind == DeviceKind::Camera ? cam_.open : it->second.opened;
    if (!open) return kNotOpen;
  }
  out = &it->second;
  return kOk;
}

// ------------------------------------------------------------------ camera

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
  cam_.open = false;
  cam_.owner = 0;
  cam_.mode = kStop;
  cam_.queue.clear();
  cam_.triggers.clear();
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
    advance(now);
    cam_.mode = mode;
    cam_.triggers.clear();
    if (mode == kFreeRun || mode == kSlave)
      cam_.nextFrameAt = now + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(1.0 / cam_.fps));
    if (mode == kSingleShot) scheduleTrigger(now);
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

void Model::scheduleTrigger(Clock::time_point now) {
  cam_.triggers.push_back(now + std::chrono::microseconds(cam_.triggerDelayUs));
  cv_.notify_all();
}

int Model::triggerImage(int token) {
  return withSession(token, DeviceKind::Camera, true, true, [&](Session &, auto &) {
    if (cam_.mode != kSingleShot && cam_.mode != kSelectShot) return kBadMode;
    scheduleTrigger(Clock::now());
    return kOk;
  });
}

int Model::triggerImageAbort(int token) {
  return withSession(token, DeviceKind::Camera, true, true, [&](Session &, auto &) {
    advance(Clock::now());
    cam_.triggers.clear();
    return kOk;
  });
}

void Model::capture(Clock::time_point t) {
  FrameInfo f;
  f.seq = cam_.seq++;
  const auto wall =
      std::chrono::duration_cast<std::chrono::system_clock::duration>(t.time_since_epoch()) +
      wallOffset_;
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(wall).count();
  f.sec = us / 1000000;
  f.usec = static_cast<int>(us % 1000000);
  f.window = cam_.window;
  f.exposure = cam_.shutterUs / 10000.0 * cam_.gain;
  cam_.queue.push_back(f);
  if (static_cast<int>(cam_.queue.size()) > cam_.maxBuffers) {
    if (cam_.overwrite)
      cam_.queue.pop_front();
    else
      cam_.queue.pop_back();
  }
}

void Model::advance(Clock::time_point now) {
  if (!cam_.open) return;
  if ((cam_.mode == kFreeRun || cam_.mode == kSlave) && now >= cam_.nextFrameAt) {
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / cam_.fps));
    const long long n = (now - cam_.nextFrameAt) / period + 1;
    // Only the frames that can end up in the queue are captured; the others
    // still count in the sequence numbers.
    const long long room = cam_.maxBuffers;
    long long first = 0, last = n;  // captured: [first, last)
    if (cam_.overwrite) {
      first = std::max(0LL, n - room);
    } else {
      last = std::min(n, std::max(0LL, room - static_cast<long long>(cam_.queue.size())));
    }
    const int base = cam_.seq;
    for (long long i = first; i < last; ++i) {
      cam_.seq = base + static_cast<int>(i);
      capture(cam_.nextFrameAt + period * i);
    }
    cam_.seq = base + static_cast<int>(n);
    cam_.nextFrameAt += period * n;
  }
  while (!cam_.triggers.empty() && cam_.triggers.front() <= now) {
    capture(cam_.triggers.front());
    cam_.triggers.pop_front();
  }
}

int Model::nextFrame(std::unique_lock<std::mutex> &lock, int token, FrameInfo &frame) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(cam_.readTimeoutMs);
  for (;;) {
    if (stopping_) return kShutdown;
    Session *s = nullptr;
    const int st = check(token, DeviceKind::Camera, true, true, s);
    if (st != kOk) return st;
    const auto now = Clock::now();
    advance(now);
    if (!cam_.queue.empty()) {
      frame = cam_.queue.front();
      cam_.queue.pop_front();
      return kOk;
    }
    const bool running = cam_.mode == kFreeRun || cam_.mode == kSlave;
    const bool triggered = cam_.mode == kSingleShot || cam_.mode == kSelectShot;
    if (!running && !triggered && cam_.triggers.empty()) return kNoImage;
    if (now >= deadline) return kTimeout;
    auto wake = deadline;
    if (running) wake = std::min(wake, cam_.nextFrameAt);
    if (!cam_.triggers.empty()) wake = std::min(wake, cam_.triggers.front());
    cv_.wait_until(lock, wake);
  }
}

const Scene &Model::scene() {
  std::call_once(sceneOnce_, [&] {
    scene_ = std::make_unique<Scene>(options_.sensorWidth, options_.sensorHeight);
  });
  return *scene_;
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
    if (cam_.spare && cam_.spare.use_count() == 1) bytes = std::move(cam_.spare);
    cam_.spare.reset();
  }
  if (!bytes) bytes = std::make_shared<Frame>();
  bytes->reset(scene(), frame, options_.bayerPattern);  // rendered as it is read
  img.seq = frame.seq;
  img.sec = frame.sec;
  img.usec = frame.usec;
  img.bytes = bytes;
  std::lock_guard<std::mutex> lock(mutex_);
  cam_.spare = std::move(cam_.last);
  cam_.last = bytes;
  return img;
}

int Model::getImageToImageRAM(int token, std::uint32_t address) {
  FrameInfo frame;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    Session *s = nullptr;
    int st = check(token, DeviceKind::Camera, true, true, s);
    if (st != kOk) return st;
    if (!cam_.ramEnabled) return kRamDisabled;
    const std::uint64_t size = static_cast<std::uint64_t>(cam_.window.width) * cam_.window.height;
    if ((st = ramCheck(address, size)) != kOk) return st;
    if ((st = nextFrame(lock, token, frame)) != kOk) return st;
  }
  const std::size_t size = static_cast<std::size_t>(frame.window.width) * frame.window.height;
  std::vector<std::uint8_t> pixels(size);
  scene().render(frame, options_.bayerPattern, pixels.data());
  std::lock_guard<std::mutex> lock(mutex_);
  const int st = ramCheck(address, size);
  if (st != kOk) return st;
  std::memcpy(cam_.ram.data() + address, pixels.data(), size);
  return kOk;
}

int Model::getMaxImageCount(int token) {
  return withSession(token, DeviceKind::Camera, true, false,
                     [&](Session &, auto &) { return cam_.open ? cam_.maxBuffers : 0; });
}

int Model::getImageCount(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    advance(Clock::now());
    return static_cast<int>(cam_.queue.size());
  });
}

int Model::resetSequenceCounter(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    advance(Clock::now());
    cam_.seq = 0;
    return kOk;
  });
}

int Model::purgeImages(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    advance(Clock::now());
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
    advance(Clock::now());
    cam_.overwrite = on != 0;
    return kOk;
  });
}

int Model::setShutterTime(int token, int us) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (us < 1 || us > 1000000) return kBadArgument;
    advance(Clock::now());
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
    advance(Clock::now());
    cam_.window = {x0, y0, width, height};
    return kOk;
  });
}

int Model::setFrameRate(int token, double fps) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (!(fps > 0.0) || fps > 1000.0) return kBadArgument;
    const auto now = Clock::now();
    advance(now);
    cam_.fps = fps;
    if (cam_.nextFrameAt > now)
      cam_.nextFrameAt = now + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(1.0 / fps));
    cv_.notify_all();
    return kOk;
  });
}

int Model::setGain(int token, int factor) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (factor < 1 || factor > 32) return kBadArgument;
    advance(Clock::now());
    cam_.gain = factor;
    return kOk;
  });
}

int Model::acceptSetting(int token, bool valid) {
  return withSession(token, DeviceKind::Camera, true, false,
                     [&](Session &, auto &) { return valid ? kOk : kBadArgument; });
}

int Model::setTriggerWindow(int token, int x0, int y0, int width, int height, int threshMin,
                            int threshMax) {
  return acceptSetting(token, insideSensor(x0, y0, width, height) && threshold(threshMin) &&
                                  threshold(threshMax) && threshMin <= threshMax);
}

int Model::setFrequency(int token, int frequency) {
  return acceptSetting(token, within(frequency, 0, 3));  // 20, 40, 50, 60 MHz
}

int Model::setIlluminationMode(int token, int mode) {
  return acceptSetting(token, within(mode, 1, 3));  // off, normal, pulsed
}

int Model::setIlluminationModeExternal(int token, int mode) {
  return acceptSetting(token, within(mode, 0, 2));  // off, on positive, on negative
}

int Model::setIlluminationTiming(int token, int delay, int period) {
  return acceptSetting(token, delay >= 0 && period >= 0);
}

int Model::switchIllumination(int token) { return acceptSetting(token, true); }

int Model::initColor(int token) { return acceptSetting(token, true); }

int Model::setJpeg(int token, int quality, int pattern) {
  return acceptSetting(token, within(quality, 0, 3) && bayerPattern(pattern));
}

int Model::setBayer2X(int token, int output, int pattern) {
  return acceptSetting(token, within(output, 0, 7) && bayerPattern(pattern));  // raw, H .. B
}

int Model::setMedian(int token) { return acceptSetting(token, true); }

int Model::setWhiteBalance(int token, int pattern, int tableBytes) {
  // The table holds 256 entries for each of red, green and blue.
  return acceptSetting(token, bayerPattern(pattern) && (tableBytes == 0 || tableBytes == 768));
}

int Model::setHardwareApplet(int token, int applet) {
  return acceptSetting(token, within(applet, 0, 3));
}

int Model::setupLaserProfiling(int token, const LaserSetup &s) {
  // A setup that is switched off is taken as it is.
  const bool valid =
      !s.enable ||
      (insideSensor(s.x0, s.y0, s.width, s.height) && within(s.priority, 0, 3) &&
       within(s.direction, 0, 1) && (s.format == 4 || within(s.format, 16, 20)) &&
       threshold(s.threshMin) && threshold(s.threshMax) && s.threshMin <= s.threshMax &&
       s.areaMin >= 0 && s.areaMin <= s.areaMax && (s.refBytes == 0 || s.refBytes == s.width));
  return acceptSetting(token, valid);
}

int Model::setFilter(int token, int kind, bool hasParams, std::uint32_t numParams) {
  // Off, binarize only, median, mean, SNN, Sobel; the reserved kinds are refused.
  return acceptSetting(token, within(kind, 0, 5) && (!hasParams || numParams <= 2));
}

int Model::setBinarization(int token, bool hasParams, int numThresholds, int threshold1,
                           int threshold2) {
  const bool two = hasParams && numThresholds == 2;
  return acceptSetting(token,
                       (!hasParams || numThresholds <= 2) && (!two || threshold1 <= threshold2));
}

// ------------------------------------------------------------------ image RAM

bool Model::insideRam(std::uint64_t address, std::uint64_t length) const {
  return address <= cam_.ram.size() && length <= cam_.ram.size() - address;
}

int Model::ramCheck(std::uint64_t address, std::uint64_t length) const {
  if (!cam_.ramEnabled) return kRamDisabled;
  if (!insideRam(address, length)) return kOutOfRange;
  return kOk;
}

int Model::readRam(int token, std::uint32_t address, std::uint32_t length,
                   std::vector<std::uint8_t> &out) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    const int st = ramCheck(address, length);
    if (st != kOk) return st;
    out.assign(cam_.ram.begin() + address, cam_.ram.begin() + address + length);
    return kOk;
  });
}

int Model::readRamReduced(int token, std::uint32_t address, std::uint32_t length,
                          std::vector<std::uint8_t> &out) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    const int st = ramCheck(address, length);
    if (st != kOk) return st;
    // Run-length pairs (count 1..255, value), as many whole pairs as fit in `length` bytes.
    out.clear();
    const std::uint8_t *p = cam_.ram.data() + address;
    const std::uint8_t *end = p + length;
    while (p < end && out.size() + 2 <= length) {
      const std::uint8_t v = *p;
      std::size_t n = 1;
      while (p + n < end && n < 255 && p[n] == v) ++n;
      out.push_back(static_cast<std::uint8_t>(n));
      out.push_back(v);
      p += n;
    }
    return kOk;
  });
}

int Model::writeRam(int token, const std::uint8_t *data, std::size_t size, std::uint32_t address,
                    std::uint32_t length) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (size != length) return kBadArgument;
    const int st = ramCheck(address, length);
    if (st != kOk) return st;
    if (length) std::memcpy(cam_.ram.data() + address, data, length);
    return kOk;
  });
}

int Model::copyRam(int token, std::uint32_t src, std::uint32_t srcLen, std::uint32_t dest,
                   std::uint32_t destLen) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (destLen < srcLen) return kBadArgument;
    int st = ramCheck(src, srcLen);
    if (st == kOk) st = ramCheck(dest, destLen);
    if (st != kOk) return st;
    if (srcLen) std::memmove(cam_.ram.data() + dest, cam_.ram.data() + src, srcLen);
    return kOk;
  });
}

int Model::initRam(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    std::fill(cam_.ram.begin(), cam_.ram.end(), 0);
    cam_.ramEnabled = true;
    return kOk;
  });
}

int Model::disableRam(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    cam_.ramEnabled = false;
    return kOk;
  });
}

int Model::setRamPictureSize(int token, int width, int height) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (width < 1 || height < 1) return kBadArgument;
    if (static_cast<std::uint64_t>(width) * height > cam_.ram.size()) return kOutOfRange;
    return kOk;
  });
}

int Model::setupImageCorrection(int token, bool enable, int type, std::uint32_t address,
                                std::uint32_t imageBytes, std::uint32_t images) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (!within(type, 0, 2)) return kBadArgument;  // replace, mask and, mask or
    const std::uint64_t length = static_cast<std::uint64_t>(imageBytes) * images;
    if (enable && !insideRam(address, length)) return kOutOfRange;
    return kOk;
  });
}

int Model::setupImageSplitting(int token, int type, std::uint32_t address, std::uint32_t size) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (!within(type, 0, 2)) return kBadArgument;  // off, raw, processed
    if (type != 0 && !insideRam(address, size)) return kOutOfRange;
    return kOk;
  });
}

// ------------------------------------------------------------------ sensor registers

std::vector<std::string> Model::registerNames(int token, int &st) {
  std::vector<std::string> names;
  st = withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    for (const auto &r : kRegisters) names.push_back(r.first);
    return kOk;
  });
  return names;
}

int Model::getRegister(int token, const std::string &name, std::uint32_t &value) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    auto it = cam_.registers.find(name);
    if (it == cam_.registers.end()) return kUnknownRegister;
    value = it->second;
    return kOk;
  });
}

int Model::setRegister(int token, const std::string &name, std::uint32_t value) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    auto it = cam_.registers.find(name);
    if (it == cam_.registers.end()) return kUnknownRegister;
    if (name == kReadOnly) return kReadOnlyRegister;
    if (value > 0xFFFF) return kBadArgument;
    it->second = value;
    return kOk;
  });
}

int Model::calibrate(int token, bool hasParams, std::uint32_t numParam, std::uint32_t p1) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (hasParams && numParam > 2) return kBadArgument;
    // Calibration measures the black level; a first parameter gives the target.
    const std::uint32_t target = hasParams && numParam >= 1 ? p1 : 0x20;
    if (target > 0xFFFF) return kBadArgument;
    cam_.registers["BLACK_LEVEL_CALIB"] = target;
    return kOk;
  });
}

// ------------------------------------------------------------------ inputs, outputs, LEDs

int Model::ioCreate(int token, DeviceKind kind) {
  return withSession(token, kind, false, false, [&](Session &s, auto &) {
    if (s.created) return kAlreadyCreated;
    s.created = true;
    return kOk;
  });
}

int Model::ioDestroy(int token, DeviceKind kind) {
  return withSession(token, kind, true, false, [&](Session &s, auto &) {
    s.created = false;
    s.opened = false;
    return kOk;
  });
}

int Model::ioOpen(int token, DeviceKind kind) {
  return withSession(token, kind, true, false, [&](Session &s, auto &) {
    if (s.opened) return kAlreadyOpen;
    s.opened = true;
    return kOk;
  });
}

int Model::ioClose(int token, DeviceKind kind) {
  return withSession(token, kind, true, true, [&](Session &s, auto &) {
    s.opened = false;
    return kOk;
  });
}

int Model::lineMask(DeviceKind kind, int line) {
  switch (kind) {
    case DeviceKind::Inputs:
      return (line == 1 || line == 2 || line == 4 || line == 8 || line == 16 || line == 32 ||
              line == 64 || line == 3)
                 ? line
                 : -1;
    case DeviceKind::Outputs:
      return (line == 1 || line == 2 || line == 4 || line == 8 || line == 16 || line == 15) ? line
                                                                                            : -1;
    case DeviceKind::Leds:
      return (line == 1 || line == 2 || line == 4 || line == 8 || line == 16 || line == 32 ||
              line == 64 || line == 128 || line == 85 || line == 10 || line == 160 || line == 255)
                 ? line
                 : -1;
    default:
      return -1;
  }
}

int Model::getInputs(int token) {
  return withSession(token, DeviceKind::Inputs, true, true, [&](Session &, auto &) {
    return levels_ | edges_ | (overload_ ? kOverloadBit : 0);
  });
}

int Model::getInput(int token, int line) {
  return withSession(token, DeviceKind::Inputs, true, true, [&](Session &, auto &) {
    const int mask = lineMask(DeviceKind::Inputs, line);
    if (mask < 0) return kBadArgument;
    const int word = levels_ | edges_ | (overload_ ? kOverloadBit : 0);
    if (mask == 3) return word & 3;
    return (word & mask) ? 1 : 0;
  });
}

int Model::setInputTimeout(int token, int ms) {
  return withSession(token, DeviceKind::Inputs, true, false, [&](Session &s, auto &) {
    if (ms < 0) return kBadArgument;
    s.inputTimeoutMs = ms;
    return kOk;
  });
}

int Model::waitInputs(int token, int mask, int state, bool change) {
  return withSession(token, DeviceKind::Inputs, true, true, [&](Session &s, auto &lock) {
    if (mask <= 0 || (mask & ~0x7F)) return kBadArgument;
    const auto deadline = Clock::now() + std::chrono::milliseconds(s.inputTimeoutMs);
    const auto word = [&] { return levels_ | edges_ | (overload_ ? kOverloadBit : 0); };
    const auto changes = [&] {
      std::uint64_t sum = 0;
      for (int b = 0; b < 7; ++b)
        if (mask & (1 << b)) sum += changes_[b];
      return sum;
    };
    const std::uint64_t start = changes();
    const auto reached = [&] {
      return change ? changes() != start : (word() & mask) == (state & mask);
    };
    const int token0 = s.token;
    ++inputWaits_;
    cv_.notify_all();
    int result = kTimeout;
    for (;;) {
      if (reached()) {
        result = kOk;
        break;
      }
      if (stopping_) {
        result = kShutdown;
        break;
      }
      if (!sessions_.count(token0)) {
        result = kBadSession;
        break;
      }
      if (cv_.wait_until(lock, deadline) == std::cv_status::timeout) {
        result = reached() ? kOk : kTimeout;
        break;
      }
    }
    --inputWaits_;
    return result;
  });
}

int Model::waitInput(int token, int line, int state) {
  const int mask = lineMask(DeviceKind::Inputs, line);
  // No line: waitInputs refuses an empty mask, after the session checks.
  if (mask < 0) return waitInputs(token, 0, 0, false);
  return waitInputs(token, mask, mask == 3 ? state : (state ? mask : 0), false);
}

int Model::waitInputChange(int token, int line) {
  const int mask = lineMask(DeviceKind::Inputs, line);
  return waitInputs(token, mask < 0 ? 0 : mask, 0, true);
}

bool Model::waitForInputWaits(std::size_t n, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return inputWaits_ >= n; });
}

int Model::clearEdges(int token, int mask) {
  return withSession(token, DeviceKind::Inputs, true, true, [&](Session &, auto &) {
    const int cleared = edges_ & mask & 0x3C;
    for (int b = 2; b < 6; ++b)
      if (cleared & (1 << b)) ++changes_[b];
    edges_ &= ~cleared;
    if (cleared) cv_.notify_all();
    return kOk;
  });
}

int Model::getOutputs(int token, DeviceKind kind) {
  return withSession(token, kind, true, true, [&](Session &, auto &) {
    return kind == DeviceKind::Leds ? leds_ : outputs_;
  });
}

int Model::getOutput(int token, DeviceKind kind, int line) {
  return withSession(token, kind, true, true, [&](Session &, auto &) {
    const int mask = lineMask(kind, line);
    if (mask < 0) return kBadArgument;
    if (kind == DeviceKind::Outputs && mask == kUnlockBit) return overload_ ? 1 : 0;
    const int state = kind == DeviceKind::Leds ? leds_ : outputs_;
    // A group answers the states of its lines; a single line 0 or 1.
    const bool group =
        (kind == DeviceKind::Outputs && mask == 15) ||
        (kind == DeviceKind::Leds && (mask == 85 || mask == 10 || mask == 160 || mask == 255));
    if (group) return state & mask;
    return (state & mask) ? 1 : 0;
  });
}

int Model::applyOutputs(DeviceKind kind, int mask, int state) {
  if (kind == DeviceKind::Leds) {
    if (mask & ~0xFF) return kBadArgument;
    leds_ = (leds_ & ~mask) | (state & mask);
    return kOk;
  }
  if (mask & ~0x1F) return kBadArgument;
  if ((mask & kUnlockBit) && (state & kUnlockBit) && overload_) {
    overload_ = false;
    ++changes_[6];
    cv_.notify_all();
  }
  const int lines = mask & 15;
  if (lines && overload_) return kOverload;
  outputs_ = (outputs_ & ~lines) | (state & lines);
  return kOk;
}

int Model::setOutputs(int token, DeviceKind kind, int mask, int state) {
  return withSession(token, kind, true, true,
                     [&](Session &, auto &) { return applyOutputs(kind, mask, state); });
}

int Model::toggleOutputs(int token, DeviceKind kind, int mask) {
  return withSession(token, kind, true, true, [&](Session &, auto &) {
    // Each line goes to the opposite of its state; toggling the unlock bit unlocks.
    if (kind == DeviceKind::Leds) return applyOutputs(kind, mask, leds_ ^ mask);
    return applyOutputs(kind, mask, (outputs_ ^ mask) | kUnlockBit);
  });
}

int Model::setOutput(int token, DeviceKind kind, int line, int state) {
  const int mask = lineMask(kind, line);
  if (mask < 0) return kBadArgument;
  return setOutputs(token, kind, mask, state ? mask : 0);
}

int Model::toggleOutput(int token, DeviceKind kind, int line) {
  const int mask = lineMask(kind, line);
  if (mask < 0) return kBadArgument;
  return toggleOutputs(token, kind, mask);
}

// ------------------------------------------------------------------ in-process hooks

void Model::setInputs(int levels) {
  std::lock_guard<std::mutex> lock(mutex_);
  levels &= 3;
  const auto now = Clock::now();
  for (int i = 0; i < 2; ++i) {
    const int bit = 1 << i;
    if ((levels_ & bit) == (levels & bit)) continue;
    const bool rising = (levels & bit) != 0;
    ++changes_[i];
    const int edge = rising ? kEdgeRise[i] : kEdgeFall[i];
    if (!(edges_ & edge)) {
      edges_ |= edge;
      for (int b = 2; b < 6; ++b)
        if (edge == (1 << b)) ++changes_[b];
    }
    // External trigger: E0 is input I0, E1 is input I1.
    const bool active = cam_.triggerPolarity == 1 ? rising : !rising;
    if (cam_.open && cam_.triggerSource == i + 2 && active &&
        (cam_.mode == kSingleShot || cam_.mode == kSelectShot)) {
      advance(now);
      scheduleTrigger(now);
    }
  }
  levels_ = levels;
  cv_.notify_all();
}

int Model::inputWord() {
  std::lock_guard<std::mutex> lock(mutex_);
  return levels_ | edges_ | (overload_ ? kOverloadBit : 0);
}

void Model::setOverload(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (overload_ == on) return;
  overload_ = on;
  ++changes_[6];
  cv_.notify_all();
}

int Model::outputs() {
  std::lock_guard<std::mutex> lock(mutex_);
  return outputs_;
}

int Model::leds() {
  std::lock_guard<std::mutex> lock(mutex_);
  return leds_;
}

int Model::acquisitionMode() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cam_.mode;
}

int Model::shutterTime() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cam_.shutterUs;
}

int Model::gain() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cam_.gain;
}

std::vector<std::uint8_t> Model::lastImage() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!cam_.last) return std::vector<std::uint8_t>();
  cam_.last->readyAll();
  return std::vector<std::uint8_t>(cam_.last->data(), cam_.last->data() + cam_.last->size());
}

std::vector<std::uint8_t> Model::peekRam(std::size_t address, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (address > cam_.ram.size() || length > cam_.ram.size() - address)
    throw std::out_of_range("image RAM range");
  return std::vector<std::uint8_t>(cam_.ram.begin() + address, cam_.ram.begin() + address + length);
}

void Model::pokeRam(std::size_t address, const std::vector<std::uint8_t> &bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (address > cam_.ram.size() || bytes.size() > cam_.ram.size() - address)
    throw std::out_of_range("image RAM range");
  std::copy(bytes.begin(), bytes.end(), cam_.ram.begin() + address);
}

}  // namespace detail
}  // namespace ocamsim
