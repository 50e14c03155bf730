// A client of the simulator for its tests: one SOAP context with keep-alive,
// the generated client calls, and short-hands for the common steps.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <climits>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ocamH.h"
#include "protocol/transport.h"
#include "sim/simulator.h"

namespace simtest {

// What status() answers when the request itself failed.
constexpr int kFailed = INT_MIN;

class Client {
 public:
  // `address` is "127.0.0.1:port"; `http` chooses the framing.
  explicit Client(const std::string &address, bool http = true, int recvTimeoutSec = 20)
      : endpoint_(http ? "http://" + address : address) {
    soap_init2(&ctx_, SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE);
    ocamera::wire::configure(&ctx_);
    ctx_.connect_timeout = 5;
    ctx_.recv_timeout = recvTimeoutSec;  // no test may hang on a silent peer
    ctx_.send_timeout = recvTimeoutSec;
    ctx_.socket_flags = MSG_NOSIGNAL;
  }
  ~Client() {
    soap_destroy(&ctx_);
    soap_end(&ctx_);
    soap_done(&ctx_);
  }
  Client(const Client &) = delete;
  Client &operator=(const Client &) = delete;

  struct soap *ctx() {
    return &ctx_;
  }
  const char *endpoint() const { return endpoint_.c_str(); }
  int lastResult() const { return result_; }
  // The faultstring of the last failed call, "" when it had none.
  const std::string &lastFault() const { return fault_; }

  // Calls an operation whose reply is one status; kFailed when the call failed.
  template <class Fn, class... A>
  int status(Fn fn, A... in) {
    int s = 0;
    result_ = fn(&ctx_, endpoint_.c_str(), "", in..., s);
    keepFault();
    release();
    return result_ == SOAP_OK ? s : kFailed;
  }
  // Frees what the replies so far left in the context.
  void release() {
    soap_destroy(&ctx_);
    soap_end(&ctx_);
  }
  // Calls an operation with a structured reply; returns the call's result.
  // The reply lives in the context until release().
  template <class Fn, class Reply, class... A>
  int call(Fn fn, Reply &reply, A... in) {
    result_ = fn(&ctx_, endpoint_.c_str(), "", in..., reply);
    keepFault();
    return result_;
  }

  // rdev:open; the token, or kFailed.
  int open(int id) {
    int token = 0;
    result_ = ocam::soap_call_rdev__open(&ctx_, endpoint_.c_str(), "", id,
                                         ocam::rdev__eAccess__SERVICE_READ_WRITE, token);
    keepFault();
    release();
    return result_ == SOAP_OK ? token : kFailed;
  }
  int keepAlive(int token) {
    ocam::rdev__keepAliveResponse r;
    result_ = ocam::soap_call_rdev__keepAlive(&ctx_, endpoint_.c_str(), "", token, &r);
    keepFault();
    release();
    return result_;
  }
  int close(int token) {
    ocam::rdev__closeResponse r;
    result_ = ocam::soap_call_rdev__close(&ctx_, endpoint_.c_str(), "", token, &r);
    keepFault();
    release();
    return result_;
  }

  // A camera session ready for acquisition: opened device 1, created, opened
  // with `buffers` buffers. Returns the token.
  int openCamera(int buffers = 4) {
    const int token = open(1);
    if (token == kFailed) return kFailed;
    if (status(ocam::soap_call_scam__create, token, ocam::scam__eCameraType__CAM_TYPE_GENERIC) != 0)
      return kFailed;
    if (status(ocam::soap_call_scam__open, token, 0, buffers) != 0) return kFailed;
    return token;
  }
  int setMode(int token, int mode) {
    return status(ocam::soap_call_scam__setAcquisitionMode, token,
                  static_cast<ocam::scam__eAcqMode>(mode));
  }

 private:
  // Keeps the fault text of a failed call, and closes its connection as the
  // library does: what is left in it cannot be trusted.
  void keepFault() {
    const char **text = result_ == SOAP_OK ? nullptr : soap_faultstring(&ctx_);
    fault_ = text && *text ? *text : "";
    if (result_ != SOAP_OK) soap_force_closesock(&ctx_);
  }

  struct soap ctx_;
  std::string endpoint_;
  int result_ = 0;
  std::string fault_;
};

// A base64 payload over `bytes`.
inline ocam::xsd__base64Binary payload(std::vector<unsigned char> &bytes) {
  ocam::xsd__base64Binary b;
  b.__ptr = bytes.data();
  b.__size = static_cast<int>(bytes.size());
  return b;
}

// Polls `pred` until it holds or `timeout` passes, for conditions that only
// time brings about (session expiry, the OS reaping threads).
inline bool eventually(const std::function<bool()> &pred,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace simtest
