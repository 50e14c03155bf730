#include "camera/camera_support.h"

#include <gtest/gtest.h>

#include <iostream>

namespace camera_test {

using ocamera_test::PeerReply;
using ocamera_test::PeerRequest;

StderrCapture::StderrCapture() : saved_(std::cerr.rdbuf(stream_.rdbuf())) {}

StderrCapture::~StderrCapture() { std::cerr.rdbuf(saved_); }

std::unique_ptr<ocamsim::Simulator> startSimulator(ocamsim::Options options) {
  options.sensorWidth = 64;
  options.sensorHeight = 48;
  if (options.ioPort == 0) options.ioPort = -1;
  auto sim = std::make_unique<ocamsim::Simulator>(options);
  sim->start();
  return sim;
}

ScriptedCamera::ScriptedCamera() {
  peer_.setFallback([this](const PeerRequest &request) { return reply(request); });
}

CameraHandle ScriptedCamera::create() {
  CameraHandle camera(CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, address().c_str()));
  EXPECT_NE(camera, nullptr) << "no camera object on the scripted peer";
  return camera;
}

void ScriptedCamera::answer(const std::string &operation, const std::string &body) {
  std::lock_guard<std::mutex> lock(mutex_);
  bodies_[operation] = body;
}

void ScriptedCamera::answerStatus(const std::string &operation, int status) {
  answer(operation, ocamera_test::statusResponse(operation + "Response", status));
}

void ScriptedCamera::answerFault(const std::string &operation) {
  answer(operation, ocamera_test::soapFault("SOAP-ENV:Server", "scripted fault"));
}

std::vector<PeerRequest> ScriptedCamera::requestsOf(const std::string &operation) const {
  std::vector<PeerRequest> found;
  for (const PeerRequest &request : peer_.requests())
    if (operationOf(request) == operation) found.push_back(request);
  return found;
}

PeerReply ScriptedCamera::reply(const PeerRequest &request) {
  const std::string operation = operationOf(request);
  std::string body;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = bodies_.find(operation);
    if (it != bodies_.end()) body = it->second;
  }
  if (body.empty()) {
    if (operation == "rdev:list") {
      body =
          "<rdev:listResponse><rdev:devices><rdev:id>1</rdev:id><rdev:vendor>scripted</rdev:vendor>"
          "<rdev:type>ONetCamera</rdev:type><rdev:description/>"
          "<rdev:versionMajor>1</rdev:versionMajor><rdev:versionMinor>0</rdev:versionMinor>"
          "<rdev:maxTimeout>600</rdev:maxTimeout><rdev:status>ready</rdev:status>"
          "</rdev:devices></rdev:listResponse>";
    } else if (operation == "rdev:open") {
      body = "<rdev:openResponse><rdev:token>" + std::to_string(kToken) +
             "</rdev:token></rdev:openResponse>";
    } else if (operation == "rdev:close" || operation == "rdev:keepAlive") {
      body = "<" + operation + "Response/>";
    } else {
      body = ocamera_test::statusResponse(operation + "Response", 0);
    }
  }
  return PeerReply::http(ocamera_test::soapEnvelope(body));
}

std::string operationOf(const PeerRequest &request) {
  const std::string &xml = request.body;
  std::size_t pos = xml.find("Body>");
  if (pos == std::string::npos) return "";
  pos = xml.find('<', pos);
  if (pos == std::string::npos) return "";
  const std::size_t end = xml.find_first_of(" \t\r\n/>", pos + 1);
  return end == std::string::npos ? "" : xml.substr(pos + 1, end - pos - 1);
}

std::string base64(const std::vector<unsigned char> &bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    unsigned v = bytes[i] << 16;
    if (n > 1) v |= bytes[i + 1] << 8;
    if (n > 2) v |= bytes[i + 2];
    for (std::size_t k = 0; k < 4; ++k) text += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 63] : '=';
  }
  return text;
}

}  // namespace camera_test
