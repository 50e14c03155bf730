// Image retrieval and image memory: the acquisition-mode gate, the copies into
// the caller's memory and the replies that must be refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "camera/camera_support.h"

namespace camera_test {
namespace {

using ocamsim::Fault;
using ocamsim::FaultKind;

constexpr int kWait = 5000;  // ms: the simulator logs a request just after answering it

// A camera object on the simulator, opened for acquisition.
CameraHandle createOn(const ocamsim::Simulator &sim) {
  CameraHandle camera(
      CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, sim.cameraAddress().c_str()));
  if (camera) {
    EXPECT_EQ(camera->open(64 * 48, 4), 0);
  }
  return camera;
}

// The simulator logs a request just after answering it, so an entry may come
// late. Before checking that something was not sent, wait for every entry that
// is due, then for one more request sent after the calls under test.
void settle(ocamsim::Simulator &sim, OCamera &camera) {
  const std::size_t n = sim.count("scam:getShutterTime") + 1;
  camera.getShutterTime();
  EXPECT_TRUE(sim.waitForCount("scam:getShutterTime", n, kWait));
}

bool sameRecord(const OCamera::Image &a, const OCamera::Image &b) {
  return a.data == b.data && a.seqNr == b.seqNr && a.timeSec == b.timeSec &&
         a.timeMicroSec == b.timeMicroSec && a.size == b.size && a.status == b.status;
}

TEST(CameraImageGate, ClosedAfterCreationOpenAfterFreeRun) {
  auto sim = startSimulator();
  CameraHandle camera = createOn(*sim);
  ASSERT_NE(camera, nullptr);

  unsigned char sentinel[4] = {};
  OCamera::Image image{sentinel, 0, 0, 0, 0, 0};
  EXPECT_EQ(camera->getSingleImage(&image), -1);
  EXPECT_EQ(image.data, nullptr) << "data is cleared even when the gate refuses";
  image.data = sentinel;
  EXPECT_EQ(camera->getSingleImageInto(&image), -1);
  image.data = nullptr;
  EXPECT_EQ(camera->freeImage(&image), -1) << "the gate's result";
  settle(*sim, *camera);
  EXPECT_EQ(sim->count("scam:getSingleImage"), 0u);

  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);
  ASSERT_EQ(camera->getSingleImage(&image), 0);
  const std::vector<std::uint8_t> rendered = sim->lastImage();
  ASSERT_FALSE(rendered.empty());
  ASSERT_NE(image.data, nullptr);
  ASSERT_EQ(image.size, static_cast<int>(rendered.size()));
  EXPECT_EQ(std::memcmp(image.data, rendered.data(), rendered.size()), 0);
  EXPECT_EQ(camera->freeImage(&image), 0);
  EXPECT_EQ(image.data, nullptr);

  std::vector<unsigned char> buffer(rendered.size() + 16, 0xEE);
  OCamera::Image into{buffer.data(), -1, -1, -1, -1, -1};
  ASSERT_EQ(camera->getSingleImageInto(&into), 0);
  const std::vector<std::uint8_t> second = sim->lastImage();
  ASSERT_EQ(into.size, static_cast<int>(second.size()));
  EXPECT_EQ(into.data, buffer.data());
  EXPECT_EQ(std::memcmp(buffer.data(), second.data(), second.size()), 0);
  EXPECT_EQ(buffer[second.size()], 0xEE) << "nothing is written past the image";
  EXPECT_TRUE(sim->waitForCount("scam:getSingleImage", 2, kWait));
}

TEST(CameraImageGate, RefusedModesSendNothingAndKeepTheGate) {
  auto sim = startSimulator();
  CameraHandle camera = createOn(*sim);
  ASSERT_NE(camera, nullptr);
  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);

  EXPECT_EQ(camera->setAcquisitionMode(static_cast<OCamera::eAcqMode>(5)), -1);
  EXPECT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN_SLAVE_STOP), -1);
  ASSERT_TRUE(sim->waitForCount("scam:setAcquisitionMode", 1, kWait));
  settle(*sim, *camera);
  EXPECT_EQ(sim->count("scam:setAcquisitionMode"), 1u);

  // A request that fails keeps the mode the camera last took.
  sim->inject(Fault{FaultKind::DropAfterRequest, "scam:setAcquisitionMode"});
  EXPECT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP), -1);
  sim->clearFaults();

  // The camera did stop (only its reply was lost): the gate stays open, and
  // the camera says why there is no image.
  OCamera::Image image{};
  EXPECT_EQ(camera->getSingleImage(&image), ocamsim::status::kNoImage);
  EXPECT_EQ(camera->freeImage(&image), 0);

  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP), 0);
  EXPECT_EQ(camera->getSingleImage(&image), -1);
  ASSERT_TRUE(sim->waitForCount("scam:getSingleImage", 1, kWait));
  settle(*sim, *camera);
  EXPECT_EQ(sim->count("scam:getSingleImage"), 1u);
}

TEST(CameraImageGate, NonZeroStatusStillOpensTheGate) {
  auto sim = startSimulator();
  CameraHandle camera = createOn(*sim);
  ASSERT_NE(camera, nullptr);
  sim->inject(Fault{FaultKind::Status, "scam:setAcquisitionMode", 0, 0, 7});
  EXPECT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_SINGLE_SHOT), 7);
  sim->clearFaults();

  OCamera::Image image{};
  ASSERT_EQ(camera->getSingleImage(&image), 0);
  EXPECT_NE(image.data, nullptr);
  EXPECT_EQ(camera->freeImage(&image), 0);
}

TEST(CameraImage, EmptyImage) {
  ScriptedCamera scripted;
  CameraHandle camera = scripted.create();
  ASSERT_NE(camera, nullptr);
  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);
  scripted.answer("scam:getSingleImage",
                  "<scam:SingleImageResponse><scam:nSeqNr>9</scam:nSeqNr>"
                  "<scam:nTimeSec>8</scam:nTimeSec><scam:nTimeMicroSec>7</scam:nTimeMicroSec>"
                  "<scam:nSize>0</scam:nSize><scam:nStatus>6</scam:nStatus>"
                  "</scam:SingleImageResponse>");

  // No data and a status: the camera's refusal, returned and stored.
  OCamera::Image image{nullptr, 1, 2, 3, 4, 5};
  EXPECT_EQ(camera->getSingleImage(&image), 6);
  EXPECT_EQ(image.data, nullptr);
  EXPECT_EQ(image.size, 0);
  EXPECT_EQ(image.seqNr, 1);
  EXPECT_EQ(image.status, 6);

  unsigned char buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  OCamera::Image into{buffer, 1, 2, 3, 4, 5};
  OCamera::Image expected = into;
  expected.status = 6;
  EXPECT_EQ(camera->getSingleImageInto(&into), 6);
  EXPECT_TRUE(sameRecord(into, expected));
  EXPECT_EQ(buffer[0], 1);

  // No data and status 0: an empty image, as before.
  scripted.answer("scam:getSingleImage",
                  "<scam:SingleImageResponse><scam:nSize>0</scam:nSize>"
                  "<scam:nStatus>0</scam:nStatus></scam:SingleImageResponse>");
  OCamera::Image empty{nullptr, 1, 2, 3, 4, 5};
  EXPECT_EQ(camera->getSingleImage(&empty), 0);
  EXPECT_EQ(empty.size, 0);
  EXPECT_EQ(empty.status, 5);
  EXPECT_EQ(camera->getSingleImageInto(&into), -1);
}

TEST(CameraImage, AnImageGrabbedBeforeTheAcquisitionStoppedIsStillFreed) {
  auto sim = startSimulator();
  CameraHandle camera = createOn(*sim);
  ASSERT_NE(camera, nullptr);
  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);
  OCamera::Image image{};
  ASSERT_EQ(camera->getSingleImage(&image), 0);
  ASSERT_NE(image.data, nullptr);
  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP), 0);
  // The gate's result, but the memory is given back (AddressSanitizer would
  // report it lost otherwise).
  EXPECT_EQ(camera->freeImage(&image), -1);
  EXPECT_EQ(image.data, nullptr);
}

TEST(CameraImage, SizeIsTheNumberOfBytesDelivered) {
  ScriptedCamera scripted;
  CameraHandle camera = scripted.create();
  ASSERT_NE(camera, nullptr);
  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);
  // Four bytes of data ("AQIDBA==") under a size that claims a whole frame.
  const std::string reply =
      "<scam:SingleImageResponse><scam:nSeqNr>3</scam:nSeqNr>"
      "<scam:nSize>1310720</scam:nSize><scam:nStatus>0</scam:nStatus>"
      "<scam:data>AQIDBA==</scam:data></scam:SingleImageResponse>";
  scripted.answer("scam:getSingleImage", reply);
  OCamera::Image image{};
  ASSERT_EQ(camera->getSingleImage(&image), 0);
  EXPECT_EQ(image.size, 4);
  EXPECT_EQ(image.seqNr, 3);
  ASSERT_NE(image.data, nullptr);
  EXPECT_EQ(image.data[3], 4);
  EXPECT_EQ(camera->freeImage(&image), 0);

  scripted.answer("scam:getSingleImage", reply);
  unsigned char buffer[16] = {};
  OCamera::Image into{buffer, 0, 0, 0, 0, 0};
  ASSERT_EQ(camera->getSingleImageInto(&into), 0);
  EXPECT_EQ(into.size, 4);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[4], 0);
}

// Images are decoded straight into the caller's buffer, up to the size the
// reply announces: every byte lands, nothing is written past the image, and a
// payload longer than announced is refused without touching what lies beyond.
TEST(CameraImage, IntoWritesTheImageAndNothingPastTheAnnouncedSize) {
  ScriptedCamera scripted;
  CameraHandle camera = scripted.create();
  ASSERT_NE(camera, nullptr);
  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);
  // Not a multiple of the decoder's blocks, and larger than a receive buffer.
  const int n = 300007;
  std::vector<unsigned char> pixels(n);
  for (int i = 0; i < n; ++i) pixels[i] = static_cast<unsigned char>(i * 7 + i / 251);
  auto replyFor = [&](int announced) {
    return "<scam:SingleImageResponse><scam:nSeqNr>9</scam:nSeqNr><scam:nSize>" +
           std::to_string(announced) + "</scam:nSize><scam:nStatus>0</scam:nStatus><scam:data>" +
           base64(pixels) + "</scam:data></scam:SingleImageResponse>";
  };
  constexpr int kGuard = 64;
  for (int announced : {n, n + 100, n - 5}) {
    SCOPED_TRACE(announced);
    std::vector<unsigned char> buffer(n + kGuard, 0xEE);
    const int room = std::min(announced, n);
    scripted.answer("scam:getSingleImage", replyFor(announced));
    OCamera::Image into{buffer.data(), 0, 0, 0, 0, 0};
    const int result = camera->getSingleImageInto(&into);
    if (announced >= n) {
      ASSERT_EQ(result, 0);
      EXPECT_EQ(into.size, n);
      EXPECT_EQ(std::memcmp(buffer.data(), pixels.data(), n), 0);
    } else {
      EXPECT_EQ(result, -1);
    }
    for (int i = room; i < n + kGuard; ++i)
      ASSERT_EQ(buffer[i], 0xEE) << "written past the image at " << i;
  }
  // The refused reply's connection is not reused, and images into new memory
  // take the longer payload whole.
  scripted.answer("scam:getSingleImage", replyFor(n - 5));
  OCamera::Image image{};
  ASSERT_EQ(camera->getSingleImage(&image), 0);
  ASSERT_EQ(image.size, n);
  EXPECT_EQ(std::memcmp(image.data, pixels.data(), n), 0);
  EXPECT_EQ(camera->freeImage(&image), 0);
}

// Whatever a camera announces or sends, an image never goes past the buffer:
// getSingleImageInto's room is the window set last (else the size opened
// with), grabImage's the capacity given, and each outcome is told apart.
TEST(CameraImage, TheBufferBoundsEveryImageAndGrabTellsOutcomesApart) {
  ScriptedCamera scripted;
  CameraHandle camera = scripted.create();
  ASSERT_NE(camera, nullptr);
  ASSERT_EQ(camera->open(1 << 20, 4), 0);
  ASSERT_EQ(camera->setCameraWindow(0, 0, 640, 480), 0);
  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);
  constexpr int kFrame = 640 * 480;
  const std::vector<unsigned char> pixels(kFrame + 1, 0x5A);
  auto reply = [&](const std::string &size, int status, const std::string &data) {
    return "<scam:SingleImageResponse><scam:nSeqNr>4</scam:nSeqNr>" + size + "<scam:nStatus>" +
           std::to_string(status) + "</scam:nStatus>" + data + "</scam:SingleImageResponse>";
  };
  const std::string oneTooMany = "<scam:data>" + base64(pixels) + "</scam:data>";
  constexpr int kGuard = 4096;
  for (const std::string &size : {std::string("<scam:nSize>307201</scam:nSize>"),
                                  std::string("<scam:nSize>1048576</scam:nSize>"), std::string()}) {
    SCOPED_TRACE(size.empty() ? "no size announced" : size);
    std::vector<unsigned char> buffer(kFrame + kGuard, 0xEE);
    scripted.answer("scam:getSingleImage", reply(size, 0, oneTooMany));
    OCamera::Image into{buffer.data(), 0, 0, 0, 0, 0};
    EXPECT_EQ(camera->getSingleImageInto(&into), -1);
    EXPECT_EQ(into.size, 0);
    for (int i = kFrame; i < kFrame + kGuard; ++i)
      ASSERT_EQ(buffer[i], 0xEE) << "written past the window at " << i;

    scripted.answer("scam:getSingleImage", reply(size, 0, oneTooMany));
    OCamera::Image grabbed{};
    EXPECT_EQ(camera->grabImage(buffer.data(), kFrame, &grabbed), OCamera::GRAB_TOO_LARGE);
    EXPECT_EQ(grabbed.size, kFrame + 1);
    EXPECT_EQ(grabbed.data, nullptr);
    for (int i = kFrame; i < kFrame + kGuard; ++i)
      ASSERT_EQ(buffer[i], 0xEE) << "written past the capacity at " << i;
  }

  std::vector<unsigned char> exact(kFrame);
  const std::vector<unsigned char> frame(pixels.begin(), pixels.end() - 1);
  scripted.answer("scam:getSingleImage", reply("<scam:nSize>307200</scam:nSize>", 0,
                                               "<scam:data>" + base64(frame) + "</scam:data>"));
  OCamera::Image image{};
  ASSERT_EQ(camera->grabImage(exact.data(), exact.size(), &image), OCamera::GRAB_IMAGE);
  EXPECT_EQ(image.data, exact.data());
  EXPECT_EQ(image.size, kFrame);
  EXPECT_EQ(image.seqNr, 4);
  EXPECT_EQ(exact[kFrame - 1], 0x5A);

  struct Case {
    int status;
    OCamera::eGrabResult result;
  };
  for (const Case c : {Case{-21, OCamera::GRAB_TIMEOUT}, Case{-10, OCamera::GRAB_REFUSED},
                       Case{0, OCamera::GRAB_EMPTY}}) {
    SCOPED_TRACE(c.status);
    scripted.answer("scam:getSingleImage", reply("<scam:nSize>0</scam:nSize>", c.status, ""));
    OCamera::Image none{nullptr, 1, 2, 3, 4, 5};
    EXPECT_EQ(camera->grabImage(exact.data(), exact.size(), &none), c.result);
    EXPECT_EQ(none.data, nullptr);
    EXPECT_EQ(none.size, 4);
    EXPECT_EQ(none.status, c.status == 0 ? 5 : c.status);
  }
  scripted.answerFault("scam:getSingleImage");
  EXPECT_EQ(camera->grabImage(exact.data(), exact.size(), &image), OCamera::GRAB_FAILED);
  // No images in the stopped mode: nothing is sent.
  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP), 0);
  const std::size_t asked = scripted.requestsOf("scam:getSingleImage").size();
  EXPECT_EQ(camera->grabImage(exact.data(), exact.size(), &image), OCamera::GRAB_FAILED);
  EXPECT_EQ(scripted.requestsOf("scam:getSingleImage").size(), asked);
}

TEST(CameraImageRam, ReadsExactlyWhatWasAskedFor) {
  auto sim = startSimulator();
  CameraHandle camera = createOn(*sim);
  ASSERT_NE(camera, nullptr);
  std::vector<std::uint8_t> stored(1000);
  for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<std::uint8_t>(i * 7);
  sim->writeRam(4096, stored);

  std::vector<unsigned char> dest(1000, 0x5A);
  ASSERT_EQ(camera->readImageRAM(dest.data(), 4096, 1000), 0);
  EXPECT_EQ(dest, stored);

  const std::vector<unsigned char> untouched(1000, 0x5A);
  dest = untouched;
  sim->inject(Fault{FaultKind::TruncateData, "scam:readImageRAM", 0, 1});
  EXPECT_EQ(camera->readImageRAM(dest.data(), 4096, 1000), -1) << "999 of 1000 bytes";
  EXPECT_EQ(dest, untouched);
  sim->clearFaults();

  sim->inject(Fault{FaultKind::Status, "scam:readImageRAM", 0, 0, 3});
  EXPECT_EQ(camera->readImageRAM(dest.data(), 4096, 1000), 3);
  EXPECT_EQ(dest, untouched) << "a non-zero status copies nothing";
  sim->clearFaults();

  // A read the camera refuses comes without data: its status, not a failure.
  EXPECT_EQ(camera->readImageRAM(dest.data(), 0xFFFFFFF0u, 16), ocamsim::status::kOutOfRange);
  EXPECT_EQ(dest, untouched);
}

TEST(CameraImageRam, ReducedReadRefusesInconsistentOrOversizedReplies) {
  struct Case {
    const char *label;
    int dataBytes;
    unsigned retlen;
    int status;
    int expected;
    int returned;
  };
  const Case cases[] = {
      {"shorter than asked", 6, 6, 0, 0, 6}, {"exactly as asked", 8, 8, 0, 0, 8},
      {"more than asked", 12, 12, 0, -1, 0}, {"retlen disagrees with data", 6, 5, 0, -1, 0},
      {"non-zero status", 6, 6, 2, 2, 0},
  };
  ScriptedCamera scripted;
  CameraHandle camera = scripted.create();
  ASSERT_NE(camera, nullptr);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<unsigned char> data(c.dataBytes);
    for (int i = 0; i < c.dataBytes; ++i) data[i] = static_cast<unsigned char>(0xA0 + i);
    scripted.answer("scam:readImageRAMReducedData",
                    "<scam:readImageRAMReducedDataResponse><scam:data>" + base64(data) +
                        "</scam:data><scam:retlen>" + std::to_string(c.retlen) +
                        "</scam:retlen><scam:status>" + std::to_string(c.status) +
                        "</scam:status></scam:readImageRAMReducedDataResponse>");
    std::vector<unsigned char> dest(16, 0x11);
    int returned = -7;
    EXPECT_EQ(camera->readImageRAMReducedData(dest.data(), 64, 8, &returned), c.expected);
    EXPECT_EQ(returned, c.returned);
    for (int i = 0; i < 16; ++i) {
      const unsigned char want = i < c.returned ? data[i] : 0x11;
      EXPECT_EQ(dest[i], want) << "byte " << i;
    }
  }
}

}  // namespace
}  // namespace camera_test
