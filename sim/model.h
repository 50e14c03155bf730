// The simulated camera: what a request asks of it and what it answers. Its
// parts each live in a room of their own (sessions, the frame queue, the
// image RAM, the sensor registers, the I/O lines); the model checks each
// request's session and runs it against them. One mutex guards them all;
// every operation takes it for a short time, and waits (images, inputs) sleep
// on its condition variable so that stop() can wake them. The operations are
// defined by subject: model.cpp (sessions, hooks), model_camera.cpp
// (acquisition and settings), model_ram.cpp (image RAM, sensor registers),
// model_io.cpp (inputs, outputs, LEDs).
#pragma once

#include <ocamera/settings.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/frame.h"
#include "sim/frame_queue.h"
#include "sim/image_ram.h"
#include "sim/io_lines.h"
#include "sim/pictures.h"
#include "sim/scene.h"
#include "sim/sensor_registers.h"
#include "sim/sessions.h"
#include "sim/simulator.h"
#include "sim/stored_settings.h"

namespace ocamsim {
namespace detail {

// A delivered image: its samples, shared with lastImage() and made as they
// are read, never copied on the way out (see Frame).
struct Image {
  int status = 0;
  int seq = 0;
  std::int64_t sec = 0;
  int usec = 0;
  std::shared_ptr<Frame> bytes;
};

// A laser-profiling setup, as the camera checks it.
struct LaserSetup {
  bool enable = false;
  int x0 = 0;
  int y0 = 0;
  int width = 0;
  int height = 0;
  int priority = 0;   // which point of a column counts, 0..3
  int direction = 0;  // 0 top-down, 1 bottom-up
  int threshMin = 0;  // 0..255, at most threshMax
  int threshMax = 0;
  int areaMin = 0;  // 0 up to areaMax
  int areaMax = 0;
  int format = 0;                       // output format: 4 (16.4) or 16..20 (8.0..8.4)
  std::vector<std::uint8_t> reference;  // the reference line: none, or one byte per column
};

class Model {
 public:
  explicit Model(const Options &options);

  // Wakes every wait; later waits return kShutdown at once.
  void shutdown();
  void resume();  // after shutdown(), for a new start()
  // Reads Options::images, once, before serving starts; throws
  // std::runtime_error naming the path when they cannot be used.
  void loadImages();
  bool stopping() const;
  // Sleeps for `ms` unless shutdown() comes first.
  void pause(int ms);

  // Device manager. Statuses as in simulator.h; the service turns them into faults.
  std::vector<DeviceEntry> devices() const { return devices_; }
  int openSession(int id, int access, int &token);
  int keepAlive(int token);
  int closeSession(int token);
  std::size_t openSessions();
  bool sessionOpen(int token);

  // Checks a service request: the token must name an open session on a device
  // of `kind`; `needCreated`/`needOpened` add the service-instance checks.
  // Runs `fn(session)` under the lock when all pass.
  template <class Fn>
  int withSession(int token, DeviceKind kind, bool needCreated, bool needOpened, Fn &&fn) {
    std::unique_lock<std::mutex> lock(mutex_);
    Session *s = nullptr;
    int st = check(token, kind, needCreated, needOpened, s);
    if (st != status::kOk) return st;
    return fn(*s, lock);
  }

  // Camera.
  int cameraCreate(int token, int type);
  int cameraDestroy(int token);
  int cameraOpen(int token, int frameBufferSize, int maxBuffers);
  int cameraClose(int token);
  int setAcquisitionMode(int token, int mode);
  int setTriggerSource(int token, int source, int polarity);
  int setTriggerDelay(int token, int delayUs);
  int triggerImage(int token);
  int triggerImageAbort(int token);
  Image getSingleImage(int token);
  // Drops a reply's hold on its frame once the reply is sent. Under the
  // model's lock, so that the reuse of the frame by a later request on
  // another connection (getSingleImage) comes after every read of it.
  void releaseImage(std::shared_ptr<Frame> &image);
  int getImageToImageRAM(int token, std::uint32_t address);
  int getMaxImageCount(int token);
  int getImageCount(int token);
  int resetSequenceCounter(int token);
  int purgeImages(int token);
  int setReadTimeout(int token, int ms);
  int setCircularOverwrite(int token, int on);
  int setShutterTime(int token, int us);
  int getShutterTime(int token);
  int setCameraWindow(int token, int x0, int y0, int width, int height);
  int setFrameRate(int token, double fps);
  int setGain(int token, int factor);
  // Settings the camera checks and keeps but that change nothing in the
  // simulated picture (StoredSettings): each answers kOk for a value in its
  // range and keeps it, kBadArgument for one outside (after the session
  // checks).
  int setTriggerWindow(int token, int x0, int y0, int width, int height, int threshMin,
                       int threshMax);
  int setFrequency(int token, int frequency);
  int setIlluminationMode(int token, int mode);
  int setIlluminationModeExternal(int token, int mode);
  int setIlluminationTiming(int token, int delay, int period);
  int switchIllumination(int token, bool on);
  int initColor(int token);
  int setJpeg(int token, bool enable, int quality, bool byteStuff, int pattern, bool greyscale);
  int setBayer2X(int token, int output, int pattern);
  int setMedian(int token, bool on);
  // `table`: the white-balance table, empty when none was sent.
  int setWhiteBalance(int token, int pattern, const std::vector<std::uint8_t> &table);
  int setHardwareApplet(int token, bool enable, std::uint32_t maxSize, int applet);
  int setupLaserProfiling(int token, const LaserSetup &setup);
  // Without parameters the parameters are kept as zeros.
  int setFilter(int token, int kind, bool hasParams, std::uint32_t numParams, std::uint32_t p1,
                std::uint32_t p2);
  int setBinarization(int token, bool enable, bool hasParams, bool invert, int numThresholds,
                      int threshold1, int threshold2);

  // Image RAM.
  int readRam(int token, std::uint32_t address, std::uint32_t length,
              std::vector<std::uint8_t> &out);
  int readRamReduced(int token, std::uint32_t address, std::uint32_t length,
                     std::vector<std::uint8_t> &out);
  int writeRam(int token, const std::uint8_t *data, std::size_t size, std::uint32_t address,
               std::uint32_t length);
  int copyRam(int token, std::uint32_t src, std::uint32_t srcLen, std::uint32_t dest,
              std::uint32_t destLen);
  int initRam(int token);
  int disableRam(int token);
  int setRamPictureSize(int token, int width, int height);
  // Regions of the image RAM the camera would use, checked only while in use:
  // correction reads `images` images of `imageBytes` each from `address`,
  // splitting (any type but off) writes `size` bytes to `address`.
  int setupImageCorrection(int token, bool enable, int type, std::uint32_t address,
                           std::uint32_t imageBytes, std::uint32_t images);
  int setupImageSplitting(int token, int type, std::uint32_t address, std::uint32_t size);

  // Sensor registers.
  std::vector<std::string> registerNames(int token, int &st);
  int getRegister(int token, const std::string &name, std::uint32_t &value);
  int setRegister(int token, const std::string &name, std::uint32_t value);
  int calibrate(int token, bool hasParams, std::uint32_t numParam, std::uint32_t p1);

  // Inputs, outputs, LEDs: create/destroy/open/close of the I/O services.
  int ioCreate(int token, DeviceKind kind);
  int ioDestroy(int token, DeviceKind kind);
  int ioOpen(int token, DeviceKind kind);
  int ioClose(int token, DeviceKind kind);
  int getInputs(int token);
  int getInput(int token, int line);
  int setInputTimeout(int token, int ms);
  // Waits until the masked input word equals `state` (change == false) or
  // differs from its value at the start (change == true).
  int waitInputs(int token, int mask, int state, bool change);
  // The same for one line or INPUT-ALL by its selector: a single line waits
  // for `state` 0 or 1, INPUT-ALL for the level bits `state`. A selector that
  // is no enumerator is refused after the session checks.
  int waitInput(int token, int line, int state);
  int waitInputChange(int token, int line);
  bool waitForInputWaits(std::size_t n, int timeoutMs);
  int clearEdges(int token, int mask);
  int getOutputs(int token, DeviceKind kind);
  int getOutput(int token, DeviceKind kind, int line);
  int setOutputs(int token, DeviceKind kind, int mask, int state);
  int toggleOutputs(int token, DeviceKind kind, int mask);
  // The same for one line or group by its selector (all of a group's lines
  // to `state` 0 or 1). A selector that is no enumerator is refused before
  // the session is looked at.
  int setOutput(int token, DeviceKind kind, int line, int state);
  int toggleOutput(int token, DeviceKind kind, int line);

  // In-process hooks.
  void setInputs(int levels);
  int inputWord();
  void setOverload(bool on);
  int outputs();
  int leds();
  int acquisitionMode();
  int shutterTime();
  int gain();
  // Every setting the camera keeps, as the library's table names them, and
  // every sensor register.
  ocamera::Settings settings();
  // Makes every entry of `profile` (in the table's order, registers after the
  // clock) as a client's setters would, on a session of its own: "" when the
  // camera took them all, else the first refused entry and why.
  std::string loadSettings(const ocamera::Settings &profile);
  std::vector<std::uint8_t> lastImage();
  std::vector<std::uint8_t> peekRam(std::size_t address, std::size_t length);
  void pokeRam(std::size_t address, const std::vector<std::uint8_t> &bytes);

 private:
  int check(int token, DeviceKind kind, bool needCreated, bool needOpened, Session *&out);
  void expireSessions(Clock::time_point now);
  void endSession(const Session &s);
  void stopCamera();
  // Waits for the next frame (under the lock); kOk with `frame` or a status.
  int nextFrame(std::unique_lock<std::mutex> &lock, int token, FrameInfo &frame);
  // A register's value, the mirrored ones from the settings they mirror (under the lock).
  int readRegister(const std::string &name, std::uint32_t &value) const;
  // Checks a window or region against the sensor.
  bool insideSensor(int x0, int y0, int width, int height) const;
  // The answer of a setting that is only checked: the session checks, then `valid`.
  int acceptSetting(int token, bool valid);
  // The same for a setting the camera keeps: `keep` stores a valid value.
  int keepSetting(int token, bool valid, const std::function<void()> &keep);
  // Sets the masked lines of the outputs or LEDs to `state` (under the lock).
  int applyOutputs(DeviceKind kind, int mask, int state);
  // The built-in scene, made on first use, or the pictures from files.
  const ImageSource &source();

  Options options_;
  std::vector<DeviceEntry> devices_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool stopping_ = false;

  SessionTable sessions_;
  // Camera: one sensor, shared by every session that created it.
  FrameQueue cam_;
  ImageRam ram_;
  SensorRegisters registers_;
  StoredSettings stored_;
  std::shared_ptr<Frame> last_;
  std::shared_ptr<Frame> spare_;  // the one before, for reuse
  std::once_flag sceneOnce_;
  std::unique_ptr<Scene> scene_;
  std::unique_ptr<Pictures> pictures_;

  IoLines lines_;
  std::size_t inputWaits_ = 0;  // input waits blocked right now
};

}  // namespace detail
}  // namespace ocamsim
