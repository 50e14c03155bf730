// Listening: the server's start and stop, a listener thread per port that
// hands accepted connections to the slots, and the input schedule.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "protocol/base64.h"
#include "protocol/transport.h"
#include "sim/server.h"

namespace ocamsim {
namespace detail {

Server::Server(const Options &options)
    : options_(options),
      model_(options),
      requestLimit_(options.maxRequestBytes
                        ? options.maxRequestBytes
                        : ocamera::wire::base64EncodedLength(options.imageRamSize) + kEnvelopeRoom),
      memoryLimit_(options.maxRequestMemory ? options.maxRequestMemory : 4 * requestLimit_),
      slots_(options.maxConnections),
      badTokens_(options.badTokenBurst, options.badTokenRate),
      log_(options.logLimit) {}

int Server::listenOn(int port, unsigned &bound) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo *res = nullptr;
  const std::string service = std::to_string(port);
  const char *host = options_.bindAddress.empty() ? nullptr : options_.bindAddress.c_str();
  if (int rc = getaddrinfo(host, service.c_str(), &hints, &res))
    throw std::runtime_error("ocamsim: cannot resolve " + options_.bindAddress + ": " +
                             gai_strerror(rc));
  int fd = -1;
  std::string error = "no address";
  for (addrinfo *ai = res; ai; ai = ai->ai_next) {
    fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && ::listen(fd, 128) == 0) break;
    error = std::strerror(errno);
    ::close(fd);
    fd = -1;
  }
  freeaddrinfo(res);
  if (fd < 0)
    throw std::runtime_error("ocamsim: cannot listen on " + options_.bindAddress + ":" + service +
                             ": " + error);
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&ss), &len);
  bound = ss.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&ss)->sin6_port)
                                   : ntohs(reinterpret_cast<sockaddr_in *>(&ss)->sin_port);
  return fd;
}

void Server::start() {
  if (running_) return;
  model_.loadImages();
  stopping_ = false;
  model_.resume();
  std::vector<std::unique_ptr<Listener>> ls;
  int ports[2] = {-1, -1};
  const int wanted[2] = {options_.cameraPort, options_.ioPort};
  try {
    for (int i = 0; i < 2; ++i) {
      if (wanted[i] < 0) continue;
      auto l = std::make_unique<Listener>();
      l->fd = listenOn(wanted[i], l->port);
      ports[i] = static_cast<int>(l->port);
      ls.push_back(std::move(l));
    }
  } catch (...) {
    for (auto &l : ls) ::close(l->fd);
    throw;
  }
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (!masterReady_) {
    // Replies are stored whole before they go out (the send hook collects them
    // anyway), so the runtime writes each once instead of counting its length
    // in a first pass; the bytes on the wire are the same.
    soap_init2(&master_, SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE | SOAP_IO_STORE);
    ocamera::wire::configure(&master_);
    origParseHeader_ = master_.fparsehdr;
    masterReady_ = true;
  }
  ports_[0] = ports[0];
  ports_[1] = ports[1];
  listeners_ = std::move(ls);
  running_ = true;
  for (auto &l : listeners_) l->thread = std::thread(&Server::acceptLoop, this, l.get());
  if (!options_.inputSchedule.empty()) scheduler_ = std::thread(&Server::runSchedule, this);
}

void Server::stop() {
  if (!running_) return;
  stopping_ = true;
  model_.shutdown();
  const std::uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  for (auto &l : listeners_) {
    if (l->thread.joinable()) l->thread.join();
    ::close(l->fd);
  }
  listeners_.clear();
  slots_.reap(true);
  if (scheduler_.joinable()) scheduler_.join();
  ::close(wakeFd_);
  wakeFd_ = -1;
  if (masterReady_) {
    soap_done(&master_);
    masterReady_ = false;
  }
  running_ = false;
}

void Server::acceptLoop(Listener *l) {
  pollfd fds[2] = {{l->fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  while (!stopping_) {
    const int n = ::poll(fds, 2, 200);
    if (stopping_) break;
    if (n < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) {
      std::uint64_t v;
      (void)!::read(wakeFd_, &v, sizeof v);
    }
    slots_.reap(false);
    if (!(fds[0].revents & POLLIN)) continue;
    sockaddr_storage peer{};
    socklen_t peerLen = sizeof peer;
    const int fd = ::accept4(l->fd, reinterpret_cast<sockaddr *>(&peer), &peerLen, SOCK_CLOEXEC);
    if (fd < 0) continue;
    char host[NI_MAXHOST] = "";
    ::getnameinfo(reinterpret_cast<sockaddr *>(&peer), peerLen, host, sizeof host, nullptr, 0,
                  NI_NUMERICHOST);
    const bool cameraPort = static_cast<int>(l->port) == ports_[0];
    slots_.admit(
        fd, l->port, host,
        [&] {
          auto c = std::make_unique<Connection>();
          c->server = this;
          c->model = &model_;
          c->cameraPort = cameraPort;
          return c;
        },
        [this](Connection *c) { serve(c); });
  }
}

void Server::runSchedule() {
  const auto t0 = Clock::now();
  const auto &steps = options_.inputSchedule;
  const int period = options_.inputSchedulePeriodMs;
  for (long long round = 0; !stopping_; ++round) {
    for (const InputStep &s : steps) {
      const auto at = t0 + std::chrono::milliseconds(s.atMs + round * period);
      model_.pause(static_cast<int>(std::max<long long>(
          0, std::chrono::duration_cast<std::chrono::milliseconds>(at - Clock::now()).count())));
      if (stopping_ || model_.stopping()) return;
      model_.setInputs(s.levels);
    }
    if (period <= 0) return;
  }
}

}  // namespace detail
}  // namespace ocamsim
