// Wire speed of the library beside plain loopback TCP moving the same bytes.
//
//  Canned       the client alone: a loopback peer answers every request from a
//               reply kept in memory (learned once from the simulator, then
//               written with one send; bench/canned_peer.h). Rows: the
//               library, the plain runtime client (generated from the same
//               service definition, runtime codec, no pool; bench/
//               plain_client.h) and raw TCP sending the same request bytes and
//               reading the same reply, images decoded from base64 as they are
//               received. setGain on 1 and 4 threads; getSingleImage and
//               getSingleImageInto at 1280x1024 and 2592x1944.
//  Decode       a pre-encoded 1280x1024 / 2592x1944 image reply parsed by a
//               client context (fed from memory in 64 KiB receives), with
//               the runtime's base64 reader and with the library's.
//  Image        getSingleImageInto of an ONetCamera against the in-process
//               simulator (free run at 1000 frames/s, queue filled before
//               the timed run), with both codecs (the runtime's on both
//               ends, as a plain gSOAP client and server would be); beside
//               it a raw TCP peer that answers a request of the same size
//               with a reply of the same size. The end-to-end figure: the
//               simulator's work is in it.
//  RoundTrip    setGain on one and on four threads sharing one camera
//               object, against the simulator; beside it a raw TCP echo of
//               the same request and reply byte counts, one connection per
//               thread.
//  CameraObjects  heap, resident memory and threads per open camera object
//               with 32 objects open (the simulator runs in a child process
//               so that only the client is counted).
//
// After the runs a summary puts each library figure beside its raw one
// (medians when run with --benchmark_repetitions).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/canned_peer.h"
#include "bench/plain_client.h"
#include "ocamH.h"
#include "ocamera/camera.h"
#include "protocol/base64.h"
#include "protocol/base64_codec.h"
#include "protocol/limits.h"
#include "protocol/transport.h"
#include "sim/simulator.h"

namespace {

using ocamera::wire::Base64Codec;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- raw TCP

using bench::noDelay;
using bench::sendAll;

bool receiveAll(int fd, char *p, std::size_t n) {
  while (n > 0) {
    const ssize_t k = ::recv(fd, p, n, 0);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<std::size_t>(k);
  }
  return true;
}

// A loopback server that answers every `requestBytes` bytes it receives with
// `replyBytes` bytes, one thread per connection.
class RawPeer {
 public:
  RawPeer(std::size_t requestBytes, std::size_t replyBytes)
      : requestBytes_(requestBytes), reply_(replyBytes, 'A') {
    listen_ = bench::listenLoopback(&port_, "raw peer");
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~RawPeer() {
    ::shutdown(listen_, SHUT_RDWR);
    acceptor_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
    for (auto &t : servers_) t.join();
    for (int fd : connections_) ::close(fd);
    ::close(listen_);
  }
  int port() const { return port_; }

 private:
  void acceptLoop() {
    for (;;) {
      const int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) return;
      noDelay(fd);
      std::lock_guard<std::mutex> lock(mutex_);
      connections_.push_back(fd);
      servers_.emplace_back([this, fd] { serve(fd); });
    }
  }
  void serve(int fd) {
    std::vector<char> request(requestBytes_);
    while (receiveAll(fd, request.data(), request.size()) &&
           sendAll(fd, reply_.data(), reply_.size())) {
    }
  }

  std::size_t requestBytes_;
  std::string reply_;
  int listen_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<int> connections_;
  std::vector<std::thread> servers_;
};

class RawClient {
 public:
  RawClient(int port, std::size_t requestBytes, std::size_t replyBytes)
      : request_(requestBytes, 'r'), reply_(replyBytes) {
    fd_ = bench::connectLoopback(port);
  }
  ~RawClient() { ::close(fd_); }
  bool roundTrip() {
    return sendAll(fd_, request_.data(), request_.size()) &&
           receiveAll(fd_, reply_.data(), reply_.size());
  }

 private:
  int fd_ = -1;
  std::string request_;
  std::vector<char> reply_;
};

// ---------------------------------------------------------------- simulator set-ups

struct Sizes {
  std::size_t request = 0;
  std::size_t reply = 0;
};

// The byte counts of the last request of `operation` the simulator served.
Sizes lastExchange(const ocamsim::Simulator &sim, const std::string &operation) {
  Sizes s;
  for (const ocamsim::LogEntry &e : sim.log())
    if (e.operation == operation) s = {e.requestBytes, e.replyBytes};
  return s;
}

// A simulator with one camera object on it, for the whole run.
struct SimCamera {
  std::unique_ptr<ocamsim::Simulator> sim;
  OCamera *camera = nullptr;
  int width = 0, height = 0;
  Sizes exchange;  // of the benchmarked operation
  std::unique_ptr<RawPeer> raw;
  std::mutex rawMutex;

  SimCamera(int w, int h) : width(w), height(h) {
    ocamsim::Options options;
    options.sensorWidth = w;
    options.sensorHeight = h;
    options.ioPort = -1;
    options.logLimit = 1000;
    sim = std::make_unique<ocamsim::Simulator>(options);
    sim->start();
    camera = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, sim->cameraAddress().c_str());
    if (!camera) throw std::runtime_error("no camera object");
  }
  ~SimCamera() {
    raw.reset();
    if (camera) camera->destroy();
    sim->stop();
  }
  RawPeer &rawPeer() {
    std::lock_guard<std::mutex> lock(rawMutex);
    if (!raw) raw = std::make_unique<RawPeer>(exchange.request, exchange.reply);
    return *raw;
  }
};

std::mutex setupMutex;
std::map<std::string, std::unique_ptr<SimCamera>> setups;

// The camera of the image benchmarks: free run at 1000 frames/s into a queue
// of 1024 frames.
SimCamera &imageCamera(int w, int h) {
  std::lock_guard<std::mutex> lock(setupMutex);
  auto &slot = setups["image " + std::to_string(w) + "x" + std::to_string(h)];
  if (!slot) {
    auto s = std::make_unique<SimCamera>(w, h);
    OCamera *c = s->camera;
    if (c->open(0, 1024) != 0 || c->setFrameRate(1000.0f) != 0 ||
        c->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN) != 0)
      throw std::runtime_error("camera set-up refused");
    std::vector<unsigned char> buffer(static_cast<std::size_t>(w) * h);
    OCamera::Image image{};
    image.data = buffer.data();
    if (c->getSingleImageInto(&image) != 0) throw std::runtime_error("no first image");
    s->sim->waitForCount("scam:getSingleImage", 1, 2000);
    s->exchange = lastExchange(*s->sim, "scam:getSingleImage");
    slot = std::move(s);
  }
  return *slot;
}

SimCamera &roundTripCamera() {
  std::lock_guard<std::mutex> lock(setupMutex);
  auto &slot = setups["round trip"];
  if (!slot) {
    auto s = std::make_unique<SimCamera>(64, 64);
    if (s->camera->setGain(2) != 0) throw std::runtime_error("setGain refused");
    s->sim->waitForCount("scam:setGain", 1, 2000);
    s->exchange = lastExchange(*s->sim, "scam:setGain");
    slot = std::move(s);
  }
  return *slot;
}

// Waits (untimed) until the camera's queue holds `frames` frames or 1024.
void fillQueue(OCamera *camera, int frames) {
  const auto deadline = Clock::now() + std::chrono::seconds(3);
  const int wanted = std::min(frames, 1024);
  while (camera->getImageCount() < wanted && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// ---------------------------------------------------------------- canned peer set-ups

// The token in a "rdev:open" reply.
int tokenOf(const std::string &reply) {
  const std::size_t at = reply.find("token>");
  return at == std::string::npos ? 0 : std::atoi(reply.c_str() + at + 6);
}

// A camera object on a canned peer that learned its replies from a simulator
// of the given sensor size; the simulator is gone before any timed run.
struct CannedCamera {
  std::unique_ptr<bench::CannedPeer> peer;
  OCamera *camera = nullptr;
  int token = 0;
  int width = 0, height = 0;

  CannedCamera(int w, int h) : width(w), height(h) {
    ocamsim::Options options;
    options.sensorWidth = w;
    options.sensorHeight = h;
    options.ioPort = -1;
    options.logLimit = 1000;
    ocamsim::Simulator sim(options);
    sim.start();
    peer = std::make_unique<bench::CannedPeer>(sim.cameraAddress());
    const std::string address = peer->address();
    // A first object teaches the peer the end of a session too.
    OCamera *first = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, address.c_str());
    if (!first) throw std::runtime_error("no camera object on the canned peer");
    first->destroy();
    camera = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, address.c_str());
    if (!camera || camera->setGain(2) != 0 || camera->open(0, 16) != 0 ||
        camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN) != 0)
      throw std::runtime_error("canned camera set-up refused");
    std::vector<unsigned char> buffer(static_cast<std::size_t>(w) * h);
    OCamera::Image image{};
    image.data = buffer.data();
    if (camera->getSingleImageInto(&image) != 0 || image.size != w * h)
      throw std::runtime_error("no first image through the canned peer");
    token = tokenOf(peer->reply("rdev:open"));
    peer->learnKeepAlive();
    peer->freeze();
    sim.stop();
  }
  ~CannedCamera() {
    if (camera) camera->destroy();
  }
};

std::map<std::string, std::unique_ptr<CannedCamera>> cannedSetups;

CannedCamera &cannedCamera(int w, int h) {
  std::lock_guard<std::mutex> lock(setupMutex);
  auto &slot = cannedSetups[std::to_string(w) + "x" + std::to_string(h)];
  if (!slot) slot = std::make_unique<CannedCamera>(w, h);
  return *slot;
}

// A raw TCP client of the canned peer: sends the bytes of the library's
// request and reads the peer's reply, decoding an image's base64 text into
// `image` as it arrives (no copy of the text is kept).
class RawCannedClient {
 public:
  RawCannedClient(const CannedCamera &c, const std::string &operation)
      : fd_(bench::connectLoopback(c.peer->port())),
        request_(c.peer->request(operation)),
        replyBytes_(c.peer->reply(operation).size()),
        block_(256 * 1024) {}
  ~RawCannedClient() { ::close(fd_); }

  bool roundTrip() {
    if (!bench::sendAll(fd_, request_.data(), request_.size())) return false;
    for (std::size_t got = 0; got < replyBytes_;) {
      const ssize_t k = ::recv(fd_, block_.data(), std::min(block_.size(), replyBytes_ - got), 0);
      if (k <= 0) return false;
      got += static_cast<std::size_t>(k);
    }
    return true;
  }

  // The image bytes decoded, -1 on failure.
  long image(unsigned char *out) {
    if (!bench::sendAll(fd_, request_.data(), request_.size())) return -1;
    static const char kOpen[] = "data>";
    std::size_t got = 0;
    char carry[8];
    std::size_t carried = 0;
    bool inText = false, textDone = false;
    unsigned char *o = out;
    std::string head;  // the bytes before the text
    while (got < replyBytes_) {
      const ssize_t k = ::recv(fd_, block_.data(), std::min(block_.size(), replyBytes_ - got), 0);
      if (k <= 0) return -1;
      got += static_cast<std::size_t>(k);
      const char *p = block_.data();
      std::size_t n = static_cast<std::size_t>(k);
      if (textDone) continue;
      if (!inText) {
        head.append(p, n);
        const std::size_t at = head.find(kOpen);
        if (at == std::string::npos) continue;
        const std::size_t start = at + sizeof kOpen - 1;
        const std::size_t before = head.size() - n;  // head bytes from earlier blocks
        p += start - before;
        n -= start - before;
        inText = true;
      }
      // A group split across two receives is completed first.
      while (carried > 0 && carried < 4 && n > 0) {
        carry[carried++] = *p++;
        --n;
      }
      if (carried == 4) {
        if (ocamera::wire::decodeBase64Groups(carry, 4, o) != 4) {
          textDone = finish(carry, 4, o);
          carried = 0;
          continue;
        }
        o += 3;
        carried = 0;
      }
      const std::size_t taken = ocamera::wire::decodeBase64Groups(p, n, o);
      o += taken / 4 * 3;
      p += taken;
      n -= taken;
      if (n >= 4 || (n > 0 && (*p == '<' || *p == '='))) {
        textDone = finish(p, n, o);
      } else {
        std::memcpy(carry, p, n);
        carried = n;
      }
    }
    return o - out;
  }

 private:
  // The last group, with its padding.
  static bool finish(const char *p, std::size_t n, unsigned char *&o) {
    int bits = 0, have = 0;
    for (std::size_t i = 0; i < n && p[i] != '=' && p[i] != '<'; ++i) {
      const char *a = std::strchr(kLetters, p[i]);
      if (!a) return true;
      bits = bits << 6 | static_cast<int>(a - kLetters);
      ++have;
    }
    if (have == 2) *o++ = static_cast<unsigned char>(bits >> 4);
    if (have == 3) {
      *o++ = static_cast<unsigned char>(bits >> 10);
      *o++ = static_cast<unsigned char>(bits >> 2);
    }
    return true;
  }
  static constexpr const char *kLetters =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

  int fd_;
  std::string request_;
  std::size_t replyBytes_;
  std::vector<char> block_;
};

// ---------------------------------------------------------------- benchmarks

void reportImages(benchmark::State &state, int w, int h) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(w) * h);
}

// A reply as the simulator sends it: HTTP header block with Content-Length and
// the image as base64 text.
std::string encodedImageReply(int w, int h) {
  std::vector<unsigned char> image(static_cast<std::size_t>(w) * h);
  std::mt19937 rng(1);
  for (auto &b : image) b = static_cast<unsigned char>(rng());
  std::string text(ocamera::wire::base64EncodedLength(image.size()), '\0');
  ocamera::wire::encodeBase64(image.data(), image.size(), text.data());
  const std::string body =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:scam=\"urn:vdx\"><SOAP-ENV:Body><scam:SingleImageResponse>"
      "<scam:nSeqNr>1</scam:nSeqNr><scam:nTimeSec>2</scam:nTimeSec>"
      "<scam:nTimeMicroSec>3</scam:nTimeMicroSec><scam:nSize>" +
      std::to_string(image.size()) + "</scam:nSize><scam:nStatus>0</scam:nStatus><scam:data>" +
      text + "</scam:data></scam:SingleImageResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>";
  return "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: keep-alive\r\n\r\n" + body;
}

struct Feed {
  const std::string *text = nullptr;
  std::size_t position = 0;
};

std::size_t feed(struct soap *ctx, char *buf, std::size_t len) {
  auto *f = static_cast<Feed *>(ctx->user);
  const std::size_t n = std::min(len, f->text->size() - f->position);
  std::memcpy(buf, f->text->data() + f->position, n);
  f->position += n;
  return n;
}

void Decode(benchmark::State &state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const auto codec = static_cast<Base64Codec>(state.range(2));
  const std::string reply = encodedImageReply(w, h);
  struct soap *ctx = soap_new1(SOAP_IO_KEEPALIVE);
  ocamera::wire::configure(ctx);
  ocamera::wire::applyClientLimits(ctx);
  Feed f{&reply, 0};
  ctx->user = &f;
  ctx->frecv = feed;
  ocamera::wire::selectBase64Codec(codec);
  for (auto _ : state) {
    f.position = 0;
    ocam::scam__SingleImageResponse r;
    r.soap_default(ctx);
    if (soap_begin_recv(ctx) || soap_envelope_begin_in(ctx) || soap_recv_header(ctx) ||
        soap_body_begin_in(ctx) || !r.soap_get(ctx, "scam:SingleImageResponse", nullptr) ||
        soap_body_end_in(ctx) || soap_envelope_end_in(ctx) || soap_end_recv(ctx) ||
        r.data.__size != w * h) {
      state.SkipWithError(("reply not read, error " + std::to_string(ctx->error)).c_str());
      break;
    }
    benchmark::DoNotOptimize(r.data.__ptr);
    soap_destroy(ctx);
    soap_end(ctx);
  }
  ocamera::wire::selectBase64Codec(Base64Codec::kBulk);
  soap_destroy(ctx);
  soap_end(ctx);
  soap_free(ctx);
  reportImages(state, w, h);
}

void Image(benchmark::State &state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const auto codec = static_cast<Base64Codec>(state.range(2));
  SimCamera &s = imageCamera(w, h);
  fillQueue(s.camera, static_cast<int>(state.max_iterations));
  std::vector<unsigned char> buffer(static_cast<std::size_t>(w) * h);
  OCamera::Image image{};
  image.data = buffer.data();
  ocamera::wire::selectBase64Codec(codec);
  for (auto _ : state) {
    const int rc = s.camera->getSingleImageInto(&image);
    if (rc != 0 || image.size != w * h) {
      state.SkipWithError(("no image: " + std::to_string(rc) + " size " +
                           std::to_string(image.size) + " status " + std::to_string(image.status))
                              .c_str());
      break;
    }
  }
  ocamera::wire::selectBase64Codec(Base64Codec::kBulk);
  reportImages(state, w, h);
}

void ImageRaw(benchmark::State &state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  SimCamera &s = imageCamera(w, h);
  RawClient client(s.rawPeer().port(), s.exchange.request, s.exchange.reply);
  for (auto _ : state) {
    if (!client.roundTrip()) {
      state.SkipWithError("raw transfer failed");
      break;
    }
  }
  reportImages(state, w, h);
}

void RoundTrip(benchmark::State &state) {
  SimCamera &s = roundTripCamera();
  for (auto _ : state) {
    if (s.camera->setGain(2) != 0) {
      state.SkipWithError("setGain failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void RoundTripRaw(benchmark::State &state) {
  SimCamera &s = roundTripCamera();
  RawClient client(s.rawPeer().port(), s.exchange.request, s.exchange.reply);
  for (auto _ : state) {
    if (!client.roundTrip()) {
      state.SkipWithError("raw round trip failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void CannedRoundTrip(benchmark::State &state) {
  CannedCamera &c = cannedCamera(64, 64);
  for (auto _ : state) {
    if (c.camera->setGain(2) != 0) {
      state.SkipWithError("setGain failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void CannedRoundTripPlain(benchmark::State &state) {
  CannedCamera &c = cannedCamera(64, 64);
  bench::PlainClient client(c.peer->address());
  for (auto _ : state) {
    if (!client.setGain(c.token, 2)) {
      state.SkipWithError("plain setGain failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void CannedRoundTripRaw(benchmark::State &state) {
  CannedCamera &c = cannedCamera(64, 64);
  RawCannedClient client(c, "scam:setGain");
  for (auto _ : state) {
    if (!client.roundTrip()) {
      state.SkipWithError("raw round trip failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void CannedImage(benchmark::State &state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const bool into = state.range(2) != 0;
  CannedCamera &c = cannedCamera(w, h);
  std::vector<unsigned char> buffer(static_cast<std::size_t>(w) * h);
  for (auto _ : state) {
    OCamera::Image image{};
    image.data = buffer.data();
    const int rc = into ? c.camera->getSingleImageInto(&image) : c.camera->getSingleImage(&image);
    if (rc != 0 || image.size != w * h) {
      state.SkipWithError("no image from the canned peer");
      break;
    }
    if (!into) c.camera->freeImage(&image);
  }
  reportImages(state, w, h);
}

void CannedImagePlain(benchmark::State &state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  CannedCamera &c = cannedCamera(w, h);
  bench::PlainClient client(c.peer->address());
  for (auto _ : state) {
    if (client.getSingleImage(c.token) != w * h) {
      state.SkipWithError("no image for the plain client");
      break;
    }
  }
  reportImages(state, w, h);
}

void CannedImageRaw(benchmark::State &state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  CannedCamera &c = cannedCamera(w, h);
  RawCannedClient client(c, "scam:getSingleImage");
  std::vector<unsigned char> buffer(static_cast<std::size_t>(w) * h + 64);
  for (auto _ : state) {
    if (client.image(buffer.data()) != static_cast<long>(w) * h) {
      state.SkipWithError("raw image not decoded");
      break;
    }
  }
  reportImages(state, w, h);
}

// ---------------------------------------------------------------- objects

// The simulator of CameraObjects runs in a child process, forked before the
// benchmark starts any thread.
pid_t objectsSimPid = -1;
int objectsSimPort = 0;

void startObjectsSimulator() {
  int fds[2];
  if (::pipe(fds) != 0) return;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ocamsim::Options options;
    options.ioPort = -1;
    options.sensorWidth = 64;
    options.sensorHeight = 64;
    options.logLimit = 1000;
    options.maxConnections = 1024;  // every object may keep up to four connections open
    ocamsim::Simulator sim(options);
    sim.start();
    const int port = sim.cameraPort();
    (void)!::write(fds[1], &port, sizeof port);
    ::close(fds[1]);
    for (;;) ::pause();  // until the benchmark ends it
  }
  ::close(fds[1]);
  if (pid > 0 && ::read(fds[0], &objectsSimPort, sizeof objectsSimPort) == sizeof objectsSimPort)
    objectsSimPid = pid;
  ::close(fds[0]);
}

void stopObjectsSimulator() {
  if (objectsSimPid <= 0) return;
  ::kill(objectsSimPid, SIGTERM);
  ::waitpid(objectsSimPid, nullptr, 0);
}

struct Usage {
  double threads = 0, rssKiB = 0, heapKiB = 0, descriptors = 0;
};

Usage processUsage() {
  Usage u;
  std::ifstream status("/proc/self/status");
  std::string key;
  double value;
  while (status >> key) {
    if (key == "Threads:" && status >> value) u.threads = value;
    if (key == "VmRSS:" && status >> value) u.rssKiB = value;
  }
  for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++u.descriptors;
  }
  const struct mallinfo2 m = mallinfo2();
  u.heapKiB = static_cast<double>(m.uordblks + m.hblkhd) / 1024.0;
  return u;
}

void CameraObjects(benchmark::State &state) {
  const int count = static_cast<int>(state.range(0));
  if (objectsSimPid <= 0) {
    state.SkipWithError("no simulator process");
    return;
  }
  const std::string address = "127.0.0.1:" + std::to_string(objectsSimPort);
  Usage before, open;
  for (auto _ : state) {
    std::vector<OCamera *> cameras;
    // One object first, so that what every object shares (the runtime's
    // one-time set-up) is not counted.
    OCamera *first = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, address.c_str());
    before = processUsage();
    for (int i = 0; i < count; ++i) {
      OCamera *c = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, address.c_str());
      if (!c) break;
      c->setGain(2);
      cameras.push_back(c);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // a keep-alive round
    open = processUsage();
    for (OCamera *c : cameras) c->destroy();
    if (first) first->destroy();
    if (static_cast<int>(cameras.size()) != count)
      state.SkipWithError(("camera not created: " + std::to_string(cameras.size()) + " of " +
                           std::to_string(count) + (first ? "" : ", not even the first"))
                              .c_str());
  }
  state.counters["heap_KiB_per_object"] = (open.heapKiB - before.heapKiB) / count;
  state.counters["RSS_KiB_per_object"] = (open.rssKiB - before.rssKiB) / count;
  state.counters["threads_per_object"] = (open.threads - before.threads) / count;
  state.counters["sockets_per_object"] = (open.descriptors - before.descriptors) / count;
  state.counters["soap_context_KiB"] = sizeof(struct soap) / 1024.0;
}

constexpr int64_t kBulk = static_cast<int64_t>(Base64Codec::kBulk);
constexpr int64_t kRuntime = static_cast<int64_t>(Base64Codec::kRuntime);

// First, while the heap holds nothing freed by the other runs.
BENCHMARK(CameraObjects)
    ->Name("CameraObjects")
    ->Arg(32)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(CannedRoundTrip)->Name("Canned/RoundTrip/library")->UseRealTime()->Threads(1)->Threads(4);
BENCHMARK(CannedRoundTripPlain)
    ->Name("Canned/RoundTrip/plain_runtime")
    ->UseRealTime()
    ->Threads(1)
    ->Threads(4);
BENCHMARK(CannedRoundTripRaw)
    ->Name("Canned/RoundTrip/raw_tcp")
    ->UseRealTime()
    ->Threads(1)
    ->Threads(4);
BENCHMARK(CannedImage)
    ->Name("Canned/Image/library_into")
    ->Args({1280, 1024, 1})
    ->Args({2592, 1944, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(CannedImage)
    ->Name("Canned/Image/library")
    ->Args({1280, 1024, 0})
    ->Args({2592, 1944, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// The runtime's reader takes about 0.1 s per 5 MP image: a few suffice.
BENCHMARK(CannedImagePlain)
    ->Name("Canned/Image/plain_runtime")
    ->Args({1280, 1024})
    ->Args({2592, 1944})
    ->Iterations(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(CannedImageRaw)
    ->Name("Canned/Image/raw_decode")
    ->Args({1280, 1024})
    ->Args({2592, 1944})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(RoundTrip)->Name("RoundTrip/library")->UseRealTime()->Threads(1)->Threads(4);
BENCHMARK(RoundTripRaw)->Name("RoundTrip/raw_tcp")->UseRealTime()->Threads(1)->Threads(4);
BENCHMARK(Decode)
    ->Name("Decode/runtime_codec")
    ->Args({1280, 1024, kRuntime})
    ->Args({2592, 1944, kRuntime})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Decode)
    ->Name("Decode/library")
    ->Args({1280, 1024, kBulk})
    ->Args({2592, 1944, kBulk})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Fixed iterations: the timed run must not outlast the frames queued for it
// (1024 plus 1000 per second).
BENCHMARK(Image)
    ->Name("Image/runtime_codec")
    ->Args({1280, 1024, kRuntime})
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Image)
    ->Name("Image/runtime_codec")
    ->Args({2592, 1944, kRuntime})
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Image)
    ->Name("Image/library")
    ->Args({1280, 1024, kBulk})
    ->Iterations(600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Image)
    ->Name("Image/library")
    ->Args({2592, 1944, kBulk})
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ImageRaw)
    ->Name("Image/raw_tcp")
    ->Args({1280, 1024})
    ->Args({2592, 1944})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---------------------------------------------------------------- summary

// Prints the usual table, then the library's figures beside the raw ones.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.error_occurred) continue;
      // With repetitions, only the medians; otherwise the single run.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      if (run.run_type == Run::RT_Iteration && run.repetitions > 1) continue;
      Figures &f = results_[run.run_name.str()];
      for (const auto &c : run.counters) f[c.first] = c.second.value;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-30s %12s %12s %12s %9s %9s\n", "client alone (canned peer)", "library",
                "plain rt", "raw TCP", "lib/raw", "lib/plain");
    for (const std::string t : {"1", "4"})
      row("round trips/s, " + t + " thread" + (t == "1" ? "" : "s"),
          "Canned/RoundTrip/library/real_time/threads:" + t,
          "Canned/RoundTrip/plain_runtime/real_time/threads:" + t,
          "Canned/RoundTrip/raw_tcp/real_time/threads:" + t, "items_per_second", 1);
    for (const std::string size : {"1280/1024", "2592/1944"}) {
      std::string label = size;
      label[label.find('/')] = 'x';
      const std::string plain = find("Canned/Image/plain_runtime/" + size + "/");
      const std::string raw = "Canned/Image/raw_decode/" + size + "/real_time";
      row(label + " Into frames/s", find("Canned/Image/library_into/" + size + "/"), plain, raw,
          "items_per_second", 1);
      row(label + " frames/s", find("Canned/Image/library/" + size + "/"), plain, raw,
          "items_per_second", 1);
    }
    std::printf("\n%-30s %12s %12s %12s %9s %9s\n", "against the simulator", "library", "runtime",
                "raw TCP", "lib/raw", "lib/rt");
    row("round trips/s, 1 thread", "RoundTrip/library/real_time/threads:1", "",
        "RoundTrip/raw_tcp/real_time/threads:1", "items_per_second", 1);
    row("round trips/s, 4 threads", "RoundTrip/library/real_time/threads:4", "",
        "RoundTrip/raw_tcp/real_time/threads:4", "items_per_second", 1);
    for (const std::string size : {"1280/1024", "2592/1944"}) {
      std::string label = size;
      label[label.find('/')] = 'x';
      const std::string lib = find("Image/library/" + size + "/");
      const std::string plain = find("Image/runtime_codec/" + size + "/");
      const std::string raw = "Image/raw_tcp/" + size + "/real_time";
      row(label + " frames/s", lib, plain, raw, "items_per_second", 1);
      row(label + " image MB/s", lib, plain, raw, "bytes_per_second", 1e-6);
      row(label + " decode only, MB/s", find("Decode/library/" + size + "/"),
          find("Decode/runtime_codec/" + size + "/"), "", "bytes_per_second", 1e-6);
    }
    std::printf("\n%-30s %12s %12s %9s\n", "simulator beside canned peer", "simulator", "canned",
                "sim/can");
    for (const std::string t : {"1", "4"})
      pair("round trips/s, " + t + " thread" + (t == "1" ? "" : "s"),
           "RoundTrip/library/real_time/threads:" + t,
           "Canned/RoundTrip/library/real_time/threads:" + t);
    for (const std::string size : {"1280/1024", "2592/1944"}) {
      std::string label = size;
      label[label.find('/')] = 'x';
      pair(label + " Into frames/s", find("Image/library/" + size + "/"),
           find("Canned/Image/library_into/" + size + "/"));
    }
    const Figures &o = results_["CameraObjects/32/iterations:1/real_time"];
    if (!o.empty()) {
      std::printf(
          "32 objects open, per object: %.0f KiB heap, %.0f KiB resident, %.2f threads, "
          "%.2f sockets (one SOAP context: %.0f KiB)\n",
          value(o, "heap_KiB_per_object"), value(o, "RSS_KiB_per_object"),
          value(o, "threads_per_object"), value(o, "sockets_per_object"),
          value(o, "soap_context_KiB"));
    }
  }

 private:
  using Figures = std::map<std::string, double>;

  static double value(const Figures &f, const std::string &key) {
    auto it = f.find(key);
    return it == f.end() ? 0.0 : it->second;
  }
  // The run whose name starts with `prefix` (arguments and iterations follow).
  std::string find(const std::string &prefix) const {
    for (const auto &r : results_)
      if (r.first.compare(0, prefix.size(), prefix) == 0) return r.first;
    return prefix;
  }
  double figure(const std::string &name, const std::string &counter, double scale) const {
    auto it = results_.find(name);
    return it == results_.end() ? 0.0 : value(it->second, counter) * scale;
  }
  static std::string cell(double v, int decimals) {
    if (v <= 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
  }
  // One line: the library's figure, the runtime codec's and the raw one (where
  // there are such runs), and the library's as a multiple of each.
  void row(const std::string &label, const std::string &lib, const std::string &plain,
           const std::string &raw, const std::string &counter, double scale) {
    const double a = figure(lib, counter, scale);
    const double r = plain.empty() ? 0.0 : figure(plain, counter, scale);
    const double b = raw.empty() ? 0.0 : figure(raw, counter, scale);
    if (a <= 0) return;
    std::printf("%-30s %12s %12s %12s %9s %9s\n", label.c_str(), cell(a, 1).c_str(),
                cell(r, 1).c_str(), cell(b, 1).c_str(), cell(b > 0 ? a / b : 0, 3).c_str(),
                cell(r > 0 ? a / r : 0, 1).c_str());
  }

  void pair(const std::string &label, const std::string &sim, const std::string &canned) {
    const double a = figure(sim, "items_per_second", 1), b = figure(canned, "items_per_second", 1);
    if (a <= 0 || b <= 0) return;
    std::printf("%-30s %12s %12s %9s\n", label.c_str(), cell(a, 1).c_str(), cell(b, 1).c_str(),
                cell(a / b, 3).c_str());
  }

  std::map<std::string, Figures> results_;
};

}  // namespace

int main(int argc, char **argv) {
  startObjectsSimulator();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  setups.clear();
  cannedSetups.clear();
  stopObjectsSimulator();
  benchmark::Shutdown();
  return 0;
}
