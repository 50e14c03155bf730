// What ocamerasrc is told through its properties, and how that becomes the
// stream's options and the caps it offers.
#pragma once

#include <gst/gst.h>
#include <ocamera/stream.h>

#include <string>

namespace ocamerasrc {

// The default of the timeout property: creation fails, and a frozen camera
// is given up, soon enough that Ctrl-C ends any pipeline within 5 s.
constexpr int kDefaultTimeoutMs = 2000;

// Every property value of one element (the GstBaseSrc ones aside). Guarded by
// the element's object lock.
struct Settings {
  std::string address = ocamera::kFactoryDefaultAddress;
  OCamera::eCameraType cameraType = OCamera::CAM_TYPE_GENERIC;
  int shutter = 0;       // microseconds; 0: leave the camera's
  int gain = 0;          // factor; 0: leave the camera's
  double frameRate = 0;  // frames a second; 0: leave the camera's
  int x0 = 0, y0 = 0, width = 1280, height = 1024;
  OCameraTools::eBayerPattern pattern = OCameraTools::BAYER_PATTERN_GRGR;
  // As written to the property: "none", "file" or "R,G,B" in percent.
  std::string whiteBalanceText = "none";
  ocamera::WhiteBalance whiteBalance = ocamera::WhiteBalance::None;
  int red = 100, green = 100, blue = 100;
  // Milliseconds any reply of the camera but a flowing image may take, and
  // the longest a start or stop waits for a stream being torn down.
  int timeoutMs = kDefaultTimeoutMs;
};

// Parses a white-balance value into *settings; false (and *settings
// untouched) when the text is none of the three forms or a factor lies
// outside 0..1000.
bool parseWhiteBalance(const char *text, Settings *settings);

// GStreamer's name of a Bayer layout in video/x-bayer ("grbg" for a top row
// starting G, R, ...).
const char *bayerFormat(OCameraTools::eBayerPattern pattern);
// Whether the library's RGB conversion handles the layout.
bool convertible(OCameraTools::eBayerPattern pattern);

// The stream's options for these settings, raw or converted to RGB, with a
// pool of poolFrames frames.
ocamera::StreamOptions streamOptions(const Settings &settings, bool rgb, int poolFrames);

// The caps the element can produce with these settings: video/x-bayer in the
// sensor's layout first, then video/x-raw,format=RGB when the layout converts.
GstCaps *offeredCaps(const Settings &settings);

// The frame duration, or GST_CLOCK_TIME_NONE without a frame rate.
GstClockTime frameDuration(double frameRate);

// The GEnum types of the enumerated properties.
GType cameraTypeEnum();
GType patternEnum();

}  // namespace ocamerasrc
