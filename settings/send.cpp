// One setter call per settings entry. The values were checked against the
// table, so each fits its parameter's type.
#include "settings/send.h"

#include <ocamera/status.h>

namespace ocamera {
namespace settings {
namespace {

// The numbers of a value as the setter's parameters take them.
struct Args {
  const SettingValue &v;
  int i(std::size_t k) const { return static_cast<int>(v.numbers[k]); }
  unsigned u(std::size_t k) const { return static_cast<unsigned>(v.numbers[k]); }
  bool b(std::size_t k) const { return v.numbers[k] != 0; }
  template <class E>
  E e(std::size_t k) const {
    return static_cast<E>(i(k));
  }
  const unsigned char *bytes() const { return v.bytes.empty() ? nullptr : v.bytes.data(); }
};

}  // namespace

int sendSetting(OCamera &camera, SettingId id, const SettingValue &value) {
  using P = OCameraTools::eBayerPattern;
  const Args a{value};
  switch (id) {
    case kFrequency:
      return camera.setFrequency(a.e<OCamera::eFrequency>(0));
    case kWindow:
      return camera.setCameraWindow(a.i(0), a.i(1), a.i(2), a.i(3));
    case kFrameRate:
      return camera.setFrameRate(static_cast<float>(value.numbers[0]));
    case kShutterTime:
      return camera.setShutterTime(a.i(0));
    case kGain:
      return camera.setGain(a.i(0));
    case kTriggerSource:
      return camera.setTriggerSource(a.e<OCamera::eTrigSource>(0), a.e<OCamera::eTrigPolarity>(1));
    case kTriggerDelay:
      return camera.setTriggerDelay(a.i(0));
    case kTriggerWindow:
      return camera.setTriggerWindow(a.i(0), a.i(1), a.i(2), a.i(3), a.i(4), a.i(5));
    case kIlluminationMode:
      return camera.setIlluminationMode(a.e<OCamera::eIllMode>(0));
    case kIlluminationModeExternal:
      return camera.setIlluminationModeExternal(a.e<OCamera::eIllModeExt>(0));
    case kIlluminationTiming:
      return camera.setIlluminationTiming(a.i(0), a.i(1));
    case kIllumination:
      return camera.switchIllumination(a.b(0));
    case kReadTimeout:
      return camera.setReadTimeout(a.i(0));
    case kCircularOverwrite:
      return camera.setCircularOverwrite(a.b(0));
    case kJpeg:
      return camera.setJPEG(a.b(0), a.e<OCamera::eJPEGQuality>(1), a.b(2), a.e<P>(3), a.b(4));
    case kBayer2X:
      return camera.setBayer2X(a.e<OCamera::eBayer2XType>(0), a.e<P>(1));
    case kWhiteBalance:
      return camera.setWhiteBalance(a.e<P>(0), a.bytes());
    case kMedian:
      return camera.setMedian(a.b(0));
    case kFilter: {
      const OCamera::FilterParams params{a.u(1), a.u(2), a.u(3)};
      return camera.setFilter(a.e<OCamera::eFilterType>(0), &params);
    }
    case kBinarization: {
      const OCamera::BinarizationParams params{a.b(1), static_cast<unsigned char>(a.u(2)),
                                               static_cast<unsigned char>(a.u(3)),
                                               static_cast<unsigned char>(a.u(4))};
      return camera.setBinarization(a.b(0), &params);
    }
    case kImageRamPictureSize:
      return camera.setImageRAMPictureSize(a.i(0), a.i(1));
    case kImageCorrection:
      return camera.setupImageCorrection(a.b(0), a.e<OCamera::eCorrectionType>(1), a.u(2), a.u(3),
                                         a.u(4));
    case kImageSplitting:
      return camera.setupImageSplitting(a.e<OCamera::eSplitType>(0), a.u(1), a.u(2));
    case kLaserProfiling: {
      OCamera::LaserSetup s{};
      s.enable = a.b(0);
      s.x0 = a.i(1);
      s.y0 = a.i(2);
      s.width = a.i(3);
      s.height = a.i(4);
      s.priority = a.e<OCamera::ePointPriority>(5);
      s.direction = a.e<OCamera::eProfileDirection>(6);
      s.threshMin = a.i(7);
      s.threshMax = a.i(8);
      s.areaMin = a.i(9);
      s.areaMax = a.i(10);
      s.subRes = a.e<OCamera::eLaserOutputFormat>(11);
      // The camera reads `width` bytes of reference: a line of another length
      // is the camera's to refuse, never read past its end here.
      if (!value.bytes.empty() && value.bytes.size() != static_cast<std::size_t>(s.width))
        return status::kBadArgument;
      s.refData = a.bytes();
      return camera.setupLaserProfiling(s);
    }
    case kHardwareApplet:
      return camera.setHardwareApplet(a.b(0), a.u(1), a.e<OCamera::eAppletType>(2));
    case kAcquisitionMode:
      return camera.setAcquisitionMode(a.e<OCamera::eAcqMode>(0));
    case kSettingCount:
      break;
  }
  return -1;
}

}  // namespace settings
}  // namespace ocamera
