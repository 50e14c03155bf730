// ONetCamera: the camera interface carried out by the camera's "scam" service.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "ocamera/camera.h"
#include "remote/service_session.h"
#include "remote/session_record.h"

namespace ocamera {
namespace remote {

// Every operation is one request on the session the factory opened, made on a
// context borrowed from the session's cache with a silent lease; the reply's
// status (or value) is the result, -1 when the request failed. The object keeps
// two pieces of state of its own: the last acquisition mode that reached the
// camera (which gates the image operations) and the sensor register names.
class ONetCamera final : public OCamera {
 public:
  // The device type of the camera service's sessions.
  static constexpr const char *kTypeName = "ONetCamera";

  // Takes over a session whose camera is created.
  explicit ONetCamera(std::unique_ptr<ServiceSession> session);

  int destroy() override;
  int open(int frameBufferSize, int maxBuffers) override;
  int close() override;
  int getSingleImage(Image *image) override;
  int freeImage(Image *image) override;
  int getMaxImageCount() override;
  int getImageCount() override;
  int setAcquisitionMode(eAcqMode mode) override;
  int setTriggerSource(eTrigSource source, eTrigPolarity polarity) override;
  int setIlluminationMode(eIllMode mode) override;
  int setIlluminationModeExternal(eIllModeExt mode) override;
  int setIlluminationTiming(int delay, int period) override;
  int switchIllumination(bool on) override;
  int setShutterTime(int shutter) override;
  int getShutterTime() override;
  int setCameraWindow(int x0, int y0, int width, int height) override;
  int setFrameRate(float fps) override;
  int setFrameRate(int fps) override;
  int setTriggerDelay(int delay) override;
  int setGain(int factor) override;
  int initColor() override;
  int setReadTimeout(int timeout) override;
  int reserved1() override;
  int setCircularOverwrite(bool overwrite) override;
  int setJPEG(bool enable, eJPEGQuality quality, bool byteStuffEnable,
              OCameraTools::eBayerPattern pattern, bool forceGreyscale) override;
  int setFrequency(eFrequency frequency) override;
  int getSingleImageInto(Image *image) override;
  eGrabResult grabImage(unsigned char *buffer, std::size_t capacity, Image *image) override;
  int readImageRAM(void *destination, unsigned address, unsigned length) override;
  int writeImageRAM(const void *data, unsigned address, unsigned length) override;
  int readImageRAMReducedData(void *destination, unsigned address, unsigned length,
                              int *returnedLength) override;
  int imageRAMToImageRAM(unsigned srcAddress, unsigned srcLength, unsigned destAddress,
                         unsigned destLength) override;
  int initImageRAM() override;
  int disableImageRAM() override;
  int getImageToImageRAM(unsigned address) override;
  int reserved2() override;
  int resetSequenceCounter() override;
  int purgeImages() override;
  int calibrateSensor(const CalibrationParams *params) override;
  int setSensorRegister(const char *name, unsigned value) override;
  int getSensorRegister(const char *name, unsigned *value) override;
  const char *const *getSensorRegisterNames() override;
  int triggerImage() override;
  int triggerImageAbort() override;
  int setupLaserProfiling(LaserSetup setup) override;
  int setHardwareApplet(bool enable, unsigned maxSize, eAppletType applet) override;
  int setMedian(bool enable) override;
  int setFilter(eFilterType filter, const FilterParams *params) override;
  int setBinarization(bool enable, const BinarizationParams *params) override;
  int setBayer2X(eBayer2XType output, OCameraTools::eBayerPattern pattern) override;
  int setWhiteBalance(OCameraTools::eBayerPattern pattern, const unsigned char *table) override;
  int setImageRAMPictureSize(int width, int height) override;
  int setTriggerWindow(int x0, int y0, int width, int height, int threshMin,
                       int threshMax) override;
  int setupImageCorrection(bool enable, eCorrectionType type, unsigned startAddress, unsigned size,
                           unsigned images) override;
  int setupImageSplitting(eSplitType type, unsigned destAddress, unsigned size) override;

  // What this object set and the camera accepted (see sessionRecord).
  Settings record() const { return record_.snapshot(); }
  // The camera device's description from the device list.
  const std::string &description() const { return session_->description(); }

  // Bytes of the white-balance table that setWhiteBalance sends.
  static constexpr int kWhiteBalanceTableBytes = 768;

 private:
  ~ONetCamera();  // objects end through destroy()

  mox::webservice::client::SoapCache &cache() { return session_->cache(); }
  // Whether the last acquisition mode lets the image operations act.
  bool imagesEnabled() const;
  // Fetches the next image into the caller's buffer of `capacity` bytes, or
  // with a null buffer into a new block (image->data).
  eGrabResult fetchImage(Image *image, unsigned char *buffer, std::size_t capacity);
  // What getSingleImageInto's caller's buffer holds: the window set last, else
  // the frame-buffer size opened with, else unknown (SIZE_MAX).
  std::size_t imageCapacity() const;
  // One request whose reply is a status: the status, or -1 when it failed.
  template <class... Params, class... Args>
  int send(int (*call)(struct soap *, const char *, const char *, int, Params...), Args &&...args) {
    return session_->send(call, std::forward<Args>(args)...);
  }

  std::unique_ptr<ServiceSession> session_;
  int acquisitionMode_ = ACQ_MODE_STOP;  // until a mode reaches the camera
  // Bytes of the window the camera accepted last, and of the frame buffers it
  // opened (0: none yet); read by image requests of other threads.
  std::atomic<std::size_t> windowBytes_{0};
  std::atomic<std::size_t> openBytes_{0};
  // The last register name list: the strings, and the null-terminated array of
  // pointers into them that getSensorRegisterNames hands out.
  std::vector<std::string> nameText_;
  std::vector<const char *> names_;
  SessionRecord record_;
};

}  // namespace remote
}  // namespace ocamera
