// A scripted camera for the I/O tests: it lists devices, opens sessions and
// answers every request of the inputs, outputs and LED services, recording each
// request byte for byte in arrival order. Single operations can be made to
// answer something else (a status, a fault, nothing).
#pragma once

#include <atomic>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "common/scripted_peer.h"

namespace ocamera_test {

// Session tokens the scripted camera hands out: 700 + device id, the ids
// counting from 1 in listing order.
constexpr int kTokenBase = 700;

// The operation element of a request body ("<sinp:iOpen>...</sinp:iOpen>").
inline std::string operationElement(const std::string &body) {
  const std::string open = "<SOAP-ENV:Body>", close = "</SOAP-ENV:Body>";
  const auto begin = body.find(open), end = body.find(close);
  if (begin == std::string::npos || end == std::string::npos) return "";
  return body.substr(begin + open.size(), end - begin - open.size());
}

// "sinp:iOpen" from "<sinp:iOpen>...".
inline std::string operationName(const std::string &element) {
  if (element.size() < 2) return "";
  return element.substr(1, element.find_first_of(" />", 1) - 1);
}

inline std::string textOf(const std::string &element, const std::string &name) {
  const auto begin = element.find("<" + name + ">");
  if (begin == std::string::npos) return "";
  const auto from = begin + name.size() + 2;
  return element.substr(from, element.find('<', from) - from);
}

// Expected operation element: the token first, then the parameters in order.
inline std::string request(const std::string &op, int token,
                           std::initializer_list<std::pair<std::string, std::string>> params = {}) {
  const std::string prefix = op.substr(0, op.find(':'));
  std::string children = xmlElement(prefix + ":token", std::to_string(token));
  for (const auto &p : params) children += xmlElement(prefix + ":" + p.first, p.second);
  return xmlElement(op, children);
}

class ScriptedCamera {
 public:
  explicit ScriptedCamera(std::vector<std::string> deviceTypes = {"ONetCameraInputs",
                                                                  "ONetCameraOutputs",
                                                                  "ONetCameraLEDs"})
      : types_(std::move(deviceTypes)) {
    peer_.setFallback([this](const PeerRequest &r) { return answer(r); });
  }

  std::string address() const { return peer_.bareEndpoint(); }
  ScriptedPeer &peer() { return peer_; }

  // The status the I/O operations answer.
  std::atomic<int> status{0};

  // From now on `op` ("sinp:create", "rdev:close", ...) gets this reply.
  void override(const std::string &op, PeerReply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    overrides_[op] = std::move(reply);
  }

  // The operation elements received from request `from` on, in arrival order.
  std::vector<std::string> requestsFrom(std::size_t from) const {
    std::vector<std::string> out;
    const auto all = peer_.requests();
    for (std::size_t i = from; i < all.size(); ++i) out.push_back(operationElement(all[i].body));
    return out;
  }
  std::vector<std::string> operationsFrom(std::size_t from) const {
    std::vector<std::string> out;
    for (const auto &element : requestsFrom(from)) out.push_back(operationName(element));
    return out;
  }
  std::string lastRequest() const { return requestsFrom(peer_.requestCount() - 1).at(0); }

 private:
  PeerReply answer(const PeerRequest &r) {
    const std::string element = operationElement(r.body);
    const std::string op = operationName(element);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto it = overrides_.find(op);
      if (it != overrides_.end()) return it->second;
    }
    std::string reply;
    if (op == "rdev:list") {
      std::string devices;
      for (std::size_t i = 0; i < types_.size(); ++i) devices += descriptor(i + 1, types_[i]);
      reply = xmlElement("rdev:listResponse", devices);
    } else if (op == "rdev:open") {
      const int token = kTokenBase + std::stoi(textOf(element, "rdev:id"));
      reply = xmlElement("rdev:openResponse", xmlElement("rdev:token", std::to_string(token)));
    } else if (op == "rdev:close" || op == "rdev:keepAlive") {
      reply = xmlElement(op + "Response", "");
    } else {
      reply = statusResponse(op + "Response", status.load());
    }
    return PeerReply::bare(soapEnvelope(reply));
  }

  static std::string descriptor(std::size_t id, const std::string &type) {
    // A time-out of ten minutes: no keep-alive is due while a test runs.
    return xmlElement(
        "rdev:devices",
        xmlElement("rdev:id", std::to_string(id)) + xmlElement("rdev:vendor", "scripted") +
            xmlElement("rdev:type", type) + xmlElement("rdev:description", "") +
            xmlElement("rdev:versionMajor", "1") + xmlElement("rdev:versionMinor", "0") +
            xmlElement("rdev:maxTimeout", "600") + xmlElement("rdev:status", "ready"));
  }

  const std::vector<std::string> types_;
  std::mutex mutex_;
  std::map<std::string, PeerReply> overrides_;
  ScriptedPeer peer_;  // last: its thread stops before the rest goes
};

}  // namespace ocamera_test
