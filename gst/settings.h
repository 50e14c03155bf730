// What ocamerasrc is told through its properties, and how that becomes the
// stream's options and the caps it offers. The properties that are stream
// options are made from the library's option table, so their ranges,
// defaults and help are the library's.
#pragma once

#include <gst/gst.h>
#include <ocamera/settings.h>
#include <ocamera/stream.h>
#include <ocamera/stream_options.h>

#include <string>

namespace ocamerasrc {

// The default of the timeout property (the stream's replyTimeoutMs): creation
// fails, and a frozen camera is given up, soon enough that Ctrl-C ends any
// pipeline within 5 s. The library's own default (0) leaves requests unbounded
// unless the application set a process-wide time-out.
constexpr int kDefaultTimeoutMs = 2000;

// Every property value of one element (the GstBaseSrc ones aside). Guarded by
// the element's object lock.
struct Settings {
  Settings();

  std::string address = ocamera::kFactoryDefaultAddress;
  int shutter = 0;       // microseconds; 0: leave the camera's
  int gain = 0;          // factor; 0: leave the camera's
  double frameRate = 0;  // frames a second; 0: leave the camera's
  // The stream's options: those the properties set (the window, the layout,
  // the sensor type, the white balance, the time-out, the retry limit), the
  // others as the library makes them.
  ocamera::StreamOptions options;
  // The settings-file property, and the document read from it at start: the
  // stream makes it at every start and after every recovery.
  std::string settingsFile;
  ocamera::Settings profile;
};

// Reads the settings file (when one is named) into settings->profile; false
// with the library's reason in *error when the file cannot be read or is
// refused. Its window and sensor serve the stream for a window (width,
// height 0) and a layout (pattern SENSOR) no property set.
bool loadProfile(Settings *settings, std::string *error);

// Parses a white-balance value (the library's rules) into *settings; false,
// with *settings untouched and the reason in *error, when it does not parse.
bool setWhiteBalance(const char *text, Settings *settings, std::string *error);
// The white-balance property's value: "none", "file" or "R,G,B".
std::string whiteBalanceText(const Settings &settings);

// The longest a start or the element's end waits for the previous stream:
// the timeout, or without one the process-wide reply time-out, or else 10 s.
int closeWaitMs(const Settings &settings);

// GStreamer's name of a Bayer layout in video/x-bayer ("grbg" for a top row
// starting G, R, ...).
std::string bayerFormat(OCameraTools::eBayerPattern pattern);

// The stream's options for these settings, raw or converted to RGB, with a
// pool of poolFrames frames.
ocamera::StreamOptions streamOptions(const Settings &settings, bool rgb, int poolFrames);

// The caps the element can produce with these settings: video/x-bayer in the
// sensor's layout first, then video/x-raw,format=RGB when the layout converts.
// A window or layout left to the sensor (before the stream chose them) gives
// any size and every layout.
GstCaps *offeredCaps(const Settings &settings);

// The properties made from the option table, numbered from 0.
int optionPropertyCount();
// The table's option behind property i.
const ocamera::StreamOption &optionOf(int i);
// The property's spec: name, range, default and help from the table.
GParamSpec *optionParamSpec(int i, GParamFlags flags);
// Sets the option of property i from a GValue (int or enum); false with the
// library's reason in *error when the table refuses it.
bool setOption(Settings *settings, int i, const GValue *value, std::string *error);
void getOption(const Settings &settings, int i, GValue *value);

}  // namespace ocamerasrc
