// The Windows DLL end to end, as an application links it (public headers and
// the import library only), against a Linux ocamsim on 127.0.0.1: the device
// list, a camera's operations and images, image memory, inputs, outputs and
// LEDs.
#include <gtest/gtest.h>
#include <ocamera/ocamera.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "simulator_env.h"

namespace windows_test {
namespace {

using namespace ocamera::status;

template <typename T>
struct Destroyer {
  void operator()(T *object) const { object->destroy(); }
};
template <typename T>
using Handle = std::unique_ptr<T, Destroyer<T>>;

constexpr int kWidth = 64, kHeight = 48;

class DllCamera : public WithSimulator {};

TEST_F(DllCamera, DeviceListNamesTheFourServicesAndARefusedPortFails) {
  std::vector<ocamera::DeviceInfo> devices;
  std::string error;
  ASSERT_EQ(ocamera::listDevices(cameraAddress().c_str(), &devices, &error), 0) << error;
  ASSERT_EQ(devices.size(), 4u);
  std::set<std::string> types;
  for (const auto &device : devices) {
    types.insert(device.type);
    EXPECT_FALSE(device.vendor.empty());
    EXPECT_EQ(device.maxTimeout, 10) << "ocamsim's default session time-out";
  }
  EXPECT_EQ(types.size(), 4u) << "four different device types";

  // Port 1 on the loopback: nothing listens, Winsock refuses the connection.
  devices.assign(2, {});
  EXPECT_EQ(ocamera::listDevices("127.0.0.1:1", &devices, &error), -1);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ocamera::listDevices(nullptr, &devices, nullptr), -1);
}

TEST_F(DllCamera, SettingsRoundTripAndRefusalsCarryTheirStatus) {
  EXPECT_EQ(CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, "127.0.0.1:1"), nullptr);
  EXPECT_FALSE(ocamera::lastCreationError().empty());

  Handle<OCamera> camera(CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, cameraAddress().c_str()));
  ASSERT_NE(camera, nullptr) << ocamera::lastCreationError();
  EXPECT_EQ(camera->close(), kNotOpen);
  ASSERT_EQ(camera->open(kWidth * kHeight, 4), 0);
  EXPECT_EQ(camera->getMaxImageCount(), 4);
  for (int shutter : {100, 12345}) {
    ASSERT_EQ(camera->setShutterTime(shutter), 0);
    EXPECT_EQ(camera->getShutterTime(), shutter);
  }
  EXPECT_EQ(camera->setCameraWindow(0, 0, kWidth, kHeight), 0);
  EXPECT_EQ(camera->setGain(2), 0);
  EXPECT_EQ(camera->setFrameRate(25), 0);

  // Sensor registers: the names come as a null-ended list out of the DLL.
  const char *const *names = camera->getSensorRegisterNames();
  ASSERT_NE(names, nullptr);
  ASSERT_NE(names[0], nullptr);
  unsigned value = 0;
  EXPECT_EQ(camera->getSensorRegister(names[0], &value), 0);
  EXPECT_EQ(camera->getSensorRegister("no-such-register", &value), kUnknownRegister);

  const int refused = camera->open(kWidth * kHeight, 4);
  EXPECT_EQ(refused, kAlreadyOpen);
  EXPECT_FALSE(ocamera::statusText(refused).empty());
  EXPECT_NE(ocamera::statusText(refused), ocamera::statusText(kNotOpen));
  EXPECT_EQ(camera->close(), 0);
  EXPECT_EQ(camera.release()->destroy(), 0);
}

TEST_F(DllCamera, ImagesArriveInOrderIntoBothKindsOfMemoryAndConvert) {
  Handle<OCamera> camera(CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, cameraAddress().c_str()));
  ASSERT_NE(camera, nullptr) << ocamera::lastCreationError();
  ASSERT_EQ(camera->setCameraWindow(0, 0, kWidth, kHeight), 0);
  ASSERT_EQ(camera->open(kWidth * kHeight, 4), 0);
  ASSERT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);

  int lastSeq = -1;
  for (int i = 0; i < 3; ++i) {
    OCamera::Image image{};
    ASSERT_EQ(camera->getSingleImage(&image), 0);
    ASSERT_NE(image.data, nullptr);
    ASSERT_EQ(image.size, kWidth * kHeight);
    EXPECT_EQ(image.status, 0);
    EXPECT_GT(image.seqNr, lastSeq);
    lastSeq = image.seqNr;
    const auto [low, high] = std::minmax_element(image.data, image.data + image.size);
    EXPECT_LT(*low, *high) << "a scene, not a constant";
    EXPECT_EQ(camera->freeImage(&image), 0);
    EXPECT_EQ(image.data, nullptr);
  }

  // Into the caller's buffer: too small refuses without writing; large enough
  // takes the image and nothing past it.
  std::vector<unsigned char> buffer(kWidth * kHeight + 8, 0xEE);
  OCamera::Image into{};
  EXPECT_EQ(camera->grabImage(buffer.data(), 16, &into), OCamera::GRAB_TOO_LARGE);
  EXPECT_EQ(into.size, kWidth * kHeight);
  EXPECT_EQ(buffer[0], 0xEE);
  ASSERT_EQ(camera->grabImage(buffer.data(), buffer.size(), &into), OCamera::GRAB_IMAGE);
  EXPECT_EQ(into.data, buffer.data());
  EXPECT_GT(into.seqNr, lastSeq);
  EXPECT_EQ(buffer[kWidth * kHeight], 0xEE);

  std::vector<unsigned char> rgb(kWidth * kHeight * 3, 0);
  OCameraTools::Bayer2RGB(buffer.data(), rgb.data(), kWidth, kHeight,
                          OCameraTools::BAYER_PATTERN_GRGR);
  EXPECT_NE(std::count(rgb.begin(), rgb.end(), 0), static_cast<long>(rgb.size()));

  EXPECT_EQ(camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP), 0);
  EXPECT_EQ(camera->close(), 0);
}

TEST_F(DllCamera, ImageMemoryKeepsWhatWasWritten) {
  Handle<OCamera> camera(CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, cameraAddress().c_str()));
  ASSERT_NE(camera, nullptr) << ocamera::lastCreationError();
  ASSERT_EQ(camera->initImageRAM(), 0);
  ASSERT_GT(ocamera::imageRAMSize(*camera), 100000);
  // Every byte value, in an order that is not a run, through base64 both ways.
  std::vector<unsigned char> written(70000);
  for (std::size_t i = 0; i < written.size(); ++i)
    written[i] = static_cast<unsigned char>((i * 131 + i / 256) & 0xFF);
  ASSERT_EQ(camera->writeImageRAM(written.data(), 1000, static_cast<unsigned>(written.size())), 0);
  std::vector<unsigned char> read(written.size(), 0);
  ASSERT_EQ(camera->readImageRAM(read.data(), 1000, static_cast<unsigned>(read.size())), 0);
  EXPECT_EQ(read, written);
  EXPECT_NE(ocamera::checkImageRAMRange(*camera, 0, 1ull << 40), 0);
  EXPECT_EQ(camera->disableImageRAM(), 0);
}

TEST_F(DllCamera, OutputsLedsAndInputsAnswerOverTheIoPort) {
  Handle<OCameraOutputs> outputs(CreateCameraOutputs(ioAddress().c_str()));
  Handle<OCameraLEDs> leds(CreateCameraLEDs(ioAddress().c_str()));
  Handle<OCameraInputs> inputs(CreateCameraInputs(ioAddress().c_str()));
  ASSERT_TRUE(outputs && leds && inputs) << ocamera::lastCreationError();
  ASSERT_EQ(outputs->iOpen(), 0);
  ASSERT_EQ(leds->iOpen(), 0);
  ASSERT_EQ(inputs->iOpen(), 0);

  ASSERT_EQ(outputs->iSetOutputs(OCameraOutputs::OUTPUT_ALL, 0), 0);
  ASSERT_EQ(outputs->iSetOutput(OCameraOutputs::OUTPUT_O2, 1), 0);
  EXPECT_EQ(outputs->iGetOutputs() & OCameraOutputs::OUTPUT_ALL, OCameraOutputs::OUTPUT_O2);
  ASSERT_EQ(outputs->iToggleOutputs(OCameraOutputs::OUTPUT_O0 | OCameraOutputs::OUTPUT_O2), 0);
  EXPECT_EQ(outputs->iGetOutputs() & OCameraOutputs::OUTPUT_ALL, OCameraOutputs::OUTPUT_O0);

  ASSERT_EQ(leds->iSetLEDs(OCameraLEDs::LED_ALL, 0), 0);
  ASSERT_EQ(leds->iSetLEDs(OCameraLEDs::LED_ALL_GREEN, OCameraLEDs::LED_ALL_GREEN), 0);
  EXPECT_EQ(leds->iGetLEDs(), OCameraLEDs::LED_ALL_GREEN);
  ASSERT_EQ(leds->iToggleLED(OCameraLEDs::LED_3_YELLOW), 0);
  EXPECT_EQ(leds->iGetLED(OCameraLEDs::LED_3_YELLOW), 1);

  const int levels = inputs->iGetInputs();
  EXPECT_GE(levels, 0);
  EXPECT_LE(levels, 127);
  // Nothing changes the simulated inputs: the wait ends with the camera's
  // time-out, no sooner.
  ASSERT_EQ(inputs->iSetTimeout(200), 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(inputs->iWaitForInputChange(OCameraInputs::INPUT_I0), kTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));

  EXPECT_EQ(outputs->iClose(), 0);
  EXPECT_EQ(leds->iClose(), 0);
  EXPECT_EQ(inputs->iClose(), 0);
}

}  // namespace
}  // namespace windows_test
