// ocamerasrc against the in-process simulated camera: caps and sizes, the RGB
// conversion, PNG files, recovery after the camera restarts, and state
// changes under load.
#include <glib/gstdio.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <ocamera/tools.h>
#include <png.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "gst_pipeline.h"
#include "sim/simulator.h"

namespace gst_test {
namespace {

std::unique_ptr<ocamsim::Simulator> startSim(int pattern = 1, int port = 0) {
  ocamsim::Options o;
  o.ioPort = -1;
  o.cameraPort = port;
  o.bayerPattern = pattern;
  auto sim = std::make_unique<ocamsim::Simulator>(o);
  sim->start();
  return sim;
}

std::string source(const ocamsim::Simulator &sim, const std::string &more) {
  return "ocamerasrc name=src address=" + sim.cameraAddress() + " " + more;
}

const char *kFormats[] = {"", "grbg", "bggr", "rggb", "gbrg"};

// Raw buffers: the caps carry the sensor's layout and the window, every
// buffer holds one frame of the window, numbered by the camera, in time order;
// num-buffers ends the stream with EOS.
TEST(OcameraSrc, RawBuffersCarryLayoutWindowAndOrder) {
  for (int pattern = 1; pattern <= 4; ++pattern) {
    SCOPED_TRACE(kFormats[pattern]);
    auto sim = startSim(pattern);
    Pipeline p(source(*sim, std::string("pattern=") + kFormats[pattern] +
                                " x0=16 y0=8 width=320 height=240 frame-rate=50 num-buffers=10") +
               " ! appsink name=sink sync=false");
    ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    std::vector<Pulled> got = p.pullAll(11);
    ASSERT_EQ(got.size(), 10u);
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].media, "video/x-bayer");
      EXPECT_EQ(got[i].format, kFormats[pattern]);
      EXPECT_EQ(got[i].width, 320);
      EXPECT_EQ(got[i].height, 240);
      EXPECT_EQ(got[i].bytes.size(), 320u * 240u);
      EXPECT_TRUE(GST_CLOCK_TIME_IS_VALID(got[i].pts));
      if (i > 0) {
        EXPECT_GT(got[i].offset, got[i - 1].offset);
        EXPECT_GT(got[i].pts, got[i - 1].pts);
      }
    }
    // The window and the rate went to the camera.
    EXPECT_EQ(sim->lastSetting("scam:setCameraWindow"), "16 8 320 240");
    EXPECT_EQ(sim->lastSetting("scam:setFrameRateFloat"), "50");
  }
}

// Buffers wrap the stream's frames: downstream may keep far more of them than
// the stream has buffers without stalling the camera, and each stays valid
// and unchanged after the pipeline, its element and the stream are gone.
TEST(OcameraSrc, HeldBuffersNeitherStallNorOutliveTheirData) {
  auto sim = startSim();
  std::vector<GstSample *> held;
  std::vector<std::vector<std::uint8_t>> copies;
  {
    Pipeline p(source(*sim, "width=64 height=48 frame-rate=200") +
               " ! appsink name=sink sync=false");
    ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    for (int i = 0; i < 30; ++i) {
      GstSample *sample =
          gst_app_sink_try_pull_sample(GST_APP_SINK(p.element("sink")), 10 * GST_SECOND);
      ASSERT_NE(sample, nullptr) << "stalled after " << i << " held buffers";
      GstMapInfo map;
      ASSERT_TRUE(gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ));
      copies.emplace_back(map.data, map.data + map.size);
      gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
      if (i > 0) {
        EXPECT_GT(GST_BUFFER_OFFSET(gst_sample_get_buffer(sample)),
                  GST_BUFFER_OFFSET(gst_sample_get_buffer(held.back())));
      }
      held.push_back(sample);
    }
  }
  sim.reset();
  for (std::size_t i = 0; i < held.size(); ++i) {
    GstMapInfo map;
    ASSERT_TRUE(gst_buffer_map(gst_sample_get_buffer(held[i]), &map, GST_MAP_READ));
    EXPECT_EQ(std::vector<std::uint8_t>(map.data, map.data + map.size), copies[i]) << i;
    gst_buffer_unmap(gst_sample_get_buffer(held[i]), &map);
    gst_sample_unref(held[i]);
  }
}

// Frames of one sequence number are the same picture on two fresh cameras,
// so the RGB frames of one run must equal the library's conversion (with the
// same white balance) of the raw frames of the other.
TEST(OcameraSrc, RgbEqualsTheLibraryConversion) {
  const int w = 160, h = 120;
  for (int pattern : {1, 2}) {
    SCOPED_TRACE(kFormats[pattern]);
    const std::string settings = std::string("pattern=") + kFormats[pattern] +
                                 " width=160 height=120 frame-rate=20 white-balance=120,100,85 "
                                 "num-buffers=6";
    std::map<guint64, std::vector<std::uint8_t>> raw;
    {
      auto sim = startSim(pattern);
      Pipeline p(source(*sim, settings) + " ! appsink name=sink sync=false");
      ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
      for (Pulled &f : p.pullAll(6)) raw[f.offset] = std::move(f.bytes);
    }
    auto sim = startSim(pattern);
    Pipeline p(source(*sim, settings) + " ! video/x-raw,format=RGB ! appsink name=sink sync=false");
    ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    std::vector<Pulled> rgb = p.pullAll(6);
    ASSERT_EQ(rgb.size(), 6u);
    int compared = 0;
    for (Pulled &f : rgb) {
      EXPECT_EQ(f.media, "video/x-raw");
      EXPECT_EQ(f.format, "RGB");
      ASSERT_EQ(f.bytes.size(), 3u * w * h);
      auto it = raw.find(f.offset);
      if (it == raw.end()) continue;
      std::vector<std::uint8_t> expected(3u * w * h);
      OCameraTools::Bayer2RGBWhiteBalance(it->second.data(), expected.data(), w, h, 120, 100, 85,
                                          static_cast<OCameraTools::eBayerPattern>(pattern));
      EXPECT_EQ(f.bytes, expected) << "frame " << f.offset;
      ++compared;
    }
    EXPECT_GT(compared, 0) << "no sequence number in both runs";
  }
}

// Reads a PNG file: its size, whether it has colour, and whether any pixel
// is not grey.
struct PngInfo {
  bool ok = false;
  png_uint_32 width = 0, height = 0;
  bool colourType = false, colourfulPixel = false;
};

PngInfo readPng(const std::string &path) {
  PngInfo info;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return info;
  info.width = image.width;
  info.height = image.height;
  info.colourType = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return info;
  for (std::size_t i = 0; i + 2 < pixels.size() && !info.colourfulPixel; i += 3)
    info.colourfulPixel = pixels[i] != pixels[i + 1] || pixels[i + 1] != pixels[i + 2];
  info.ok = true;
  return info;
}

TEST(OcameraSrc, PngFilesThroughVideoconvertDecodeInColour) {
  auto sim = startSim();
  gchar *dir = g_dir_make_tmp("ocamerasrc-png-XXXXXX", nullptr);
  ASSERT_NE(dir, nullptr);
  const std::string location = std::string(dir) + "/frame-%02d.png";
  {
    Pipeline p(source(*sim, "width=320 height=240 num-buffers=3") +
               " ! videoconvert ! pngenc ! multifilesink location=" + location);
    ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    p.waitEos();
  }
  for (int i = 0; i < 4; ++i) {
    const std::string path = std::string(dir) + "/frame-0" + std::to_string(i) + ".png";
    PngInfo png = readPng(path);
    if (i == 3) {
      EXPECT_FALSE(png.ok) << "a fourth file after num-buffers=3";
      break;
    }
    EXPECT_TRUE(png.ok) << path;
    EXPECT_EQ(png.width, 320u);
    EXPECT_EQ(png.height, 240u);
    EXPECT_TRUE(png.colourType);
    EXPECT_TRUE(png.colourfulPixel);
    std::remove(path.c_str());
  }
  g_rmdir(dir);
  g_free(dir);
}

// The RTP pipelines of docs/gstreamer.md over loopback: JPEG frames sent by one pipeline
// arrive as pictures of the window's size in the other.
TEST(OcameraSrc, RtpSenderAndReceiverOverLoopback) {
  auto sim = startSim();
  Pipeline rx(
      "udpsrc name=rx address=127.0.0.1 port=0 caps=\"application/x-rtp,media=video,"
      "encoding-name=JPEG,payload=26,clock-rate=90000\" ! rtpjpegdepay ! jpegdec ! "
      "appsink name=sink sync=false");
  ASSERT_NE(rx.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  int port = 0;
  g_object_get(rx.element("rx"), "port", &port, nullptr);
  ASSERT_GT(port, 0);
  Pipeline tx(source(*sim, "width=320 height=240 frame-rate=30") +
              " ! videoconvert ! video/x-raw,format=I420 ! jpegenc ! rtpjpegpay ! udpsink "
              "host=127.0.0.1 port=" +
              std::to_string(port));
  ASSERT_NE(tx.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  std::vector<Pulled> got = rx.pullAll(3);
  ASSERT_EQ(got.size(), 3u);
  for (const Pulled &f : got) {
    EXPECT_EQ(f.width, 320);
    EXPECT_EQ(f.height, 240);
  }
}

// Counts GAP events reaching the sink, and lets the test wait for the first.
struct GapCounter {
  std::mutex m;
  std::condition_variable cv;
  int gaps = 0;
  static GstPadProbeReturn probe(GstPad *, GstPadProbeInfo *info, gpointer self) {
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_GAP) {
      auto *c = static_cast<GapCounter *>(self);
      std::lock_guard<std::mutex> lock(c->m);
      ++c->gaps;
      c->cv.notify_all();
    }
    return GST_PAD_PROBE_OK;
  }
  bool waitFirst(int ms) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return gaps > 0; });
  }
};

// The camera goes away and comes back on the same port: the element warns,
// sends GAP events while it is gone, says when it is back, and the pipeline
// carries on with a discontinuous buffer later in time.
TEST(OcameraSrc, PipelineSurvivesACameraRestart) {
  auto sim = startSim();
  const int port = sim->cameraPort();
  Pipeline p(source(*sim, "width=64 height=48 frame-rate=50") + " ! appsink name=sink sync=false");
  GapCounter gaps;
  GstPad *pad = gst_element_get_static_pad(p.element("sink"), "sink");
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, GapCounter::probe, &gaps, nullptr);
  gst_object_unref(pad);
  ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  Pulled before;
  ASSERT_TRUE(p.pull(&before));

  sim.reset();
  GstMessage *warning = p.waitMessage(GST_MESSAGE_WARNING, 15000);
  ASSERT_NE(warning, nullptr) << "no warning after the camera went away";
  gst_message_unref(warning);
  EXPECT_TRUE(gaps.waitFirst(15000)) << "no GAP event while the camera is away";

  sim = startSim(1, port);
  GstMessage *back = p.waitMessage(GST_MESSAGE_INFO, 20000);
  ASSERT_NE(back, nullptr) << "no message that the camera is back";
  gst_message_unref(back);
  // The frames queued in the appsink before the restart come first; the
  // first new frame is marked as a discontinuity.
  Pulled after;
  bool sawDiscont = false;
  for (int i = 0; i < 2000 && !sawDiscont && p.pull(&after); ++i) sawDiscont = after.discont;
  EXPECT_TRUE(sawDiscont);
  EXPECT_GT(after.pts, before.pts);
  EXPECT_EQ(after.bytes.size(), 64u * 48u);
  GstMessage *error = p.waitMessage(GST_MESSAGE_ERROR, 0);
  EXPECT_EQ(error, nullptr);
  if (error) gst_message_unref(error);
}

// Many starts and stops with frames flowing (raw and RGB, buffers held across
// the stop); and a stop while the camera holds an image request returns
// without waiting for the reply.
TEST(OcameraSrc, StateChangesUnderLoad) {
  auto sim = startSim();
  for (int cycle = 0; cycle < 12; ++cycle) {
    SCOPED_TRACE(cycle);
    Pipeline p(source(*sim, "width=128 height=96 frame-rate=200") +
               (cycle % 2 ? " ! video/x-raw,format=RGB" : "") + " ! appsink name=sink sync=false");
    ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstSample *held =
        gst_app_sink_try_pull_sample(GST_APP_SINK(p.element("sink")), 10 * GST_SECOND);
    ASSERT_NE(held, nullptr);
    if (cycle % 3 == 0) {
      ASSERT_NE(p.setState(GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
      ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
      Pulled again;
      EXPECT_TRUE(p.pull(&again));
    }
    EXPECT_EQ(p.setState(GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
    gst_sample_unref(held);
  }

  // Every image request now takes 5 s to be answered.
  Pipeline p(source(*sim, "width=128 height=96") + " ! appsink name=sink sync=false");
  ocamsim::Fault stall{ocamsim::FaultKind::Delay, "scam:getSingleImage"};
  stall.delayMs = 5000;
  sim->clearLog();
  sim->inject(stall);
  ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  ASSERT_TRUE(sim->waitForCount("scam:setAcquisitionMode", 1, 10000));
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(p.setState(GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(took, std::chrono::milliseconds(2500)) << "waited for the stalled request";
  sim->clearFaults();
}

// A camera that cannot be reached fails the state change with an error
// message; a white-balance text of none of the three forms keeps the old one.
TEST(OcameraSrc, RefusesWhatItCannotUse) {
  Pipeline p("ocamerasrc name=src address=127.0.0.1:1 ! fakesink");
  EXPECT_EQ(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  GstMessage *error = p.waitMessage(GST_MESSAGE_ERROR, 5000);
  ASSERT_NE(error, nullptr);
  gst_message_unref(error);

  GstElement *src = p.element("src");
  gchar *wb = nullptr;
  for (const char *good : {"file", "0,100,10000", "none"}) {
    g_object_set(src, "white-balance", good, nullptr);
    g_object_get(src, "white-balance", &wb, nullptr);
    EXPECT_STREQ(wb, good);
    g_free(wb);
  }
  for (const char *bad : {"", "120,100", "120,100,85,1", "-1,100,100", "10001,0,0", "red"}) {
    g_object_set(src, "white-balance", bad, nullptr);
    g_object_get(src, "white-balance", &wb, nullptr);
    EXPECT_STREQ(wb, "none") << bad;
    g_free(wb);
  }
}

}  // namespace
}  // namespace gst_test
