// Throughput of the stream beside a bare getSingleImageInto loop, against the
// in-process simulator (free run at 1000 frames/s with room for every frame,
// so that the camera always has one ready).
//
//  Bare/1     one thread fetching into one buffer
//  Stream/1   the stream, the frames taken by next()
//  Stream/2   the same with requestsInFlight = 2
//  Bare/2     two threads fetching on one camera object (two requests in flight
//             on two pooled connections), the bare loop's view of the same
//
// The simulated camera captures at most 1000 frames/s: a rate near that at
// 1280x1024 is the camera's, not the client's (2592x1944 stays below it).
//
// Each benchmark runs one frame per iteration; after the runs a summary gives
// frames/s and the ratios of the same run (medians with --benchmark_repetitions).
#include <benchmark/benchmark.h>
#include <ocamera/stream.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Sensor {
  int width;
  int height;
};

ocamsim::Simulator &simulator(const Sensor &sensor) {
  static std::map<int, std::unique_ptr<ocamsim::Simulator>> sims;
  auto &sim = sims[sensor.width];
  if (!sim) {
    ocamsim::Options o;
    o.sensorWidth = sensor.width;
    o.sensorHeight = sensor.height;
    o.ioPort = -1;
    o.logLimit = 1000;
    sim = std::make_unique<ocamsim::Simulator>(o);
    sim->start();
  }
  return *sim;
}

Sensor sensorOf(const benchmark::State &state) {
  return state.range(0) == 0 ? Sensor{1280, 1024} : Sensor{2592, 1944};
}

// frames/s of every run, by name, for the summary
std::mutex g_mutex;
std::map<std::string, std::vector<double>> g_rates;

void record(benchmark::State &state, const std::string &name, double seconds, long frames,
            std::size_t frameBytes) {
  const double rate = frames / seconds;
  state.counters["frames/s"] = rate;
  state.counters["MB/s"] = rate * frameBytes / 1e6;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_rates[name + "/" + std::to_string(state.range(0))].push_back(rate);
}

struct Camera {
  OCamera *camera = nullptr;
  explicit Camera(const Sensor &s) {
    camera = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, simulator(s).cameraAddress().c_str());
    if (!camera) return;
    camera->open(s.width * s.height, 1024);
    camera->setCameraWindow(0, 0, s.width, s.height);
    camera->setFrameRate(1000.0f);
    camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN);
  }
  ~Camera() {
    if (!camera) return;
    camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP);
    camera->close();
    camera->destroy();
  }
};

void BM_Bare(benchmark::State &state) {
  const Sensor sensor = sensorOf(state);
  const int threads = static_cast<int>(state.range(1));
  Camera cam(sensor);
  if (!cam.camera) return state.SkipWithError("no camera");
  const std::size_t bytes = static_cast<std::size_t>(sensor.width) * sensor.height;
  std::vector<std::vector<unsigned char>> buffers(threads, std::vector<unsigned char>(48u << 20));
  auto fetch = [&](int t) {
    OCamera::Image image{};
    image.data = buffers[t].data();
    return cam.camera->getSingleImageInto(&image) == 0;
  };
  for (int t = 0; t < threads; ++t) fetch(t);  // warm: connections and buffers
  long frames = 0;
  const Clock::time_point start = Clock::now();
  if (threads == 1) {
    for (auto _ : state) {
      if (!fetch(0)) return state.SkipWithError("request failed");
      ++frames;
    }
  } else {
    // The second thread fetches while the benchmark thread does; the frames
    // of both count.
    std::atomic<bool> done{false};
    std::atomic<long> other{0};
    std::thread helper([&] {
      while (!done.load())
        if (fetch(1)) other.fetch_add(1);
    });
    for (auto _ : state) {
      if (!fetch(0)) break;
      ++frames;
    }
    done = true;
    helper.join();
    frames += other.load();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  record(state, "Bare/" + std::to_string(threads), seconds, frames, bytes);
}

void BM_Stream(benchmark::State &state) {
  const Sensor sensor = sensorOf(state);
  const int inFlight = static_cast<int>(state.range(1));
  ocamera::StreamOptions o;
  o.requestsInFlight = inFlight;
  o.width = sensor.width;
  o.height = sensor.height;
  o.cameraBuffers = 1024;
  o.whenFull = ocamera::QueuePolicy::Block;  // every frame counted is one the camera sent
  std::string error;
  auto stream = ocamera::Stream::create(simulator(sensor).cameraAddress().c_str(), o, &error);
  if (!stream) return state.SkipWithError(error.c_str());
  stream->setFrameRate(1000.0f);
  if (stream->start() != 0) return state.SkipWithError("start failed");
  ocamera::Frame frame;
  for (int i = 0; i < 3; ++i) stream->next(frame, 5000);  // warm
  long frames = 0;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    if (stream->next(frame, 5000) != ocamera::FetchResult::Frame)
      return state.SkipWithError("no frame");
    ++frames;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  stream->stop();
  record(state, "Stream/" + std::to_string(inFlight), seconds, frames,
         static_cast<std::size_t>(sensor.width) * sensor.height);
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void summary() {
  std::printf("\nframes/s (median of the runs), ratios of the same run\n");
  for (const char *size : {"0", "1"}) {
    const double bare1 = median(g_rates[std::string("Bare/1/") + size]);
    const double stream1 = median(g_rates[std::string("Stream/1/") + size]);
    const double bare2 = median(g_rates[std::string("Bare/2/") + size]);
    const double stream2 = median(g_rates[std::string("Stream/2/") + size]);
    if (bare1 == 0) continue;
    std::printf(
        "  %s: bare %.1f, stream %.1f (%.3fx); two requests in flight: bare %.1f (%.3fx), "
        "stream %.1f (%.3fx)\n",
        size[0] == '0' ? "1280x1024" : "2592x1944", bare1, stream1, stream1 / bare1, bare2,
        bare2 / bare1, stream2, stream2 / bare1);
  }
}

}  // namespace

int main(int argc, char **argv) {
  // Rounds of all six, interleaved, so that the machine's other load falls on
  // each alike; a fixed number of frames per run, so that every call is a
  // measured run (no iteration-count estimation runs in the summary).
  const int rounds = 5;
  for (int round = 0; round < rounds; ++round) {
    for (int size : {0, 1}) {
      const int frames = size == 0 ? 400 : 100;
      for (int inFlight : {1, 2})
        benchmark::RegisterBenchmark("Bare", BM_Bare)
            ->Args({size, inFlight})
            ->Iterations(frames)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      for (int inFlight : {1, 2})
        benchmark::RegisterBenchmark("Stream", BM_Stream)
            ->Args({size, inFlight})
            ->Iterations(frames)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  summary();
  return 0;
}
