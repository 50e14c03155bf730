// The stream over an emulated link: 1 Gbit/s with a 0.5 ms round trip, against
// canned peers (no server work), with 1, 2 and 4 image requests in flight, at
// four window sizes. Rounds interleave every case, so that the machine's other
// load falls on each alike; the summary gives medians per case and each as a
// share of the link's ceiling: link bytes per second over the bytes of one
// image reply (what the link could carry at most, frames per second).
//
//   sudo build-bench/bench/bench_link [rounds]       (root: it makes a network namespace)
//
// Everything runs inside a network namespace the benchmark makes: loopback
// there is shaped by tbf (the rate) with jumbo frames (9000 bytes, as camera
// networks run), and a forwarding proxy delays each direction by a quarter
// millisecond (the round trip).
#include <ocamera/stream.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/emulated_link.h"
#include "bench/median.h"
#include "bench/stream_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kLinkBytesPerSecond = 1e9 / 8;  // 1 Gbit/s
constexpr auto kOneWay = std::chrono::microseconds(250);
const int kInFlight[] = {1, 2, 4};

struct Size {
  int width, height;
  std::unique_ptr<bench::CannedPeer> peer;
  std::unique_ptr<bench::DelayProxy> proxy;
  std::size_t replyBytes = 0;
  int frames = 0;                          // per run: about half a second at the ceiling
  std::map<int, std::vector<double>> fps;  // by requests in flight
};

// Frames per second of one stream run; 0 when it failed.
double run(const Size &size, int inFlight) {
  ocamera::StreamOptions o;
  o.width = size.width;
  o.height = size.height;
  o.requestsInFlight = inFlight;
  o.bufferCount = 12;
  o.queueDepth = 8;
  o.whenFull = ocamera::QueuePolicy::Block;  // every frame fetched is counted
  std::string error;
  auto stream = ocamera::Stream::create(size.proxy->address().c_str(), o, &error);
  if (!stream || stream->start(&error) != 0) {
    std::fprintf(stderr, "stream: %s\n", error.c_str());
    return 0;
  }
  ocamera::Frame frame;
  for (int i = 0; i < 5; ++i) stream->next(frame, 10000);
  const Clock::time_point start = Clock::now();
  int got = 0;
  while (got < size.frames && stream->next(frame, 10000) == ocamera::FetchResult::Frame) ++got;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  frame.release();
  stream->stop();
  const ocamera::StreamStats s = stream->stats();
  if (got < size.frames || s.failedRequests > 0 || s.missing > 0)
    std::fprintf(stderr, "%dx%d/%d: %d frames, %llu failed requests, %llu missing\n", size.width,
                 size.height, inFlight, got, static_cast<unsigned long long>(s.failedRequests),
                 static_cast<unsigned long long>(s.missing));
  return got / seconds;
}

}  // namespace

int main(int argc, char **argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::string why;
  if (!bench::enterShapedNamespace("1gbit", &why)) {
    std::fprintf(stderr, "bench_link: %s\n", why.c_str());
    return 1;
  }
  std::vector<Size> sizes;
  for (auto wh : {std::make_pair(320, 240), std::make_pair(640, 480), std::make_pair(1280, 1024),
                  std::make_pair(2592, 1944)}) {
    Size s;
    s.width = wh.first;
    s.height = wh.second;
    s.peer = bench::learnStreamPeer(s.width, s.height);
    bench::CannedPeer *peer = s.peer.get();
    s.proxy =
        std::make_unique<bench::DelayProxy>([peer] { return bench::pairWith(*peer); }, kOneWay);
    s.replyBytes = s.peer->reply("scam:getSingleImage").size();
    s.frames = std::max(36, static_cast<int>(kLinkBytesPerSecond / s.replyBytes * 2));
    sizes.push_back(std::move(s));
  }
  for (int round = 0; round < rounds; ++round)
    for (Size &s : sizes)
      for (int k : kInFlight) {
        const double fps = run(s, k);
        s.fps[k].push_back(fps);
        std::printf("round %d %4dx%-4d %d in flight: %8.1f frames/s\n", round + 1, s.width,
                    s.height, k, fps);
        std::fflush(stdout);
      }

  std::printf(
      "\n1 Gbit/s, 0.5 ms round trip; medians of %d rounds; share = frames/s over the ceiling\n"
      "%-10s %10s %9s | %9s %6s | %9s %6s | %9s %6s | %6s %6s\n",
      rounds, "window", "reply B", "ceiling", "1 fps", "share", "2 fps", "share", "4 fps", "share",
      "2/1", "4/1");
  for (const Size &s : sizes) {
    const double ceiling = kLinkBytesPerSecond / s.replyBytes;
    const double f1 = bench::median(s.fps.at(1)), f2 = bench::median(s.fps.at(2)),
                 f4 = bench::median(s.fps.at(4));
    std::printf("%4dx%-5d %10zu %9.1f | %9.1f %6.3f | %9.1f %6.3f | %9.1f %6.3f | %6.3f %6.3f\n",
                s.width, s.height, s.replyBytes, ceiling, f1, f1 / ceiling, f2, f2 / ceiling, f4,
                f4 / ceiling, f2 / f1, f4 / f1);
  }
  return 0;
}
