// The serving side of the simulator: the server with its listeners, its
// connections and their threads, and what the service functions see of it
// (the connection a request arrived on, through soap->user, the model, and
// the fault hooks that shape the reply).
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ocamH.h"
#include "sim/bad_token_guard.h"
#include "sim/connection_slots.h"
#include "sim/faults.h"
#include "sim/model.h"
#include "sim/request_log.h"
#include "sim/simulator.h"

namespace ocamsim {
namespace detail {

class Server;

// What the connection loop does after a service function gave up the reply.
enum class Action { None, Drop, Malformed, Unexpected, Costly, Silent };

struct Connection {
  Server *server = nullptr;
  Model *model = nullptr;
  int fd = -1;  // guarded by the connection slots' mutex; -1 once closed
  unsigned port = 0;
  bool cameraPort = false;  // which services it serves: the camera's or the I/O lines'
  std::string client;       // the peer's address, for the fair share of slots
  bool done = false;
  // Where the connection's thread stands, for choosing the connection that
  // gives way when a port is full: only one waiting for a request (Idle) or
  // for the rest of one (Receiving) is closed, never one being served. The
  // slots take it from Idle or Receiving to Evicted; the thread from Busy or
  // Idle to Idle or Receiving and back to Busy. A new connection starts Idle.
  enum Phase { kBusy, kIdle, kReceiving, kEvicted };
  std::atomic<int> phase{kBusy};
  std::atomic<std::int64_t> phaseSince{0};  // steady clock ticks: since when it waits

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

class Server {
 public:
  explicit Server(const Options &options);
  ~Server() { stop(); }

  void start();
  void stop();

  const Options &options() const { return options_; }
  Model &model() { return model_; }
  FaultTable &faults() { return faults_; }
  RequestLog &log() { return log_; }
  const RequestLog &log() const { return log_; }
  ConnectionSlots &slots() { return slots_; }
  const ConnectionSlots &slots() const { return slots_; }
  int port(int which) const { return ports_[which]; }
  // Whether the connection's port serves the service of `op` ("scam:...").
  bool serves(const Connection &c, const std::string &op) const;

  // Room for a request's envelope and arguments beside its largest payload.
  static constexpr std::size_t kEnvelopeRoom = 64 * 1024;
  // Image bytes in the first and in the largest chunk of a reply's text
  // (multiples of 3, so that only the last chunk ends in padding).
  static constexpr std::size_t kFirstChunk = 96 * 1024;
  static constexpr std::size_t kLargestChunk = 768 * 1024;

 private:
  struct Listener {
    int fd = -1;
    unsigned port = 0;
    std::thread thread;
  };

  // Listening (listener.cpp).
  int listenOn(int port, unsigned &bound);
  void acceptLoop(Listener *l);
  void runSchedule();

  // Serving a connection (serve.cpp).
  void serve(Connection *c);
  void serveLoop(struct soap *ctx, Connection *c);
  void record(Connection *c);
  // Receives request bytes, waiting until the connection's time-out: the
  // number received, 0 at the end of the stream, when the time-out passed or
  // when the slots closed the connection to make room, -1 on an error (errno).
  ssize_t receive(Connection *c, char *buf, std::size_t len);
  ssize_t receiveUntil(Connection *c, char *buf, std::size_t len);
  // Takes `total` bytes of request memory for the request of `c` (what it
  // holds so far is counted in); false when the limits do not allow it.
  bool reserve(Connection *c, std::size_t total);
  void release(Connection *c);
  // Socket callbacks of the connection contexts.
  static size_t recvHook(struct soap *ctx, char *buf, size_t len);
  static int sendHook(struct soap *ctx, const char *buf, size_t len);
  static int closeHook(struct soap *ctx, SOAP_SOCKET fd);
  static int shutdownHook(struct soap *ctx, SOAP_SOCKET fd, int how);
  static int headerHook(struct soap *ctx, const char *key, const char *value);

  // Replies (reply.cpp).
  void rawReply(Connection *c);
  // Makes the reply of the request just served ready to go out (the image's
  // length counted in); false when it cannot be sent.
  bool prepareReply(Connection *c);
  // Sends it; false when the connection failed.
  bool sendReply(Connection *c);
  static bool sendParts(int fd, struct iovec *parts, int count, int flags);

  Options options_;
  Model model_;
  bool running_ = false;
  std::atomic<bool> stopping_{false};
  int ports_[2] = {-1, -1};
  std::vector<std::unique_ptr<Listener>> listeners_;
  int wakeFd_ = -1;
  struct soap master_;
  bool masterReady_ = false;
  const std::size_t requestLimit_;
  const std::size_t memoryLimit_;
  std::mutex memoryMutex_;
  std::size_t memoryInUse_ = 0;  // bytes reserved by requests in progress
  int (*origParseHeader_)(struct soap *, const char *, const char *) = nullptr;

  ConnectionSlots slots_;
  BadTokenGuard badTokens_;
  FaultTable faults_;
  RequestLog log_;
  std::thread scheduler_;
};

}  // namespace detail
}  // namespace ocamsim
