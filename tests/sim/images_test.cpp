// The sensor as a test bench: pictures from files through the camera, the
// brightness from exposure and gain, the frame rate bound by the exposure,
// registers that mirror settings, seeded noise, and the geometry the camera
// announces.
#include <gtest/gtest.h>
#include <ocamera/tools.h>
#include <png.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numeric>

#include "sim_client.h"

namespace st = ocamsim::status;
using simtest::Client;

namespace {

using namespace ocam;

constexpr int kFreeRun = 3;
constexpr int kW = 64, kH = 48;

struct TempDir {
  TempDir() {
    char name[] = "/tmp/ocamsim-images-XXXXXX";
    path = ::mkdtemp(name);
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string path;
};

void writePng(const std::string &file, int w, int h, const std::vector<std::uint8_t> &rgb) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = PNG_FORMAT_RGB;
  ASSERT_TRUE(png_image_write_to_file(&image, file.c_str(), 0, rgb.data(), 0, nullptr)) << file;
}

// A picture of four flat quadrants in distinct colours.
std::vector<std::uint8_t> quadrants(int w, int h) {
  const std::uint8_t colours[4][3] = {{200, 30, 40}, {20, 180, 60}, {50, 70, 220}, {240, 240, 10}};
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      std::memcpy(&rgb[(y * w + x) * 3], colours[(y >= h / 2) * 2 + (x >= w / 2)], 3);
  return rgb;
}

struct Grab {
  int status = -1, seq = -1;
  long long us = 0;
  std::vector<std::uint8_t> bytes;
};

Grab grab(Client &c, int token) {
  scam__SingleImageResponse r;
  Grab g;
  if (c.call(soap_call_scam__getSingleImage, r, token) == SOAP_OK) {
    g.status = r.nStatus;
    g.seq = r.nSeqNr;
    g.us = r.nTimeSec * 1000000LL + r.nTimeMicroSec;
    if (r.data.__ptr) g.bytes.assign(r.data.__ptr, r.data.__ptr + r.data.__size);
  }
  c.release();
  return g;
}

double mean(const std::vector<std::uint8_t> &v) {
  return v.empty() ? -1 : std::accumulate(v.begin(), v.end(), 0.0) / v.size();
}

ocamsim::Options sensor(const std::string &images, int pattern = 1) {
  ocamsim::Options o;
  o.sensorWidth = kW;
  o.sensorHeight = kH;
  o.bayerPattern = pattern;
  o.images = images;
  return o;
}

TEST(SimImages, APngComesBackThroughTheLibrarysConversion) {
  TempDir dir;
  const std::vector<std::uint8_t> picture = quadrants(kW, kH);
  writePng(dir.path + "/q.png", kW, kH, picture);
  for (int pattern : {1, 2}) {  // the layouts the library converts
    ocamsim::Simulator sim(sensor(dir.path + "/q.png", pattern));
    sim.start();
    Client c(sim.cameraAddress());
    const int t = c.openCamera();
    // The whole sensor, then a window at an odd offset.
    for (const std::array<int, 4> &win :
         {std::array<int, 4>{0, 0, kW, kH}, std::array<int, 4>{5, 3, 40, 30}}) {
      ASSERT_EQ(c.status(soap_call_scam__setCameraWindow, t, win[0], win[1], win[2], win[3]), 0);
      ASSERT_EQ(c.setMode(t, kFreeRun), 0);
      Grab g = grab(c, t);
      ASSERT_EQ(g.status, 0);
      ASSERT_EQ(g.bytes.size(), static_cast<std::size_t>(win[2] * win[3]));
      std::vector<std::uint8_t> rgb(g.bytes.size() * 3);
      OCameraTools::Bayer2RGB(g.bytes.data(), rgb.data(), win[2], win[3],
                              static_cast<OCameraTools::eBayerPattern>(pattern));
      // Exact wherever the 3x3 neighbourhood is one colour of the picture.
      int compared = 0;
      for (int y = 1; y + 1 < win[3]; ++y)
        for (int x = 1; x + 1 < win[2]; ++x) {
          const int px = win[0] + x, py = win[1] + y;
          if ((px - 1 < kW / 2) != (px + 1 < kW / 2) || (py - 1 < kH / 2) != (py + 1 < kH / 2))
            continue;
          ++compared;
          ASSERT_EQ(0, std::memcmp(&rgb[(y * win[2] + x) * 3], &picture[(py * kW + px) * 3], 3))
              << "pattern " << pattern << " at " << px << "," << py;
        }
      EXPECT_GT(compared, win[2] * win[3] / 2);
      ASSERT_EQ(c.setMode(t, 1), 0);
    }
  }
}

TEST(SimImages, ADirectoryCyclesInNameOrderAndOtherSizesCoverTheSensor) {
  TempDir dir;
  // Written out of order; shown by name: a (red), b (green, another size), c (raw).
  std::vector<std::uint8_t> raw(kW * kH);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 7);
  std::ofstream(dir.path + "/c.raw", std::ios::binary)
      .write(reinterpret_cast<const char *>(raw.data()), raw.size());
  std::vector<std::uint8_t> green(10 * 30 * 3, 0);
  for (std::size_t i = 1; i < green.size(); i += 3) green[i] = 150;
  writePng(dir.path + "/b.png", 10, 30, green);
  std::vector<std::uint8_t> red(kW * kH * 3, 0);
  for (std::size_t i = 0; i < red.size(); i += 3) red[i] = 90;
  writePng(dir.path + "/a.png", kW, kH, red);
  std::ofstream(dir.path + "/notes.txt") << "not a picture";

  ocamsim::Simulator sim(sensor(dir.path));
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera(64);
  ASSERT_EQ(c.setMode(t, kFreeRun), 0);
  for (int i = 0; i < 6; ++i) {
    Grab g = grab(c, t);
    ASSERT_EQ(g.status, 0);
    ASSERT_EQ(g.bytes.size(), raw.size());
    // GRGR: sample 1 of row 0 is red, sample 0 green.
    switch (g.seq % 3) {
      case 0:
        EXPECT_EQ(g.bytes[1], 90) << g.seq;
        EXPECT_EQ(g.bytes[0], 0) << g.seq;
        break;
      case 1:  // scaled to cover the sensor: green all over
        EXPECT_EQ(std::count(g.bytes.begin(), g.bytes.end(), 150), kW * kH / 2) << g.seq;
        break;
      case 2:
        EXPECT_EQ(g.bytes, raw) << g.seq;
        break;
    }
  }
  // At a picture rate below the frame rate, consecutive frames mostly show the
  // same picture: 8 frames at 100 frames/s span one change of a picture a second.
  ocamsim::Options slow = sensor(dir.path);
  slow.imagesFps = 1;
  ocamsim::Simulator paced(slow);
  paced.start();
  Client p(paced.cameraAddress());
  const int pt = p.openCamera(64);
  ASSERT_EQ(p.status(soap_call_scam__setFrameRate, pt, 100.0), 0);
  ASSERT_EQ(p.setMode(pt, kFreeRun), 0);
  int changes = 0;
  std::vector<std::uint8_t> before = grab(p, pt).bytes;
  for (int i = 0; i < 7; ++i) {
    std::vector<std::uint8_t> now = grab(p, pt).bytes;
    changes += now != before;
    before = now;
  }
  EXPECT_LE(changes, 1);
}

TEST(SimImages, AnUnusablePathFailsAtStartNamingIt) {
  TempDir dir;
  std::ofstream(dir.path + "/short.raw") << "too short";
  for (const std::string &path : {dir.path + "/missing.png", dir.path + "/short.raw",
                                  std::string("/proc/self/nonexistent-dir/")}) {
    ocamsim::Simulator sim(sensor(path));
    try {
      sim.start();
      ADD_FAILURE() << path << " was taken";
    } catch (const std::runtime_error &e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
  ocamsim::Simulator empty(sensor(dir.path + "/"));
  std::remove((dir.path + "/short.raw").c_str());
  EXPECT_THROW(empty.start(), std::runtime_error);
}

TEST(SimSensor, ExposureAndGainScaleBrightnessAndMirrorTheirRegisters) {
  TempDir dir;
  writePng(dir.path + "/grey.png", kW, kH, std::vector<std::uint8_t>(kW * kH * 3, 60));
  ocamsim::Simulator sim(sensor(dir.path + "/grey.png"));
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera(1);
  ASSERT_EQ(c.setMode(t, kFreeRun), 0);
  const auto meanNow = [&] { return mean(grab(c, t).bytes); };
  std::string gain = "ANALOG_GAIN";
  const auto readGain = [&] {
    scam__GetSensorRegisterResponse r;
    c.call(soap_call_scam__getSensorRegister, r, t, &gain[0]);
    c.release();
    return r.nValue;
  };
  EXPECT_EQ(meanNow(), 60);
  EXPECT_EQ(readGain(), 16u);
  ASSERT_EQ(c.status(soap_call_scam__setGain, t, 3), 0);
  EXPECT_EQ(readGain(), 48u);
  EXPECT_EQ(meanNow(), 180);
  ASSERT_EQ(c.status(soap_call_scam__setShutterTime, t, 5000), 0);  // half the power-on value
  EXPECT_EQ(meanNow(), 90);
  ASSERT_EQ(c.status(soap_call_scam__setSensorRegister, t, &gain[0], 64u), 0);  // 4x
  EXPECT_EQ(sim.gain(), 4);
  EXPECT_EQ(meanNow(), 120);
  ASSERT_EQ(c.status(soap_call_scam__setShutterTime, t, 40000), 0);
  EXPECT_EQ(meanNow(), 255);  // 960 clipped
  EXPECT_EQ(c.status(soap_call_scam__setSensorRegister, t, &gain[0], 0u), st::kBadArgument);
}

TEST(SimSensor, WindowRegistersReadBackTheWindowAndSetIt) {
  ocamsim::Simulator sim(sensor(""));
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera(1);
  const auto reg = [&](const char *name) {
    std::string n = name;
    scam__GetSensorRegisterResponse r;
    c.call(soap_call_scam__getSensorRegister, r, t, &n[0]);
    c.release();
    return static_cast<int>(r.nValue);
  };
  const auto set = [&](const char *name, unsigned v) {
    std::string n = name;
    return c.status(soap_call_scam__setSensorRegister, t, &n[0], v);
  };
  EXPECT_EQ(reg("WINDOW_WIDTH"), kW);
  EXPECT_EQ(reg("WINDOW_HEIGHT"), kH);
  ASSERT_EQ(c.status(soap_call_scam__setCameraWindow, t, 10, 20, 32, 16), 0);
  EXPECT_EQ(reg("COLUMN_START"), 11);  // after the sensor's dark column and rows
  EXPECT_EQ(reg("ROW_START"), 24);
  EXPECT_EQ(reg("WINDOW_WIDTH"), 32);
  EXPECT_EQ(reg("WINDOW_HEIGHT"), 16);
  EXPECT_EQ(set("WINDOW_WIDTH", 8), 0);
  EXPECT_EQ(set("ROW_START", 4), 0);
  EXPECT_EQ(set("WINDOW_WIDTH", kW), st::kBadArgument);  // from column 10: beyond the sensor
  ASSERT_EQ(c.setMode(t, kFreeRun), 0);
  EXPECT_EQ(grab(c, t).bytes.size(), 8u * 16u);
  EXPECT_EQ(sim.lastSetting("scam:setCameraWindow"), "10 20 32 16");
}

TEST(SimSensor, TheExposureTimeBoundsTheFrameRate) {
  ocamsim::Simulator sim(sensor(""));
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera(8);
  ASSERT_EQ(c.status(soap_call_scam__setReadTimeout, t, 5000), 0);
  ASSERT_EQ(c.status(soap_call_scam__setFrameRate, t, 500.0), 0);
  ASSERT_EQ(c.status(soap_call_scam__setShutterTime, t, 400000), 0);
  ASSERT_EQ(c.setMode(t, kFreeRun), 0);
  Grab a = grab(c, t), b = grab(c, t);
  ASSERT_EQ(a.status, 0);
  ASSERT_EQ(b.status, 0);
  // 2.5 frames/s at most, not 500: one frame per exposure.
  EXPECT_EQ(b.seq, a.seq + 1);
  EXPECT_GE(b.us - a.us, 400000 - 1);
}

TEST(SimSensor, NoiseIsSeededAndCentred) {
  const auto frame = [](int noise, std::uint32_t seed) {
    ocamsim::Options o = sensor("");
    o.noise = noise;
    o.noiseSeed = seed;
    ocamsim::Simulator sim(o);
    sim.start();
    Client c(sim.cameraAddress());
    const int t = c.openCamera(1);
    c.setMode(t, 2);  // single shot: frame 0
    return grab(c, t).bytes;
  };
  const auto clean = frame(0, 1), a = frame(20, 7), b = frame(20, 7), other = frame(20, 8);
  ASSERT_EQ(clean.size(), static_cast<std::size_t>(kW * kH));
  EXPECT_EQ(a, b);
  EXPECT_NE(a, other);
  EXPECT_NE(a, clean);
  EXPECT_NEAR(mean(a), mean(clean), 1.5);
  int far = 0;
  for (std::size_t i = 0; i < a.size(); ++i) far += std::abs(a[i] - clean[i]) > 20;
  EXPECT_EQ(far, 0);
}

TEST(SimSensor, TheCameraAnnouncesItsGeometry) {
  ocamsim::Simulator sim(sensor("", 2));
  sim.start();
  Client c(sim.cameraAddress());
  rdev__listResponse r;
  ASSERT_EQ(c.call(soap_call_rdev__list, r), SOAP_OK);
  ASSERT_GE(r.__sizedevices, 1);
  EXPECT_STREQ(r.devices[0].description, "simulated camera [sensor 64x48 BGBG]");
}

}  // namespace
