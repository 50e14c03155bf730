#include "settings.h"

#include <cstdio>
#include <cstring>

namespace ocamerasrc {

bool parseWhiteBalance(const char *text, Settings *settings) {
  if (!text) return false;
  if (std::strcmp(text, "none") == 0) {
    settings->whiteBalance = ocamera::WhiteBalance::None;
  } else if (std::strcmp(text, "file") == 0) {
    settings->whiteBalance = ocamera::WhiteBalance::File;
  } else {
    int r = 0, g = 0, b = 0, used = 0;
    if (std::sscanf(text, "%d,%d,%d%n", &r, &g, &b, &used) != 3 || text[used] != '\0') return false;
    if (r < 0 || g < 0 || b < 0 || r > 1000 || g > 1000 || b > 1000) return false;
    settings->whiteBalance = ocamera::WhiteBalance::Factors;
    settings->red = r;
    settings->green = g;
    settings->blue = b;
  }
  settings->whiteBalanceText = text;
  return true;
}

const char *bayerFormat(OCameraTools::eBayerPattern pattern) {
  switch (pattern) {
    case OCameraTools::BAYER_PATTERN_BGBG:
      return "bggr";
    case OCameraTools::BAYER_PATTERN_RGRG:
      return "rggb";
    case OCameraTools::BAYER_PATTERN_GBGB:
      return "gbrg";
    default:
      return "grbg";
  }
}

bool convertible(OCameraTools::eBayerPattern pattern) {
  return pattern == OCameraTools::BAYER_PATTERN_GRGR || pattern == OCameraTools::BAYER_PATTERN_BGBG;
}

ocamera::StreamOptions streamOptions(const Settings &settings, bool rgb, int poolFrames) {
  ocamera::StreamOptions o;
  o.bufferCount = poolFrames;
  o.cameraType = settings.cameraType;
  o.x0 = settings.x0;
  o.y0 = settings.y0;
  o.width = settings.width;
  o.height = settings.height;
  o.pattern = settings.pattern;
  o.rgb = rgb;
  o.whiteBalance = settings.whiteBalance;
  o.red = settings.red;
  o.green = settings.green;
  o.blue = settings.blue;
  o.replyTimeoutMs = settings.timeoutMs;
  return o;
}

static void setFrameRate(GstStructure *s, double frameRate) {
  int num = 0, den = 1;
  if (frameRate > 0) gst_util_double_to_fraction(frameRate, &num, &den);
  gst_structure_set(s, "framerate", GST_TYPE_FRACTION, num, den, nullptr);
}

GstCaps *offeredCaps(const Settings &settings) {
  GstCaps *caps = gst_caps_new_empty();
  GstStructure *bayer = gst_structure_new(
      "video/x-bayer", "format", G_TYPE_STRING, bayerFormat(settings.pattern), "width", G_TYPE_INT,
      settings.width, "height", G_TYPE_INT, settings.height, nullptr);
  setFrameRate(bayer, settings.frameRate);
  gst_caps_append_structure(caps, bayer);
  if (convertible(settings.pattern)) {
    GstStructure *rgb =
        gst_structure_new("video/x-raw", "format", G_TYPE_STRING, "RGB", "width", G_TYPE_INT,
                          settings.width, "height", G_TYPE_INT, settings.height,
                          "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    setFrameRate(rgb, settings.frameRate);
    gst_caps_append_structure(caps, rgb);
  }
  return caps;
}

GstClockTime frameDuration(double frameRate) {
  if (frameRate <= 0) return GST_CLOCK_TIME_NONE;
  return static_cast<GstClockTime>(GST_SECOND / frameRate + 0.5);
}

GType cameraTypeEnum() {
  static const GEnumValue values[] = {{OCamera::CAM_TYPE_MT9V403, "MT9V403 sensor", "mt9v403"},
                                      {OCamera::CAM_TYPE_GENERIC, "Generic camera", "generic"},
                                      {OCamera::CAM_TYPE_IBIS1300, "IBIS1300 sensor", "ibis1300"},
                                      {OCamera::CAM_TYPE_MT9V022, "MT9V022 sensor", "mt9v022"},
                                      {0, nullptr, nullptr}};
  static const GType type = g_enum_register_static("GstOcameraType", values);
  return type;
}

GType patternEnum() {
  static const GEnumValue values[] = {
      {OCameraTools::BAYER_PATTERN_GRGR, "Top row G,R (GRGR)", "grbg"},
      {OCameraTools::BAYER_PATTERN_BGBG, "Top row B,G (BGBG)", "bggr"},
      {OCameraTools::BAYER_PATTERN_RGRG, "Top row R,G (RGRG, raw only)", "rggb"},
      {OCameraTools::BAYER_PATTERN_GBGB, "Top row G,B (GBGB, raw only)", "gbrg"},
      {0, nullptr, nullptr}};
  static const GType type = g_enum_register_static("GstOcameraPattern", values);
  return type;
}

}  // namespace ocamerasrc
