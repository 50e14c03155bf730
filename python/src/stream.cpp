// ocamera.Stream and ocamera.Frame: continuous acquisition with frames handed
// to Python as numpy arrays that view the pool buffer (no copy).
//
// A frame's buffer is owned by a capsule that is the base of every array made
// from it, so the buffer cannot go back to the pool while an array still views
// it: Frame.release() (or the end of a with block) gives up the frame's own
// hold, and the buffer returns once no array refers to it any more. Keep the
// pixels past that with array.copy().
#include <ocamera/stream.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "common.h"

namespace ocamera_python {
namespace {

class PyFrame {
 public:
  explicit PyFrame(ocamera::Frame &&frame)
      : width_(frame.width()),
        height_(frame.height()),
        channels_(frame.channels()),
        pattern_(frame.pattern()),
        seqNr_(frame.seqNr()),
        timeSec_(frame.timeSec()),
        timeMicroSec_(frame.timeMicroSec()),
        status_(frame.status()) {
    auto *held = new ocamera::Frame(std::move(frame));
    owner_ = py::capsule(held, [](void *p) { delete static_cast<ocamera::Frame *>(p); });
    std::vector<py::ssize_t> shape{height_, width_};
    if (channels_ != 1) shape.push_back(channels_);
    py::array view(py::dtype::of<unsigned char>(), shape, {}, held->data(), owner_);
    py::detail::array_proxy(view.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    array_ = view;
  }

  py::object array() const {
    if (array_.is_none()) throw ClosedError("the frame is released");
    return array_;
  }
  void release() {
    array_ = py::none();
    owner_ = py::none();
  }
  bool released() const { return array_.is_none(); }

  int width_, height_, channels_;
  OCameraTools::eBayerPattern pattern_;
  int seqNr_, timeSec_, timeMicroSec_, status_;

 private:
  py::object owner_ = py::none();
  py::object array_ = py::none();
};

// Raised by next() and the iterator once the stream is stopped.
py::object &stoppedType() {
  static py::object *type = new py::object();
  return *type;
}

class PyStream {
 public:
  PyStream(const std::string &address, const ocamera::StreamOptions &options, bool check)
      : address_(address), check_(check) {
    std::string error, line;
    stream_.reset(static_cast<ocamera::Stream *>(createCapturing(
        [&]() -> void * {
          return ocamera::Stream::create(address.c_str(), options, &error).release();
        },
        &line)));
    // The stream's own error, then the camera factory's line with the cause.
    if (!stream_)
      raiseCreationError("stream", address,
                         error.empty() || line.empty() ? error + line : error + ": " + line);
    // Events are recorded here so that Python code can read them without a
    // callback into the interpreter from the grab thread.
    auto events = events_;
    stream_->setEventCallback([events](ocamera::StreamEvent event, const std::string &detail) {
      std::lock_guard<std::mutex> lock(events->mutex);
      events->last = event;
      events->detail = detail;
      events->seen = true;
      if (event == ocamera::StreamEvent::GaveUp) events->gaveUp = true;
      if (event == ocamera::StreamEvent::Started) events->gaveUp = false;
    });
  }
  ~PyStream() { close(); }

  void close() {
    std::unique_ptr<ocamera::Stream> stream;
    {
      py::gil_scoped_release unlocked;
      {
        // Wake a next() waiting on another thread, then wait for it to leave.
        std::shared_lock<std::shared_mutex> lock(mutex_);
        if (stream_) stream_->stop();
      }
      std::unique_lock<std::shared_mutex> lock(mutex_);
      stream = std::move(stream_);
      stream.reset();  // stops and destroys the camera object; held frames stay valid
    }
  }
  bool closed() {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    return !stream_;
  }

  template <class F>
  auto call(F &&f) {
    py::gil_scoped_release unlocked;
    std::shared_lock<std::shared_mutex> lock(mutex_);
    if (!stream_) throw ClosedError("the stream is closed");
    return f(*stream_);
  }
  int status(const char *operation, int result) { return checkStatus(check_, result, operation); }

  // (FetchResult, Frame or None), waiting up to timeout seconds (None: no limit).
  std::pair<ocamera::FetchResult, py::object> fetch(std::optional<double> timeout) {
    int ms = -1;  // no limit
    if (timeout) ms = *timeout <= 0 ? 0 : static_cast<int>(*timeout * 1000.0 + 0.5);
    ocamera::Frame frame;
    const ocamera::FetchResult result = call([&](ocamera::Stream &s) { return s.next(frame, ms); });
    if (result != ocamera::FetchResult::Frame || !frame) return {result, py::none()};
    return {result, py::cast(PyFrame(std::move(frame)))};
  }
  // The next frame, None when none came within timeout (or the camera is lost
  // and recovering); StreamStopped once the stream is stopped.
  py::object next(std::optional<double> timeout) {
    auto [result, frame] = fetch(timeout);
    if (result == ocamera::FetchResult::Stopped) throwStopped("the stream is stopped");
    return frame;
  }
  // Iteration waits through time-outs and losses (the stream recovers by
  // itself) and ends when the stream is stopped; after recovery gave up it
  // raises StreamStopped.
  py::object iterate() {
    for (;;) {
      auto [result, frame] = fetch(0.2);
      if (result == ocamera::FetchResult::Frame) return frame;
      if (result == ocamera::FetchResult::Stopped) throw py::stop_iteration();
      {
        std::lock_guard<std::mutex> lock(events_->mutex);
        if (events_->gaveUp)
          throwStopped("the camera is lost and recovery gave up: " + events_->detail);
      }
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
  }
  py::object tryNext() {
    ocamera::Frame frame;
    const bool got = call([&](ocamera::Stream &s) { return s.tryNext(frame); });
    if (!got || !frame) return py::none();
    return py::cast(PyFrame(std::move(frame)));
  }
  py::object lastEvent() {
    std::lock_guard<std::mutex> lock(events_->mutex);
    if (!events_->seen) return py::none();
    return py::make_tuple(events_->last, events_->detail);
  }
  const std::string &address() const { return address_; }

 private:
  [[noreturn]] static void throwStopped(const std::string &why) {
    PyErr_SetString(stoppedType().ptr(), why.c_str());
    throw py::error_already_set();
  }
  struct Events {
    std::mutex mutex;
    ocamera::StreamEvent last = ocamera::StreamEvent::Stopped;
    std::string detail;
    bool seen = false, gaveUp = false;
  };

  std::string address_;
  bool check_;
  std::shared_mutex mutex_;
  std::unique_ptr<ocamera::Stream> stream_;
  std::shared_ptr<Events> events_ = std::make_shared<Events>();
};

using S = ocamera::StreamOptions;
const std::pair<const char *, int S::*> kIntOptions[] = {
    {"x0", &S::x0},
    {"y0", &S::y0},
    {"width", &S::width},
    {"height", &S::height},
    {"camera_buffers", &S::cameraBuffers},
    {"buffer_count", &S::bufferCount},
    {"queue_depth", &S::queueDepth},
    {"red", &S::red},
    {"green", &S::green},
    {"blue", &S::blue},
    {"read_timeout_ms", &S::readTimeoutMs},
    {"requests_in_flight", &S::requestsInFlight},
    {"failures_before_lost", &S::failuresBeforeLost},
    {"retry_initial_ms", &S::retryInitialMs},
    {"retry_max_ms", &S::retryMaxMs},
    {"retry_limit", &S::retryLimit}};

void setOption(ocamera::StreamOptions &o, const std::string &key, py::handle v) {
  for (const auto &[name, member] : kIntOptions)
    if (key == name) {
      o.*member = intArgument(v, key);
      return;
    }
  if (key == "camera_type")
    o.cameraType = v.cast<OCamera::eCameraType>();
  else if (key == "pattern")
    o.pattern = v.cast<OCameraTools::eBayerPattern>();
  else if (key == "acquisition_mode")
    o.acquisitionMode = v.cast<OCamera::eAcqMode>();
  else if (key == "when_full")
    o.whenFull = v.cast<ocamera::QueuePolicy>();
  else if (key == "rgb")
    o.rgb = v.cast<bool>();
  else if (key == "white_balance")
    o.whiteBalance = v.cast<ocamera::WhiteBalance>();
  else if (key == "recover")
    o.recover = v.cast<bool>();
  else
    throw py::type_error("Stream got an unknown option '" + key + "'");
}

// The options as keyword arguments of the constructor would give them.
py::dict optionsDict(const ocamera::StreamOptions &o) {
  py::dict d;
  for (const auto &[name, member] : kIntOptions) d[name] = o.*member;
  d["camera_type"] = o.cameraType;
  d["pattern"] = o.pattern;
  d["acquisition_mode"] = o.acquisitionMode;
  d["when_full"] = o.whenFull;
  d["rgb"] = o.rgb;
  d["white_balance"] = o.whiteBalance;
  d["recover"] = o.recover;
  return d;
}

}  // namespace

void defineStream(py::module_ &m) {
  py::dict scope;
  scope["__builtins__"] = py::module_::import("builtins");
  scope["Error"] = m.attr("Error");
  py::exec(R"(
class StreamStopped(Error):
    """next() on a stopped stream, or recovery gave up."""
)",
           scope);
  m.attr("StreamStopped") = scope["StreamStopped"];
  stoppedType() = scope["StreamStopped"];

  py::class_<PyFrame>(m, "Frame",
                      "One frame of a stream. array is a read-only numpy view of the pool "
                      "buffer (H x W, or H x W x 3 for RGB); the buffer stays valid while the "
                      "frame or an array from it is alive. Use array.copy() to keep pixels and "
                      "let the buffer go back to the pool.")
      .def_property_readonly("array", &PyFrame::array)
      .def(
          "__array__",
          [](PyFrame &f, py::object dtype) {
            py::object a = f.array();
            return dtype.is_none() ? a : a.attr("astype")(dtype);
          },
          py::arg("dtype") = py::none())
      .def_readonly("width", &PyFrame::width_)
      .def_readonly("height", &PyFrame::height_)
      .def_readonly("channels", &PyFrame::channels_)
      .def_readonly("pattern", &PyFrame::pattern_)
      .def_readonly("seq_nr", &PyFrame::seqNr_)
      .def_readonly("time_sec", &PyFrame::timeSec_)
      .def_readonly("time_micro_sec", &PyFrame::timeMicroSec_)
      .def_readonly("status", &PyFrame::status_)
      .def_property_readonly("released", &PyFrame::released)
      .def("release", &PyFrame::release)
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](PyFrame &f, py::args) { f.release(); });

  using S = ocamera::StreamStats;
  py::class_<S>(m, "StreamStats")
      .def_readonly("delivered", &S::delivered)
      .def_readonly("dropped", &S::dropped)
      .def_readonly("missing", &S::missing)
      .def_readonly("failed_requests", &S::failedRequests)
      .def_readonly("recoveries", &S::recoveries)
      .def_readonly("frames_per_second", &S::framesPerSecond)
      .def_readonly("megabytes_per_second", &S::megabytesPerSecond)
      .def_readonly("state", &S::state);

  using St = ocamera::Stream;
  py::class_<PyStream>(m, "Stream",
                       "Continuous acquisition from the camera at address. Options are the "
                       "fields of the C++ StreamOptions in snake case (width=640, rgb=True, "
                       "queue_depth=4, when_full=QueuePolicy.BLOCK, ...). Iterate it for "
                       "frames, or call next(timeout).")
      .def(py::init([](const std::string &address, bool check, py::kwargs kwargs) {
             ocamera::StreamOptions options;
             for (auto item : kwargs)
               setOption(options, item.first.cast<std::string>(), item.second);
             return new PyStream(address, options, check);
           }),
           py::arg("address"), py::kw_only(), py::arg("check") = false)
      .def_property_readonly("address", &PyStream::address)
      .def_property_readonly("closed", &PyStream::closed)
      .def("close", &PyStream::close, "Stops the stream and ends its camera object.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](PyStream &s, py::args) { s.close(); })
      .def("start",
           [](PyStream &s) { return s.status("start", s.call([](St &st) { return st.start(); })); })
      .def("stop", [](PyStream &s) { s.call([](St &st) { st.stop(); }); })
      .def("fetch", &PyStream::fetch, py::arg("timeout") = py::none(),
           "(FetchResult, Frame or None), waiting up to timeout seconds (None: no limit).")
      .def("next", &PyStream::next, py::arg("timeout") = py::none(),
           "The next frame; None when none came within timeout seconds (None: no limit) or "
           "the camera is lost; StreamStopped when the stream is stopped.")
      .def("try_next", &PyStream::tryNext, "A waiting frame, or None; never blocks.")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &PyStream::iterate)
      .def("stats", [](PyStream &s) { return s.call([](St &st) { return st.stats(); }); })
      .def_property_readonly("state",
                             [](PyStream &s) { return s.call([](St &st) { return st.state(); }); })
      .def_property_readonly("last_event", &PyStream::lastEvent,
                             "(StreamEvent, detail) of the latest event, or None.")
      .def(
          "set_shutter_time",
          [](PyStream &s, int us) {
            return s.status("setShutterTime",
                            s.call([&](St &st) { return st.setShutterTime(us); }));
          },
          py::arg("microseconds"))
      .def(
          "set_gain",
          [](PyStream &s, int f) {
            return s.status("setGain", s.call([&](St &st) { return st.setGain(f); }));
          },
          py::arg("factor"))
      .def(
          "set_frame_rate",
          [](PyStream &s, float fps) {
            return s.status("setFrameRate", s.call([&](St &st) { return st.setFrameRate(fps); }));
          },
          py::arg("fps"))
      .def(
          "set_trigger_source",
          [](PyStream &s, OCamera::eTrigSource src, OCamera::eTrigPolarity pol) {
            return s.status("setTriggerSource",
                            s.call([&](St &st) { return st.setTriggerSource(src, pol); }));
          },
          py::arg("source"), py::arg("polarity") = OCamera::TRIG_POL_ACTIVE_HIGH)
      .def(
          "set_trigger_delay",
          [](PyStream &s, int us) {
            return s.status("setTriggerDelay",
                            s.call([&](St &st) { return st.setTriggerDelay(us); }));
          },
          py::arg("microseconds"))
      .def(
          "set_camera_window",
          [](PyStream &s, int x0, int y0, int w, int h) {
            return s.status("setCameraWindow",
                            s.call([&](St &st) { return st.setCameraWindow(x0, y0, w, h); }));
          },
          py::arg("x0"), py::arg("y0"), py::arg("width"), py::arg("height"))
      .def(
          "set_acquisition_mode",
          [](PyStream &s, OCamera::eAcqMode mode) {
            return s.status("setAcquisitionMode",
                            s.call([&](St &st) { return st.setAcquisitionMode(mode); }));
          },
          py::arg("mode"))
      .def("trigger_image",
           [](PyStream &s) {
             return s.status("triggerImage", s.call([](St &st) { return st.triggerImage(); }));
           })
      .def(
          "options",
          [](PyStream &s) { return optionsDict(s.call([](St &st) { return st.options(); })); },
          "The options the stream was made with (the window as set last), as a dict.");
}

}  // namespace ocamera_python
