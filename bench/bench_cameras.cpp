// Many cameras in one process: 1, 4 and 16 streams at once, each on a canned
// peer of its own (loopback, no link emulation), frames taken by a frame
// callback. Per case: the aggregate MB/s of image, the client's CPU seconds
// per GB of image, and the threads and heap memory in use each camera adds
// (heap in use rather than resident memory: memory freed by an earlier round
// stays resident and would hide what the next one takes).
//
//   build-bench/bench/bench_cameras [rounds] [width height]
//
// The peers run in a child process, so that this process's CPU time is the
// client's alone. Rounds interleave the three cases.
#include <malloc.h>
#include <ocamera/stream.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/median.h"
#include "bench/stream_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
const int kCameras[] = {1, 4, 16};
constexpr int kMostCameras = 16;
constexpr double kSeconds = 3.0;

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// Bytes the heap has handed out and not got back.
double heapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return static_cast<double>(m.uordblks + m.hblkhd);
}

// "Threads:" of /proc/self/status.
long status(const std::string &field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, field.size(), field) == 0) return std::atol(line.c_str() + field.size());
  return 0;
}

// The child: learns the peers, writes their ports to `out`, serves until the
// parent closes its end of `in`.
[[noreturn]] void servePeers(int width, int height, int out, int in) {
  std::vector<std::unique_ptr<bench::CannedPeer>> peers;
  for (int i = 0; i < kMostCameras; ++i) {
    peers.push_back(bench::learnStreamPeer(width, height));
    const int port = peers.back()->port();
    if (::write(out, &port, sizeof port) != sizeof port) std::_Exit(1);
  }
  char c;
  while (::read(in, &c, 1) > 0) {
  }
  peers.clear();
  std::_Exit(0);
}

struct Result {
  double mbPerSecond, cpuPerGb, threadsPerCamera, mbPerCamera;
};

Result run(const std::vector<int> &ports, int cameras, int width, int height) {
  const long threads0 = status("Threads:");
  const double heap0 = heapInUse();
  std::atomic<unsigned long long> bytes{0};
  std::vector<std::unique_ptr<ocamera::Stream>> streams;
  for (int i = 0; i < cameras; ++i) {
    ocamera::StreamOptions o;
    o.width = width;
    o.height = height;
    const std::string address = "127.0.0.1:" + std::to_string(ports[i]);
    std::string error;
    auto s = ocamera::Stream::create(address.c_str(), o, &error);
    if (!s) {
      std::fprintf(stderr, "stream: %s\n", error.c_str());
      std::exit(1);
    }
    s->setFrameCallback([&bytes](ocamera::Frame &f) { bytes += f.size(); });
    if (s->start(&error) != 0) {
      std::fprintf(stderr, "start: %s\n", error.c_str());
      std::exit(1);
    }
    streams.push_back(std::move(s));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // every stream under way
  const double cpu0 = cpuSeconds();
  const unsigned long long bytes0 = bytes.load();
  const Clock::time_point start = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds / 2));
  const long threads = status("Threads:");
  const double heap = heapInUse();
  std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds / 2));
  const double cpu = cpuSeconds() - cpu0;
  const double moved = static_cast<double>(bytes.load() - bytes0);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (auto &s : streams) {
    if (s->stats().failedRequests > 0)
      std::fprintf(stderr, "%d cameras: failed requests\n", cameras);
    s->stop();
  }
  streams.clear();
  return Result{moved / seconds / 1e6, cpu / (moved / 1e9),
                static_cast<double>(threads - threads0) / cameras, (heap - heap0) / 1e6 / cameras};
}

}  // namespace

int main(int argc, char **argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int width = argc > 3 ? std::atoi(argv[2]) : 1280;
  const int height = argc > 3 ? std::atoi(argv[3]) : 1024;
  int toParent[2], toChild[2];
  if (::pipe(toParent) != 0 || ::pipe(toChild) != 0) return 1;
  // Before any thread of this process: the child starts from a clean copy.
  const pid_t child = ::fork();
  if (child < 0) return 1;
  if (child == 0) {
    ::close(toParent[0]);
    ::close(toChild[1]);
    servePeers(width, height, toParent[1], toChild[0]);
  }
  ::close(toParent[1]);
  ::close(toChild[0]);
  std::vector<int> ports(kMostCameras);
  for (int &port : ports)
    if (::read(toParent[0], &port, sizeof port) != sizeof port) {
      std::fprintf(stderr, "the peers did not start\n");
      return 1;
    }

  std::map<int, std::vector<Result>> results;
  for (int round = 0; round < rounds; ++round)
    for (int cameras : kCameras) {
      const Result r = run(ports, cameras, width, height);
      results[cameras].push_back(r);
      std::printf(
          "round %d %2d cameras: %8.1f MB/s, %6.3f CPU s/GB, %5.2f threads, %6.2f MB heap each\n",
          round + 1, cameras, r.mbPerSecond, r.cpuPerGb, r.threadsPerCamera, r.mbPerCamera);
      std::fflush(stdout);
    }
  ::close(toChild[1]);
  ::waitpid(child, nullptr, 0);

  std::printf("\n%dx%d frames, medians of %d rounds (ratios against one camera)\n", width, height,
              rounds);
  std::printf("%-8s %10s %12s %8s %14s %14s\n", "cameras", "MB/s", "CPU s/GB", "ratio",
              "threads/cam", "MB heap/cam");
  double base = 0;
  for (int cameras : kCameras) {
    std::vector<double> mb, cpu, th, mem;
    for (const Result &r : results[cameras]) {
      mb.push_back(r.mbPerSecond);
      cpu.push_back(r.cpuPerGb);
      th.push_back(r.threadsPerCamera);
      mem.push_back(r.mbPerCamera);
    }
    if (cameras == 1) base = bench::median(cpu);
    std::printf("%-8d %10.1f %12.3f %8.3f %14.2f %14.2f\n", cameras, bench::median(mb),
                bench::median(cpu), bench::median(cpu) / base, bench::median(th),
                bench::median(mem));
  }
  return 0;
}
