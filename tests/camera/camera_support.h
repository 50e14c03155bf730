// Shared pieces of the camera tests: a camera handle that always ends its
// object, a capture of standard error, a scripted camera for exact replies and
// a simulator set up small.
#pragma once

#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "common/scripted_peer.h"
#include "ocamera/camera.h"
#include "sim/simulator.h"

namespace camera_test {

struct DestroyCamera {
  void operator()(OCamera *camera) const {
    if (camera) camera->destroy();
  }
};
// Ends the object with destroy() when the test leaves, even on a failed check.
using CameraHandle = std::unique_ptr<OCamera, DestroyCamera>;

// Collects what is written to std::cerr while it lives.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  std::string text() const { return stream_.str(); }

 private:
  std::ostringstream stream_;
  std::streambuf *saved_;
};

// A simulator with a small sensor, no I/O services, started.
std::unique_ptr<ocamsim::Simulator> startSimulator(ocamsim::Options options = {});

// A camera played by a ScriptedPeer: the device manager lists one "ONetCamera"
// device and opens it with kToken; every camera request gets a status reply
// (0) unless the test sets another reply for its operation.
class ScriptedCamera {
 public:
  static constexpr int kToken = 77;

  ScriptedCamera();
  std::string address() const { return peer_.httpEndpoint(); }
  // Creates a camera object on this peer (fails the test when it cannot).
  CameraHandle create();

  // From now on, answer `operation` ("scam:setGain") with this SOAP body content.
  void answer(const std::string &operation, const std::string &body);
  void answerStatus(const std::string &operation, int status);
  void answerFault(const std::string &operation);

  // The requests of one operation, in arrival order, and of all operations.
  std::vector<ocamera_test::PeerRequest> requestsOf(const std::string &operation) const;
  std::vector<ocamera_test::PeerRequest> requests() const { return peer_.requests(); }
  std::size_t requestCount() const { return peer_.requestCount(); }

 private:
  ocamera_test::PeerReply reply(const ocamera_test::PeerRequest &request);

  mutable std::mutex mutex_;
  std::map<std::string, std::string> bodies_;
  ocamera_test::ScriptedPeer peer_;
};

// The operation element of a request ("scam:setGain"), or "" when none is found.
std::string operationOf(const ocamera_test::PeerRequest &request);

// Base64 text of bytes (the alphabet with "+/" and "=" padding).
std::string base64(const std::vector<unsigned char> &bytes);

}  // namespace camera_test
