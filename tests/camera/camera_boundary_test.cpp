// What every exported factory does with what it cannot use: an empty address,
// and a failure that comes without a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "camera/camera_support.h"
#include "ocamera/inputs.h"
#include "ocamera/leds.h"
#include "ocamera/outputs.h"

namespace camera_test {
namespace {

using ocamera_test::PeerReply;
using ocamera_test::PeerRequest;

std::size_t lines(const std::string &text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(FactoryBoundary, AnEmptyAddressIsRefusedLikeANullOne) {
  StderrCapture err;
  EXPECT_EQ(CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, ""), nullptr);
  EXPECT_EQ(CreateCameraInputs(""), nullptr);
  EXPECT_EQ(CreateCameraOutputs(""), nullptr);
  EXPECT_EQ(CreateCameraLEDs(""), nullptr);
  EXPECT_EQ(err.text(),
            "CreateCameraInterface: no camera address given\n"
            "CreateCameraInputs: no camera address given\n"
            "CreateCameraOutputs: no camera address given\n"
            "CreateCameraLEDs: no camera address given\n");
}

TEST(FactoryBoundary, AFailureWithoutReasonNamesTheAddress) {
  ocamera_test::ScriptedPeer peer;
  const std::string address = peer.httpEndpoint();
  // A device list longer than a reply may hold.
  std::string devices;
  for (int i = 0; i < 5000; ++i)
    devices += "<rdev:devices><rdev:id>" + std::to_string(i) +
               "</rdev:id><rdev:type>ONetCamera</rdev:type></rdev:devices>";
  peer.enqueue(PeerReply::http(
      ocamera_test::soapEnvelope("<rdev:listResponse>" + devices + "</rdev:listResponse>")));
  {
    StderrCapture err;
    EXPECT_EQ(CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, address.c_str()), nullptr);
    EXPECT_EQ(err.text(), address + ": device list too long\n");
  }
  // A camera that closes the connection without a word.
  peer.enqueue(PeerReply::closeWithoutReply());
  {
    StderrCapture err;
    EXPECT_EQ(CreateCameraOutputs(address.c_str()), nullptr);
    const std::string text = err.text();
    EXPECT_EQ(lines(text), 1u) << text;
    EXPECT_GT(text.size(), 1u) << "an empty line";
    EXPECT_NE(text.find(address), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace camera_test
