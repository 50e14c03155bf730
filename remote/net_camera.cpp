#include "remote/net_camera.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "ocamH.h"
#include "ocamera/status.h"
#include "protocol/base64.h"
#include "remote/factory.h"
#include "support/soap_cache.h"

namespace ocamera {
namespace remote {

using mox::webservice::client::SoapGuard;

namespace {

int flag(bool on) { return on ? 1 : 0; }

// A payload the request only reads; the serializer does not write through it.
ocam::xsd__base64Binary payload(const void *bytes, int size) {
  ocam::xsd__base64Binary data;
  data.__ptr = static_cast<unsigned char *>(const_cast<void *>(bytes));
  data.__size = bytes ? size : 0;
  return data;
}

// Number of bytes a decoded payload holds (an absent one holds none).
int payloadBytes(const ocam::xsd__base64Binary &data) {
  return data.__ptr && data.__size > 0 ? data.__size : 0;
}

// Copies a decoded payload out and frees the context's copy at once, so a large
// image is not held twice while the lease ends.
void moveOut(struct soap *ctx, ocam::xsd__base64Binary &data, void *destination, int bytes) {
  std::memcpy(destination, data.__ptr, static_cast<std::size_t>(bytes));
  soap_dealloc(ctx, data.__ptr);
  data.__ptr = nullptr;
  data.__size = 0;
}

// The optional parameter block that the calibration and filter set-ups share:
// flagged as used only when the caller gave one, zeros otherwise.
template <class Wire, class Params>
void setOptionalParams(Wire &wire, const Params *params) {
  wire.bHasParams = params != nullptr;
  if (params) {
    wire.nNumParam = params->numParam;
    wire.nParam1 = params->param1;
    wire.nParam2 = params->param2;
  }
}

}  // namespace

ONetCamera::ONetCamera(std::unique_ptr<ServiceSession> session) : session_(std::move(session)) {}

ONetCamera::~ONetCamera() = default;

bool ONetCamera::imagesEnabled() const {
  switch (acquisitionMode_) {
    case ACQ_MODE_SINGLE_SHOT:
    case ACQ_MODE_FREE_RUN:
    case ACQ_MODE_SELECT_SHOT:
    case ACQ_MODE_FREE_RUN_SLAVE:
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------- session

int ONetCamera::destroy() {
  // Calls of other threads still running past the bound keep the object.
  if (!session_->endCalls()) return -1;
  const int status = session_->end(&ocam::soap_call_scam__destroy);
  delete this;  // the session, then its device manager
  return status;
}

int ONetCamera::open(int frameBufferSize, int maxBuffers) {
  const int status = send(&ocam::soap_call_scam__open, frameBufferSize, maxBuffers);
  if (status == 0 && frameBufferSize > 0) openBytes_ = static_cast<std::size_t>(frameBufferSize);
  return status;
}

int ONetCamera::close() { return send(&ocam::soap_call_scam__close); }

// ---------------------------------------------------------------- images

OCamera::eGrabResult ONetCamera::fetchImage(Image *image, unsigned char *buffer,
                                            std::size_t capacity) {
  SoapGuard lease(cache(), false);
  struct soap *ctx = lease.context();
  ocam::scam__SingleImageResponse reply;
  // The reply announces the image's size before its data, so the data is
  // decoded straight into the caller's buffer (when it fits there), or into
  // the block the caller gets, with no copy. A reply that announces no size,
  // or more than the buffer holds, takes the way through the context's
  // memory, where its true size shows before anything is copied.
  wire::PayloadTarget target(ctx, &reply.nSize, buffer, capacity);
  if (lease.send([&](struct soap *c, const char *e) {
        return ocam::soap_call_scam__getSingleImage(c, e, "", session_->token(), reply);
      }) != SOAP_OK)
    return GRAB_FAILED;
  const int bytes = payloadBytes(reply.data);
  if (bytes == 0) {
    // No image: a camera that says why (a read time-out, a dead session) has
    // its status stored, so a caller never takes a refusal for an empty image.
    if (reply.nStatus == 0) return GRAB_EMPTY;
    image->status = reply.nStatus;
    return reply.nStatus == status::kTimeout ? GRAB_TIMEOUT : GRAB_REFUSED;
  }
  if (buffer && static_cast<std::size_t>(bytes) > capacity) {
    image->size = bytes;
    return GRAB_TOO_LARGE;
  }
  unsigned char *destination;
  if (target.data() && reply.data.__ptr == target.data()) {
    destination = buffer ? buffer : target.take();
  } else {
    destination = buffer ? buffer : new (std::nothrow) unsigned char[bytes];
    if (!destination) return GRAB_FAILED;
    moveOut(ctx, reply.data, destination, bytes);
  }
  image->data = destination;
  image->seqNr = reply.nSeqNr;
  image->timeSec = reply.nTimeSec;
  image->timeMicroSec = reply.nTimeMicroSec;
  // The record's size is what the caller may read at data: the bytes actually
  // delivered. A camera whose "scam:nSize" claims more must not lead a caller
  // past the end of the buffer.
  image->size = bytes;
  image->status = reply.nStatus;
  return GRAB_IMAGE;
}

int ONetCamera::getSingleImage(Image *image) {
  if (!image) return -1;
  image->data = nullptr;
  if (!imagesEnabled()) return -1;
  switch (fetchImage(image, nullptr, 0)) {
    case GRAB_IMAGE:
      return 0;
    case GRAB_EMPTY:
      image->size = 0;
      return 0;
    case GRAB_TIMEOUT:
    case GRAB_REFUSED:
      image->size = 0;
      return image->status;
    default:
      return -1;
  }
}

std::size_t ONetCamera::imageCapacity() const {
  if (const std::size_t window = windowBytes_.load()) return window;
  if (const std::size_t opened = openBytes_.load()) return opened;
  return SIZE_MAX;  // nothing known: the camera's announcement is all there is
}

int ONetCamera::getSingleImageInto(Image *image) {
  if (!image || !image->data || !imagesEnabled()) return -1;
  Image record = *image;  // a refusal writes the status only; a failure nothing
  switch (fetchImage(&record, image->data, imageCapacity())) {
    case GRAB_IMAGE:
      *image = record;
      return 0;
    case GRAB_TIMEOUT:
    case GRAB_REFUSED:
      image->status = record.status;
      return record.status;
    default:
      return -1;
  }
}

OCamera::eGrabResult ONetCamera::grabImage(unsigned char *buffer, std::size_t capacity,
                                           Image *image) {
  if (!buffer || !image || !imagesEnabled()) return GRAB_FAILED;
  return fetchImage(image, buffer, capacity);
}

int ONetCamera::freeImage(Image *image) {
  if (!image) return -1;
  // The memory is the caller's to give back whatever the mode is now: an image
  // grabbed before the acquisition stopped is freed too. The result is still
  // the gate's.
  delete[] image->data;
  image->data = nullptr;
  return imagesEnabled() ? 0 : -1;
}

int ONetCamera::getMaxImageCount() { return send(&ocam::soap_call_scam__getMaxImageCount); }

int ONetCamera::getImageCount() {
  SoapGuard lease(cache(), false);
  int count = 0;
  if (lease.send([&](struct soap *c, const char *e) {
        return ocam::soap_call_scam__getImageCount(c, e, "", session_->token(), count);
      }) != SOAP_OK)
    return 0;
  return count;
}

// ---------------------------------------------------------------- acquisition and trigger

int ONetCamera::setAcquisitionMode(eAcqMode mode) {
  switch (mode) {
    case ACQ_MODE_STOP:
    case ACQ_MODE_SINGLE_SHOT:
    case ACQ_MODE_FREE_RUN:
    case ACQ_MODE_SELECT_SHOT:
    case ACQ_MODE_FREE_RUN_SLAVE:
      break;
    default:
      return -1;
  }
  SoapGuard lease(cache(), false);
  int status = 0;
  if (lease.send([&](struct soap *c, const char *e) {
        return ocam::soap_call_scam__setAcquisitionMode(c, e, "", session_->token(),
                                                        ocam::scam__eAcqMode(mode), status);
      }) != SOAP_OK)
    return -1;
  // The camera took the request, whatever it answered.
  acquisitionMode_ = mode;
  record_.note(status, "acquisitionMode", {double(mode)});
  return status;
}

int ONetCamera::setTriggerSource(eTrigSource source, eTrigPolarity polarity) {
  const int status = send(&ocam::soap_call_scam__setTriggerSource, ocam::scam__eTrigSource(source),
                          ocam::scam__eTrigPolarity(polarity));
  record_.note(status, "triggerSource", {double(source), double(polarity)});
  return status;
}

int ONetCamera::setTriggerDelay(int delay) {
  const int status = send(&ocam::soap_call_scam__setTriggerDelay, delay);
  record_.note(status, "triggerDelay", {double(delay)});
  return status;
}

int ONetCamera::setTriggerWindow(int x0, int y0, int width, int height, int threshMin,
                                 int threshMax) {
  const int status =
      send(&ocam::soap_call_scam__setTriggerWindow, x0, y0, width, height, threshMin, threshMax);
  record_.note(status, "triggerWindow",
               {double(x0), double(y0), double(width), double(height), double(threshMin),
                double(threshMax)});
  return status;
}

int ONetCamera::triggerImage() { return send(&ocam::soap_call_scam__triggerImage); }

int ONetCamera::triggerImageAbort() { return send(&ocam::soap_call_scam__triggerImageAbort); }

int ONetCamera::resetSequenceCounter() { return send(&ocam::soap_call_scam__resetSequenceCounter); }

int ONetCamera::purgeImages() { return send(&ocam::soap_call_scam__purgeImages); }

int ONetCamera::setReadTimeout(int timeout) {
  const int status = send(&ocam::soap_call_scam__setReadTimeout, timeout);
  record_.note(status, "readTimeout", {double(timeout)});
  return status;
}

int ONetCamera::setCircularOverwrite(bool overwrite) {
  const int status = send(&ocam::soap_call_scam__setCircularOverwrite, flag(overwrite));
  record_.note(status, "circularOverwrite", {double(overwrite)});
  return status;
}

// ---------------------------------------------------------------- exposure and illumination

int ONetCamera::setShutterTime(int shutter) {
  const int status = send(&ocam::soap_call_scam__setShutterTime, shutter);
  record_.note(status, "shutterTime", {double(shutter)});
  return status;
}

int ONetCamera::getShutterTime() { return send(&ocam::soap_call_scam__getShutterTime); }

int ONetCamera::setCameraWindow(int x0, int y0, int width, int height) {
  const int status = send(&ocam::soap_call_scam__setCameraWindow, x0, y0, width, height);
  if (status == 0 && width > 0 && height > 0)
    windowBytes_ = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  record_.note(status, "window", {double(x0), double(y0), double(width), double(height)});
  return status;
}

int ONetCamera::setFrameRate(float fps) {
  const int status = send(&ocam::soap_call_scam__setFrameRateFloat, fps);
  record_.note(status, "frameRate", {double(fps)});
  return status;
}

int ONetCamera::setFrameRate(int fps) {
  const int status = send(&ocam::soap_call_scam__setFrameRate, fps);
  record_.note(status, "frameRate", {double(fps)});
  return status;
}

int ONetCamera::setGain(int factor) {
  const int status = send(&ocam::soap_call_scam__setGain, factor);
  record_.note(status, "gain", {double(factor)});
  return status;
}

int ONetCamera::setFrequency(eFrequency frequency) {
  const int status = send(&ocam::soap_call_scam__setFrequency, ocam::scam__eFrequency(frequency));
  record_.note(status, "frequency", {double(frequency)});
  return status;
}

int ONetCamera::setIlluminationMode(eIllMode mode) {
  const int status = send(&ocam::soap_call_scam__setIlluminationMode, ocam::scam__eIllMode(mode));
  record_.note(status, "illuminationMode", {double(mode)});
  return status;
}

int ONetCamera::setIlluminationModeExternal(eIllModeExt mode) {
  const int status =
      send(&ocam::soap_call_scam__setIlluminationModeExternal, ocam::scam__eIllModeExt(mode));
  record_.note(status, "illuminationModeExternal", {double(mode)});
  return status;
}

int ONetCamera::setIlluminationTiming(int delay, int period) {
  const int status = send(&ocam::soap_call_scam__setIlluminationTiming, delay, period);
  record_.note(status, "illuminationTiming", {double(delay), double(period)});
  return status;
}

int ONetCamera::switchIllumination(bool on) {
  const int status = send(&ocam::soap_call_scam__switchIllumination, flag(on));
  record_.note(status, "illumination", {double(on)});
  return status;
}

// ---------------------------------------------------------------- colour and format

int ONetCamera::initColor() { return send(&ocam::soap_call_scam__initColor); }

int ONetCamera::setJPEG(bool enable, eJPEGQuality quality, bool byteStuffEnable,
                        OCameraTools::eBayerPattern pattern, bool forceGreyscale) {
  const int status =
      send(&ocam::soap_call_scam__setJPEG, flag(enable), ocam::scam__eJPEGQuality(quality),
           flag(byteStuffEnable), ocam::scam__eBayerPattern(pattern), flag(forceGreyscale));
  record_.note(status, "jpeg",
               {double(enable), double(quality), double(byteStuffEnable), double(pattern),
                double(forceGreyscale)});
  return status;
}

int ONetCamera::setBayer2X(eBayer2XType output, OCameraTools::eBayerPattern pattern) {
  const int status = send(&ocam::soap_call_scam__setBayer2X, ocam::scam__eBayer2XType(output),
                          ocam::scam__eBayerPattern(pattern));
  record_.note(status, "bayer2X", {double(output), double(pattern)});
  return status;
}

int ONetCamera::setMedian(bool enable) {
  const int status = send(&ocam::soap_call_scam__setMedian, flag(enable));
  record_.note(status, "median", {double(enable)});
  return status;
}

int ONetCamera::setWhiteBalance(OCameraTools::eBayerPattern pattern, const unsigned char *table) {
  const int status =
      send(&ocam::soap_call_scam__setWhiteBalance, ocam::scam__eBayerPattern(pattern),
           payload(table, kWhiteBalanceTableBytes));
  record_.note(status, "whiteBalance", {double(pattern), 0},
               table ? std::vector<unsigned char>(table, table + kWhiteBalanceTableBytes)
                     : std::vector<unsigned char>());
  return status;
}

// ---------------------------------------------------------------- image memory

int ONetCamera::readImageRAM(void *destination, unsigned address, unsigned length) {
  if (!destination && length > 0) return -1;
  SoapGuard lease(cache(), false);
  struct soap *ctx = lease.context();
  ocam::scam__readImageRAMResponse reply;
  if (lease.send([&](struct soap *c, const char *e) {
        return ocam::soap_call_scam__readImageRAM(c, e, "", session_->token(), address, length,
                                                  reply);
      }) != SOAP_OK)
    return -1;
  const int bytes = payloadBytes(reply.data);
  // A refusal comes without data: its status says why. Data of another length
  // than asked for is a broken reply.
  if (bytes == 0 && reply.status != 0) return reply.status;
  if (static_cast<unsigned>(bytes) != length) return -1;
  if (reply.status == 0 && bytes > 0) moveOut(ctx, reply.data, destination, bytes);
  return reply.status;
}

int ONetCamera::readImageRAMReducedData(void *destination, unsigned address, unsigned length,
                                        int *returnedLength) {
  if (returnedLength) *returnedLength = 0;
  if (!destination && length > 0) return -1;
  SoapGuard lease(cache(), false);
  struct soap *ctx = lease.context();
  ocam::scam__readImageRAMReducedDataResponse reply;
  if (lease.send([&](struct soap *c, const char *e) {
        return ocam::soap_call_scam__readImageRAMReducedData(c, e, "", session_->token(), address,
                                                             length, reply);
      }) != SOAP_OK)
    return -1;
  const int bytes = payloadBytes(reply.data);
  if (static_cast<unsigned>(bytes) != reply.retlen) return -1;
  // More than was asked for would overrun the caller's buffer.
  if (reply.retlen > length) return -1;
  if (reply.status == 0) {
    if (bytes > 0) moveOut(ctx, reply.data, destination, bytes);
    if (returnedLength) *returnedLength = bytes;
  }
  return reply.status;
}

int ONetCamera::writeImageRAM(const void *data, unsigned address, unsigned length) {
  return send(&ocam::soap_call_scam__writeImageRAM, payload(data, static_cast<int>(length)),
              address, length);
}

int ONetCamera::imageRAMToImageRAM(unsigned srcAddress, unsigned srcLength, unsigned destAddress,
                                   unsigned destLength) {
  return send(&ocam::soap_call_scam__imageRAMToImageRAM, srcAddress, srcLength, destAddress,
              destLength);
}

int ONetCamera::initImageRAM() { return send(&ocam::soap_call_scam__initImageRAM); }

int ONetCamera::disableImageRAM() { return send(&ocam::soap_call_scam__disableImageRAM); }

int ONetCamera::getImageToImageRAM(unsigned address) {
  return send(&ocam::soap_call_scam__getImageToImageRAM, address);
}

int ONetCamera::setImageRAMPictureSize(int width, int height) {
  const int status = send(&ocam::soap_call_scam__setImageRAMPictureSize, width, height);
  record_.note(status, "imageRAMPictureSize", {double(width), double(height)});
  return status;
}

int ONetCamera::setupImageCorrection(bool enable, eCorrectionType type, unsigned startAddress,
                                     unsigned size, unsigned images) {
  const int status = send(&ocam::soap_call_scam__setupImageCorrection, enable,
                          ocam::scam__eCorrectionType(type), startAddress, size, images);
  record_.note(status, "imageCorrection",
               {double(enable), double(type), double(startAddress), double(size), double(images)});
  return status;
}

int ONetCamera::setupImageSplitting(eSplitType type, unsigned destAddress, unsigned size) {
  const int status = send(&ocam::soap_call_scam__setupImageSplitting, ocam::scam__eSplitType(type),
                          destAddress, size);
  record_.note(status, "imageSplitting", {double(type), double(destAddress), double(size)});
  return status;
}

// ---------------------------------------------------------------- reserved slots

int ONetCamera::reserved1() { return 0; }

int ONetCamera::reserved2() { return -1; }

// ---------------------------------------------------------------- sensor

int ONetCamera::calibrateSensor(const CalibrationParams *params) {
  ocam::scam__CalibrateSensorParam param;
  setOptionalParams(param, params);
  return send(&ocam::soap_call_scam__calibrateSensor, param);
}

int ONetCamera::setSensorRegister(const char *name, unsigned value) {
  const int status =
      send(&ocam::soap_call_scam__setSensorRegister, const_cast<char *>(name), value);
  record_.noteRegister(status, name, value);
  return status;
}

int ONetCamera::getSensorRegister(const char *name, unsigned *value) {
  SoapGuard lease(cache(), false);
  ocam::scam__GetSensorRegisterResponse reply;
  if (lease.send([&](struct soap *c, const char *e) {
        return ocam::soap_call_scam__getSensorRegister(c, e, "", session_->token(),
                                                       const_cast<char *>(name), reply);
      }) != SOAP_OK)
    return -1;
  if (value) *value = reply.nValue;
  return reply.status;
}

const char *const *ONetCamera::getSensorRegisterNames() {
  SoapGuard lease(cache(), false);
  ocam::scam__SensorRegisterNames reply;
  if (lease.send([&](struct soap *c, const char *e) {
        return ocam::soap_call_scam__getSensorRegisterNames(c, e, "", session_->token(), reply);
      }) != SOAP_OK)
    return nullptr;  // a list from an earlier call stays valid
  // A reply without names gives a list holding only the terminating null; a
  // null entry becomes "". The new list is built in full before it replaces the
  // old one, so running out of memory leaves the old one valid.
  const int count = reply.names && reply.__sizenames > 0 ? reply.__sizenames : 0;
  std::vector<std::string> text;
  std::vector<const char *> list;
  try {
    text.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) text.emplace_back(reply.names[i] ? reply.names[i] : "");
    list.reserve(text.size() + 1);
    for (const std::string &name : text) list.push_back(name.c_str());
    list.push_back(nullptr);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
  nameText_.swap(text);
  names_.swap(list);
  return names_.data();
}

// ---------------------------------------------------------------- processing

int ONetCamera::setHardwareApplet(bool enable, unsigned maxSize, eAppletType applet) {
  const int status = send(&ocam::soap_call_scam__setHardwareApplet, flag(enable), maxSize,
                          ocam::scam__eAppletType(applet));
  record_.note(status, "hardwareApplet", {double(enable), double(maxSize), double(applet)});
  return status;
}

int ONetCamera::setupLaserProfiling(LaserSetup setup) {
  ocam::scam__LaserSetup wire;
  wire.bEnable = setup.enable;
  wire.dX0 = setup.x0;
  wire.dY0 = setup.y0;
  wire.dWidth = setup.width;
  wire.dHeight = setup.height;
  wire.ePrio = ocam::scam__ePointPriority(setup.priority);
  wire.eDir = ocam::scam__eProfileDirection(setup.direction);
  wire.dThreshMin = setup.threshMin;
  wire.dThreshMax = setup.threshMax;
  wire.dAreaMin = setup.areaMin;
  wire.dAreaMax = setup.areaMax;
  wire.eSubRes = ocam::scam__eLaserOutputFormat(setup.subRes);
  wire.RefData = payload(setup.refData, setup.width);
  const int status = send(&ocam::soap_call_scam__setupLaserProfiling, wire);
  std::vector<unsigned char> reference;
  if (status == 0 && setup.refData && setup.width > 0)
    reference.assign(setup.refData, setup.refData + setup.width);
  record_.note(status, "laserProfiling",
               {double(setup.enable), double(setup.x0), double(setup.y0), double(setup.width),
                double(setup.height), double(setup.priority), double(setup.direction),
                double(setup.threshMin), double(setup.threshMax), double(setup.areaMin),
                double(setup.areaMax), double(setup.subRes), 0},
               std::move(reference));
  return status;
}

int ONetCamera::setFilter(eFilterType filter, const FilterParams *params) {
  ocam::scam__FilterSetup wire;
  wire.eFilter = ocam::scam__eFilterType(filter);
  setOptionalParams(wire, params);
  const int status = send(&ocam::soap_call_scam__setFilter, wire);
  record_.note(status, "filter",
               {double(filter), params ? double(params->numParam) : 0,
                params ? double(params->param1) : 0, params ? double(params->param2) : 0});
  return status;
}

int ONetCamera::setBinarization(bool enable, const BinarizationParams *params) {
  ocam::scam__BinarizationSetup wire;
  wire.bEnable = enable;
  wire.bHasParams = params != nullptr;
  if (params) {
    wire.bInvert = params->invert;
    wire.nNumThreshold = params->numThreshold;
    wire.nThreshold1 = params->threshold1;
    wire.nThreshold2 = params->threshold2;
  }
  const int status = send(&ocam::soap_call_scam__setBinarization, wire);
  record_.note(status, "binarization",
               {double(enable), params ? double(params->invert) : 0,
                params ? double(params->numThreshold) : 0, params ? double(params->threshold1) : 0,
                params ? double(params->threshold2) : 0});
  return status;
}

}  // namespace remote
}  // namespace ocamera

// ---------------------------------------------------------------- factories

OCamera *CreateCameraInterface(OCamera::eCameraType type, const char *address) {
  using ocamera::remote::ONetCamera;
  using ocamera::remote::ServiceSession;
  return ocamera::remote::createGuarded(
      "CreateCameraInterface", address, [type](const std::string &where) -> OCamera * {
        return new ONetCamera(ServiceSession::open(where, ONetCamera::kTypeName,
                                                   &ocam::soap_call_scam__create,
                                                   ocam::scam__eCameraType(type)));
      });
}

OCamera *OCamera::CreateCameraInterface(eCameraType type) {
  return ::CreateCameraInterface(type, ocamera::kFactoryDefaultAddress);
}
