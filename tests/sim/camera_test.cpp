// The simulated camera: its state machine, acquisition modes, the frame queue,
// rendered images, setters and sensor registers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <numeric>

#include "sim/frame.h"
#include "sim/scene.h"
#include "sim_client.h"

using simtest::Client;
using simtest::kFailed;
namespace st = ocamsim::status;

namespace {

using namespace ocam;

constexpr int kStop = 1, kSingleShot = 2, kFreeRun = 3, kSelectShot = 4;

struct Frame {
  int rc = -1;
  int status = 0, seq = 0, size = 0;
  long long us = 0;  // time stamp in microseconds
  std::vector<std::uint8_t> bytes;
};

Frame grab(Client &c, int token) {
  scam__SingleImageResponse r;
  Frame f;
  f.rc = c.call(soap_call_scam__getSingleImage, r, token);
  if (f.rc == SOAP_OK) {
    f.status = r.nStatus;
    f.seq = r.nSeqNr;
    f.size = r.nSize;
    f.us = r.nTimeSec * 1000000LL + r.nTimeMicroSec;
    if (r.data.__ptr) f.bytes.assign(r.data.__ptr, r.data.__ptr + r.data.__size);
  }
  c.release();
  return f;
}

double mean(const std::vector<std::uint8_t> &v) {
  return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / v.size();
}

ocamsim::Options small() {
  ocamsim::Options o;
  o.sensorWidth = 320;
  o.sensorHeight = 240;
  return o;
}

TEST(SimCamera, LifeUpToADeliveredImageOfTheWindowSize) {
  ocamsim::Simulator sim;
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.open(1);
  EXPECT_EQ(c.status(soap_call_scam__create, t, scam__eCameraType__CAM_TYPE_MT9V403), 0);
  EXPECT_EQ(c.status(soap_call_scam__open, t, 1 << 20, 4), 0);
  EXPECT_EQ(c.status(soap_call_scam__setCameraWindow, t, 16, 8, 640, 480), 0);
  EXPECT_EQ(c.setMode(t, kFreeRun), 0);
  EXPECT_EQ(sim.acquisitionMode(), kFreeRun);
  const Frame f = grab(c, t);
  ASSERT_EQ(f.rc, SOAP_OK);
  EXPECT_EQ(f.status, 0);
  EXPECT_EQ(f.size, 640 * 480);
  EXPECT_EQ(f.bytes.size(), 640u * 480u);
  EXPECT_EQ(sim.lastImage(), f.bytes);
  EXPECT_EQ(c.status(soap_call_scam__close, t), 0);
  EXPECT_EQ(sim.acquisitionMode(), kStop);
  EXPECT_EQ(c.status(soap_call_scam__destroy, t), 0);
  EXPECT_EQ(c.status(soap_call_scam__getImageCount, t), st::kNotCreated);
  EXPECT_EQ(c.close(t), SOAP_OK);
}

// A large frame goes out in several chunks, its rows rendered as they are
// sent. Whatever its length (one or two bytes past the last group of three,
// truncated or padded by a fault), the client reads exactly the frame, and
// the framing leaves the connection ready for the next request.
TEST(SimCamera, LargeFramesArriveWholeInBothFramings) {
  for (bool http : {true, false}) {
    ocamsim::Options o;
    o.sensorWidth = 1000;
    o.sensorHeight = 700;  // 700000 bytes: four chunks, one byte past a group
    ocamsim::Simulator sim(o);
    sim.start();
    Client c(sim.cameraAddress(), http);
    const int t = c.openCamera();
    EXPECT_EQ(c.setMode(t, kFreeRun), 0);
    for (int delta : {0, -2, 1}) {
      if (delta != 0) {
        ocamsim::Fault f{delta < 0 ? ocamsim::FaultKind::TruncateData : ocamsim::FaultKind::PadData,
                         "scam:getSingleImage"};
        f.count = 1;
        f.bytes = std::abs(delta);
        sim.inject(f);
      }
      const Frame f = grab(c, t);
      ASSERT_EQ(f.rc, SOAP_OK) << "http " << http << " delta " << delta;
      EXPECT_EQ(f.size, 700000);
      std::vector<std::uint8_t> expected = sim.lastImage();
      expected.resize(expected.size() + delta, 0x5A);
      EXPECT_TRUE(f.bytes == expected) << "http " << http << " delta " << delta;
    }
    EXPECT_EQ(c.status(soap_call_scam__setGain, t, 2), 0);
    EXPECT_EQ(sim.connectionsAccepted(), 1u);
  }
}

// A frame read a piece at a time, as a reply reads it (straight from the
// scene at exposure 1, rendered row by row otherwise), and a frame rendered
// whole afterwards hold the samples of a whole rendering, for any window,
// pattern and exposure.
TEST(SimCamera, FramesReadInPiecesEqualWholeRenderings) {
  const ocamsim::detail::Scene scene(200, 100);
  ocamsim::detail::FrameInfo info;
  info.seq = 130;  // moved in both directions
  info.window = {3, 5, 37, 21};
  for (double exposure : {1.0, 1.7}) {
    info.exposure = exposure;
    for (int pattern = 1; pattern <= 4; ++pattern) {
      std::vector<std::uint8_t> whole(37 * 21);
      scene.render(info, pattern, whole.data());
      ocamsim::detail::Frame frame;
      frame.reset(scene, info, pattern);
      ASSERT_EQ(frame.size(), whole.size());
      std::vector<std::uint8_t> pieces;
      std::size_t from = 0;
      for (std::size_t to : {1, 36, 38, 200, 777}) {
        frame.read(from, to, [&](const std::uint8_t *p, std::size_t n) {
          pieces.insert(pieces.end(), p, p + n);
        });
        from = to;
      }
      EXPECT_TRUE(pieces == whole) << "pattern " << pattern << " exposure " << exposure;
      frame.readyAll();
      EXPECT_TRUE(std::equal(whole.begin(), whole.end(), frame.data()))
          << "pattern " << pattern << " exposure " << exposure;
    }
  }
}

TEST(SimCamera, StateMachineRefusesOutOfOrderRequests) {
  ocamsim::Simulator sim(small());
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.open(1);
  EXPECT_EQ(c.status(soap_call_scam__open, t, 0, 4), st::kNotCreated);
  EXPECT_EQ(c.status(soap_call_scam__create, t, static_cast<scam__eCameraType>(7)),
            st::kBadArgument);
  for (int type = 3; type <= 6; ++type) {
    const int other = c.open(1);
    EXPECT_EQ(c.status(soap_call_scam__create, other, static_cast<scam__eCameraType>(type)), 0);
  }
  EXPECT_EQ(c.status(soap_call_scam__create, t, scam__eCameraType__CAM_TYPE_GENERIC), 0);
  EXPECT_EQ(c.status(soap_call_scam__create, t, scam__eCameraType__CAM_TYPE_GENERIC),
            st::kAlreadyCreated);
  EXPECT_EQ(c.setMode(t, kFreeRun), st::kNotOpen);
  EXPECT_EQ(c.setMode(t, kStop), 0);
  EXPECT_EQ(c.status(soap_call_scam__close, t), st::kNotOpen);
  EXPECT_EQ(c.status(soap_call_scam__open, t, 0, 0), st::kBadArgument);
  EXPECT_EQ(c.status(soap_call_scam__open, t, 0, 2), 0);
  EXPECT_EQ(c.status(soap_call_scam__open, t, 0, 2), st::kAlreadyOpen);
  EXPECT_EQ(c.setMode(t, 5), st::kBadArgument);
  EXPECT_EQ(c.setMode(t, kFreeRun), 0);
  EXPECT_EQ(c.status(soap_call_scam__triggerImage, t), st::kBadMode);
  // Destroying an open camera closes it.
  EXPECT_EQ(c.status(soap_call_scam__destroy, t), 0);
  EXPECT_EQ(sim.acquisitionMode(), kStop);
  EXPECT_EQ(c.status(soap_call_scam__destroy, t), st::kNotCreated);
}

TEST(SimCamera, FramesMoveAndCarrySequenceNumbersAndPacedTimeStamps) {
  ocamsim::Simulator sim(small());
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera(8);
  EXPECT_EQ(c.status(soap_call_scam__setFrameRate, t, 100), 0);
  EXPECT_EQ(c.setMode(t, kFreeRun), 0);
  std::vector<Frame> frames;
  for (int i = 0; i < 4; ++i) frames.push_back(grab(c, t));
  for (std::size_t i = 1; i < frames.size(); ++i) {
    ASSERT_EQ(frames[i].status, 0);
    EXPECT_GT(frames[i].seq, frames[i - 1].seq);
    EXPECT_NE(frames[i].bytes, frames[i - 1].bytes);
    // Frames are spaced by the frame period (10 ms at 100 fps) per sequence step.
    const long long per = (frames[i].us - frames[i - 1].us) / (frames[i].seq - frames[i - 1].seq);
    EXPECT_NEAR(per, 10000, 50);
  }
  EXPECT_EQ(c.status(soap_call_scam__resetSequenceCounter, t), 0);
  EXPECT_EQ(c.status(soap_call_scam__purgeImages, t), 0);
  EXPECT_LT(grab(c, t).seq, 3);
}

TEST(SimCamera, QueueIsBoundedByMaxBuffersWithOrWithoutOverwrite) {
  for (int overwrite : {1, 0}) {
    ocamsim::Simulator sim(small());
    sim.start();
    Client c(sim.cameraAddress());
    const int t = c.openCamera(3);
    EXPECT_EQ(c.status(soap_call_scam__setCircularOverwrite, t, overwrite), 0);
    EXPECT_EQ(c.setMode(t, kSelectShot), 0);
    EXPECT_EQ(c.status(soap_call_scam__getImageCount, t), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(c.status(soap_call_scam__triggerImage, t), 0);
    EXPECT_EQ(c.status(soap_call_scam__getImageCount, t), 3);
    EXPECT_EQ(c.status(soap_call_scam__getMaxImageCount, t), 3);
    // Overwriting keeps the newest frames, otherwise the oldest.
    const int first = overwrite ? 2 : 0;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(grab(c, t).seq, first + i) << "overwrite " << overwrite;
    EXPECT_EQ(c.status(soap_call_scam__getImageCount, t), 0);
  }
}

TEST(SimCamera, ShotsComeFromTriggersAndEmptyQueuesTimeOut) {
  ocamsim::Simulator sim(small());
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera();
  EXPECT_EQ(c.status(soap_call_scam__setReadTimeout, t, 30), 0);
  // Stopped and empty: answered at once, no image.
  Frame f = grab(c, t);
  EXPECT_EQ(f.status, st::kNoImage);
  EXPECT_EQ(f.size, 0);
  EXPECT_TRUE(f.bytes.empty());
  // Single shot takes one picture on entry and one per trigger.
  EXPECT_EQ(c.setMode(t, kSingleShot), 0);
  EXPECT_EQ(grab(c, t).status, 0);
  f = grab(c, t);
  EXPECT_EQ(f.status, st::kTimeout);
  EXPECT_TRUE(f.bytes.empty());
  EXPECT_EQ(c.status(soap_call_scam__triggerImage, t), 0);
  EXPECT_EQ(grab(c, t).status, 0);
  // A delayed trigger can be aborted before it fires.
  EXPECT_EQ(c.status(soap_call_scam__setTriggerDelay, t, 5000000), 0);
  EXPECT_EQ(c.status(soap_call_scam__triggerImage, t), 0);
  EXPECT_EQ(c.status(soap_call_scam__triggerImageAbort, t), 0);
  EXPECT_EQ(grab(c, t).status, st::kTimeout);
  // External trigger on input I0, active low: a falling edge takes the shot.
  EXPECT_EQ(c.status(soap_call_scam__setTriggerDelay, t, 0), 0);
  EXPECT_EQ(c.status(soap_call_scam__setTriggerSource, t, scam__eTrigSource__TRIG_SRC_EXTERNAL_E0,
                     scam__eTrigPolarity__TRIG_POL_ACTIVE_LOW),
            0);
  EXPECT_EQ(c.setMode(t, kSelectShot), 0);
  sim.setInputs(1);
  EXPECT_EQ(c.status(soap_call_scam__getImageCount, t), 0);
  sim.setInputs(0);
  EXPECT_EQ(c.status(soap_call_scam__getImageCount, t), 1);
  // Free run at 1 fps with a short read time-out: nothing arrives in time.
  EXPECT_EQ(c.status(soap_call_scam__purgeImages, t), 0);
  EXPECT_EQ(c.status(soap_call_scam__setFrameRate, t, 1), 0);
  EXPECT_EQ(c.setMode(t, kFreeRun), 0);
  EXPECT_EQ(grab(c, t).status, st::kTimeout);
}

TEST(SimCamera, ImagesAreBayerSamplesInTheConfiguredPattern) {
  // The top-left corner of the scene is blue-dominated: blue samples high,
  // red and green low. Where the blue sample sits tells the pattern.
  const struct {
    int pattern, blueX, blueY;
  } cases[] = {{1, 0, 1}, {2, 0, 0}, {3, 1, 1}, {4, 1, 0}};
  for (const auto &k : cases) {
    ocamsim::Options o = small();
    o.bayerPattern = k.pattern;
    ocamsim::Simulator sim(o);
    sim.start();
    Client c(sim.cameraAddress());
    const int t = c.openCamera();
    EXPECT_EQ(c.status(soap_call_scam__setCameraWindow, t, 0, 0, 8, 8), 0);
    EXPECT_EQ(c.setMode(t, kSingleShot), 0);
    const Frame f = grab(c, t);
    ASSERT_EQ(f.bytes.size(), 64u);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) {
        const int v = f.bytes[y * 8 + x];
        if (x == k.blueX && y == k.blueY)
          EXPECT_GT(v, 150) << "pattern " << k.pattern;
        else
          EXPECT_LT(v, 100) << "pattern " << k.pattern;
      }
  }
}

TEST(SimCamera, ShutterAndGainChangeBrightness) {
  ocamsim::Simulator sim(small());
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera();
  const auto shot = [&] {
    EXPECT_EQ(c.setMode(t, kSingleShot), 0);
    return mean(grab(c, t).bytes);
  };
  const double base = shot();
  EXPECT_EQ(c.status(soap_call_scam__setGain, t, 2), 0);
  EXPECT_EQ(sim.gain(), 2);
  const double brighter = shot();
  EXPECT_EQ(c.status(soap_call_scam__setGain, t, 1), 0);
  EXPECT_EQ(c.status(soap_call_scam__setShutterTime, t, 5000), 0);
  EXPECT_EQ(c.status(soap_call_scam__getShutterTime, t), 5000);
  EXPECT_EQ(sim.shutterTime(), 5000);
  const double darker = shot();
  EXPECT_GT(brighter, base * 1.3);
  EXPECT_LT(darker, base * 0.7);
}

TEST(SimCamera, SettersStoreAcceptedValuesAndRefuseOthers) {
  ocamsim::Simulator sim(small());
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera();
  // Accepted: answered 0 and stored in wire order; refused: the last value stays.
  EXPECT_EQ(c.status(soap_call_scam__setTriggerWindow, t, 1, 2, 30, 40, 5, 250), 0);
  EXPECT_EQ(c.status(soap_call_scam__setTriggerWindow, t, 300, 0, 30, 40, 5, 250),
            st::kBadArgument);
  EXPECT_EQ(sim.lastSetting("scam:setTriggerWindow"), "1 2 30 40 5 250");
  EXPECT_EQ(c.status(soap_call_scam__setFrameRateFloat, t, 12.5f), 0);
  EXPECT_EQ(sim.lastSetting("scam:setFrameRateFloat"), "12.5");
  EXPECT_EQ(c.status(soap_call_scam__setJPEG, t, 1, scam__eJPEGQuality__JPEG_QUALITY_GOOD, 0,
                     scam__eBayerPattern__BAYER_PATTERN_BGBG, 1),
            0);
  EXPECT_EQ(sim.lastSetting("scam:setJPEG"), "1 2 0 2 1");
  // An ordinal outside its enumeration is refused.
  EXPECT_EQ(c.status(soap_call_scam__setFrequency, t, static_cast<scam__eFrequency>(4)),
            st::kBadArgument);
  EXPECT_EQ(sim.lastSetting("scam:setFrequency"), "");
  // Payloads: the white-balance table is 768 bytes or absent.
  std::vector<unsigned char> table(768, 7);
  xsd__base64Binary wb = simtest::payload(table);
  EXPECT_EQ(
      c.status(soap_call_scam__setWhiteBalance, t, scam__eBayerPattern__BAYER_PATTERN_GRGR, wb), 0);
  EXPECT_EQ(sim.lastSetting("scam:setWhiteBalance"), "1 768");
  wb.__size = 100;
  EXPECT_EQ(
      c.status(soap_call_scam__setWhiteBalance, t, scam__eBayerPattern__BAYER_PATTERN_GRGR, wb),
      st::kBadArgument);
  scam__LaserSetup laser;
  laser.soap_default(nullptr);
  laser.bEnable = true;
  laser.dWidth = 64;
  laser.dHeight = 32;
  laser.eSubRes = scam__eLaserOutputFormat__LASER_OUTPUT_8_2;
  laser.dThreshMax = laser.dAreaMax = 100;
  std::vector<unsigned char> ref(64, 1);
  laser.RefData = simtest::payload(ref);
  EXPECT_EQ(c.status(soap_call_scam__setupLaserProfiling, t, laser), 0);
  EXPECT_EQ(sim.lastSetting("scam:setupLaserProfiling"), "1 0 0 64 32 0 0 0 100 0 100 18 64");
  laser.RefData.__size = 63;
  EXPECT_EQ(c.status(soap_call_scam__setupLaserProfiling, t, laser), st::kBadArgument);
}

// Setups that are accepted as they are, with one field set to `v`.
template <class F>
scam__LaserSetup laser(F scam__LaserSetup::*field, int v, bool enable = true) {
  scam__LaserSetup s;
  s.soap_default(nullptr);
  s.dWidth = 64;
  s.dHeight = 32;
  s.eSubRes = scam__eLaserOutputFormat__LASER_OUTPUT_8_0;
  s.dThreshMax = s.dAreaMax = 100;
  s.*field = static_cast<F>(v);
  s.bEnable = enable;
  return s;
}
scam__FilterSetup filter(int kind, bool params, unsigned count) {
  scam__FilterSetup f;
  f.soap_default(nullptr);
  f.eFilter = static_cast<scam__eFilterType>(kind);
  f.bHasParams = params;
  f.nNumParam = count;
  return f;
}
scam__BinarizationSetup binarization(bool params, int count, int threshold1) {
  scam__BinarizationSetup b;
  b.soap_default(nullptr);
  b.bHasParams = params;
  b.nNumThreshold = static_cast<unsigned char>(count);
  b.nThreshold1 = static_cast<unsigned char>(threshold1);
  b.nThreshold2 = 4;
  return b;
}

// A camera request of token `k` with the value tried, `v`, among its arguments.
#define CALL(op, ...) [&](int k, int v) { return c.status(soap_call_scam__##op, k, __VA_ARGS__); }

// Each setting's range at its edges, one argument at a time with the others
// valid; a session that has not created the camera is refused that first.
TEST(SimCamera, SettingsAcceptExactlyTheirRanges) {
  ocamsim::Simulator sim(small());  // sensor 320 x 240
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera();
  const int uncreated = c.open(1);
  using Cases = std::vector<std::pair<int, int>>;  // value, status
  const auto check = [&](const char *what, const std::function<int(int, int)> &call, Cases cases) {
    for (const auto &k : cases) {
      EXPECT_EQ(call(t, k.first), k.second) << what << " " << k.first;
      EXPECT_EQ(call(uncreated, k.first), st::kNotCreated) << what << " " << k.first;
    }
  };
  constexpr int kBad = st::kBadArgument;
  const Cases threshold = {{-1, kBad}, {0, 0}, {255, 0}, {256, kBad}};
  const Cases pattern = {{0, kBad}, {1, 0}, {4, 0}, {5, kBad}};
  const Cases zeroToThree = {{-1, kBad}, {0, 0}, {3, 0}, {4, kBad}};
  check("trigger min", CALL(setTriggerWindow, 0, 0, 320, 10, v, 255), threshold);
  check("trigger max", CALL(setTriggerWindow, 0, 0, 320, 10, 0, v), threshold);
  check("trigger min above max", CALL(setTriggerWindow, 0, 0, 320, 10, v, 7), {{7, 0}, {8, kBad}});
  check("trigger window x0", CALL(setTriggerWindow, v, 0, 320, 10, 0, 255), {{0, 0}, {1, kBad}});
  check("frequency", CALL(setFrequency, scam__eFrequency(v)), zeroToThree);
  check("illumination", CALL(setIlluminationMode, scam__eIllMode(v)),
        {{0, kBad}, {3, 0}, {4, kBad}});
  check("external illumination", CALL(setIlluminationModeExternal, scam__eIllModeExt(v)),
        {{-1, kBad}, {0, 0}, {2, 0}, {3, kBad}});
  check("illumination delay", CALL(setIlluminationTiming, v, 0), {{-1, kBad}, {0, 0}});
  check("illumination period", CALL(setIlluminationTiming, 0, v), {{-1, kBad}, {0, 0}});
  check("JPEG quality", CALL(setJPEG, 1, scam__eJPEGQuality(v), 0, scam__eBayerPattern(1), 0),
        zeroToThree);
  check("JPEG pattern", CALL(setJPEG, 1, scam__eJPEGQuality(0), 0, scam__eBayerPattern(v), 0),
        pattern);
  check("Bayer output", CALL(setBayer2X, scam__eBayer2XType(v), scam__eBayerPattern(1)),
        {{-1, kBad}, {0, 0}, {7, 0}, {8, kBad}});
  check("Bayer pattern", CALL(setBayer2X, scam__eBayer2XType(0), scam__eBayerPattern(v)), pattern);
  xsd__base64Binary none;
  none.soap_default(nullptr);
  check("white-balance pattern", CALL(setWhiteBalance, scam__eBayerPattern(v), none), pattern);
  check("applet", CALL(setHardwareApplet, 1, 1024u, scam__eAppletType(v)), zeroToThree);
  // The type is checked always, a region only while in use.
  const unsigned end = static_cast<unsigned>(ocamsim::Options().imageRamSize);
  check("correction type",
        CALL(setupImageCorrection, false, scam__eCorrectionType(v), end, 16u, 2u),
        {{-1, kBad}, {0, 0}, {2, 0}, {3, kBad}});
  check("correction region",
        CALL(setupImageCorrection, v != 0, scam__eCorrectionType(0), end, 16u, 2u),
        {{0, 0}, {1, st::kOutOfRange}});
  check("splitting type", CALL(setupImageSplitting, scam__eSplitType(v), end, 0u),
        {{-1, kBad}, {0, 0}, {2, 0}, {3, kBad}});
  check("splitting region", CALL(setupImageSplitting, scam__eSplitType(v), end, 16u),
        {{0, 0}, {1, st::kOutOfRange}});
  using L = scam__LaserSetup;
  check("laser off", CALL(setupLaserProfiling, laser(&L::ePrio, v, false)), {{-1, 0}, {9, 0}});
  check("laser x0", CALL(setupLaserProfiling, laser(&L::dX0, v)), {{256, 0}, {257, kBad}});
  check("laser priority", CALL(setupLaserProfiling, laser(&L::ePrio, v)), zeroToThree);
  check("laser direction", CALL(setupLaserProfiling, laser(&L::eDir, v)),
        {{-1, kBad}, {1, 0}, {2, kBad}});
  check("laser format", CALL(setupLaserProfiling, laser(&L::eSubRes, v)),
        {{3, kBad}, {4, 0}, {5, kBad}, {15, kBad}, {16, 0}, {20, 0}, {21, kBad}});
  check("laser threshold min", CALL(setupLaserProfiling, laser(&L::dThreshMin, v)),
        {{-1, kBad}, {100, 0}, {101, kBad}});
  check("laser threshold max", CALL(setupLaserProfiling, laser(&L::dThreshMax, v)),
        {{255, 0}, {256, kBad}});
  check("laser area min", CALL(setupLaserProfiling, laser(&L::dAreaMin, v)),
        {{-1, kBad}, {100, 0}, {101, kBad}});
  check("filter kind", CALL(setFilter, filter(v, true, 2)),
        {{-1, kBad}, {0, 0}, {5, 0}, {6, kBad}});
  check("filter parameters", CALL(setFilter, filter(0, v != 0, 3)), {{0, 0}, {1, kBad}});
  check("two thresholds", CALL(setBinarization, binarization(true, 2, v)), {{4, 0}, {5, kBad}});
  check("one threshold", CALL(setBinarization, binarization(true, 1, v)), {{5, 0}});
  check("threshold count", CALL(setBinarization, binarization(v != 0, 3, 5)), {{0, 0}, {1, kBad}});
}

#undef CALL

TEST(SimCamera, SensorRegistersReadWriteAndCalibrate) {
  ocamsim::Simulator sim(small());
  sim.start();
  Client c(sim.cameraAddress());
  const int t = c.openCamera();
  scam__SensorRegisterNames names;
  ASSERT_EQ(c.call(soap_call_scam__getSensorRegisterNames, names, t), SOAP_OK);
  ASSERT_GE(names.__sizenames, 10);
  ASSERT_LE(names.__sizenames, 30);
  std::vector<std::string> list(names.names, names.names + names.__sizenames);
  c.release();
  const auto get = [&](const std::string &name, unsigned &value) {
    scam__GetSensorRegisterResponse r;
    std::string copy = name;
    EXPECT_EQ(c.call(soap_call_scam__getSensorRegister, r, t, &copy[0]), SOAP_OK);
    value = r.nValue;
    return r.status;
  };
  unsigned v = 0;
  for (std::string &name : list) EXPECT_EQ(get(name, v), 0) << name;
  std::string gain = "ANALOG_GAIN";
  ASSERT_NE(std::find(list.begin(), list.end(), gain), list.end());
  EXPECT_EQ(c.status(soap_call_scam__setSensorRegister, t, &gain[0], 40u), 0);
  EXPECT_EQ(get(gain, v), 0);
  EXPECT_EQ(v, 40u);
  std::string bogus = "NO_SUCH_REGISTER";
  EXPECT_EQ(get(bogus, v), st::kUnknownRegister);
  EXPECT_EQ(c.status(soap_call_scam__setSensorRegister, t, &bogus[0], 1u), st::kUnknownRegister);
  std::string chip = list.front();
  EXPECT_EQ(c.status(soap_call_scam__setSensorRegister, t, &chip[0], 1u), st::kReadOnlyRegister);
  scam__CalibrateSensorParam p;
  p.soap_default(nullptr);
  p.bHasParams = true;
  p.nNumParam = 1;
  p.nParam1 = 77;
  EXPECT_EQ(c.status(soap_call_scam__calibrateSensor, t, p), 0);
  EXPECT_EQ(get("BLACK_LEVEL_CALIB", v), 0);
  EXPECT_EQ(v, 77u);
  p.nNumParam = 3;
  EXPECT_EQ(c.status(soap_call_scam__calibrateSensor, t, p), st::kBadArgument);
}

}  // namespace
