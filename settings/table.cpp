// The table of the camera's settings: one entry per setter of the camera
// object, in the order they are made, with each parameter's range and the
// value the camera has after power-on.
#include <cctype>

#include "settings/ids.h"

namespace ocamera {
namespace {

constexpr double kIntMax = 2147483647.0;
constexpr double kUnsignedMax = 4294967295.0;
constexpr double kPixels = 65535.0;  // the largest offset or size of a window

using Choices = std::vector<SettingChoice>;

SettingField intField(const char *name, double min, double max, double powerOn, const char *unit,
                      const char *help, SettingExtent extent = SettingExtent::None) {
  return {name, SettingFieldType::Int, min, max, powerOn, extent, unit, help, {}};
}

SettingField boolField(const char *name, bool powerOn, const char *help) {
  return {name, SettingFieldType::Bool, 0, 1, powerOn ? 1.0 : 0.0, SettingExtent::None, "", help,
          {}};
}

SettingField choiceField(const char *name, Choices choices, int powerOn, const char *help,
                         SettingExtent extent = SettingExtent::None) {
  double lo = choices.front().value, hi = lo;
  for (const SettingChoice &c : choices) {
    if (c.value < lo) lo = c.value;
    if (c.value > hi) hi = c.value;
  }
  return {name, SettingFieldType::Choice, lo, hi, static_cast<double>(powerOn), extent, "",
          help, std::move(choices)};
}

Choices patterns() { return {{"GRGR", 1}, {"BGBG", 2}, {"RGRG", 3}, {"GBGB", 4}}; }

// A window of the sensor, the whole sensor at power-on.
std::vector<SettingField> windowFields() {
  return {intField("x0", 0, kPixels, 0, "px", "first column"),
          intField("y0", 0, kPixels, 0, "px", "first row"),
          intField("width", 1, kPixels, 1280, "px", "columns", SettingExtent::SensorWidth),
          intField("height", 1, kPixels, 1024, "px", "rows", SettingExtent::SensorHeight)};
}

std::vector<SettingInfo> makeTable() {
  using T = SettingFieldType;
  std::vector<SettingInfo> t(settings::kSettingCount);
  const SettingExtent pattern = SettingExtent::SensorPattern;

  t[settings::kFrequency] = {
      "frequency",
      "the sensor's clock (set first: the sensor's timing follows it)",
      false,
      {choiceField("value", {{"20MHz", 0}, {"40MHz", 1}, {"50MHz", 2}, {"60MHz", 3}}, 1,
                   "sensor clock")}};
  t[settings::kWindow] = {"window",
                          "the part of the sensor read out: offset and size, inside the sensor",
                          false, windowFields()};
  t[settings::kFrameRate] = {
      "frameRate",
      "frames per second in the free-run modes",
      false,
      {{"value", T::Number, 0.001, 1000, 30, SettingExtent::None, "fps", "frames per second", {}}}};
  t[settings::kShutterTime] = {"shutterTime",
                               "the exposure time",
                               true,
                               {intField("value", 1, 1000000, 10000, "us", "exposure time")}};
  t[settings::kGain] = {
      "gain", "the analog gain factor", false, {intField("value", 1, 32, 1, "", "gain factor")}};
  t[settings::kTriggerSource] = {
      "triggerSource",
      "what triggers a picture in the single-shot and select-shot modes, and its active level",
      false,
      {choiceField("source", {{"SOFTWARE", 1}, {"EXTERNAL_E0", 2}, {"EXTERNAL_E1", 3}}, 1,
                   "software (triggerImage) or input I0 or I1"),
       choiceField("polarity", {{"ACTIVE_HIGH", 1}, {"ACTIVE_LOW", 2}}, 1,
                   "the active level of an external trigger")}};
  t[settings::kTriggerDelay] = {"triggerDelay",
                                "the time from a trigger to the picture",
                                false,
                                {intField("value", 0, 10000000, 0, "us", "trigger delay")}};
  {
    std::vector<SettingField> f = windowFields();
    f.push_back(intField("threshMin", 0, 255, 0, "", "lowest grey level that triggers"));
    f.push_back(intField("threshMax", 0, 255, 255, "", "highest grey level that triggers"));
    t[settings::kTriggerWindow] = {"triggerWindow",
                                   "the region and grey levels of the image trigger", false, f};
  }
  t[settings::kIlluminationMode] = {
      "illuminationMode",
      "the camera's own illumination",
      false,
      {choiceField("value", {{"OFF", 1}, {"NORMAL", 2}, {"PULSED", 3}}, 1, "illumination mode")}};
  t[settings::kIlluminationModeExternal] = {
      "illuminationModeExternal",
      "the external illumination output",
      false,
      {choiceField("value", {{"OFF", 0}, {"ON_POSITIVE", 1}, {"ON_NEGATIVE", 2}}, 0,
                   "external illumination mode")}};
  t[settings::kIlluminationTiming] = {
      "illuminationTiming",
      "the delay and length of a pulse of the illumination",
      false,
      {intField("delay", 0, kIntMax, 0, "us", "from the exposure's start to the pulse"),
       intField("period", 0, kIntMax, 0, "us", "the pulse's length")}};
  t[settings::kIllumination] = {"illumination",
                                "the illumination switched on or off",
                                false,
                                {boolField("value", false, "illumination on")}};
  t[settings::kReadTimeout] = {"readTimeout",
                               "how long an image request waits for a frame",
                               false,
                               {intField("value", 0, kIntMax, 1000, "ms", "read time-out")}};
  t[settings::kCircularOverwrite] = {
      "circularOverwrite",
      "with full frame buffers: drop the oldest frame (true) or the newest (false)",
      false,
      {boolField("value", true, "overwrite the oldest frame")}};
  t[settings::kJpeg] = {
      "jpeg",
      "JPEG compression of the images on the camera",
      false,
      {boolField("enable", false, "compress"),
       choiceField("quality", {{"LOW", 0}, {"MEDIUM", 1}, {"GOOD", 2}, {"EXCELLENT", 3}}, 2,
                   "compression quality"),
       boolField("byteStuff", false, "byte stuffing"),
       choiceField("pattern", patterns(), 1, "Bayer layout of the images", pattern),
       boolField("forceGreyscale", false, "grey images only")}};
  t[settings::kBayer2X] = {
      "bayer2X",
      "the output plane of the double-resolution Bayer stage",
      false,
      {choiceField(
           "output",
           {{"RAW", 0}, {"H", 1}, {"S", 2}, {"V", 3}, {"I", 4}, {"R", 5}, {"G", 6}, {"B", 7}}, 0,
           "the raw image or one plane"),
       choiceField("pattern", patterns(), 1, "Bayer layout of the images", pattern)}};
  t[settings::kWhiteBalance] = {
      "whiteBalance",
      "the camera's white balance: the Bayer layout and a table of 256 values per colour",
      false,
      {choiceField("pattern", patterns(), 1, "Bayer layout of the images", pattern),
       {"table",
        T::Bytes,
        768,
        768,
        0,
        SettingExtent::None,
        "",
        "256 red, 256 green, 256 blue values (none: the camera's own)",
        {}}}};
  t[settings::kMedian] = {
      "median", "the median filter", false, {boolField("value", false, "median filter on")}};
  t[settings::kFilter] = {
      "filter",
      "the on-camera image filter and its parameters",
      false,
      {choiceField(
           "type",
           {{"OFF", 0}, {"BINARIZE_ONLY", 1}, {"MEDIAN", 2}, {"MEAN", 3}, {"SNN", 4}, {"SOBEL", 5}},
           0, "filter"),
       intField("numParam", 0, 2, 0, "", "parameters used"),
       intField("param1", 0, kUnsignedMax, 0, "", "first parameter"),
       intField("param2", 0, kUnsignedMax, 0, "", "second parameter")}};
  t[settings::kBinarization] = {
      "binarization",
      "binarization of the image by one or two thresholds",
      false,
      {boolField("enable", false, "binarize"), boolField("invert", false, "invert the result"),
       intField("numThreshold", 0, 2, 0, "", "thresholds used"),
       intField("threshold1", 0, 255, 0, "", "first threshold"),
       intField("threshold2", 0, 255, 0, "", "second threshold (at least the first)")}};
  t[settings::kImageRamPictureSize] = {
      "imageRAMPictureSize",
      "the size of a picture in the image RAM (width x height bytes must fit in it)",
      false,
      {intField("width", 1, kPixels, 1280, "px", "columns", SettingExtent::SensorWidth),
       intField("height", 1, kPixels, 1024, "px", "rows", SettingExtent::SensorHeight)}};
  t[settings::kImageCorrection] = {
      "imageCorrection",
      "correction of each image by images stored in the image RAM",
      false,
      {boolField("enable", false, "correct"),
       choiceField("type", {{"REPLACE", 0}, {"MASK_AND", 1}, {"MASK_OR", 2}}, 0,
                   "how the stored images act"),
       intField("startAddress", 0, kUnsignedMax, 0, "B", "image RAM address of the first image"),
       intField("size", 0, kUnsignedMax, 0, "B", "bytes of one stored image"),
       intField("images", 0, kUnsignedMax, 0, "", "stored images")}};
  t[settings::kImageSplitting] = {
      "imageSplitting",
      "a copy of each image into the image RAM",
      false,
      {choiceField("type", {{"OFF", 0}, {"RAW", 1}, {"PROCESSED", 2}}, 0, "what is copied"),
       intField("destAddress", 0, kUnsignedMax, 0, "B", "image RAM address"),
       intField("size", 0, kUnsignedMax, 0, "B", "bytes of the region")}};
  {
    std::vector<SettingField> f{boolField("enable", false, "profile")};
    for (SettingField &w : windowFields()) f.push_back(w);
    f.push_back(choiceField(
        "priority",
        {{"FIRST_POINT", 0}, {"LAST_POINT", 1}, {"LARGEST_FIRST", 2}, {"LARGEST_LAST", 3}}, 0,
        "which point of a column counts"));
    f.push_back(choiceField("direction", {{"TOP_DOWN", 0}, {"BOTTOM_UP", 1}}, 0,
                            "direction a column is searched in"));
    f.push_back(intField("threshMin", 0, 255, 0, "", "lowest grey level of a point"));
    f.push_back(intField("threshMax", 0, 255, 255, "", "highest grey level of a point"));
    f.push_back(intField("areaMin", 0, kIntMax, 0, "px", "smallest area of a point"));
    f.push_back(intField("areaMax", 0, kIntMax, kIntMax, "px", "largest area of a point"));
    f.push_back(choiceField(
        "format", {{"16_4", 4}, {"8_0", 16}, {"8_1", 17}, {"8_2", 18}, {"8_3", 19}, {"8_4", 20}}, 4,
        "output word width and sub-resolution"));
    f.push_back({"reference",
                 T::Bytes,
                 1,
                 kPixels,
                 0,
                 SettingExtent::None,
                 "",
                 "one byte per column of the region (none: no reference line)",
                 {}});
    t[settings::kLaserProfiling] = {"laserProfiling", "laser-line profiling on the camera", false,
                                    f};
  }
  t[settings::kHardwareApplet] = {
      "hardwareApplet",
      "the hardware applet of the processing stage",
      false,
      {boolField("enable", false, "applet on"),
       intField("maxSize", 0, kUnsignedMax, 0, "B", "largest output"),
       choiceField(
           "applet",
           {{"IN16_OUT32_INT", 0}, {"IN8_OUT32_INT", 1}, {"IN16_OUT16", 2}, {"IN8_OUT16", 3}}, 0,
           "input and output widths")}};
  t[settings::kAcquisitionMode] = {"acquisitionMode",
                                   "the acquisition mode (set last: it starts the acquisition; all "
                                   "but STOP need the camera open)",
                                   false,
                                   {choiceField("value",
                                                {{"STOP", 1},
                                                 {"SINGLE_SHOT", 2},
                                                 {"FREE_RUN", 3},
                                                 {"SELECT_SHOT", 4},
                                                 {"FREE_RUN_SLAVE", 8}},
                                                1, "acquisition mode")}};
  return t;
}

}  // namespace

const std::vector<SettingInfo> &settingTable() {
  static const std::vector<SettingInfo> table = makeTable();
  return table;
}

namespace settings {

std::string camelName(const std::string &name) {
  std::string out;
  bool upper = false;
  for (char c : name) {
    if (c == '_' || c == '-') {
      upper = !out.empty();
      continue;
    }
    out += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    upper = false;
  }
  return out;
}

}  // namespace settings

const SettingInfo *findSetting(const std::string &name) {
  const std::string wanted = settings::camelName(name);
  for (const SettingInfo &s : settingTable())
    if (wanted == s.name) return &s;
  // Snake case loses the case of acronyms ("image_ram_picture_size"): compare
  // without case as a last resort.
  for (const SettingInfo &s : settingTable()) {
    const std::string have = s.name;
    if (have.size() != wanted.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < have.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(have[i])) ==
             std::tolower(static_cast<unsigned char>(wanted[i]));
    if (same) return &s;
  }
  return nullptr;
}

const SettingField *findSettingField(const SettingInfo &setting, const std::string &name) {
  const std::string wanted = settings::camelName(name);
  for (const SettingField &f : setting.fields)
    if (wanted == f.name) return &f;
  return nullptr;
}

}  // namespace ocamera
