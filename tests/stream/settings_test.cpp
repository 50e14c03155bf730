// A stream's settings document: made at start and after every recovery,
// updated by the stream's setters; and the default window and pattern from
// the camera's sensor.
#include <ocamera/settings.h>

#include <algorithm>

#include "stream_fixture.h"

namespace stream_test {
namespace {

ocamera::SettingValue values(std::initializer_list<double> numbers) {
  ocamera::SettingValue v;
  v.numbers = numbers;
  return v;
}

ocamera::Settings profile() {
  ocamera::Settings p;
  EXPECT_TRUE(p.set("gain", 5));
  EXPECT_TRUE(p.set("median", 1));
  EXPECT_TRUE(p.set("illuminationMode", OCamera::ILL_MODE_PULSED));
  EXPECT_TRUE(p.set("bayer2X", values({OCamera::BAYER_OUTPUT_G, 3})));
  p.setRegister("READ_MODE", 0x0301);
  return p;
}

// The profile's entries as the simulated camera keeps them now ("" when all
// are there).
std::string missing(const ocamsim::Simulator &sim, const ocamera::Settings &p) {
  const ocamera::Settings model = sim.settings();
  std::string out;
  for (const auto &e : p.entries()) {
    const ocamera::Settings::Entry *have = model.get(e.first);
    if (!have || have->value != e.second.value) out += e.first + " ";
  }
  for (const auto &r : p.registers())
    if (model.registers().at(r.first).value != r.second.value) out += r.first + " ";
  return out;
}

TEST(StreamSettings, ProfileIsMadeAtStartAndAgainOnACameraRestartedOnItsPort) {
  auto sim = startSim();
  const int port = sim->cameraPort();
  StreamOptions o = smallStream();
  o.settings = profile();
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  EventLog events;
  events.attach(*stream);
  EXPECT_EQ(missing(*sim, o.settings), "bayer2X gain illuminationMode median READ_MODE ");
  std::string error;
  ASSERT_EQ(stream->start(&error), 0) << error;
  EXPECT_EQ(error, "");
  EXPECT_EQ(missing(*sim, o.settings), "");
  // Made after the window and before the mode.
  std::vector<std::string> order;
  for (const auto &e : sim->log()) order.push_back(e.operation);
  auto at = [&](const char *op) {
    return std::find(order.begin(), order.end(), op) - order.begin();
  };
  EXPECT_LT(at("scam:setCameraWindow"), at("scam:setSensorRegister"));
  EXPECT_LT(at("scam:setBayer2X"), at("scam:setAcquisitionMode"));

  // The stream's setters update the document.
  ASSERT_EQ(stream->setGain(9), 0);
  ocamera::Settings expected = o.settings;
  expected.set("gain", 9);
  EXPECT_EQ(stream->options().settings.get("gain")->value, values({9}));
  EXPECT_EQ(stream->options().settings.get("window")->value, values({0, 0, kWidth, kHeight}));

  sim->stop();
  ASSERT_TRUE(events.waitFor(StreamEvent::Lost, 1, 10000)) << events.details();
  sim.reset();
  sim = startSim(port);
  ASSERT_TRUE(events.waitFor(StreamEvent::Recovered, 1, 10000)) << events.details();
  EXPECT_EQ(missing(*sim, expected), "");
  Frame frame;
  EXPECT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  stream->stop();
}

TEST(StreamSettings, AProfileEntryTheCameraRefusesIsDroppedAndNamed) {
  auto sim = startSim();
  StreamOptions o = smallStream();
  o.settings = profile();
  // Inside the table, outside this camera's 64 x 48 sensor.
  o.settings.set("triggerWindow", values({60, 0, 10, 10, 0, 255}));
  auto stream = makeStream(*sim, o);
  ASSERT_TRUE(stream);
  std::string error;
  ASSERT_EQ(stream->start(&error), 0) << error;
  EXPECT_EQ(error, "settings the camera refused: triggerWindow (refused with -15)");
  EXPECT_EQ(missing(*sim, profile()), "");
  EXPECT_EQ(stream->options().settings.get("triggerWindow"), nullptr);
  stream->stop();
}

TEST(StreamSettings, DefaultWindowAndPatternFollowTheSensor) {
  ocamsim::Options so = simOptions();
  so.sensorWidth = 40;
  so.sensorHeight = 30;
  so.bayerPattern = OCameraTools::BAYER_PATTERN_BGBG;
  ocamsim::Simulator sim(so);
  sim.start();
  StreamOptions o;  // window and pattern left to the sensor
  o.retryInitialMs = 20;
  auto stream = makeStream(sim, o);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->options().width, 40);
  EXPECT_EQ(stream->options().height, 30);
  EXPECT_EQ(stream->options().pattern, OCameraTools::BAYER_PATTERN_BGBG);
  ASSERT_EQ(stream->start(), 0);
  Frame frame;
  ASSERT_EQ(stream->next(frame, 5000), FetchResult::Frame);
  EXPECT_EQ(frame.size(), 40u * 30u);
  EXPECT_EQ(frame.pattern(), OCameraTools::BAYER_PATTERN_BGBG);
  stream->stop();

  // A profile's window comes before the sensor's.
  o.settings.set("window", values({4, 2, 16, 8}));
  auto windowed = makeStream(sim, o);
  ASSERT_TRUE(windowed);
  EXPECT_EQ(windowed->options().x0, 4);
  EXPECT_EQ(windowed->options().width, 16);
  EXPECT_EQ(windowed->options().height, 8);
  // Explicit fields come before both.
  o.width = 8;
  o.height = 6;
  auto small = makeStream(sim, o);
  ASSERT_TRUE(small);
  EXPECT_EQ(small->options().width, 8);
  EXPECT_EQ(small->setCameraWindow(0, 0, 0, 6), -1);  // 0 is for create() alone
}

TEST(StreamSettings, AProfilesSensorServesACameraThatDoesNotTell) {
  ocamsim::Options so = simOptions();
  ocamsim::DeviceEntry d;
  d.id = 1;
  d.type = "ONetCamera";
  d.description = "a camera";
  so.devices = {d};
  ocamsim::Simulator sim(so);
  sim.start();
  StreamOptions o;
  o.settings.sensor.width = kWidth;
  o.settings.sensor.height = kHeight;
  o.settings.sensor.pattern = OCameraTools::BAYER_PATTERN_RGRG;
  auto stream = makeStream(sim, o);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->options().width, kWidth);
  EXPECT_EQ(stream->options().pattern, OCameraTools::BAYER_PATTERN_RGRG);
  // Neither tells: the sensor is taken to be 1280 x 1024 GRGR.
  auto plain = makeStream(sim, StreamOptions());
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->options().width, 1280);
  EXPECT_EQ(plain->options().pattern, OCameraTools::BAYER_PATTERN_GRGR);
}

}  // namespace
}  // namespace stream_test
