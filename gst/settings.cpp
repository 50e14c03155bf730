#include "settings.h"

#include <ocamera/export.h>
#include <ocamera/white_balance.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace ocamerasrc {

namespace {

// The stream options the element has as properties, and the property names
// where they differ from the table's name with hyphens.
struct OptionProperty {
  const char *option;
  const char *property;  // null: the table's name with hyphens
};
constexpr OptionProperty kOptionProperties[] = {
    {"cameraType", nullptr},
    {"x0", nullptr},
    {"y0", nullptr},
    {"width", nullptr},
    {"height", nullptr},
    {"pattern", nullptr},
    {"replyTimeoutMs", "timeout"},
    {"retryLimit", nullptr},
};
constexpr int kOptionPropertyCount = sizeof kOptionProperties / sizeof kOptionProperties[0];

// Without a timeout of its own or the process-wide one, the stream bounds a
// silent camera's image request by the read time-out plus 10 s.
constexpr int kUnboundedCloseWaitMs = 10000;

std::string lower(const char *text) {
  std::string s = text ? text : "";
  for (char &c : s)
    c = static_cast<char>(c == '_' ? '-' : std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The GEnum type of a choice option: the table's names, lower case, as nicks;
// a Bayer layout by its cell name, as video/x-bayer names it ("grbg"). The
// strings live as long as the registered type, that is the program.
GType choiceEnum(const ocamera::StreamOption &option) {
  const bool isPattern = std::string(option.name) == "pattern";
  auto *values = g_new0(GEnumValue, option.choices.size() + 1);
  for (std::size_t i = 0; i < option.choices.size(); ++i) {
    const ocamera::StreamOptionChoice &c = option.choices[i];
    values[i].value = c.value;
    values[i].value_name = g_strdup(c.name);
    const std::string nick = isPattern && c.value != ocamera::kSensorPattern
                                 ? bayerFormat(static_cast<OCameraTools::eBayerPattern>(c.value))
                                 : lower(c.name);
    values[i].value_nick = g_strdup(nick.c_str());
  }
  std::string typeName = std::string("GstOcamera") + option.name;
  typeName[10] = static_cast<char>(std::toupper(static_cast<unsigned char>(typeName[10])));
  return g_enum_register_static(g_intern_string(typeName.c_str()), values);
}

GType enumTypeOf(int i) {
  static std::vector<GType> types(kOptionPropertyCount, 0);
  if (types[i] == 0) types[i] = choiceEnum(optionOf(i));
  return types[i];
}

}  // namespace

Settings::Settings() { options.replyTimeoutMs = kDefaultTimeoutMs; }

bool setWhiteBalance(const char *text, Settings *settings, std::string *error) {
  ocamera::WhiteBalanceSetting wb;
  if (!ocamera::parseWhiteBalance(text ? text : "", &wb, error)) return false;
  settings->options.whiteBalance = wb.mode;
  if (wb.mode == ocamera::WhiteBalance::Factors) {
    settings->options.red = wb.red;
    settings->options.green = wb.green;
    settings->options.blue = wb.blue;
  }
  return true;
}

std::string whiteBalanceText(const Settings &settings) {
  ocamera::WhiteBalanceSetting wb;
  wb.mode = settings.options.whiteBalance;
  wb.red = settings.options.red;
  wb.green = settings.options.green;
  wb.blue = settings.options.blue;
  return ocamera::whiteBalanceText(wb);
}

int closeWaitMs(const Settings &settings) {
  if (settings.options.replyTimeoutMs > 0) return settings.options.replyTimeoutMs;
  if (ocamera::replyTimeout() > 0) return ocamera::replyTimeout();
  return kUnboundedCloseWaitMs;
}

std::string bayerFormat(OCameraTools::eBayerPattern pattern) {
  const char *cell = OCameraTools::PatternCellName(pattern);
  return lower(cell ? cell : OCameraTools::PatternCellName(OCameraTools::BAYER_PATTERN_GRGR));
}

bool loadProfile(Settings *settings, std::string *error) {
  settings->profile = ocamera::Settings();
  if (settings->settingsFile.empty()) return true;
  return ocamera::Settings::readFile(settings->settingsFile, &settings->profile, error);
}

ocamera::StreamOptions streamOptions(const Settings &settings, bool rgb, int poolFrames) {
  ocamera::StreamOptions o = settings.options;
  o.settings = settings.profile;
  o.bufferCount = poolFrames;
  o.rgb = rgb;
  return o;
}

static void setFrameRate(GstStructure *s, double frameRate) {
  int num = 0, den = 1;
  if (frameRate > 0) gst_util_double_to_fraction(frameRate, &num, &den);
  gst_structure_set(s, "framerate", GST_TYPE_FRACTION, num, den, nullptr);
}

// The size of the window; before the stream chose a window left to the
// sensor (0), any size.
static void setSize(GstStructure *s, const ocamera::StreamOptions &o) {
  if (o.width > 0 && o.height > 0)
    gst_structure_set(s, "width", G_TYPE_INT, o.width, "height", G_TYPE_INT, o.height, nullptr);
  else
    gst_structure_set(s, "width", GST_TYPE_INT_RANGE, 1, 65535, "height", GST_TYPE_INT_RANGE, 1,
                      65535, nullptr);
}

GstCaps *offeredCaps(const Settings &settings) {
  const ocamera::StreamOptions &o = settings.options;
  GstCaps *caps = gst_caps_new_empty();
  GstStructure *bayer = gst_structure_new_empty("video/x-bayer");
  if (o.pattern == ocamera::kSensorPattern) {
    // Not known before the stream asked the camera: any layout.
    GValue list = G_VALUE_INIT, item = G_VALUE_INIT;
    g_value_init(&list, GST_TYPE_LIST);
    g_value_init(&item, G_TYPE_STRING);
    for (int p = 1; p <= 4; ++p) {
      g_value_set_string(&item, bayerFormat(static_cast<OCameraTools::eBayerPattern>(p)).c_str());
      gst_value_list_append_value(&list, &item);
    }
    gst_structure_take_value(bayer, "format", &list);
    g_value_unset(&item);
  } else {
    gst_structure_set(bayer, "format", G_TYPE_STRING, bayerFormat(o.pattern).c_str(), nullptr);
  }
  setSize(bayer, o);
  setFrameRate(bayer, settings.frameRate);
  gst_caps_append_structure(caps, bayer);
  if (o.pattern == ocamera::kSensorPattern || OCameraTools::ConvertsPattern(o.pattern)) {
    GstStructure *rgb = gst_structure_new("video/x-raw", "format", G_TYPE_STRING, "RGB",
                                          "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    setSize(rgb, o);
    setFrameRate(rgb, settings.frameRate);
    gst_caps_append_structure(caps, rgb);
  }
  return caps;
}

int optionPropertyCount() { return kOptionPropertyCount; }

const ocamera::StreamOption &optionOf(int i) {
  // Every name in kOptionProperties is one of the table's.
  return *ocamera::findStreamOption(kOptionProperties[i].option);
}

GParamSpec *optionParamSpec(int i, GParamFlags flags) {
  const ocamera::StreamOption &o = optionOf(i);
  const std::string name = kOptionProperties[i].property ? kOptionProperties[i].property
                                                         : ocamera::streamOptionName(o, '-');
  std::string blurb = o.help;
  if (*o.unit) blurb += std::string(" (") + o.unit + ")";
  long long defaultValue = o.defaultValue;
  if (std::string(o.name) == "replyTimeoutMs") {
    defaultValue = kDefaultTimeoutMs;
    blurb +=
        "; bounds connecting, starting, every reply but an image still arriving, and how long "
        "a start or the element's end waits for the old stream; 2000 by default here, so that "
        "Ctrl-C ends any pipeline within 5 s";
  }
  const char *n = g_intern_string(name.c_str());
  const char *b = g_intern_string(blurb.c_str());
  if (o.type == ocamera::StreamOptionType::Choice)
    return g_param_spec_enum(n, n, b, enumTypeOf(i), static_cast<gint>(defaultValue), flags);
  return g_param_spec_int(n, n, b, static_cast<gint>(std::max<long long>(o.min, G_MININT)),
                          static_cast<gint>(std::min<long long>(o.max, G_MAXINT)),
                          static_cast<gint>(defaultValue), flags);
}

bool setOption(Settings *settings, int i, const GValue *value, std::string *error) {
  const ocamera::StreamOption &o = optionOf(i);
  const long long v = o.type == ocamera::StreamOptionType::Choice ? g_value_get_enum(value)
                                                                  : g_value_get_int(value);
  return ocamera::setStreamOption(settings->options, o.name, v, error);
}

void getOption(const Settings &settings, int i, GValue *value) {
  const ocamera::StreamOption &o = optionOf(i);
  const long long v = ocamera::streamOptionValue(settings.options, o);
  if (o.type == ocamera::StreamOptionType::Choice)
    g_value_set_enum(value, static_cast<gint>(v));
  else
    g_value_set_int(value, static_cast<gint>(v));
}

}  // namespace ocamerasrc
