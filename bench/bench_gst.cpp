// Frames per second through "ocamerasrc ! fakesink" beside the C++ stream
// itself, raw Bayer and RGB, against the same in-process simulated camera at
// its highest frame rate; prints the element's rate as a share of the
// stream's.
#include <benchmark/benchmark.h>
#include <gst/gst.h>
#include <ocamera/stream.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace {

constexpr int kFramesPerIteration = 60;
constexpr int kWidth = 1280, kHeight = 1024;

ocamsim::Simulator &sim() {
  static std::unique_ptr<ocamsim::Simulator> s = [] {
    ocamsim::Options o;
    o.ioPort = -1;
    auto p = std::make_unique<ocamsim::Simulator>(o);
    p->start();
    return p;
  }();
  return *s;
}

void streamFrames(benchmark::State &state, bool rgb) {
  ocamera::StreamOptions o;
  o.width = kWidth;
  o.height = kHeight;
  o.rgb = rgb;
  std::string error;
  auto stream = ocamera::Stream::create(sim().cameraAddress().c_str(), o, &error);
  if (!stream || stream->setFrameRate(1000.0f) != 0 || stream->start() != 0) {
    state.SkipWithError(("stream: " + error).c_str());
    return;
  }
  ocamera::Frame frame;
  for (auto _ : state) {
    for (int n = 0; n < kFramesPerIteration;) {
      if (stream->next(frame, 5000) != ocamera::FetchResult::Frame) {
        state.SkipWithError("no frame");
        return;
      }
      benchmark::DoNotOptimize(frame.data());
      frame.release();
      ++n;
    }
  }
  state.SetItemsProcessed(state.iterations() * kFramesPerIteration);
}

// Counts the buffers reaching the fakesink.
struct Counter {
  std::mutex m;
  std::condition_variable cv;
  long buffers = 0;
  static GstPadProbeReturn probe(GstPad *, GstPadProbeInfo *, gpointer self) {
    auto *c = static_cast<Counter *>(self);
    {
      std::lock_guard<std::mutex> lock(c->m);
      ++c->buffers;
    }
    c->cv.notify_all();
    return GST_PAD_PROBE_OK;
  }
  bool waitFor(long n) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, std::chrono::seconds(10), [&] { return buffers >= n; });
  }
};

void elementFrames(benchmark::State &state, bool rgb) {
  const std::string description =
      "ocamerasrc name=src address=" + sim().cameraAddress() + " width=" + std::to_string(kWidth) +
      " height=" + std::to_string(kHeight) + " frame-rate=1000" +
      (rgb ? " ! video/x-raw,format=RGB" : " ! video/x-bayer") + " ! fakesink name=sink sync=false";
  GstElement *pipeline = gst_parse_launch(description.c_str(), nullptr);
  if (!pipeline) {
    state.SkipWithError("no pipeline (is the plugin built?)");
    return;
  }
  Counter counter;
  GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  GstPad *pad = gst_element_get_static_pad(sink, "sink");
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, Counter::probe, &counter, nullptr);
  gst_object_unref(pad);
  gst_object_unref(sink);
  if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ||
      !counter.waitFor(1)) {
    state.SkipWithError("the pipeline does not run");
  } else {
    long target = 1;
    for (auto _ : state) {
      target += kFramesPerIteration;
      if (!counter.waitFor(target)) {
        state.SkipWithError("no frame");
        break;
      }
    }
    state.SetItemsProcessed(state.iterations() * kFramesPerIteration);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
}

void BM_Stream_Raw(benchmark::State &s) { streamFrames(s, false); }
void BM_Element_Raw(benchmark::State &s) { elementFrames(s, false); }
void BM_Stream_Rgb(benchmark::State &s) { streamFrames(s, true); }
void BM_Element_Rgb(benchmark::State &s) { elementFrames(s, true); }
BENCHMARK(BM_Stream_Raw)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Element_Raw)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Stream_Rgb)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Element_Rgb)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Keeps the frame rate of every repetition for the summary. With
// --benchmark_display_aggregates_only or --benchmark_report_aggregates_only the
// reporter sees no single repetition, only the aggregates: then the median
// aggregate is the figure (before, the table came out empty).
class Summary : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::vector<double>> fps;  // by function name
  std::map<std::string, double> medians;           // the median aggregates
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) {
      auto it = r.counters.find("items_per_second");
      if (r.error_occurred || it == r.counters.end()) continue;
      if (r.run_type == Run::RT_Iteration)
        fps[r.run_name.function_name].push_back(it->second);
      else if (r.aggregate_name == "median")
        medians[r.run_name.function_name] = it->second;
    }
  }
  // The median rate of a benchmark's repetitions (0 when none ran).
  double median(const std::string &name) {
    std::vector<double> v = fps[name];
    if (v.empty()) return medians.count(name) ? medians[name] : 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  }
};

}  // namespace

int main(int argc, char **argv) {
  g_setenv("GST_PLUGIN_PATH", OCAMERA_GST_PLUGIN_DIR, TRUE);
  gst_init(&argc, &argv);
  // The machine's load drifts during a run: repetitions of the four cases
  // interleave at random, and the summary compares their medians.
  std::vector<char *> args(argv, argv + argc);
  char repetitions[] = "--benchmark_repetitions=5";
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, {repetitions, interleave});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  Summary summary;
  benchmark::RunSpecifiedBenchmarks(&summary);
  std::printf("\nmedians of the repetitions\n%-6s %16s %16s %8s\n", "frames", "stream (fps)",
              "ocamerasrc (fps)", "ratio");
  for (const char *kind : {"Raw", "Rgb"}) {
    const double s = summary.median(std::string("BM_Stream_") + kind);
    const double e = summary.median(std::string("BM_Element_") + kind);
    if (s > 0 && e > 0) std::printf("%-6s %16.1f %16.1f %7.3fx\n", kind, s, e, e / s);
  }
  benchmark::Shutdown();
  gst_deinit();
  return 0;
}
