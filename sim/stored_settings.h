// The settings the simulated camera keeps without their changing the picture
// (the clock, illumination, JPEG, processing stages, ...): each stored as it
// was last accepted, starting from the camera's power-on values. The
// acquisition settings that do change the picture live in the frame queue.
// Not locked: the model keeps it under its own lock.
#pragma once

#include <climits>
#include <cstdint>
#include <vector>

#include "sim/image_source.h"

namespace ocamsim {
namespace detail {

struct StoredSettings {
  StoredSettings(int sensorWidth, int sensorHeight, int bayerPattern)
      : triggerWindow{0, 0, sensorWidth, sensorHeight},
        jpegPattern(bayerPattern),
        bayer2XPattern(bayerPattern),
        whiteBalancePattern(bayerPattern),
        ramPictureWidth(sensorWidth),
        ramPictureHeight(sensorHeight),
        laserWindow{0, 0, sensorWidth, sensorHeight} {}

  int frequency = 1;  // 40 MHz
  Window triggerWindow;
  int triggerThreshMin = 0;
  int triggerThreshMax = 255;
  int illuminationMode = 1;          // off
  int illuminationModeExternal = 0;  // off
  int illuminationDelay = 0;
  int illuminationPeriod = 0;
  bool illumination = false;
  bool jpegEnable = false;
  int jpegQuality = 2;  // good
  bool jpegByteStuff = false;
  int jpegPattern;
  bool jpegGreyscale = false;
  int bayer2XOutput = 0;  // raw
  int bayer2XPattern;
  int whiteBalancePattern;
  std::vector<std::uint8_t> whiteBalanceTable;  // none: the camera's own
  bool median = false;
  int filter = 0;  // off
  std::uint32_t filterParams[3] = {0, 0, 0};
  bool binarization = false;
  bool binarizationInvert = false;
  int binarizationThresholds[3] = {0, 0, 0};  // count, first, second
  int ramPictureWidth;
  int ramPictureHeight;
  bool correction = false;
  int correctionType = 0;                         // replace
  std::uint32_t correctionRegion[3] = {0, 0, 0};  // address, image bytes, images
  int splitting = 0;                              // off
  std::uint32_t splittingRegion[2] = {0, 0};      // address, size
  bool laserEnable = false;
  Window laserWindow;
  int laserPriority = 0;
  int laserDirection = 0;
  int laserThreshMin = 0;
  int laserThreshMax = 255;
  int laserAreaMin = 0;
  int laserAreaMax = INT_MAX;
  int laserFormat = 4;  // 16.4
  std::vector<std::uint8_t> laserReference;
  bool applet = false;
  std::uint32_t appletMaxSize = 0;
  int appletType = 0;
};

}  // namespace detail
}  // namespace ocamsim
