// Every one of the 87 client calls of the five services, one request and one
// reply each: the operation element with its children in wire order, the reply
// element it waits for and the value it hands back.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/scripted_peer.h"
#include "ocamH.h"
#include "wire_call.h"
#include "wire_context.h"

namespace ocamera_test {
namespace {

using ocamera::wire::call;
using std::chrono::seconds;

constexpr int kToken = 4711;
constexpr int kValue = 17;  // what every reply hands back, where it has a value

using CallFn = std::function<int(soap *, const char *, int &value)>;

struct OperationRow {
  std::string operation;     // "scam:setGain"
  CallFn makeCall;           // sends the request, reads the reply's value into `value`
  std::string children;      // expected children after the token, in wire order
  std::string replyElement;  // the element the call reads
  std::string replyContent;  // children of that element
  bool tokenFirst = true;    // every request but rdev:open and rdev:list starts with the token
  bool hasValue = true;      // rdev:close and rdev:keepAlive have empty replies

  std::string prefix() const { return operation.substr(0, operation.find(':')); }
  std::string expectedElement() const {
    const std::string token =
        tokenFirst ? xmlElement(prefix() + ":token", std::to_string(kToken)) : "";
    return xmlElement(operation, token + children);
  }
};

// An operation whose reply is "<op>Response" holding "<prefix>:status".
OperationRow statusRow(const std::string &operation, CallFn fn, std::string children = "") {
  OperationRow row;
  row.operation = operation;
  row.makeCall = std::move(fn);
  row.children = std::move(children);
  row.replyElement = operation + "Response";
  row.replyContent = xmlElement(row.prefix() + ":status", std::to_string(kValue));
  return row;
}

OperationRow replyRow(const std::string &operation, CallFn fn, std::string children,
                      std::string replyElement, std::string replyContent) {
  OperationRow row = statusRow(operation, std::move(fn), std::move(children));
  row.replyElement = std::move(replyElement);
  row.replyContent = std::move(replyContent);
  return row;
}

// rdev:close and rdev:keepAlive: the token in, an empty reply element back.
template <typename Reply, typename Fn>
OperationRow emptyReplyRow(const std::string &operation, Fn fn) {
  OperationRow row = replyRow(
      operation,
      [fn](soap *s, const char *ep, int &) {
        Reply out;
        return call(fn, s, ep, out, kToken);
      },
      "", operation + "Response", "");
  row.hasValue = false;
  return row;
}

#define STATUS_CALL(fn, ...) \
  [](soap *s, const char *ep, int &v) { return call(ocam::soap_call_##fn, s, ep, v, __VA_ARGS__); }

ocam::xsd__base64Binary payload(std::initializer_list<unsigned char> bytes) {
  static std::vector<std::vector<unsigned char>> keep;  // lives as long as the test program
  keep.emplace_back(bytes);
  ocam::xsd__base64Binary b;
  b.__ptr = keep.back().data();
  b.__size = static_cast<int>(keep.back().size());
  return b;
}

ocam::scam__CalibrateSensorParam calibrateParam() {
  ocam::scam__CalibrateSensorParam p;
  p.bHasParams = true;
  p.nNumParam = 1;
  p.nParam1 = 10;
  p.nParam2 = 4294967295u;
  return p;
}

ocam::scam__LaserSetup laserSetup() {
  ocam::scam__LaserSetup l;
  l.bEnable = true;
  l.dX0 = 1;
  l.dY0 = 2;
  l.dWidth = 3;
  l.dHeight = 4;
  l.ePrio = ocam::scam__ePointPriority__PRIO_LARGEST_LAST;
  l.eDir = ocam::scam__eProfileDirection__DIRECTION_BOTTOM_UP;
  l.dThreshMin = 5;
  l.dThreshMax = 6;
  l.dAreaMin = 7;
  l.dAreaMax = -8;
  l.eSubRes = ocam::scam__eLaserOutputFormat__LASER_OUTPUT_8_2;
  l.RefData = payload({0xFB, 0xFF});
  return l;
}

ocam::scam__FilterSetup filterSetup() {
  ocam::scam__FilterSetup f;
  f.eFilter = ocam::scam__eFilterType__FILTER_SOBEL;
  f.bHasParams = false;
  f.nNumParam = 2;
  f.nParam1 = 3;
  f.nParam2 = 0;
  return f;
}

ocam::scam__BinarizationSetup binarizationSetup() {
  ocam::scam__BinarizationSetup b;
  b.bEnable = true;
  b.bHasParams = true;
  b.bInvert = false;
  b.nNumThreshold = 2;
  b.nThreshold1 = 255;
  b.nThreshold2 = 0;
  return b;
}

std::vector<OperationRow> allOperations() {
  std::vector<OperationRow> rows;

  // ---- device manager
  {
    OperationRow open =
        replyRow("rdev:open", STATUS_CALL(rdev__open, 2, ocam::rdev__eAccess__SERVICE_READ_WRITE),
                 "<rdev:id>2</rdev:id><rdev:accessMode>SERVICE-READ-WRITE</rdev:accessMode>",
                 "rdev:openResponse", "<rdev:token>17</rdev:token>");
    open.tokenFirst = false;
    rows.push_back(open);

    rows.push_back(
        emptyReplyRow<ocam::rdev__closeResponse>("rdev:close", ocam::soap_call_rdev__close));

    OperationRow list = replyRow(
        "rdev:list",
        [](soap *s, const char *ep, int &v) {
          ocam::rdev__listResponse out;
          const int rc = call(ocam::soap_call_rdev__list, s, ep, out);
          if (rc == SOAP_OK) v = out.__sizedevices == 1 ? out.devices[0].id : -1;
          return rc;
        },
        "", "rdev:listResponse", "<rdev:devices><rdev:id>17</rdev:id></rdev:devices>");
    list.tokenFirst = false;
    rows.push_back(list);

    rows.push_back(emptyReplyRow<ocam::rdev__keepAliveResponse>("rdev:keepAlive",
                                                                ocam::soap_call_rdev__keepAlive));
  }

  // ---- camera: session, acquisition and image delivery
  rows.push_back(statusRow(
      "scam:create", STATUS_CALL(scam__create, kToken, ocam::scam__eCameraType__CAM_TYPE_MT9V022),
      "<scam:type>CAM-TYPE-MT9V022</scam:type>"));
  rows.push_back(statusRow("scam:destroy", STATUS_CALL(scam__destroy, kToken)));
  rows.push_back(statusRow("scam:open", STATUS_CALL(scam__open, kToken, 1048576, 8),
                           "<scam:frameBufferSize>1048576</scam:frameBufferSize>"
                           "<scam:maxBuffers>8</scam:maxBuffers>"));
  rows.push_back(statusRow("scam:close", STATUS_CALL(scam__close, kToken)));
  rows.push_back(statusRow(
      "scam:setAcquisitionMode",
      STATUS_CALL(scam__setAcquisitionMode, kToken, ocam::scam__eAcqMode__ACQ_MODE_FREE_RUN_SLAVE),
      "<scam:eAcq>ACQ-MODE-FREE-RUN-SLAVE</scam:eAcq>"));
  rows.push_back(statusRow(
      "scam:setTriggerSource",
      STATUS_CALL(scam__setTriggerSource, kToken, ocam::scam__eTrigSource__TRIG_SRC_EXTERNAL_E1,
                  ocam::scam__eTrigPolarity__TRIG_POL_ACTIVE_LOW),
      "<scam:eTrig>TRIG-SRC-EXTERNAL-E1</scam:eTrig>"
      "<scam:ePol>TRIG-POL-ACTIVE-LOW</scam:ePol>"));
  rows.push_back(statusRow("scam:setTriggerDelay", STATUS_CALL(scam__setTriggerDelay, kToken, -5),
                           "<scam:dDelay>-5</scam:dDelay>"));
  rows.push_back(statusRow(
      "scam:setTriggerWindow", STATUS_CALL(scam__setTriggerWindow, kToken, 1, 2, 3, 4, 5, 6),
      "<scam:dX0>1</scam:dX0><scam:dY0>2</scam:dY0><scam:dWidth>3</scam:dWidth>"
      "<scam:dHeight>4</scam:dHeight><scam:dThreshMin>5</scam:dThreshMin>"
      "<scam:dThreshMax>6</scam:dThreshMax>"));
  rows.push_back(statusRow("scam:triggerImage", STATUS_CALL(scam__triggerImage, kToken)));
  rows.push_back(statusRow("scam:triggerImageAbort", STATUS_CALL(scam__triggerImageAbort, kToken)));
  rows.push_back(replyRow(
      "scam:getSingleImage",
      [](soap *s, const char *ep, int &v) {
        ocam::scam__SingleImageResponse out;
        const int rc = call(ocam::soap_call_scam__getSingleImage, s, ep, out, kToken);
        v = out.nSeqNr;
        return rc;
      },
      "", "scam:SingleImageResponse", "<scam:nSeqNr>17</scam:nSeqNr><scam:data>AAE=</scam:data>"));
  rows.push_back(statusRow("scam:getMaxImageCount", STATUS_CALL(scam__getMaxImageCount, kToken)));
  rows.push_back(statusRow("scam:getImageCount", STATUS_CALL(scam__getImageCount, kToken)));
  rows.push_back(
      statusRow("scam:resetSequenceCounter", STATUS_CALL(scam__resetSequenceCounter, kToken)));
  rows.push_back(statusRow("scam:purgeImages", STATUS_CALL(scam__purgeImages, kToken)));
  rows.push_back(statusRow("scam:setReadTimeout", STATUS_CALL(scam__setReadTimeout, kToken, 2000),
                           "<scam:dTimeout>2000</scam:dTimeout>"));
  rows.push_back(statusRow("scam:setCircularOverwrite",
                           STATUS_CALL(scam__setCircularOverwrite, kToken, 1),
                           "<scam:bOverwrite>1</scam:bOverwrite>"));

  // ---- camera: exposure, window, timing
  rows.push_back(statusRow("scam:setShutterTime", STATUS_CALL(scam__setShutterTime, kToken, 10000),
                           "<scam:dShutter>10000</scam:dShutter>"));
  rows.push_back(statusRow("scam:getShutterTime", STATUS_CALL(scam__getShutterTime, kToken)));
  rows.push_back(statusRow("scam:setCameraWindow",
                           STATUS_CALL(scam__setCameraWindow, kToken, 8, 16, 640, 480),
                           "<scam:dX0>8</scam:dX0><scam:dY0>16</scam:dY0>"
                           "<scam:dWidth>640</scam:dWidth><scam:dHeight>480</scam:dHeight>"));
  rows.push_back(statusRow("scam:setFrameRate", STATUS_CALL(scam__setFrameRate, kToken, 30),
                           "<scam:dFps>30</scam:dFps>"));
  rows.push_back(statusRow("scam:setFrameRateFloat",
                           STATUS_CALL(scam__setFrameRateFloat, kToken, 12.5f),
                           "<scam:dFps>12.5</scam:dFps>"));
  rows.push_back(statusRow("scam:setGain", STATUS_CALL(scam__setGain, kToken, 3),
                           "<scam:dFactor>3</scam:dFactor>"));
  rows.push_back(
      statusRow("scam:setFrequency",
                STATUS_CALL(scam__setFrequency, kToken, ocam::scam__eFrequency__FREQU_50MHz),
                "<scam:eFrequ>FREQU-50MHz</scam:eFrequ>"));

  // ---- camera: illumination
  rows.push_back(statusRow(
      "scam:setIlluminationMode",
      STATUS_CALL(scam__setIlluminationMode, kToken, ocam::scam__eIllMode__ILL_MODE_PULSED),
      "<scam:eIll>ILL-MODE-PULSED</scam:eIll>"));
  rows.push_back(statusRow("scam:setIlluminationModeExternal",
                           STATUS_CALL(scam__setIlluminationModeExternal, kToken,
                                       ocam::scam__eIllModeExt__ILL_MODE_EXT_ON_NEGATIVE),
                           "<scam:eIll>ILL-MODE-EXT-ON-NEGATIVE</scam:eIll>"));
  rows.push_back(statusRow("scam:setIlluminationTiming",
                           STATUS_CALL(scam__setIlluminationTiming, kToken, 100, 2000),
                           "<scam:dDelay>100</scam:dDelay><scam:dPeriod>2000</scam:dPeriod>"));
  rows.push_back(statusRow("scam:switchIllumination",
                           STATUS_CALL(scam__switchIllumination, kToken, 1),
                           "<scam:bOn>1</scam:bOn>"));

  // ---- camera: colour and output format
  rows.push_back(statusRow("scam:initColor", STATUS_CALL(scam__initColor, kToken)));
  rows.push_back(
      statusRow("scam:setJPEG",
                STATUS_CALL(scam__setJPEG, kToken, 1, ocam::scam__eJPEGQuality__JPEG_QUALITY_GOOD,
                            0, ocam::scam__eBayerPattern__BAYER_PATTERN_RGRG, 1),
                "<scam:bEnable>1</scam:bEnable>"
                "<scam:eQuality>JPEG-QUALITY-GOOD</scam:eQuality>"
                "<scam:bByteStuffEnable>0</scam:bByteStuffEnable>"
                "<scam:ePattern>BAYER-PATTERN-RGRG</scam:ePattern>"
                "<scam:bForceGreyscale>1</scam:bForceGreyscale>"));
  rows.push_back(
      statusRow("scam:setBayer2X",
                STATUS_CALL(scam__setBayer2X, kToken, ocam::scam__eBayer2XType__BAYER_OUTPUT_V,
                            ocam::scam__eBayerPattern__BAYER_PATTERN_GBGB),
                "<scam:eBayer2xOutput>BAYER-OUTPUT-V</scam:eBayer2xOutput>"
                "<scam:ePattern>BAYER-PATTERN-GBGB</scam:ePattern>"));
  rows.push_back(statusRow("scam:setMedian", STATUS_CALL(scam__setMedian, kToken, 1),
                           "<scam:bEnable>1</scam:bEnable>"));
  rows.push_back(
      statusRow("scam:setWhiteBalance",
                STATUS_CALL(scam__setWhiteBalance, kToken,
                            ocam::scam__eBayerPattern__BAYER_PATTERN_BGBG, payload({0, 1, 2})),
                "<scam:ePattern>BAYER-PATTERN-BGBG</scam:ePattern>"
                "<scam:data>AAEC</scam:data>"));

  // ---- camera: image memory
  rows.push_back(replyRow(
      "scam:readImageRAM",
      [](soap *s, const char *ep, int &v) {
        ocam::scam__readImageRAMResponse out;
        const int rc = call(ocam::soap_call_scam__readImageRAM, s, ep, out, kToken, 4096u, 2u);
        v = out.data.__size == 2 ? out.status : -1;
        return rc;
      },
      "<scam:ulAddr>4096</scam:ulAddr><scam:ulLen>2</scam:ulLen>", "scam:readImageRAMResponse",
      "<scam:data>AAE=</scam:data><scam:status>17</scam:status>"));
  rows.push_back(replyRow(
      "scam:readImageRAMReducedData",
      [](soap *s, const char *ep, int &v) {
        ocam::scam__readImageRAMReducedDataResponse out;
        const int rc =
            call(ocam::soap_call_scam__readImageRAMReducedData, s, ep, out, kToken, 8192u, 64u);
        v = out.data.__size == 2 && out.retlen == 2 ? out.status : -1;
        return rc;
      },
      "<scam:ulAddr>8192</scam:ulAddr><scam:ulLen>64</scam:ulLen>",
      "scam:readImageRAMReducedDataResponse",
      "<scam:data>AAE=</scam:data><scam:retlen>2</scam:retlen><scam:status>17</scam:status>"));
  rows.push_back(statusRow("scam:writeImageRAM",
                           STATUS_CALL(scam__writeImageRAM, kToken, payload({1, 2, 3}), 16u, 3u),
                           "<scam:data>AQID</scam:data><scam:ulAddr>16</scam:ulAddr>"
                           "<scam:ulLen>3</scam:ulLen>"));
  rows.push_back(statusRow("scam:imageRAMToImageRAM",
                           STATUS_CALL(scam__imageRAMToImageRAM, kToken, 1u, 2u, 3u, 4294967295u),
                           "<scam:ulSrcAddr>1</scam:ulSrcAddr><scam:ulSrcLen>2</scam:ulSrcLen>"
                           "<scam:ulDestAddr>3</scam:ulDestAddr>"
                           "<scam:ulDestLen>4294967295</scam:ulDestLen>"));
  rows.push_back(statusRow("scam:initImageRAM", STATUS_CALL(scam__initImageRAM, kToken)));
  rows.push_back(statusRow("scam:disableImageRAM", STATUS_CALL(scam__disableImageRAM, kToken)));
  rows.push_back(statusRow("scam:getImageToImageRAM",
                           STATUS_CALL(scam__getImageToImageRAM, kToken, 65536u),
                           "<scam:ulAddr>65536</scam:ulAddr>"));
  rows.push_back(statusRow("scam:setImageRAMPictureSize",
                           STATUS_CALL(scam__setImageRAMPictureSize, kToken, 1280, 1024),
                           "<scam:dWidth>1280</scam:dWidth><scam:dHeight>1024</scam:dHeight>"));
  rows.push_back(
      statusRow("scam:setupImageCorrection",
                STATUS_CALL(scam__setupImageCorrection, kToken, true,
                            ocam::scam__eCorrectionType__CORRECTION_MASK_OR, 4096u, 65536u, 3u),
                "<scam:bEnable>true</scam:bEnable>"
                "<scam:eType>CORRECTION-MASK-OR</scam:eType>"
                "<scam:ulStartAddr>4096</scam:ulStartAddr><scam:ulSize>65536</scam:ulSize>"
                "<scam:ulImages>3</scam:ulImages>"));
  rows.push_back(
      statusRow("scam:setupImageSplitting",
                STATUS_CALL(scam__setupImageSplitting, kToken,
                            ocam::scam__eSplitType__SPLIT_PROCESSED, 8192u, 1024u),
                "<scam:eType>SPLIT-PROCESSED</scam:eType>"
                "<scam:ulDestAddr>8192</scam:ulDestAddr><scam:ulSize>1024</scam:ulSize>"));

  // ---- camera: sensor
  rows.push_back(replyRow(
      "scam:getSensorRegisterNames",
      [](soap *s, const char *ep, int &v) {
        ocam::scam__SensorRegisterNames out;
        const int rc = call(ocam::soap_call_scam__getSensorRegisterNames, s, ep, out, kToken);
        v = out.__sizenames == 1 && std::string(out.names[0]) == "gain" ? kValue : -1;
        return rc;
      },
      "", "scam:SensorRegisterNames", "<scam:names>gain</scam:names>"));
  rows.push_back(replyRow(
      "scam:getSensorRegister",
      [](soap *s, const char *ep, int &v) {
        ocam::scam__GetSensorRegisterResponse out;
        const int rc = call(ocam::soap_call_scam__getSensorRegister, s, ep, out, kToken,
                            const_cast<char *>("gain"));
        v = out.nValue == 5 ? out.status : -1;
        return rc;
      },
      "<scam:name>gain</scam:name>", "scam:GetSensorRegisterResponse",
      "<scam:nValue>5</scam:nValue><scam:status>17</scam:status>"));
  rows.push_back(statusRow(
      "scam:setSensorRegister",
      STATUS_CALL(scam__setSensorRegister, kToken, const_cast<char *>("gain"), 4000000000u),
      "<scam:name>gain</scam:name><scam:nValue>4000000000</scam:nValue>"));
  rows.push_back(statusRow("scam:calibrateSensor",
                           STATUS_CALL(scam__calibrateSensor, kToken, calibrateParam()),
                           "<scam:CalibrateParam><scam:bHasParams>true</scam:bHasParams>"
                           "<scam:nNumParam>1</scam:nNumParam><scam:nParam1>10</scam:nParam1>"
                           "<scam:nParam2>4294967295</scam:nParam2></scam:CalibrateParam>"));

  // ---- camera: hardware processing
  rows.push_back(statusRow("scam:setHardwareApplet",
                           STATUS_CALL(scam__setHardwareApplet, kToken, 1, 1000000u,
                                       ocam::scam__eAppletType__APPLET_IN8_OUT16),
                           "<scam:bEnable>1</scam:bEnable><scam:nMaxSize>1000000</scam:nMaxSize>"
                           "<scam:eApplet>APPLET-IN8-OUT16</scam:eApplet>"));
  rows.push_back(statusRow(
      "scam:setupLaserProfiling", STATUS_CALL(scam__setupLaserProfiling, kToken, laserSetup()),
      "<scam:setup><scam:bEnable>true</scam:bEnable><scam:dX0>1</scam:dX0>"
      "<scam:dY0>2</scam:dY0><scam:dWidth>3</scam:dWidth>"
      "<scam:dHeight>4</scam:dHeight><scam:ePrio>PRIO-LARGEST-LAST</scam:ePrio>"
      "<scam:eDir>DIRECTION-BOTTOM-UP</scam:eDir>"
      "<scam:dThreshMin>5</scam:dThreshMin><scam:dThreshMax>6</scam:dThreshMax>"
      "<scam:dAreaMin>7</scam:dAreaMin><scam:dAreaMax>-8</scam:dAreaMax>"
      "<scam:eSubRes>LASER-OUTPUT-8-2</scam:eSubRes>"
      "<scam:RefData>+/8=</scam:RefData></scam:setup>"));
  rows.push_back(statusRow("scam:setFilter", STATUS_CALL(scam__setFilter, kToken, filterSetup()),
                           "<scam:setup><scam:eFilter>FILTER-SOBEL</scam:eFilter>"
                           "<scam:bHasParams>false</scam:bHasParams>"
                           "<scam:nNumParam>2</scam:nNumParam><scam:nParam1>3</scam:nParam1>"
                           "<scam:nParam2>0</scam:nParam2></scam:setup>"));
  rows.push_back(statusRow("scam:setBinarization",
                           STATUS_CALL(scam__setBinarization, kToken, binarizationSetup()),
                           "<scam:setup><scam:bEnable>true</scam:bEnable>"
                           "<scam:bHasParams>true</scam:bHasParams>"
                           "<scam:bInvert>false</scam:bInvert>"
                           "<scam:nNumThreshold>2</scam:nNumThreshold>"
                           "<scam:nThreshold1>255</scam:nThreshold1>"
                           "<scam:nThreshold2>0</scam:nThreshold2></scam:setup>"));

  // ---- inputs
  rows.push_back(statusRow("sinp:create", STATUS_CALL(sinp__create, kToken)));
  rows.push_back(statusRow("sinp:destroy", STATUS_CALL(sinp__destroy, kToken)));
  rows.push_back(statusRow("sinp:iOpen", STATUS_CALL(sinp__iOpen, kToken)));
  rows.push_back(statusRow("sinp:iClose", STATUS_CALL(sinp__iClose, kToken)));
  rows.push_back(statusRow("sinp:iGetInputs", STATUS_CALL(sinp__iGetInputs, kToken)));
  rows.push_back(statusRow(
      "sinp:iGetInput", STATUS_CALL(sinp__iGetInput, kToken, ocam::sinp__eCameraInput__INPUT_I1_FE),
      "<sinp:enIn>INPUT-I1-FE</sinp:enIn>"));
  rows.push_back(statusRow("sinp:iSetTimeout", STATUS_CALL(sinp__iSetTimeout, kToken, 500),
                           "<sinp:iTimeout>500</sinp:iTimeout>"));
  rows.push_back(
      statusRow("sinp:iWaitForInput",
                STATUS_CALL(sinp__iWaitForInput, kToken, ocam::sinp__eCameraInput__OVERLOAD, 1),
                "<sinp:enIn>OVERLOAD</sinp:enIn><sinp:iState>1</sinp:iState>"));
  rows.push_back(statusRow("sinp:iWaitForInputs", STATUS_CALL(sinp__iWaitForInputs, kToken, 3, 2),
                           "<sinp:iMask>3</sinp:iMask><sinp:iState>2</sinp:iState>"));
  rows.push_back(
      statusRow("sinp:iWaitForInputChange",
                STATUS_CALL(sinp__iWaitForInputChange, kToken, ocam::sinp__eCameraInput__INPUT_ALL),
                "<sinp:enIn>INPUT-ALL</sinp:enIn>"));
  rows.push_back(statusRow("sinp:iWaitForInputsChange",
                           STATUS_CALL(sinp__iWaitForInputsChange, kToken, 48),
                           "<sinp:iMask>48</sinp:iMask>"));
  rows.push_back(statusRow("sinp:iClearEdges", STATUS_CALL(sinp__iClearEdges, kToken, 60),
                           "<sinp:iMask>60</sinp:iMask>"));

  // ---- outputs
  rows.push_back(statusRow("sout:create", STATUS_CALL(sout__create, kToken)));
  rows.push_back(statusRow("sout:destroy", STATUS_CALL(sout__destroy, kToken)));
  rows.push_back(statusRow("sout:iOpen", STATUS_CALL(sout__iOpen, kToken)));
  rows.push_back(statusRow("sout:iClose", STATUS_CALL(sout__iClose, kToken)));
  rows.push_back(statusRow("sout:iGetOutputs", STATUS_CALL(sout__iGetOutputs, kToken)));
  rows.push_back(
      statusRow("sout:iGetOutput",
                STATUS_CALL(sout__iGetOutput, kToken, ocam::sout__eCameraOutput__OUTPUT_O3),
                "<sout:enOut>OUTPUT-O3</sout:enOut>"));
  rows.push_back(statusRow("sout:iSetOutputs", STATUS_CALL(sout__iSetOutputs, kToken, 15, 5),
                           "<sout:iMask>15</sout:iMask><sout:iState>5</sout:iState>"));
  rows.push_back(statusRow(
      "sout:iSetOutput",
      STATUS_CALL(sout__iSetOutput, kToken, ocam::sout__eCameraOutput__OUTPUT_OVERLOAD_UNLOCK, 1),
      "<sout:enOut>OUTPUT-OVERLOAD-UNLOCK</sout:enOut>"
      "<sout:iState>1</sout:iState>"));
  rows.push_back(statusRow("sout:iToggleOutputs", STATUS_CALL(sout__iToggleOutputs, kToken, 6),
                           "<sout:iMask>6</sout:iMask>"));
  rows.push_back(
      statusRow("sout:iToggleOutput",
                STATUS_CALL(sout__iToggleOutput, kToken, ocam::sout__eCameraOutput__OUTPUT_ALL),
                "<sout:enOut>OUTPUT-ALL</sout:enOut>"));

  // ---- LEDs
  rows.push_back(statusRow("sled:create", STATUS_CALL(sled__create, kToken)));
  rows.push_back(statusRow("sled:destroy", STATUS_CALL(sled__destroy, kToken)));
  rows.push_back(statusRow("sled:iOpen", STATUS_CALL(sled__iOpen, kToken)));
  rows.push_back(statusRow("sled:iClose", STATUS_CALL(sled__iClose, kToken)));
  rows.push_back(statusRow("sled:iGetLEDs", STATUS_CALL(sled__iGetLEDs, kToken)));
  rows.push_back(statusRow("sled:iGetLED",
                           STATUS_CALL(sled__iGetLED, kToken, ocam::sled__eCameraLED__LED_2_YELLOW),
                           "<sled:enLED>LED-2-YELLOW</sled:enLED>"));
  rows.push_back(statusRow("sled:iSetLEDs", STATUS_CALL(sled__iSetLEDs, kToken, 255, 170),
                           "<sled:iMask>255</sled:iMask><sled:iState>170</sled:iState>"));
  rows.push_back(statusRow(
      "sled:iSetLED", STATUS_CALL(sled__iSetLED, kToken, ocam::sled__eCameraLED__LED_ALL_GREEN, 1),
      "<sled:enLED>LED-ALL-GREEN</sled:enLED><sled:iState>1</sled:iState>"));
  rows.push_back(statusRow("sled:iToggleLEDs", STATUS_CALL(sled__iToggleLEDs, kToken, 85),
                           "<sled:iMask>85</sled:iMask>"));
  rows.push_back(statusRow("sled:iToggleLED",
                           STATUS_CALL(sled__iToggleLED, kToken, ocam::sled__eCameraLED__LED_ALL),
                           "<sled:enLED>LED-ALL</sled:enLED>"));
  return rows;
}

TEST(Operations, TableHoldsEveryOperationOnce) {
  std::map<std::string, int> perService;
  std::set<std::string> names;
  for (const OperationRow &row : allOperations()) {
    ++perService[row.prefix()];
    EXPECT_TRUE(names.insert(row.operation).second) << row.operation << " twice";
  }
  EXPECT_EQ(names.size(), 87u);
  EXPECT_EQ(perService, (std::map<std::string, int>{
                            {"rdev", 4}, {"scam", 51}, {"sinp", 12}, {"sout", 10}, {"sled", 10}}));
}

// One keep-alive connection carries all 87 exchanges, alternately over an
// HTTP-framed and a bare endpoint of the same peer.
TEST(Operations, EveryCallSendsItsElementAndReadsItsReply) {
  const std::vector<OperationRow> rows = allOperations();
  ScriptedPeer peer;
  WireContext httpCtx(SOAP_IO_KEEPALIVE);
  WireContext bareCtx(SOAP_IO_KEEPALIVE);
  const std::string httpEndpoint = peer.httpEndpoint();
  const std::string bareEndpoint = peer.bareEndpoint();

  for (std::size_t i = 0; i < rows.size(); ++i) {
    const OperationRow &row = rows[i];
    SCOPED_TRACE(row.operation);
    const bool http = i % 2 == 0;
    const std::string reply = soapEnvelope(xmlElement(row.replyElement, row.replyContent));
    peer.enqueue(http ? PeerReply::http(reply) : PeerReply::bare(reply));

    int value = -1;
    const int rc = row.makeCall(http ? httpCtx.get() : bareCtx.get(),
                                (http ? httpEndpoint : bareEndpoint).c_str(), value);
    EXPECT_EQ(rc, SOAP_OK);
    if (row.hasValue) {
      EXPECT_EQ(value, kValue);
    }

    ASSERT_TRUE(peer.waitForRequests(i + 1, seconds(5)));
    const PeerRequest request = peer.request(i);
    EXPECT_EQ(request.http(), http);
    EXPECT_EQ(request.operation(), row.operation);
    EXPECT_EQ(request.operationElement(), row.expectedElement());
  }
  EXPECT_EQ(peer.connectionCount(), 2u) << "each context keeps its one connection";
  EXPECT_EQ(peer.pendingReplies(), 0u);
}

}  // namespace
}  // namespace ocamera_test
