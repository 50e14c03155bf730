// The camera's image RAM and sensor-register operations: session checks, then
// the RAM or the registers.
#include "sim/model.h"

namespace ocamsim {
namespace detail {
namespace {

using namespace status;

bool within(int v, int lo, int hi) { return v >= lo && v <= hi; }

}  // namespace

// ------------------------------------------------------------------ image RAM

int Model::readRam(int token, std::uint32_t address, std::uint32_t length,
                   std::vector<std::uint8_t> &out) {
  return withSession(token, DeviceKind::Camera, true, false,
                     [&](Session &, auto &) { return ram_.read(address, length, out); });
}

int Model::readRamReduced(int token, std::uint32_t address, std::uint32_t length,
                          std::vector<std::uint8_t> &out) {
  return withSession(token, DeviceKind::Camera, true, false,
                     [&](Session &, auto &) { return ram_.readReduced(address, length, out); });
}

int Model::writeRam(int token, const std::uint8_t *data, std::size_t size, std::uint32_t address,
                    std::uint32_t length) {
  return withSession(token, DeviceKind::Camera, true, false,
                     [&](Session &, auto &) { return ram_.write(data, size, address, length); });
}

int Model::copyRam(int token, std::uint32_t src, std::uint32_t srcLen, std::uint32_t dest,
                   std::uint32_t destLen) {
  return withSession(token, DeviceKind::Camera, true, false,
                     [&](Session &, auto &) { return ram_.copy(src, srcLen, dest, destLen); });
}

int Model::initRam(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    ram_.init();
    return kOk;
  });
}

int Model::disableRam(int token) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    ram_.disable();
    return kOk;
  });
}

int Model::setRamPictureSize(int token, int width, int height) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (width < 1 || height < 1) return kBadArgument;
    if (static_cast<std::uint64_t>(width) * height > ram_.size()) return kOutOfRange;
    stored_.ramPictureWidth = width;
    stored_.ramPictureHeight = height;
    return kOk;
  });
}

int Model::setupImageCorrection(int token, bool enable, int type, std::uint32_t address,
                                std::uint32_t imageBytes, std::uint32_t images) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (!within(type, 0, 2)) return kBadArgument;  // replace, mask and, mask or
    const std::uint64_t length = static_cast<std::uint64_t>(imageBytes) * images;
    if (enable && !ram_.inside(address, length)) return kOutOfRange;
    stored_.correction = enable;
    stored_.correctionType = type;
    stored_.correctionRegion[0] = address;
    stored_.correctionRegion[1] = imageBytes;
    stored_.correctionRegion[2] = images;
    return kOk;
  });
}

int Model::setupImageSplitting(int token, int type, std::uint32_t address, std::uint32_t size) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (!within(type, 0, 2)) return kBadArgument;  // off, raw, processed
    if (type != 0 && !ram_.inside(address, size)) return kOutOfRange;
    stored_.splitting = type;
    stored_.splittingRegion[0] = address;
    stored_.splittingRegion[1] = size;
    return kOk;
  });
}

std::vector<std::uint8_t> Model::peekRam(std::size_t address, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  return ram_.peek(address, length);
}

void Model::pokeRam(std::size_t address, const std::vector<std::uint8_t> &bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  ram_.poke(address, bytes);
}

// ------------------------------------------------------------------ sensor registers

std::vector<std::string> Model::registerNames(int token, int &st) {
  std::vector<std::string> names;
  st = withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    names = registers_.names();
    return kOk;
  });
  return names;
}

// The registers that mirror a camera setting: the analog gain in sixteenths
// (16 = 1x, as "scam:setGain" 1..32 sets 16..512), and the window, whose first
// column and row follow the sensor's dark columns and rows (1 and 4).
namespace {

constexpr int kFirstColumn = 1;
constexpr int kFirstRow = 4;

bool mirrored(const std::string &name) {
  return name == "ANALOG_GAIN" || name == "COLUMN_START" || name == "ROW_START" ||
         name == "WINDOW_WIDTH" || name == "WINDOW_HEIGHT";
}

}  // namespace

int Model::readRegister(const std::string &name, std::uint32_t &value) const {
  if (!mirrored(name)) return registers_.get(name, value);
  const Window &w = cam_.window;
  int v = cam_.gainSixteenths;
  if (name == "COLUMN_START") v = kFirstColumn + w.x0;
  if (name == "ROW_START") v = kFirstRow + w.y0;
  if (name == "WINDOW_WIDTH") v = w.width;
  if (name == "WINDOW_HEIGHT") v = w.height;
  value = static_cast<std::uint32_t>(v);
  return kOk;
}

int Model::getRegister(int token, const std::string &name, std::uint32_t &value) {
  return withSession(token, DeviceKind::Camera, true, false,
                     [&](Session &, auto &) { return readRegister(name, value); });
}

int Model::setRegister(int token, const std::string &name, std::uint32_t value) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (!mirrored(name)) return registers_.set(name, value);
    if (value > 0xFFFF) return kBadArgument;
    const int v = static_cast<int>(value);
    Window w = cam_.window;
    if (name == "ANALOG_GAIN") {
      if (v < 1 || v > 16 * 32) return kBadArgument;
    } else {
      if (name == "COLUMN_START") w.x0 = v - kFirstColumn;
      if (name == "ROW_START") w.y0 = v - kFirstRow;
      if (name == "WINDOW_WIDTH") w.width = v;
      if (name == "WINDOW_HEIGHT") w.height = v;
      if (!insideSensor(w.x0, w.y0, w.width, w.height)) return kBadArgument;
    }
    // Frames captured until now keep the settings they were taken with.
    cam_.advance(Clock::now());
    if (name == "ANALOG_GAIN")
      cam_.gainSixteenths = v;
    else
      cam_.window = w;
    return kOk;
  });
}

int Model::calibrate(int token, bool hasParams, std::uint32_t numParam, std::uint32_t p1) {
  return withSession(token, DeviceKind::Camera, true, false, [&](Session &, auto &) {
    if (hasParams && numParam > 2) return kBadArgument;
    // Calibration measures the black level; a first parameter gives the target.
    const std::uint32_t target = hasParams && numParam >= 1 ? p1 : 0x20;
    if (target > 0xFFFF) return kBadArgument;
    registers_.store("BLACK_LEVEL_CALIB", target);
    return kOk;
  });
}

}  // namespace detail
}  // namespace ocamsim
