// The table of the stream's options and the checks every front end shares.
#include <ocamera/stream_options.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstddef>

namespace ocamera {
namespace {

// The largest image the library accepts from a camera (its reply limit).
constexpr long long kLargestImage = 48ll << 20;

using O = StreamOptions;

// How one field is read and written, beside its table entry.
struct Access {
  long long (*get)(const O &);
  void (*set)(O &, long long);
};

#define OCAMERA_INT_FIELD(field)                                               \
  Access {                                                                     \
    [](const O &o) -> long long { return o.field; },                           \
        [](O &o, long long v) { o.field = static_cast<decltype(o.field)>(v); } \
  }
#define OCAMERA_ENUM_FIELD(field)                                              \
  Access {                                                                     \
    [](const O &o) -> long long { return static_cast<long long>(o.field); },   \
        [](O &o, long long v) { o.field = static_cast<decltype(o.field)>(v); } \
  }

struct Entry {
  StreamOption option;
  Access access;
};

const std::vector<StreamOptionChoice> kCameraTypes = {{"MT9V403", OCamera::CAM_TYPE_MT9V403},
                                                      {"GENERIC", OCamera::CAM_TYPE_GENERIC},
                                                      {"IBIS1300", OCamera::CAM_TYPE_IBIS1300},
                                                      {"MT9V022", OCamera::CAM_TYPE_MT9V022}};
const std::vector<StreamOptionChoice> kPatterns = {{"SENSOR", kSensorPattern},
                                                   {"GRGR", OCameraTools::BAYER_PATTERN_GRGR},
                                                   {"BGBG", OCameraTools::BAYER_PATTERN_BGBG},
                                                   {"RGRG", OCameraTools::BAYER_PATTERN_RGRG},
                                                   {"GBGB", OCameraTools::BAYER_PATTERN_GBGB}};
const std::vector<StreamOptionChoice> kModes = {
    {"SINGLE_SHOT", OCamera::ACQ_MODE_SINGLE_SHOT},
    {"FREE_RUN", OCamera::ACQ_MODE_FREE_RUN},
    {"SELECT_SHOT", OCamera::ACQ_MODE_SELECT_SHOT},
    {"FREE_RUN_SLAVE", OCamera::ACQ_MODE_FREE_RUN_SLAVE}};
const std::vector<StreamOptionChoice> kPolicies = {
    {"DROP_OLDEST", static_cast<int>(QueuePolicy::DropOldest)},
    {"DROP_NEWEST", static_cast<int>(QueuePolicy::DropNewest)},
    {"BLOCK", static_cast<int>(QueuePolicy::Block)}};
const std::vector<StreamOptionChoice> kBalances = {
    {"NONE", static_cast<int>(WhiteBalance::None)},
    {"FACTORS", static_cast<int>(WhiteBalance::Factors)},
    {"FILE", static_cast<int>(WhiteBalance::File)}};

constexpr long long kHour = 3600000;
constexpr auto kInt = StreamOptionType::Int;
constexpr auto kBool = StreamOptionType::Bool;
constexpr auto kChoice = StreamOptionType::Choice;

const std::vector<Entry> &entries() {
  static const std::vector<Entry> table = [] {
    const O d;
    const int wb = OCameraTools::kMaxWhiteBalanceFactor;
    return std::vector<Entry>{
        {{"cameraType", kChoice, 3, 6, d.cameraType, "", "sensor type the camera is created for",
          kCameraTypes},
         OCAMERA_ENUM_FIELD(cameraType)},
        {{"x0", kInt, 0, 65535, d.x0, "px", "left edge of the window on the sensor", {}},
         OCAMERA_INT_FIELD(x0)},
        {{"y0", kInt, 0, 65535, d.y0, "px", "top edge of the window on the sensor", {}},
         OCAMERA_INT_FIELD(y0)},
        {{"width",
          kInt,
          0,
          65535,
          d.width,
          "px",
          "width of the window (of every frame); 0: the sensor's",
          {}},
         OCAMERA_INT_FIELD(width)},
        {{"height",
          kInt,
          0,
          65535,
          d.height,
          "px",
          "height of the window (of every frame); 0: the sensor's",
          {}},
         OCAMERA_INT_FIELD(height)},
        {{"pattern", kChoice, 0, 4, d.pattern, "",
          "the sensor's Bayer layout, named by the colours of its top row (SENSOR: as the "
          "camera tells)",
          kPatterns},
         OCAMERA_ENUM_FIELD(pattern)},
        {{"acquisitionMode", kChoice, 2, 8, d.acquisitionMode, "",
          "acquisition mode set at start (single and select shot wait for triggers)", kModes},
         OCAMERA_ENUM_FIELD(acquisitionMode)},
        {{"cameraBuffers",
          kInt,
          1,
          1024,
          d.cameraBuffers,
          "frames",
          "frame buffers in the camera",
          {}},
         OCAMERA_INT_FIELD(cameraBuffers)},
        {{"bufferCount",
          kInt,
          2,
          1024,
          d.bufferCount,
          "frames",
          "frames in the stream's pool (queued, held and being fetched)",
          {}},
         OCAMERA_INT_FIELD(bufferCount)},
        {{"queueDepth",
          kInt,
          1,
          1024,
          d.queueDepth,
          "frames",
          "frames delivered but not yet taken, at most bufferCount",
          {}},
         OCAMERA_INT_FIELD(queueDepth)},
        {{"whenFull", kChoice, 0, 2, static_cast<long long>(d.whenFull), "",
          "what a new frame does to a full queue", kPolicies},
         OCAMERA_ENUM_FIELD(whenFull)},
        {{"rgb",
          kBool,
          0,
          1,
          d.rgb,
          "",
          "convert every frame to 24-bit RGB (GRGR and BGBG only)",
          {}},
         OCAMERA_INT_FIELD(rgb)},
        {{"whiteBalance", kChoice, 0, 2, static_cast<long long>(d.whiteBalance), "",
          "white balance of the RGB conversion: none, the factors below, or wb.conf", kBalances},
         OCAMERA_ENUM_FIELD(whiteBalance)},
        {{"red", kInt, 0, wb, d.red, "%", "red factor of the white balance", {}},
         OCAMERA_INT_FIELD(red)},
        {{"green", kInt, 0, wb, d.green, "%", "green factor of the white balance", {}},
         OCAMERA_INT_FIELD(green)},
        {{"blue", kInt, 0, wb, d.blue, "%", "blue factor of the white balance", {}},
         OCAMERA_INT_FIELD(blue)},
        {{"readTimeoutMs",
          kInt,
          1,
          600000,
          d.readTimeoutMs,
          "ms",
          "how long the camera waits for a frame before it answers 'no frame'",
          {}},
         OCAMERA_INT_FIELD(readTimeoutMs)},
        {{"replyTimeoutMs",
          kInt,
          0,
          kHour,
          d.replyTimeoutMs,
          "ms",
          "longest silence of the camera in any request of the stream (0: the library's)",
          {}},
         OCAMERA_INT_FIELD(replyTimeoutMs)},
        {{"requestsInFlight",
          kInt,
          1,
          4,
          d.requestsInFlight,
          "requests",
          "image requests kept in flight on the camera's connections (frames stay in order)",
          {}},
         OCAMERA_INT_FIELD(requestsInFlight)},
        {{"recover", kBool, 0, 1, d.recover, "", "make a new camera object after a loss", {}},
         OCAMERA_INT_FIELD(recover)},
        {{"failuresBeforeLost",
          kInt,
          1,
          1000,
          d.failuresBeforeLost,
          "requests",
          "failed image requests in a row that make the camera lost",
          {}},
         OCAMERA_INT_FIELD(failuresBeforeLost)},
        {{"retryInitialMs",
          kInt,
          1,
          kHour,
          d.retryInitialMs,
          "ms",
          "wait before the first try to recover (doubling after each failed try)",
          {}},
         OCAMERA_INT_FIELD(retryInitialMs)},
        {{"retryMaxMs",
          kInt,
          1,
          kHour,
          d.retryMaxMs,
          "ms",
          "longest wait between two tries to recover",
          {}},
         OCAMERA_INT_FIELD(retryMaxMs)},
        {{"retryLimit",
          kInt,
          0,
          INT_MAX,
          d.retryLimit,
          "tries",
          "tries to recover before giving up (0: until stopped)",
          {}},
         OCAMERA_INT_FIELD(retryLimit)},
        {{"frameLimit",
          kInt,
          0,
          INT_MAX,
          d.frameLimit,
          "frames",
          "frames fetched after each start at most (0: no limit)",
          {}},
         OCAMERA_INT_FIELD(frameLimit)},
    };
  }();
  return table;
}

#undef OCAMERA_INT_FIELD
#undef OCAMERA_ENUM_FIELD

// Lower case without separators: "bufferCount", "buffer_count" and
// "buffer-count" all become "buffercount".
std::string folded(const std::string &name) {
  std::string out;
  for (char c : name)
    if (c != '_' && c != '-') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

const Entry *findEntry(const std::string &name) {
  const std::string key = folded(name);
  for (const Entry &e : entries())
    if (folded(e.option.name) == key) return &e;
  return nullptr;
}

// The public table holds the entries' options in the same order, so an
// option of it finds its entry by position; a copy made elsewhere, by name.
const Entry &entryOf(const StreamOption &option) {
  const std::vector<StreamOption> &table = streamOptionTable();
  if (&option >= table.data() && &option < table.data() + table.size())
    return entries()[static_cast<std::size_t>(&option - table.data())];
  return *findEntry(option.name);
}

std::string choiceNames(const StreamOption &option) {
  std::string names;
  for (const StreamOptionChoice &c : option.choices)
    names += (names.empty() ? "" : ", ") + std::string(c.name);
  return names;
}

// "" when value suits the option, else why not.
std::string checkValue(const StreamOption &option, long long value) {
  if (option.type == StreamOptionType::Choice) {
    for (const StreamOptionChoice &c : option.choices)
      if (c.value == value) return "";
    return std::string(option.name) + " must be one of " + choiceNames(option) + ", not " +
           std::to_string(value);
  }
  if (value < option.min || value > option.max)
    return std::string(option.name) + " must be " + std::to_string(option.min) + ".." +
           std::to_string(option.max) + ", not " + std::to_string(value);
  return "";
}

}  // namespace

const std::vector<StreamOption> &streamOptionTable() {
  static const std::vector<StreamOption> table = [] {
    std::vector<StreamOption> options;
    for (const Entry &e : entries()) options.push_back(e.option);
    return options;
  }();
  return table;
}

const StreamOption *findStreamOption(const std::string &name) {
  const Entry *entry = findEntry(name);
  if (!entry) return nullptr;
  return &streamOptionTable()[static_cast<std::size_t>(entry - entries().data())];
}

std::string streamOptionName(const StreamOption &option, char separator) {
  std::string out;
  for (const char *p = option.name; *p; ++p) {
    if (std::isupper(static_cast<unsigned char>(*p))) {
      out += separator;
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    } else {
      out += *p;
    }
  }
  return out;
}

long long streamOptionValue(const StreamOptions &options, const StreamOption &option) {
  return entryOf(option).access.get(options);
}

bool setStreamOption(StreamOptions &options, const std::string &name, long long value,
                     std::string *error) {
  const Entry *entry = findEntry(name);
  std::string why;
  if (!entry)
    why = "no stream option '" + name + "'";
  else
    why = checkValue(entry->option, value);
  if (!why.empty()) {
    if (error) *error = why;
    return false;
  }
  entry->access.set(options, value);
  return true;
}

bool streamOptionChoice(const StreamOption &option, const std::string &name, int *value) {
  const std::string key = folded(name);
  for (const StreamOptionChoice &c : option.choices)
    if (folded(c.name) == key) {
      if (value) *value = c.value;
      return true;
    }
  return false;
}

std::string checkStreamOptions(const StreamOptions &o) {
  for (const Entry &e : entries()) {
    std::string why = checkValue(e.option, e.access.get(o));
    if (!why.empty()) return why;
  }
  if (static_cast<long long>(o.width) * o.height > kLargestImage)
    return "the window is larger than any image a camera delivers";
  if (o.queueDepth > o.bufferCount) return "queueDepth must be at most bufferCount";
  if (o.retryMaxMs < o.retryInitialMs) return "retryMaxMs must be at least retryInitialMs";
  // A window or pattern left to the sensor (0) is checked once chosen.
  if (o.rgb) {
    if (o.pattern != kSensorPattern && !OCameraTools::ConvertsPattern(o.pattern))
      return "RGB conversion handles the GRGR and BGBG patterns only";
    if ((o.width != 0 && o.width < 2) || (o.height != 0 && o.height < 2))
      return "RGB conversion needs a window of at least 2x2";
  }
  return "";
}

}  // namespace ocamera
