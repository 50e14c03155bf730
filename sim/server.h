// What the service functions see of the server: the connection a request
// arrived on (through soap->user), the model, and the fault hooks that shape
// the reply.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/model.h"
#include "sim/simulator.h"

struct soap;

namespace ocamsim {
namespace detail {

class Server;

// What the connection loop does after a service function gave up the reply.
enum class Action { None, Drop, Malformed, Unexpected, Costly, Silent };

struct Connection {
  Server *server = nullptr;
  Model *model = nullptr;
  int fd = -1;  // guarded by the server's connection mutex; -1 once closed
  unsigned port = 0;
  bool done = false;

  // The request being served.
  std::string op;  // "scam:setGain", ...
  int token = 0;
  int status = 0;
  bool injected = false;
  bool http = false;
  bool haveFault = false;
  Fault fault{FaultKind::Delay, ""};
  Action action = Action::None;
  std::size_t inBytes = 0;
  std::size_t outBytes = 0;
  // Time-outs: from the last reply until a request starts, and from its
  // first byte until it is complete.
  std::chrono::steady_clock::time_point idleSince;
  std::chrono::steady_clock::time_point requestStart;
  int receiveWaitMs = 0;  // the socket's receive time-out; 0 while none is set
  // Bytes of the server's request memory this request holds: those received,
  // or the announced Content-Length when it is more.
  std::size_t announced = 0;
  std::size_t reserved = 0;
  // The reply as the runtime writes it, sent only after the request is
  // logged, so that a client holding its answer finds the request in the
  // log. Kept from request to request, so that its room is reused.
  std::string out;
  bool closeRequested = false;  // the runtime is done with the connection
  // An image payload goes out beside the runtime's reply instead of through
  // it: spliced in as the reply's last element at `split`, its text encoded
  // chunk by chunk into `text` (reused) as it is sent (see Server::sendReply).
  const std::uint8_t *payload = nullptr;
  int payloadSize = 0;
  std::size_t split = 0;
  std::unique_ptr<char[]> text;
  // Reply payloads that must outlive the service function.
  std::shared_ptr<Frame> image;
  std::vector<std::uint8_t> scratch;
  std::vector<std::string> names;
  std::vector<char *> namePtrs;

  // Faults that replace the reply, applied before the service does anything:
  // SOAP_OK to go on, otherwise the error the service function returns.
  int begin(struct soap *ctx, int token);
  // The status to answer instead of `value` (FaultKind::Status); records it.
  int answer(int value);
  // Makes a base64 payload `fault.bytes` shorter or longer (TruncateData, PadData).
  void shapePayload(unsigned char *&ptr, int &size);
  // Hands an image payload to the reply path (after shapePayload).
  void sendBeside(const unsigned char *ptr, int size);
  // Setters also remember their arguments for Simulator::lastSetting().
  void remember(const std::string &arguments);
};

}  // namespace detail
}  // namespace ocamsim
