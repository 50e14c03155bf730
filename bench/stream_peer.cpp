#include "bench/stream_peer.h"

#include <ocamera/stream.h>
#include <sys/socket.h>

#include <stdexcept>
#include <string>

#include "sim/simulator.h"

namespace bench {

std::unique_ptr<CannedPeer> learnStreamPeer(int width, int height) {
  ocamsim::Options options;
  options.sensorWidth = width;
  options.sensorHeight = height;
  options.ioPort = -1;
  options.logLimit = 1000;
  ocamsim::Simulator sim(options);
  sim.start();
  auto peer = std::make_unique<CannedPeer>(sim.cameraAddress());
  {
    ocamera::StreamOptions o;
    o.width = width;
    o.height = height;
    std::string error;
    auto stream = ocamera::Stream::create(peer->address().c_str(), o, &error);
    if (!stream) throw std::runtime_error("learning a stream: " + error);
    std::string events;
    stream->setEventCallback(
        [&events](ocamera::StreamEvent, const std::string &detail) { events += detail + "; "; });
    ocamera::Frame frame;
    if (stream->setFrameRate(1000.0f) != 0 || stream->start(&error) != 0 ||
        stream->next(frame, 10000) != ocamera::FetchResult::Frame)
      throw std::runtime_error("learning a stream: no frame " + error + " " + events);
    frame.release();
    stream->stop();
    peer->learnKeepAlive();  // while the session is open
  }                          // the end of the session, learned too
  peer->freeze();
  sim.stop();
  return peer;
}

int pairWith(CannedPeer &peer) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return -1;
  peer.adopt(fds[0]);
  return fds[1];
}

}  // namespace bench
