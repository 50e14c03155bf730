// The settings document without a camera: the table, the JSON form with its
// refusals, differences, value text and the sensor geometry of a device
// description.
#include <gtest/gtest.h>
#include <ocamera/settings.h>

#include <cstdio>
#include <string>

namespace {

using ocamera::Settings;
using ocamera::SettingValue;

SettingValue values(std::initializer_list<double> numbers) {
  SettingValue v;
  v.numbers = numbers;
  return v;
}

// A document with a non-default value in every kind of field, registers and
// a sensor.
Settings rich() {
  Settings s = ocamera::powerOnSettings();
  EXPECT_TRUE(s.set("frameRate", 12.5));
  EXPECT_TRUE(s.set("acquisitionMode", OCamera::ACQ_MODE_FREE_RUN));
  EXPECT_TRUE(s.set("illumination", 1));
  SettingValue wb = values({OCameraTools::BAYER_PATTERN_BGBG, 0});
  for (int i = 0; i < 768; ++i) wb.bytes.push_back(static_cast<unsigned char>(i * 7));
  EXPECT_TRUE(s.set("whiteBalance", wb));
  SettingValue laser = values({1, 8, 9, 4, 20, 2, 1, 10, 200, 1, 50, 17, 0});
  laser.bytes = {1, 2, 3, 255};
  std::string why;
  EXPECT_TRUE(s.set("laserProfiling", laser, ocamera::SettingOrigin::Given, &why)) << why;
  s.setRegister("ANALOG_GAIN", 48);
  s.setRegister("READ_MODE", 0x300);
  s.sensor.width = 752;
  s.sensor.height = 480;
  s.sensor.pattern = OCameraTools::BAYER_PATTERN_BGBG;
  return s;
}

TEST(SettingsTable, NamesAreFoundInEverySpellingAndPowerOnValuesAreInRange) {
  const auto &table = ocamera::settingTable();
  ASSERT_EQ(table.size(), 26u);
  for (const auto &s : table) {
    EXPECT_EQ(ocamera::findSetting(s.name), &s);
    for (const auto &f : s.fields) {
      EXPECT_EQ(ocamera::findSettingField(s, f.name), &f) << s.name << "." << f.name;
      EXPECT_LE(f.min, f.max) << s.name << "." << f.name;
    }
  }
  EXPECT_EQ(ocamera::findSetting("shutter_time"), ocamera::findSetting("shutterTime"));
  EXPECT_EQ(ocamera::findSetting("image-ram-picture-size"),
            ocamera::findSetting("imageRAMPictureSize"));
  EXPECT_EQ(ocamera::findSetting("exposure"), nullptr);
  // Every power-on value passes the table's own checks.
  const Settings on = ocamera::powerOnSettings();
  EXPECT_EQ(on.entries().size(), table.size());
  // The order that works with the camera: the clock first, the window before
  // the frame rate, the mode last.
  EXPECT_STREQ(table.front().name, "frequency");
  EXPECT_LT(ocamera::findSetting("window"), ocamera::findSetting("frameRate"));
  EXPECT_STREQ(table.back().name, "acquisitionMode");
}

TEST(SettingsTable, PowerOnFollowsTheSensor) {
  ocamera::SensorGeometry g;
  g.width = 752;
  g.height = 480;
  g.pattern = OCameraTools::BAYER_PATTERN_BGBG;
  const Settings s = ocamera::powerOnSettings(g);
  EXPECT_EQ(s.get("window")->value, values({0, 0, 752, 480}));
  EXPECT_EQ(s.get("imageRAMPictureSize")->value, values({752, 480}));
  EXPECT_EQ(s.get("bayer2X")->value, values({0, OCameraTools::BAYER_PATTERN_BGBG}));
  EXPECT_EQ(ocamera::powerOnSettings().get("window")->value, values({0, 0, 1280, 1024}));
}

TEST(SettingsJson, RoundTripKeepsEveryValueAndWritesStableSortedLines) {
  const Settings s = rich();
  const std::string text = s.toJson();
  Settings back;
  std::string why;
  ASSERT_TRUE(Settings::fromJson(text, &back, &why)) << why << "\n" << text;
  EXPECT_TRUE(ocamera::diffSettings(s, back).empty());
  EXPECT_EQ(back.entries().size(), s.entries().size());
  EXPECT_EQ(back.registers().at("READ_MODE").value, 0x300u);
  EXPECT_EQ(back.sensor.width, 752);
  EXPECT_EQ(back.get("whiteBalance")->value.bytes, s.get("whiteBalance")->value.bytes);
  EXPECT_EQ(back.get("gain")->origin, ocamera::SettingOrigin::Given);
  // The same document writes the same text, and what is read writes it again.
  EXPECT_EQ(back.toJson(), text);
  // Choices by name, one top-level entry per line, in sorted order.
  EXPECT_NE(text.find("\"acquisitionMode\": \"FREE_RUN\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"frameRate\": 12.5"), std::string::npos) << text;
  EXPECT_LT(text.find("\"acquisitionMode\""), text.find("\"bayer2X\""));
  EXPECT_LT(text.find("\"whiteBalance\""), text.find("\"window\""));
  EXPECT_LT(text.find("\"format\": 1"), text.find("\"frameRate\""));
}

TEST(SettingsJson, RefusalsNameTheKeyAndTheAllowedRange) {
  struct Case {
    const char *text;
    const char *says;
  } cases[] = {
      {R"({"format": 1, "exposure": 5})", "unknown setting \"exposure\""},
      {R"({"format": 1, "gain": 40})", "gain must be 1..32, not 40"},
      {R"({"format": 1, "gain": "high"})", "gain must be 1..32, not \"high\""},
      {R"({"format": 1, "gain": 1.5})", "gain must be 1..32, not 1.5"},
      {R"({"format": 1, "shutterTime": 0})", "shutterTime must be 1..1000000, not 0"},
      {R"({"format": 1, "acquisitionMode": "RUN"})",
       "acquisitionMode must be one of STOP, SINGLE_SHOT, FREE_RUN, SELECT_SHOT, FREE_RUN_SLAVE, "
       "not \"RUN\""},
      {R"({"format": 1, "illumination": "on"})", "illumination must be false or true, not \"on\""},
      {R"({"format": 1, "window": {"x0": 0, "y0": 0, "width": 0, "height": 10}})",
       "window.width must be 1..65535, not 0"},
      {R"({"format": 1, "window": {"x0": 0, "y0": 0, "width": 10}})",
       "window.height is missing (1..65535)"},
      {R"({"format": 1, "window": {"x0": 0, "y0": 0, "width": 10, "height": 10, "z": 1}})",
       "window has no field \"z\" (fields: x0, y0, width, height)"},
      {R"({"format": 1, "window": 5})", "window must be an object of x0, y0, width, height"},
      {R"({"format": 1, "whiteBalance": {"pattern": "GRGR", "table": "00ff"}})",
       "whiteBalance.table must be none or 768 bytes, not 2 bytes"},
      {R"({"format": 1, "whiteBalance": {"pattern": "GRGR", "table": "xyz"}})",
       "whiteBalance.table must be hexadecimal text"},
      {R"({"format": 1, "registers": {"ANALOG_GAIN": -1}})",
       "registers.ANALOG_GAIN must be 0..4294967295, not -1"},
      {R"({"format": 1, "sensor": {"width": 0, "height": 10, "pattern": "GRGR"}})",
       "sensor.width must be 1..65535, not 0"},
      {R"({"format": 2, "gain": 1})", "format must be 1, not 2"},
      {R"({"gain": 1})", "format is missing: must be 1"},
      {R"([1, 2])", "a settings document is a JSON object"},
      {R"({"format": 1, "gain": )", "not JSON"},
  };
  for (const Case &c : cases) {
    Settings out;
    out.set("gain", 7);
    std::string why;
    EXPECT_FALSE(Settings::fromJson(c.text, &out, &why)) << c.text;
    EXPECT_NE(why.find(c.says), std::string::npos) << c.text << "\n  said: " << why;
    EXPECT_EQ(out.get("gain")->value, values({7})) << "a refusal leaves the document untouched";
  }
}

TEST(SettingsDocument, SetRefusesOutOfRangeAndKeepsTheEntryBefore) {
  Settings s;
  std::string why;
  ASSERT_TRUE(s.set("gain", 2));
  EXPECT_FALSE(s.set("gain", 33, ocamera::SettingOrigin::Given, &why));
  EXPECT_EQ(why, "gain must be 1..32, not 33");
  EXPECT_EQ(s.get("gain")->value, values({2}));
  EXPECT_FALSE(s.set("window", 5, ocamera::SettingOrigin::Given, &why));
  EXPECT_EQ(why, "window takes 4 values, not 1");
  EXPECT_FALSE(s.set("frameRate", 0, ocamera::SettingOrigin::Given, &why));
  EXPECT_EQ(why, "frameRate must be 0.001..1000, not 0");
  SettingValue laser = ocamera::powerOnSettings().get("laserProfiling")->value;
  laser.bytes = {1, 2, 3};
  EXPECT_FALSE(s.set("laserProfiling", laser, ocamera::SettingOrigin::Given, &why));
  EXPECT_EQ(why, "laserProfiling.reference must be none or width (1280) bytes, not 3 bytes");
  EXPECT_FALSE(s.set("nonsense", 1, ocamera::SettingOrigin::Given, &why));
  EXPECT_EQ(why, "unknown setting \"nonsense\"");
}

TEST(SettingsDocument, DiffAndValueTextSayWhatDiffers) {
  Settings a = ocamera::powerOnSettings();
  Settings b = a;
  b.set("gain", 4);
  b.erase("median");
  b.setRegister("READ_MODE", 1);
  b.set("window", values({0, 0, 640, 480}));
  const auto d = ocamera::diffSettings(a, b);
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[0].name, "gain");
  EXPECT_EQ(d[0].a, "1");
  EXPECT_EQ(d[0].b, "4");
  EXPECT_EQ(d[1].name, "median");
  EXPECT_TRUE(d[1].inA);
  EXPECT_FALSE(d[1].inB);
  EXPECT_EQ(d[2].name, "registers.READ_MODE");
  EXPECT_EQ(d[3].name, "window");
  EXPECT_EQ(d[3].b, "x0=0 y0=0 width=640 height=480 px");
  const auto &table = ocamera::settingTable();
  EXPECT_EQ(ocamera::settingValueText(*ocamera::findSetting("shutterTime"), values({10000})),
            "10000 us");
  EXPECT_EQ(ocamera::settingValueText(*ocamera::findSetting("acquisitionMode"), values({3})),
            "FREE_RUN");
  EXPECT_EQ(ocamera::settingValueText(table.back(), values({1})), "STOP");
  // Merging takes the other's entries over.
  a.merge(b);
  EXPECT_EQ(a.get("gain")->value, values({4}));
  EXPECT_TRUE(a.get("median") != nullptr);
}

TEST(SensorGeometry, ParsedFromTheEndOfADescription) {
  auto g = ocamera::parseSensorGeometry("simulated camera [sensor 752x480 BGBG]");
  EXPECT_TRUE(g.known());
  EXPECT_EQ(g.width, 752);
  EXPECT_EQ(g.height, 480);
  EXPECT_EQ(g.pattern, OCameraTools::BAYER_PATTERN_BGBG);
  for (const char *text :
       {"", "simulated camera", "[sensor 752x480 BGBG] trailing", "[sensor 752x480 XXXX]",
        "[sensor x480 GRGR]", "[sensor 0x480 GRGR]", "[sensor 752x480GRGR]",
        "[sensor 1234567x480 GRGR]", "[sensor -1x480 GRGR]", "[sensor 752x480 GRGR"})
    EXPECT_FALSE(ocamera::parseSensorGeometry(text).known()) << text;
}

}  // namespace

namespace {

// The sample profile stays readable and in the form the library writes.
TEST(SettingsJson, TheSampleProfileIsReadAndWrittenBackAsItIs) {
  const std::string path = std::string(OCAMERA_SOURCE_DIR) + "/examples/profile.json";
  Settings sample;
  std::string why;
  ASSERT_TRUE(Settings::readFile(path, &sample, &why)) << why;
  std::FILE *f = std::fopen(path.c_str(), "rb");
  ASSERT_TRUE(f);
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  std::fclose(f);
  EXPECT_EQ(sample.toJson(), text);
  EXPECT_EQ(sample.get("window")->value, values({320, 272, 640, 480}));
}

}  // namespace
