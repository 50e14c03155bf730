// ocamerasrc against cameras that misbehave: one that never answers, one
// that freezes while playing, one that refuses a live change, one that fails
// again right after each recovery; and live changes across a renegotiation.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "common/loopback_port.h"
#include "gst_pipeline.h"
#include "sim/simulator.h"

namespace gst_test {
namespace {

std::unique_ptr<ocamsim::Simulator> startSim() {
  ocamsim::Options o;
  o.ioPort = -1;
  auto sim = std::make_unique<ocamsim::Simulator>(o);
  sim->start();
  return sim;
}

// The text and debug text of a warning, error or info message.
std::string describe(GstMessage *m) {
  GError *error = nullptr;
  gchar *debug = nullptr;
  switch (GST_MESSAGE_TYPE(m)) {
    case GST_MESSAGE_WARNING:
      gst_message_parse_warning(m, &error, &debug);
      break;
    case GST_MESSAGE_ERROR:
      gst_message_parse_error(m, &error, &debug);
      break;
    default:
      gst_message_parse_info(m, &error, &debug);
      break;
  }
  std::string text = std::string(error ? error->message : "") + " | " + GST_STR_NULL(debug);
  if (error) g_error_free(error);
  g_free(debug);
  return text;
}

// Shutter and gain set while playing reach the camera, survive a
// renegotiation that rebuilds the stream, and a value the camera refuses is
// reported in words.
TEST(OcameraSrcFaults, LiveChangesSurviveRenegotiation) {
  auto sim = startSim();
  Pipeline p("ocamerasrc name=src address=" + sim->cameraAddress() +
             " width=64 height=48 frame-rate=50 shutter=1000 gain=2 ! capsfilter name=f "
             "caps=video/x-bayer ! appsink name=sink sync=false");
  ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  Pulled frame;
  ASSERT_TRUE(p.pull(&frame));
  GstElement *src = p.element("src");

  sim->clearLog();
  g_object_set(src, "shutter", 2000, "gain", 5, nullptr);
  ASSERT_TRUE(sim->waitForCount("scam:setGain", 1, 10000));
  EXPECT_EQ(sim->lastSetting("scam:setShutterTime"), "2000");
  EXPECT_EQ(sim->lastSetting("scam:setGain"), "5");

  // RGB downstream: the element makes a new stream for the new caps.
  sim->clearLog();
  GstCaps *rgb = gst_caps_from_string("video/x-raw,format=RGB");
  g_object_set(p.element("f"), "caps", rgb, nullptr);
  gst_caps_unref(rgb);
  bool sawRgb = false;
  for (int i = 0; i < 200 && !sawRgb && p.pull(&frame); ++i) sawRgb = frame.media == "video/x-raw";
  ASSERT_TRUE(sawRgb);
  EXPECT_GE(sim->count("scam:setShutterTime"), 1u);
  EXPECT_EQ(sim->lastSetting("scam:setShutterTime"), "2000");
  EXPECT_EQ(sim->lastSetting("scam:setGain"), "5");

  ocamsim::Fault refuse{ocamsim::FaultKind::Status, "scam:setGain"};
  refuse.status = -15;
  refuse.count = 1;
  sim->inject(refuse);
  g_object_set(src, "gain", 7, nullptr);
  GstMessage *warning = p.waitMessage(GST_MESSAGE_WARNING, 10000);
  ASSERT_NE(warning, nullptr) << "a refused gain went unreported";
  const std::string text = describe(warning);
  gst_message_unref(warning);
  EXPECT_NE(text.find("gain 7"), std::string::npos) << text;
  EXPECT_NE(text.find("the camera refused the value (status -15)"), std::string::npos) << text;
  EXPECT_EQ(p.waitMessage(GST_MESSAGE_ERROR, 0), nullptr);
}

// A camera that fails again right after every recovery: the element warns
// once per few seconds, counting the losses in between, instead of once per
// loss.
TEST(OcameraSrcFaults, RepeatedLossesAreRateLimited) {
  auto sim = startSim();
  // Every frame is short: lost after two, again right after each recovery.
  ocamsim::Fault shortFrames{ocamsim::FaultKind::TruncateData, "scam:getSingleImage"};
  shortFrames.bytes = 16;
  sim->inject(shortFrames);
  Pipeline p("ocamerasrc address=" + sim->cameraAddress() +
             " width=64 height=48 ! appsink name=sink sync=false");
  ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);

  GstMessage *first = p.waitMessage(GST_MESSAGE_WARNING, 10000);
  ASSERT_NE(first, nullptr);
  gst_message_unref(first);
  // Until the next warning is due: several losses, no more warnings, at
  // most one message of a recovery.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
  int warnings = 0, infos = 0;
  while (GstMessage *m =
             p.waitMessage(static_cast<GstMessageType>(GST_MESSAGE_WARNING | GST_MESSAGE_INFO),
                           static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                until - std::chrono::steady_clock::now())
                                                .count()))) {
    (GST_MESSAGE_TYPE(m) == GST_MESSAGE_WARNING ? warnings : infos)++;
    gst_message_unref(m);
    if (std::chrono::steady_clock::now() >= until) break;
  }
  EXPECT_GE(sim->count("rdev:open"), 3u) << "the camera was not lost repeatedly";
  EXPECT_EQ(warnings, 0);
  EXPECT_LE(infos, 1);

  // The next warning counts the losses left out.
  GstMessage *next = p.waitMessage(GST_MESSAGE_WARNING, 10000);
  ASSERT_NE(next, nullptr);
  const std::string text = describe(next);
  gst_message_unref(next);
  EXPECT_EQ(text.find("(0 more losses"), std::string::npos) << text;
  EXPECT_NE(text.find("more losses since the last message"), std::string::npos) << text;
  sim->clearFaults();
}

}  // namespace
}  // namespace gst_test
