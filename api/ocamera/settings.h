// The camera's settable state as a document: which settings to make, kept as
// JSON, applied to a camera object in an order the camera takes, compared, and
// recorded as a program sets them.
//
// A camera keeps what it is told across programs and sessions and reports
// back almost nothing: of its settings only the exposure time and the sensor
// registers can be read. So a Settings document says, per entry, where its
// value comes from: read from the camera, recorded (set through this library
// and accepted), or given (from a file or the program).
//
// One table (settingTable) holds every setting: its name, its fields with
// type, unit, range and power-on value, and one line of help. The command-line
// tool, the Python package, the GStreamer element and the viewer take names,
// ranges and help from it. The table, in the order applySettings makes the
// settings (the JSON key; its fields: range, power-on value; W x H is the
// sensor, PAT its Bayer layout, 1280 x 1024 GRGR when unknown):
//
//   frequency                 20MHz 40MHz 50MHz 60MHz; 40MHz
//   (registers)               the sensor registers of the document, by name
//   window                    x0, y0 0..65535 px, 0; width, height 1..65535 px, W, H
//                             (the camera refuses a window outside the sensor)
//   frameRate                 0.001..1000 fps; 30
//   shutterTime               1..1000000 us; 10000 (the one setting the camera reports)
//   gain                      1..32; 1
//   triggerSource             source SOFTWARE EXTERNAL_E0 EXTERNAL_E1, SOFTWARE;
//                             polarity ACTIVE_HIGH ACTIVE_LOW, ACTIVE_HIGH
//   triggerDelay              0..10000000 us; 0
//   triggerWindow             x0, y0, width, height as window, 0 0 W H;
//                             threshMin, threshMax 0..255, 0 and 255
//   illuminationMode          OFF NORMAL PULSED; OFF
//   illuminationModeExternal  OFF ON_POSITIVE ON_NEGATIVE; OFF
//   illuminationTiming        delay, period 0..2147483647 us; 0, 0
//   illumination              false/true (switchIllumination); false
//   readTimeout               0..2147483647 ms; 1000
//   circularOverwrite         false/true; true
//   jpeg                      enable false; quality LOW MEDIUM GOOD EXCELLENT, GOOD;
//                             byteStuff false; pattern GRGR BGBG RGRG GBGB, PAT;
//                             forceGreyscale false
//   bayer2X                   output RAW H S V I R G B, RAW; pattern, PAT
//   whiteBalance              pattern, PAT; table none or 768 bytes (hex), none
//   median                    false/true; false
//   filter                    type OFF BINARIZE_ONLY MEDIAN MEAN SNN SOBEL, OFF;
//                             numParam 0..2, 0; param1, param2 0..4294967295, 0
//   binarization              enable, invert false; numThreshold 0..2, 0;
//                             threshold1, threshold2 0..255, 0
//   imageRAMPictureSize       width, height 1..65535 px, W, H (width x height
//                             must fit in the image RAM)
//   imageCorrection           enable false; type REPLACE MASK_AND MASK_OR, REPLACE;
//                             startAddress, size, images 0..4294967295, 0
//   imageSplitting            type OFF RAW PROCESSED, OFF; destAddress, size
//                             0..4294967295, 0
//   laserProfiling            enable false; x0, y0, width, height as window, 0 0 W H;
//                             priority FIRST_POINT LAST_POINT LARGEST_FIRST
//                             LARGEST_LAST, FIRST_POINT; direction TOP_DOWN
//                             BOTTOM_UP, TOP_DOWN; threshMin, threshMax 0..255, 0
//                             and 255; areaMin, areaMax 0..2147483647 px, 0 and
//                             2147483647; format 16_4 8_0 .. 8_4, 16_4; reference
//                             none or width bytes (hex), none
//   hardwareApplet            enable false; maxSize 0..4294967295 B, 0; applet
//                             IN16_OUT32_INT IN8_OUT32_INT IN16_OUT16 IN8_OUT16,
//                             IN16_OUT32_INT
//   acquisitionMode           STOP SINGLE_SHOT FREE_RUN SELECT_SHOT FREE_RUN_SLAVE;
//                             STOP (last: it starts an acquisition; every mode
//                             but STOP needs the camera open)
//
// The clock comes first (the sensor's timing follows it), the registers
// before the window and the gain (which overrule the registers that mirror
// them), the window before the frame rate (a smaller window allows a higher
// rate) and the mode last. Ranges are those the camera accepts for each
// value alone; the camera checks the rest (a window inside the sensor, a
// threshold pair in order, image RAM regions inside the memory) and refuses
// with status -15 or -17.
#pragma once

#include <ocamera/camera.h>
#include <ocamera/export.h>
#include <ocamera/tools.h>

#include <map>
#include <string>
#include <vector>

namespace ocamera {

// ------------------------------------------------------------------- the table

enum class SettingFieldType : int {
  Int = 0,     // a whole number within [min, max]
  Number = 1,  // a real number within [min, max]
  Bool = 2,    // false or true (0 or 1)
  Choice = 3,  // one of `choices`, by name in JSON
  Bytes = 4,   // a byte string of min..max bytes (hex in JSON)
};

// One named value of a Choice field ("FREE_RUN" for ACQ_MODE_FREE_RUN).
struct SettingChoice {
  const char *name;
  int value;
};

// Where a field's power-on value comes from when it is not a constant.
enum class SettingExtent : int {
  None = 0,           // powerOn holds it
  SensorWidth = 1,    // the sensor's width (the full window)
  SensorHeight = 2,   // the sensor's height
  SensorPattern = 3,  // the sensor's Bayer layout
};

// One field of a setting: one parameter of its setter.
struct SettingField {
  const char *name;  // "x0", "width", "polarity"; "value" for a one-field setting
  SettingFieldType type;
  double min, max;  // the range (Int, Number); 0, 1 (Bool); lowest and highest value
                    // (Choice); the allowed length in bytes (Bytes)
  double powerOn;   // the camera's value after power-on (Bytes: empty)
  SettingExtent extent;
  const char *unit;                    // "us", "ms", "fps", "px", "" for none
  const char *help;                    // one line, no line end
  std::vector<SettingChoice> choices;  // for Choice fields
};

// One setting: one setter of the camera object, and the fields it takes.
struct SettingInfo {
  const char *name;                  // the JSON key, "shutterTime"
  const char *help;                  // one line, no line end
  bool readable;                     // the camera reports it (then readSettings reads it)
  std::vector<SettingField> fields;  // one field: a scalar in JSON; several: an object
};

// Every setting, in the order applySettings makes them. The table lives as
// long as the program; thread-safe.
OCAMERA_API const std::vector<SettingInfo> &settingTable();

// The setting of that name, written as in the table ("shutterTime"), in snake
// case ("shutter_time") or with hyphens ("shutter-time"); null when none.
OCAMERA_API const SettingInfo *findSetting(const std::string &name);

// The field of that name of a setting; null when none.
OCAMERA_API const SettingField *findSettingField(const SettingInfo &setting,
                                                 const std::string &name);

// ------------------------------------------------------------------ the values

// A setting's value: one number per field of the table (a Choice as its
// enumerator's value, a Bool as 0 or 1, a Bytes field as 0), and the bytes of
// its Bytes field if it has one.
struct SettingValue {
  std::vector<double> numbers;
  std::vector<unsigned char> bytes;
  bool operator==(const SettingValue &other) const {
    return numbers == other.numbers && bytes == other.bytes;
  }
  bool operator!=(const SettingValue &other) const { return !(*this == other); }
};

// Where an entry's value comes from.
enum class SettingOrigin : int {
  Given = 0,     // from a file or the program
  Recorded = 1,  // set through the library and accepted by the camera
  Read = 2,      // read from the camera
};

// The sensor's size and Bayer layout. The camera has no operation that
// reports them; the library learns them from the device description where the
// camera writes them, or a document states them.
struct SensorGeometry {
  int width = 0;   // pixels; 0 when unknown
  int height = 0;  // pixels; 0 when unknown
  OCameraTools::eBayerPattern pattern = OCameraTools::BAYER_PATTERN_GRGR;
  bool known() const { return width > 0 && height > 0; }
};

// A document of settings: each entry optional (an absent entry leaves the
// camera as it is), sensor registers by name, and the sensor's geometry if
// known. A value type; not thread-safe (copy it to share it).
class OCAMERA_API Settings {
 public:
  struct Entry {
    SettingValue value;
    SettingOrigin origin = SettingOrigin::Given;
  };
  struct Register {
    unsigned value = 0;
    SettingOrigin origin = SettingOrigin::Given;
  };

  // Sets the setting called `name` (any spelling findSetting takes) after
  // checking the value against the table: true, or false with the document
  // untouched and the reason in *error, naming the setting, the field and the
  // allowed range ("gain must be 1..32, not 40").
  bool set(const std::string &name, const SettingValue &value,
           SettingOrigin origin = SettingOrigin::Given, std::string *error = nullptr);
  // The same for a one-field setting.
  bool set(const std::string &name, double value, SettingOrigin origin = SettingOrigin::Given,
           std::string *error = nullptr);
  // The entry of that setting, or null when the document leaves it alone.
  const Entry *get(const std::string &name) const;
  void erase(const std::string &name);

  void setRegister(const std::string &name, unsigned value,
                   SettingOrigin origin = SettingOrigin::Given);
  void eraseRegister(const std::string &name);

  // Entries by the table's name, registers by their name.
  const std::map<std::string, Entry> &entries() const { return entries_; }
  const std::map<std::string, Register> &registers() const { return registers_; }
  bool empty() const { return entries_.empty() && registers_.empty(); }

  // The sensor geometry the document states (known() false when it states none).
  SensorGeometry sensor;

  // Takes every entry, register and the geometry (if known) of `other` over
  // this document's.
  void merge(const Settings &other);

  // The JSON form: an object with "format" (the format version, 1), the
  // settings by name (a one-field setting as a scalar, others as an object of
  // fields, Choice fields by name), "registers" (an object of name: value)
  // and "sensor" ({"width", "height", "pattern"}). Written with sorted keys,
  // one entry per line, so that files diff well; origins are not written.
  std::string toJson() const;
  // Reads the JSON form. Unknown keys, wrong types, out-of-range values and a
  // format version other than 1 are refused, naming the key and the allowed
  // range: false with *out untouched and the reason in *error. Entries read
  // have SettingOrigin::Given.
  static bool fromJson(const std::string &text, Settings *out, std::string *error);
  // The same for a file (a small regular file; the reason names the path).
  static bool readFile(const std::string &path, Settings *out, std::string *error);
  // Writes toJson() to a file (replaced as a whole); false with the reason.
  bool writeFile(const std::string &path, std::string *error) const;

 private:
  std::map<std::string, Entry> entries_;
  std::map<std::string, Register> registers_;
};

// A value as text for people: "10000 us", "FREE_RUN", "x0=0 y0=0 width=1280
// height=1024 px".
OCAMERA_API std::string settingValueText(const SettingInfo &setting, const SettingValue &value);

// --------------------------------------------------------------- the operations

// The camera's power-on settings: every entry of the table at its power-on
// value, the window being the whole sensor of `sensor` (1280 x 1024 when
// unknown). Registers are not included.
OCAMERA_API Settings powerOnSettings(const SensorGeometry &sensor = SensorGeometry());

enum class ApplyMode : int {
  StopAtRefusal = 0,  // the first refused entry ends the apply
  SkipRefused = 1,    // refused entries are reported and the rest still made
};

// One entry the camera refused or that could not be sent.
struct SettingRefusal {
  std::string name;  // the setting's name, or "registers.NAME"
  int status;        // the setter's result (< 0)
  std::string text;  // statusText(status)
};

struct ApplyResult {
  std::vector<std::string> applied;     // accepted, in the order sent
  std::vector<SettingRefusal> refused;  // in the order sent
  std::vector<std::string> notSent;     // left out after a refusal (StopAtRefusal)
  bool ok() const { return refused.empty(); }
};

// Makes every entry of `settings` on `camera`, in the table's order (the
// window before the frame rate, the acquisition mode last; registers after
// the frequency and before the window). Each entry is one setter call. Safe
// to call from any thread the camera object may be used from.
OCAMERA_API ApplyResult applySettings(OCamera &camera, const Settings &settings,
                                      ApplyMode mode = ApplyMode::StopAtRefusal);

// Brings the camera to its power-on settings: applySettings of
// powerOnSettings(sensorGeometry(camera)).
OCAMERA_API ApplyResult resetSettings(OCamera &camera, ApplyMode mode = ApplyMode::SkipRefused);

// What the camera reports: the exposure time and the value of every sensor
// register, with SettingOrigin::Read. A request that fails leaves its entry
// out; *error (if given) names the first such failure.
OCAMERA_API Settings readSettings(OCamera &camera, std::string *error = nullptr);

// What this program set through `camera` since it was created and the camera
// accepted (SettingOrigin::Recorded), latest value per setting and register.
// An empty document for an object this library did not make. Thread-safe.
OCAMERA_API Settings sessionRecord(const OCamera &camera);

// The sensor geometry the camera's device description states, or an unknown
// one (known() false) when it states none.
OCAMERA_API SensorGeometry sensorGeometry(const OCamera &camera);
// The geometry written in a device description, in the form
// "... [sensor 1280x1024 GRGR]"; unknown when the description has none.
OCAMERA_API SensorGeometry parseSensorGeometry(const std::string &description);

// One difference between two documents.
struct SettingDifference {
  std::string name;  // the setting's name, "registers.NAME" or "sensor"
  bool inA = false, inB = false;
  std::string a, b;  // the values as text (settingValueText); empty when absent
};

// The entries that differ between a and b (present in one only, or with other
// values), sorted by name. Origins are not compared.
OCAMERA_API std::vector<SettingDifference> diffSettings(const Settings &a, const Settings &b);

}  // namespace ocamera
