// ocamerasrc and the camera's settings: the settings-file property made at
// start and again after the camera restarts, a file that is refused, and a
// sensor other than the usual one deciding the window and the layout.
#include <glib/gstdio.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "gst_pipeline.h"
#include "sim/simulator.h"

namespace gst_test {
namespace {

std::unique_ptr<ocamsim::Simulator> startCamera(int port = 0, int width = 1280, int height = 1024,
                                                int pattern = 1) {
  ocamsim::Options o;
  o.ioPort = -1;
  o.cameraPort = port;
  o.sensorWidth = width;
  o.sensorHeight = height;
  o.bayerPattern = pattern;
  auto sim = std::make_unique<ocamsim::Simulator>(o);
  sim->start();
  return sim;
}

// A settings file in a scratch directory, removed with it.
class SettingsFile {
 public:
  explicit SettingsFile(const std::string &text) {
    gchar *dir = g_dir_make_tmp("ocamerasrc-XXXXXX", nullptr);
    dir_ = dir;
    g_free(dir);
    path_ = dir_ + "/camera.json";
    std::FILE *f = std::fopen(path_.c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  ~SettingsFile() {
    g_remove(path_.c_str());
    g_rmdir(dir_.c_str());
  }
  const std::string &path() const { return path_; }

 private:
  std::string dir_, path_;
};

TEST(OcameraSrcSettings, FileIsMadeAtStartAndAfterARestart) {
  auto sim = startCamera();
  const int port = sim->cameraPort();
  SettingsFile file(
      "{\"format\": 1, \"gain\": 7, \"shutterTime\": 2500, \"window\": {\"x0\": 32, \"y0\": 16, "
      "\"width\": 96, \"height\": 64}}\n");
  Pipeline p("ocamerasrc name=src address=" + sim->cameraAddress() +
             " settings-file=" + file.path() + " ! appsink name=sink sync=false");
  ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  Pulled first;
  ASSERT_TRUE(p.pull(&first));
  // The file's window stands for the window properties not set.
  EXPECT_EQ(first.width, 96);
  EXPECT_EQ(first.height, 64);
  EXPECT_EQ(sim->lastSetting("scam:setCameraWindow"), "32 16 96 64");
  EXPECT_EQ(sim->gain(), 7);
  EXPECT_EQ(sim->shutterTime(), 2500);

  // A fresh camera on the same port starts at its power-on settings; the
  // element makes the file's again.
  sim.reset();
  sim = startCamera(port);
  EXPECT_EQ(sim->gain(), 1);
  GstMessage *back = p.waitMessage(GST_MESSAGE_INFO, 20000);
  ASSERT_NE(back, nullptr) << "no message that the camera is back";
  gst_message_unref(back);
  ASSERT_TRUE(sim->waitForCount("scam:getSingleImage", 1, 10000));
  EXPECT_EQ(sim->gain(), 7);
  EXPECT_EQ(sim->shutterTime(), 2500);
}

TEST(OcameraSrcSettings, RefusedFileFailsTheStartBeforeAnyRequest) {
  auto sim = startCamera();
  SettingsFile file("{\"format\": 1, \"gain\": 99}\n");
  Pipeline p("ocamerasrc name=src address=" + sim->cameraAddress() +
             " settings-file=" + file.path() + " ! fakesink");
  EXPECT_EQ(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  GstMessage *error = p.waitMessage(GST_MESSAGE_ERROR, 5000);
  ASSERT_NE(error, nullptr);
  gchar *debug = nullptr;
  gst_message_parse_error(error, nullptr, &debug);
  EXPECT_NE(std::string(debug ? debug : "").find("1..32"), std::string::npos) << debug;
  g_free(debug);
  gst_message_unref(error);
  EXPECT_EQ(sim->log().size(), 0u);
}

// 752 x 480 BGBG, as the camera describes it: the caps, the window set and
// the RGB conversion follow it without a property naming it.
TEST(OcameraSrcSettings, DescribedSensorDecidesWindowAndLayout) {
  auto sim = startCamera(0, 752, 480, 2);
  {
    Pipeline p("ocamerasrc name=src address=" + sim->cameraAddress() +
               " num-buffers=2 ! appsink name=sink sync=false");
    ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    Pulled raw;
    ASSERT_TRUE(p.pull(&raw));
    EXPECT_EQ(raw.format, "bggr");
    EXPECT_EQ(raw.width, 752);
    EXPECT_EQ(raw.height, 480);
    EXPECT_EQ(raw.bytes.size(), 752u * 480u);
    EXPECT_EQ(sim->lastSetting("scam:setCameraWindow"), "0 0 752 480");
  }
  Pipeline rgb("ocamerasrc name=src address=" + sim->cameraAddress() +
               " num-buffers=2 ! video/x-raw,format=RGB ! appsink name=sink sync=false");
  ASSERT_NE(rgb.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  Pulled converted;
  ASSERT_TRUE(rgb.pull(&converted));
  EXPECT_EQ(converted.width, 752);
  EXPECT_EQ(converted.bytes.size(), 752u * 480u * 3u);
}

}  // namespace
}  // namespace gst_test
