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

// Runs fn and returns the milliseconds it took. A call still running after
// limitMs ends the test program: a hang would otherwise hold the whole run.
long long within(int limitMs, const char *what, const std::function<void()> &fn) {
  const auto t0 = std::chrono::steady_clock::now();
  std::future<void> done = std::async(std::launch::async, fn);
  if (done.wait_for(std::chrono::milliseconds(limitMs)) != std::future_status::ready) {
    std::fprintf(stderr, "%s has not returned after %d ms\n", what, limitMs);
    std::_Exit(1);
  }
  const auto took = std::chrono::steady_clock::now() - t0;
  return std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
}

// The text and debug text of a warning, error or info message, which is
// released; "" for none.
std::string take(GstMessage *m) {
  if (!m) return "";
  GError *error = nullptr;
  gchar *debug = nullptr;
  gst_structure_get(gst_message_get_structure(m), "gerror", G_TYPE_ERROR, &error, "debug",
                    G_TYPE_STRING, &debug, nullptr);
  std::string text = std::string(error ? error->message : "") + " | " + GST_STR_NULL(debug);
  if (error) g_error_free(error);
  g_free(debug);
  gst_message_unref(m);
  return text;
}

// The timeout bounds every wait on a camera that does not answer: creation
// against a peer that accepts and never answers fails the state change; a
// camera that freezes while playing is reported lost, and neither a live
// change, nor stopping, nor freeing the element, nor a new start waits on it.
TEST(OcameraSrcFaults, FrozenCameraHoldsNothing) {
  // Bounds: the element's promise (about one timeout of 500 ms per step)
  // plus room for a loaded machine.
  const int kStep = 4000;
  {
    ocamera_test::LoopbackPort silent(16);
    Pipeline p("ocamerasrc timeout=500 address=" + silent.address() + " ! fakesink");
    GstStateChangeReturn rc = GST_STATE_CHANGE_SUCCESS;
    const long long took =
        within(20000, "PLAYING on a silent peer", [&] { rc = p.setState(GST_STATE_PLAYING); });
    EXPECT_EQ(rc, GST_STATE_CHANGE_FAILURE);
    EXPECT_LT(took, kStep);
    const std::string error = take(p.waitMessage(GST_MESSAGE_ERROR, 0));
    EXPECT_NE(error.find("no answer within 500 ms"), std::string::npos) << error;
  }

  auto sim = startSim();
  auto p = std::make_unique<Pipeline>(
      "ocamerasrc name=src timeout=500 address=" + sim->cameraAddress() +
      " width=64 height=48 frame-rate=50 ! appsink name=sink sync=false");
  ASSERT_NE(p->setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  Pulled first;
  ASSERT_TRUE(p->pull(&first));

  ocamsim::Fault freeze{ocamsim::FaultKind::Delay, ""};
  freeze.delayMs = 120000;
  sim->inject(freeze);
  const std::string warning = take(p->waitMessage(GST_MESSAGE_WARNING, 15000));
  EXPECT_NE(warning.find("Lost the camera"), std::string::npos) << warning;

  GstElement *src = p->element("src");
  EXPECT_LT(
      within(20000, "g_object_set(shutter)", [&] { g_object_set(src, "shutter", 3000, nullptr); }),
      1000);
  EXPECT_LT(within(20000, "PLAYING to NULL", [&] { p->setState(GST_STATE_NULL); }), kStep);
  EXPECT_LT(within(20000, "freeing the pipeline", [&] { p.reset(); }), kStep);

  // Started anew with the camera still frozen: the state change fails in time.
  p = std::make_unique<Pipeline>("ocamerasrc timeout=500 address=" + sim->cameraAddress() +
                                 " ! fakesink");
  GstStateChangeReturn rc = GST_STATE_CHANGE_SUCCESS;
  EXPECT_LT(within(20000, "NULL to PLAYING on a frozen camera",
                   [&] { rc = p->setState(GST_STATE_PLAYING); }),
            kStep);
  EXPECT_EQ(rc, GST_STATE_CHANGE_FAILURE);
  sim->clearFaults();
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
  const std::string text = take(p.waitMessage(GST_MESSAGE_WARNING, 10000));
  EXPECT_NE(text.find("gain 7"), std::string::npos) << text;
  EXPECT_NE(text.find("the camera refused the value (status -15)"), std::string::npos) << text;
  EXPECT_EQ(p.waitMessage(GST_MESSAGE_ERROR, 0), nullptr);
}

// A camera that fails again right after every recovery: the element warns
// once per few seconds, counting the losses in between, instead of once per
// loss; with a retry limit it errors out once the stream gives up.
TEST(OcameraSrcFaults, RepeatedLossesAreRateLimited) {
  auto sim = startSim();
  // Every frame is short: lost after two, again right after each recovery.
  ocamsim::Fault shortFrames{ocamsim::FaultKind::TruncateData, "scam:getSingleImage"};
  shortFrames.bytes = 16;
  sim->inject(shortFrames);
  Pipeline p("ocamerasrc address=" + sim->cameraAddress() +
             " width=64 height=48 ! appsink name=sink sync=false");
  ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);

  ASSERT_NE(take(p.waitMessage(GST_MESSAGE_WARNING, 10000)), "");
  // For 2.5 s, before the next warning is due: several losses, no more
  // warnings, at most one message of a recovery.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
  int warnings = 0, infos = 0;
  const auto kinds = static_cast<GstMessageType>(GST_MESSAGE_WARNING | GST_MESSAGE_INFO);
  for (auto now = std::chrono::steady_clock::now(); now < end;
       now = std::chrono::steady_clock::now()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
    GstMessage *m = p.waitMessage(kinds, static_cast<int>(left.count()) + 1);
    if (!m) break;
    (GST_MESSAGE_TYPE(m) == GST_MESSAGE_WARNING ? warnings : infos)++;
    gst_message_unref(m);
  }
  EXPECT_GE(sim->count("rdev:open"), 3u) << "the camera was not lost repeatedly";
  EXPECT_EQ(warnings, 0);
  EXPECT_LE(infos, 1);
  // The next warning counts the losses left out.
  const std::string next = take(p.waitMessage(GST_MESSAGE_WARNING, 10000));
  EXPECT_NE(next.find("more losses since the last message"), std::string::npos) << next;

  // With a retry limit the stream gives up, and the pipeline ends in an error.
  Pipeline limited("ocamerasrc address=" + sim->cameraAddress() +
                   " width=64 height=48 retry-limit=2 ! appsink name=sink sync=false");
  ASSERT_NE(limited.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  const std::string error = take(limited.waitMessage(GST_MESSAGE_ERROR, 15000));
  EXPECT_NE(error.find("could not reconnect"), std::string::npos) << error;
  sim->clearFaults();
}

}  // namespace
}  // namespace gst_test
