// The service functions the SOAP dispatcher calls, one per operation. Each one
// lets the connection apply an injected fault, asks the model, and answers.
// What the camera accepts is the model's to decide: here the request's
// arguments are only unpacked and the model's answer packed into the reply.
#include <sstream>
#include <string>

#include "ocamH.h"
#include "sim/server.h"

using ocamsim::detail::Connection;
using ocamsim::detail::DeviceKind;
using ocamsim::detail::Model;
namespace st = ocamsim::status;

namespace {

Connection &connOf(struct soap *ctx) { return *static_cast<Connection *>(ctx->user); }

// Arguments as the setter log keeps them: decimal text separated by blanks.
void put(std::ostringstream &) {}
template <class T, class... R>
void put(std::ostringstream &os, const T &first, const R &...rest) {
  if (os.tellp() > 0) os << ' ';
  os << first;
  put(os, rest...);
}
template <class... A>
std::string args(const A &...a) {
  std::ostringstream os;
  put(os, a...);
  return os.str();
}

// A request whose reply is one status: injected faults first, then `body`.
template <class Body>
int run(struct soap *ctx, int token, int &status, Body &&body) {
  Connection &c = connOf(ctx);
  if (int e = c.begin(ctx, token)) return e;
  status = c.answer(body(*c.model));
  return SOAP_OK;
}

// A setter: as run(), and an accepted value is remembered for lastSetting().
template <class Body>
int set(struct soap *ctx, int token, int &status, const std::string &arguments, Body &&body) {
  const int rc = run(ctx, token, status, std::forward<Body>(body));
  if (rc == SOAP_OK) connOf(ctx).remember(arguments);
  return rc;
}

// The wire's laser-profiling setup as the model takes it.
ocamsim::detail::LaserSetup laserSetup(const ocam::scam__LaserSetup &s, int refBytes) {
  ocamsim::detail::LaserSetup l;
  l.enable = s.bEnable;
  l.x0 = s.dX0;
  l.y0 = s.dY0;
  l.width = s.dWidth;
  l.height = s.dHeight;
  l.priority = s.ePrio;
  l.direction = s.eDir;
  l.threshMin = s.dThreshMin;
  l.threshMax = s.dThreshMax;
  l.areaMin = s.dAreaMin;
  l.areaMax = s.dAreaMax;
  l.format = s.eSubRes;
  if (refBytes > 0) l.reference.assign(s.RefData.__ptr, s.RefData.__ptr + refBytes);
  return l;
}

// The I/O services differ only in their device kind.
int ioCreate(struct soap *c, int t, int &s, DeviceKind k) {
  return run(c, t, s, [&](Model &m) { return m.ioCreate(t, k); });
}
int ioDestroy(struct soap *c, int t, int &s, DeviceKind k) {
  return run(c, t, s, [&](Model &m) { return m.ioDestroy(t, k); });
}
int ioOpen(struct soap *c, int t, int &s, DeviceKind k) {
  return run(c, t, s, [&](Model &m) { return m.ioOpen(t, k); });
}
int ioClose(struct soap *c, int t, int &s, DeviceKind k) {
  return run(c, t, s, [&](Model &m) { return m.ioClose(t, k); });
}
int ioGetAll(struct soap *c, int t, int &s, DeviceKind k) {
  return run(c, t, s, [&](Model &m) { return m.getOutputs(t, k); });
}
int ioGet(struct soap *c, int t, int line, int &s, DeviceKind k) {
  return run(c, t, s, [&](Model &m) { return m.getOutput(t, k, line); });
}
int ioSetMask(struct soap *c, int t, int mask, int state, int &s, DeviceKind k) {
  return set(c, t, s, args(mask, state), [&](Model &m) { return m.setOutputs(t, k, mask, state); });
}
int ioSetLine(struct soap *c, int t, int line, int state, int &s, DeviceKind k) {
  return set(c, t, s, args(line, state), [&](Model &m) { return m.setOutput(t, k, line, state); });
}
int ioToggleMask(struct soap *c, int t, int mask, int &s, DeviceKind k) {
  return set(c, t, s, args(mask), [&](Model &m) { return m.toggleOutputs(t, k, mask); });
}
int ioToggleLine(struct soap *c, int t, int line, int &s, DeviceKind k) {
  return set(c, t, s, args(line), [&](Model &m) { return m.toggleOutput(t, k, line); });
}

}  // namespace

namespace ocam {

// ------------------------------------------------------------------ device manager

int rdev__open(struct soap *ctx, int id, enum rdev__eAccess accessMode, int &token) {
  Connection &c = connOf(ctx);
  if (int e = c.begin(ctx, 0)) return e;
  c.status = c.model->openSession(id, static_cast<int>(accessMode), token);
  if (c.status != st::kOk) return soap_sender_fault(ctx, "no such device", nullptr);
  return SOAP_OK;
}

int rdev__close(struct soap *ctx, int token, struct rdev__closeResponse *) {
  Connection &c = connOf(ctx);
  if (int e = c.begin(ctx, token)) return e;
  c.status = c.model->closeSession(token);
  if (c.status != st::kOk) return soap_sender_fault(ctx, "invalid session", nullptr);
  return SOAP_OK;
}

int rdev__list(struct soap *ctx, rdev__listResponse &result) {
  Connection &c = connOf(ctx);
  if (int e = c.begin(ctx, 0)) return e;
  const auto devices = c.model->devices();
  const int n = static_cast<int>(devices.size());
  result.__sizedevices = n;
  result.devices = n ? soap_new_rdev__Descriptor(ctx, n) : nullptr;
  for (int i = 0; i < n; ++i) {
    rdev__Descriptor &d = result.devices[i];
    d.id = devices[i].id;
    d.vendor = soap_strdup(ctx, devices[i].vendor.c_str());
    d.type = soap_strdup(ctx, devices[i].type.c_str());
    d.description = soap_strdup(ctx, devices[i].description.c_str());
    d.versionMajor = devices[i].versionMajor;
    d.versionMinor = devices[i].versionMinor;
    d.maxTimeout = devices[i].maxTimeout;
    d.status = soap_strdup(ctx, devices[i].status.c_str());
  }
  return SOAP_OK;
}

int rdev__keepAlive(struct soap *ctx, int token, struct rdev__keepAliveResponse *) {
  Connection &c = connOf(ctx);
  if (int e = c.begin(ctx, token)) return e;
  c.status = c.model->keepAlive(token);
  if (c.status != st::kOk) return soap_sender_fault(ctx, "invalid session", nullptr);
  return SOAP_OK;
}

// ------------------------------------------------------------------ camera: session, acquisition

int scam__create(struct soap *ctx, int token, enum scam__eCameraType type, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.cameraCreate(token, type); });
}

int scam__destroy(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.cameraDestroy(token); });
}

int scam__open(struct soap *ctx, int token, int frameBufferSize, int maxBuffers, int &status) {
  return set(ctx, token, status, args(frameBufferSize, maxBuffers),
             [&](Model &m) { return m.cameraOpen(token, frameBufferSize, maxBuffers); });
}

int scam__close(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.cameraClose(token); });
}

int scam__setAcquisitionMode(struct soap *ctx, int token, enum scam__eAcqMode eAcq, int &status) {
  return set(ctx, token, status, args(static_cast<int>(eAcq)),
             [&](Model &m) { return m.setAcquisitionMode(token, eAcq); });
}

int scam__setTriggerSource(struct soap *ctx, int token, enum scam__eTrigSource eTrig,
                           enum scam__eTrigPolarity ePol, int &status) {
  return set(ctx, token, status, args(static_cast<int>(eTrig), static_cast<int>(ePol)),
             [&](Model &m) { return m.setTriggerSource(token, eTrig, ePol); });
}

int scam__setTriggerDelay(struct soap *ctx, int token, int dDelay, int &status) {
  return set(ctx, token, status, args(dDelay),
             [&](Model &m) { return m.setTriggerDelay(token, dDelay); });
}

int scam__setTriggerWindow(struct soap *ctx, int token, int dX0, int dY0, int dWidth, int dHeight,
                           int dThreshMin, int dThreshMax, int &status) {
  return set(ctx, token, status, args(dX0, dY0, dWidth, dHeight, dThreshMin, dThreshMax),
             [&](Model &m) {
               return m.setTriggerWindow(token, dX0, dY0, dWidth, dHeight, dThreshMin, dThreshMax);
             });
}

int scam__triggerImage(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.triggerImage(token); });
}

int scam__triggerImageAbort(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.triggerImageAbort(token); });
}

int scam__getSingleImage(struct soap *ctx, int token, scam__SingleImageResponse &result) {
  Connection &c = connOf(ctx);
  if (int e = c.begin(ctx, token)) return e;
  ocamsim::detail::Image img = c.model->getSingleImage(token);
  result.nStatus = c.answer(img.status);
  result.nSeqNr = img.seq;
  result.nTimeSec = static_cast<int>(img.sec);
  result.nTimeMicroSec = img.usec;
  // The reply's bytes stay with the connection until the next request.
  c.image = img.bytes;
  static unsigned char none = 0;
  result.data.__ptr = img.bytes ? img.bytes->data() : &none;
  result.data.__size = img.bytes ? static_cast<int>(img.bytes->size()) : 0;
  result.nSize = result.data.__size;
  c.shapePayload(result.data.__ptr, result.data.__size);
  c.sendBeside(result.data.__ptr, result.data.__size);
  result.data.__ptr = nullptr;  // left out here, spliced in by the reply path
  result.data.__size = 0;
  return SOAP_OK;
}

int scam__getMaxImageCount(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.getMaxImageCount(token); });
}

int scam__getImageCount(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.getImageCount(token); });
}

int scam__resetSequenceCounter(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.resetSequenceCounter(token); });
}

int scam__purgeImages(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.purgeImages(token); });
}

int scam__setReadTimeout(struct soap *ctx, int token, int dTimeout, int &status) {
  return set(ctx, token, status, args(dTimeout),
             [&](Model &m) { return m.setReadTimeout(token, dTimeout); });
}

int scam__setCircularOverwrite(struct soap *ctx, int token, int bOverwrite, int &status) {
  return set(ctx, token, status, args(bOverwrite),
             [&](Model &m) { return m.setCircularOverwrite(token, bOverwrite); });
}

// ------------------------------------------------------------------ camera: exposure,
// illumination, colour

int scam__setShutterTime(struct soap *ctx, int token, int dShutter, int &status) {
  return set(ctx, token, status, args(dShutter),
             [&](Model &m) { return m.setShutterTime(token, dShutter); });
}

int scam__getShutterTime(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.getShutterTime(token); });
}

int scam__setCameraWindow(struct soap *ctx, int token, int dX0, int dY0, int dWidth, int dHeight,
                          int &status) {
  return set(ctx, token, status, args(dX0, dY0, dWidth, dHeight),
             [&](Model &m) { return m.setCameraWindow(token, dX0, dY0, dWidth, dHeight); });
}

int scam__setFrameRate(struct soap *ctx, int token, int dFps, int &status) {
  return set(ctx, token, status, args(dFps), [&](Model &m) { return m.setFrameRate(token, dFps); });
}

int scam__setFrameRateFloat(struct soap *ctx, int token, float dFps, int &status) {
  return set(ctx, token, status, args(dFps), [&](Model &m) { return m.setFrameRate(token, dFps); });
}

int scam__setGain(struct soap *ctx, int token, int dFactor, int &status) {
  return set(ctx, token, status, args(dFactor),
             [&](Model &m) { return m.setGain(token, dFactor); });
}

int scam__setFrequency(struct soap *ctx, int token, enum scam__eFrequency eFrequ, int &status) {
  return set(ctx, token, status, args(static_cast<int>(eFrequ)),
             [&](Model &m) { return m.setFrequency(token, eFrequ); });
}

int scam__setIlluminationMode(struct soap *ctx, int token, enum scam__eIllMode eIll, int &status) {
  return set(ctx, token, status, args(static_cast<int>(eIll)),
             [&](Model &m) { return m.setIlluminationMode(token, eIll); });
}

int scam__setIlluminationModeExternal(struct soap *ctx, int token, enum scam__eIllModeExt eIll,
                                      int &status) {
  return set(ctx, token, status, args(static_cast<int>(eIll)),
             [&](Model &m) { return m.setIlluminationModeExternal(token, eIll); });
}

int scam__setIlluminationTiming(struct soap *ctx, int token, int dDelay, int dPeriod, int &status) {
  return set(ctx, token, status, args(dDelay, dPeriod),
             [&](Model &m) { return m.setIlluminationTiming(token, dDelay, dPeriod); });
}

int scam__switchIllumination(struct soap *ctx, int token, int bOn, int &status) {
  return set(ctx, token, status, args(bOn),
             [&](Model &m) { return m.switchIllumination(token, bOn != 0); });
}

int scam__initColor(struct soap *ctx, int token, int &status) {
  return set(ctx, token, status, args(), [&](Model &m) { return m.initColor(token); });
}

int scam__setJPEG(struct soap *ctx, int token, int bEnable, enum scam__eJPEGQuality eQuality,
                  int bByteStuffEnable, enum scam__eBayerPattern ePattern, int bForceGreyscale,
                  int &status) {
  return set(ctx, token, status,
             args(bEnable, static_cast<int>(eQuality), bByteStuffEnable, static_cast<int>(ePattern),
                  bForceGreyscale),
             [&](Model &m) {
               return m.setJpeg(token, bEnable != 0, eQuality, bByteStuffEnable != 0, ePattern,
                                bForceGreyscale != 0);
             });
}

int scam__setBayer2X(struct soap *ctx, int token, enum scam__eBayer2XType eBayer2xOutput,
                     enum scam__eBayerPattern ePattern, int &status) {
  return set(ctx, token, status, args(static_cast<int>(eBayer2xOutput), static_cast<int>(ePattern)),
             [&](Model &m) { return m.setBayer2X(token, eBayer2xOutput, ePattern); });
}

int scam__setMedian(struct soap *ctx, int token, int bEnable, int &status) {
  return set(ctx, token, status, args(bEnable),
             [&](Model &m) { return m.setMedian(token, bEnable != 0); });
}

int scam__setWhiteBalance(struct soap *ctx, int token, enum scam__eBayerPattern ePattern,
                          xsd__base64Binary data, int &status) {
  const int size = data.__ptr && data.__size > 0 ? data.__size : 0;
  const std::vector<std::uint8_t> table(data.__ptr, data.__ptr + size);
  return set(ctx, token, status, args(static_cast<int>(ePattern), size),
             [&](Model &m) { return m.setWhiteBalance(token, ePattern, table); });
}

// ------------------------------------------------------------------ camera: image memory

int scam__readImageRAM(struct soap *ctx, int token, unsigned int ulAddr, unsigned int ulLen,
                       scam__readImageRAMResponse &result) {
  Connection &c = connOf(ctx);
  if (int e = c.begin(ctx, token)) return e;
  c.scratch.clear();
  result.status = c.answer(c.model->readRam(token, ulAddr, ulLen, c.scratch));
  static unsigned char none = 0;
  result.data.__ptr = c.scratch.empty() ? &none : c.scratch.data();
  result.data.__size = static_cast<int>(c.scratch.size());
  c.shapePayload(result.data.__ptr, result.data.__size);
  return SOAP_OK;
}

int scam__readImageRAMReducedData(struct soap *ctx, int token, unsigned int ulAddr,
                                  unsigned int ulLen,
                                  scam__readImageRAMReducedDataResponse &result) {
  Connection &c = connOf(ctx);
  if (int e = c.begin(ctx, token)) return e;
  c.scratch.clear();
  result.status = c.answer(c.model->readRamReduced(token, ulAddr, ulLen, c.scratch));
  static unsigned char none = 0;
  result.data.__ptr = c.scratch.empty() ? &none : c.scratch.data();
  result.data.__size = static_cast<int>(c.scratch.size());
  result.retlen = static_cast<unsigned int>(c.scratch.size());
  c.shapePayload(result.data.__ptr, result.data.__size);
  return SOAP_OK;
}

int scam__writeImageRAM(struct soap *ctx, int token, xsd__base64Binary data, unsigned int ulAddr,
                        unsigned int ulLen, int &status) {
  const std::size_t size = data.__ptr && data.__size > 0 ? data.__size : 0;
  return set(ctx, token, status, args(size, ulAddr, ulLen),
             [&](Model &m) { return m.writeRam(token, data.__ptr, size, ulAddr, ulLen); });
}

int scam__imageRAMToImageRAM(struct soap *ctx, int token, unsigned int ulSrcAddr,
                             unsigned int ulSrcLen, unsigned int ulDestAddr, unsigned int ulDestLen,
                             int &status) {
  return set(ctx, token, status, args(ulSrcAddr, ulSrcLen, ulDestAddr, ulDestLen), [&](Model &m) {
    return m.copyRam(token, ulSrcAddr, ulSrcLen, ulDestAddr, ulDestLen);
  });
}

int scam__initImageRAM(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.initRam(token); });
}

int scam__disableImageRAM(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.disableRam(token); });
}

int scam__getImageToImageRAM(struct soap *ctx, int token, unsigned int ulAddr, int &status) {
  return set(ctx, token, status, args(ulAddr),
             [&](Model &m) { return m.getImageToImageRAM(token, ulAddr); });
}

int scam__setImageRAMPictureSize(struct soap *ctx, int token, int dWidth, int dHeight,
                                 int &status) {
  return set(ctx, token, status, args(dWidth, dHeight),
             [&](Model &m) { return m.setRamPictureSize(token, dWidth, dHeight); });
}

int scam__setupImageCorrection(struct soap *ctx, int token, bool bEnable,
                               enum scam__eCorrectionType eType, unsigned int ulStartAddr,
                               unsigned int ulSize, unsigned int ulImages, int &status) {
  return set(ctx, token, status,
             args(bEnable ? 1 : 0, static_cast<int>(eType), ulStartAddr, ulSize, ulImages),
             [&](Model &m) {
               return m.setupImageCorrection(token, bEnable, eType, ulStartAddr, ulSize, ulImages);
             });
}

int scam__setupImageSplitting(struct soap *ctx, int token, enum scam__eSplitType eType,
                              unsigned int ulDestAddr, unsigned int ulSize, int &status) {
  return set(ctx, token, status, args(static_cast<int>(eType), ulDestAddr, ulSize),
             [&](Model &m) { return m.setupImageSplitting(token, eType, ulDestAddr, ulSize); });
}

// ------------------------------------------------------------------ camera: sensor, processing

int scam__getSensorRegisterNames(struct soap *ctx, int token, scam__SensorRegisterNames &result) {
  Connection &c = connOf(ctx);
  if (int e = c.begin(ctx, token)) return e;
  int status = 0;
  const std::vector<std::string> names = c.model->registerNames(token, status);
  c.answer(status);
  result.__sizenames = static_cast<int>(names.size());
  result.names = nullptr;
  if (!names.empty()) {
    result.names = static_cast<char **>(soap_malloc(ctx, names.size() * sizeof(char *)));
    for (std::size_t i = 0; i < names.size(); ++i)
      result.names[i] = soap_strdup(ctx, names[i].c_str());
  }
  return SOAP_OK;
}

int scam__getSensorRegister(struct soap *ctx, int token, char *name,
                            scam__GetSensorRegisterResponse &result) {
  Connection &c = connOf(ctx);
  if (int e = c.begin(ctx, token)) return e;
  std::uint32_t value = 0;
  result.status = c.answer(c.model->getRegister(token, name ? name : "", value));
  result.nValue = value;
  return SOAP_OK;
}

int scam__setSensorRegister(struct soap *ctx, int token, char *name, unsigned int nValue,
                            int &status) {
  const std::string reg = name ? name : "";
  return set(ctx, token, status, args(reg, nValue),
             [&](Model &m) { return m.setRegister(token, reg, nValue); });
}

int scam__calibrateSensor(struct soap *ctx, int token, scam__CalibrateSensorParam p, int &status) {
  return set(ctx, token, status, args(p.bHasParams ? 1 : 0, p.nNumParam, p.nParam1, p.nParam2),
             [&](Model &m) { return m.calibrate(token, p.bHasParams, p.nNumParam, p.nParam1); });
}

int scam__setHardwareApplet(struct soap *ctx, int token, int bEnable, unsigned int nMaxSize,
                            enum scam__eAppletType eApplet, int &status) {
  return set(ctx, token, status, args(bEnable, nMaxSize, static_cast<int>(eApplet)),
             [&](Model &m) { return m.setHardwareApplet(token, bEnable != 0, nMaxSize, eApplet); });
}

int scam__setupLaserProfiling(struct soap *ctx, int token, scam__LaserSetup s, int &status) {
  const int refBytes = s.RefData.__ptr && s.RefData.__size > 0 ? s.RefData.__size : 0;
  return set(ctx, token, status,
             args(s.bEnable ? 1 : 0, s.dX0, s.dY0, s.dWidth, s.dHeight, static_cast<int>(s.ePrio),
                  static_cast<int>(s.eDir), s.dThreshMin, s.dThreshMax, s.dAreaMin, s.dAreaMax,
                  static_cast<int>(s.eSubRes), refBytes),
             [&](Model &m) { return m.setupLaserProfiling(token, laserSetup(s, refBytes)); });
}

int scam__setFilter(struct soap *ctx, int token, scam__FilterSetup s, int &status) {
  return set(
      ctx, token, status,
      args(static_cast<int>(s.eFilter), s.bHasParams ? 1 : 0, s.nNumParam, s.nParam1, s.nParam2),
      [&](Model &m) {
        return m.setFilter(token, s.eFilter, s.bHasParams, s.nNumParam, s.nParam1, s.nParam2);
      });
}

int scam__setBinarization(struct soap *ctx, int token, scam__BinarizationSetup s, int &status) {
  return set(ctx, token, status,
             args(s.bEnable ? 1 : 0, s.bHasParams ? 1 : 0, s.bInvert ? 1 : 0,
                  static_cast<int>(s.nNumThreshold), static_cast<int>(s.nThreshold1),
                  static_cast<int>(s.nThreshold2)),
             [&](Model &m) {
               return m.setBinarization(token, s.bEnable, s.bHasParams, s.bInvert, s.nNumThreshold,
                                        s.nThreshold1, s.nThreshold2);
             });
}

// ------------------------------------------------------------------ inputs

int sinp__create(struct soap *c, int t, int &s) { return ioCreate(c, t, s, DeviceKind::Inputs); }
int sinp__destroy(struct soap *c, int t, int &s) { return ioDestroy(c, t, s, DeviceKind::Inputs); }
int sinp__iOpen(struct soap *c, int t, int &s) { return ioOpen(c, t, s, DeviceKind::Inputs); }
int sinp__iClose(struct soap *c, int t, int &s) { return ioClose(c, t, s, DeviceKind::Inputs); }

int sinp__iGetInputs(struct soap *ctx, int token, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.getInputs(token); });
}

int sinp__iGetInput(struct soap *ctx, int token, enum sinp__eCameraInput enIn, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.getInput(token, enIn); });
}

int sinp__iSetTimeout(struct soap *ctx, int token, int iTimeout, int &status) {
  return set(ctx, token, status, args(iTimeout),
             [&](Model &m) { return m.setInputTimeout(token, iTimeout); });
}

int sinp__iWaitForInput(struct soap *ctx, int token, enum sinp__eCameraInput enIn, int iState,
                        int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.waitInput(token, enIn, iState); });
}

int sinp__iWaitForInputs(struct soap *ctx, int token, int iMask, int iState, int &status) {
  return run(ctx, token, status,
             [&](Model &m) { return m.waitInputs(token, iMask, iState, false); });
}

int sinp__iWaitForInputChange(struct soap *ctx, int token, enum sinp__eCameraInput enIn,
                              int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.waitInputChange(token, enIn); });
}

int sinp__iWaitForInputsChange(struct soap *ctx, int token, int iMask, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.waitInputs(token, iMask, 0, true); });
}

int sinp__iClearEdges(struct soap *ctx, int token, int iMask, int &status) {
  return run(ctx, token, status, [&](Model &m) { return m.clearEdges(token, iMask); });
}

// ------------------------------------------------------------------ outputs

int sout__create(struct soap *c, int t, int &s) { return ioCreate(c, t, s, DeviceKind::Outputs); }
int sout__destroy(struct soap *c, int t, int &s) { return ioDestroy(c, t, s, DeviceKind::Outputs); }
int sout__iOpen(struct soap *c, int t, int &s) { return ioOpen(c, t, s, DeviceKind::Outputs); }
int sout__iClose(struct soap *c, int t, int &s) { return ioClose(c, t, s, DeviceKind::Outputs); }
int sout__iGetOutputs(struct soap *c, int t, int &s) {
  return ioGetAll(c, t, s, DeviceKind::Outputs);
}
int sout__iGetOutput(struct soap *c, int t, enum sout__eCameraOutput enOut, int &s) {
  return ioGet(c, t, enOut, s, DeviceKind::Outputs);
}
int sout__iSetOutputs(struct soap *c, int t, int iMask, int iState, int &s) {
  return ioSetMask(c, t, iMask, iState, s, DeviceKind::Outputs);
}
int sout__iSetOutput(struct soap *c, int t, enum sout__eCameraOutput enOut, int iState, int &s) {
  return ioSetLine(c, t, enOut, iState, s, DeviceKind::Outputs);
}
int sout__iToggleOutputs(struct soap *c, int t, int iMask, int &s) {
  return ioToggleMask(c, t, iMask, s, DeviceKind::Outputs);
}
int sout__iToggleOutput(struct soap *c, int t, enum sout__eCameraOutput enOut, int &s) {
  return ioToggleLine(c, t, enOut, s, DeviceKind::Outputs);
}

// ------------------------------------------------------------------ LEDs

int sled__create(struct soap *c, int t, int &s) { return ioCreate(c, t, s, DeviceKind::Leds); }
int sled__destroy(struct soap *c, int t, int &s) { return ioDestroy(c, t, s, DeviceKind::Leds); }
int sled__iOpen(struct soap *c, int t, int &s) { return ioOpen(c, t, s, DeviceKind::Leds); }
int sled__iClose(struct soap *c, int t, int &s) { return ioClose(c, t, s, DeviceKind::Leds); }
int sled__iGetLEDs(struct soap *c, int t, int &s) { return ioGetAll(c, t, s, DeviceKind::Leds); }
int sled__iGetLED(struct soap *c, int t, enum sled__eCameraLED enLED, int &s) {
  return ioGet(c, t, enLED, s, DeviceKind::Leds);
}
int sled__iSetLEDs(struct soap *c, int t, int iMask, int iState, int &s) {
  return ioSetMask(c, t, iMask, iState, s, DeviceKind::Leds);
}
int sled__iSetLED(struct soap *c, int t, enum sled__eCameraLED enLED, int iState, int &s) {
  return ioSetLine(c, t, enLED, iState, s, DeviceKind::Leds);
}
int sled__iToggleLEDs(struct soap *c, int t, int iMask, int &s) {
  return ioToggleMask(c, t, iMask, s, DeviceKind::Leds);
}
int sled__iToggleLED(struct soap *c, int t, enum sled__eCameraLED enLED, int &s) {
  return ioToggleLine(c, t, enLED, s, DeviceKind::Leds);
}

}  // namespace ocam
