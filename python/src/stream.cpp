// ocamera.Stream and ocamera.Frame: continuous acquisition with frames handed
// to Python as numpy arrays that view the pool buffer (no copy).
//
// A frame's buffer is owned by a capsule that is the base of every array made
// from it, so the buffer cannot go back to the pool while an array still views
// it: Frame.release() (or the end of a with block) gives up the frame's own
// hold, and the buffer returns once no array refers to it any more. Keep the
// pixels past that with array.copy().
//
// Arrays kept must never stall the stream: when all buffers of the pool but
// one are held by frames or their arrays, each further frame is copied into
// an array of its own and its buffer goes back at once (a RuntimeWarning the
// first time, Stream.copied_frames counts them). The last buffer keeps the
// grab thread going.
#include <ocamera/stream.h>
#include <ocamera/stream_options.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "common.h"
#include "settings.h"
#include "wait.h"

namespace ocamera_python {
namespace {

// A pool buffer held from Python, counted while it is held.
struct HeldFrame {
  HeldFrame(ocamera::Frame &&frame, std::shared_ptr<std::atomic<int>> held)
      : frame(std::move(frame)), held(std::move(held)) {
    ++*this->held;
  }
  ~HeldFrame() { --*held; }
  HeldFrame(const HeldFrame &) = delete;
  HeldFrame &operator=(const HeldFrame &) = delete;
  ocamera::Frame frame;
  std::shared_ptr<std::atomic<int>> held;
};

class PyFrame {
 public:
  // A view of the pool buffer (counted in held), or with copy an array of
  // its own, the buffer going back to the pool at once.
  PyFrame(ocamera::Frame &&frame, const std::shared_ptr<std::atomic<int>> &held, bool copy)
      : width_(frame.width()),
        height_(frame.height()),
        channels_(frame.channels()),
        pattern_(frame.pattern()),
        seqNr_(frame.seqNr()),
        timeSec_(frame.timeSec()),
        timeMicroSec_(frame.timeMicroSec()),
        status_(frame.status()) {
    std::vector<py::ssize_t> shape{height_, width_};
    if (channels_ != 1) shape.push_back(channels_);
    if (copy) {
      py::array own(py::dtype::of<unsigned char>(), shape, {}, frame.data());
      frame.release();
      py::detail::array_proxy(own.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
      owner_ = own;
      array_ = own;
      return;
    }
    auto *kept = new HeldFrame(std::move(frame), held);
    owner_ = py::capsule(kept, [](void *p) { delete static_cast<HeldFrame *>(p); });
    py::array view(py::dtype::of<unsigned char>(), shape, {}, kept->frame.data(), owner_);
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
    // The stream's reason: its options, or why the camera could not be made.
    if (!stream_) raiseCreationError("stream", address, error.empty() ? line : error);
    bufferCount_ = stream_->options().bufferCount;
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

  // (FetchResult, Frame or None), waiting up to timeout seconds (None or
  // negative: no limit). The wait goes in slices, the signals looked at in
  // between: Ctrl-C raises KeyboardInterrupt within one slice, and the stream
  // goes on as before.
  std::pair<ocamera::FetchResult, py::object> fetch(std::optional<double> timeout) {
    using Clock = std::chrono::steady_clock;
    const bool limited = timeout && *timeout >= 0;
    const Clock::time_point until =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(limited ? *timeout : 0.0));
    ocamera::Frame frame;
    for (;;) {
      int slice = kSignalSliceMs;
      if (limited) {
        const auto left = until - Clock::now();
        // Whole milliseconds, rounded up, so the last slice reaches the end.
        const long long ms =
            (std::chrono::duration_cast<std::chrono::microseconds>(left).count() + 999) / 1000;
        slice = static_cast<int>(std::max<long long>(0, std::min<long long>(slice, ms)));
      }
      const ocamera::FetchResult result =
          call([&](ocamera::Stream &s) { return s.next(frame, slice); });
      if (result == ocamera::FetchResult::Frame)
        return {result, frame ? wrap(std::move(frame)) : py::none()};
      if (result == ocamera::FetchResult::Stopped) return {result, py::none()};
      if (result == ocamera::FetchResult::Lost && gaveUp()) return {result, py::none()};
      if (limited && Clock::now() >= until) return {result, py::none()};
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
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
      if (gaveUp()) {
        std::lock_guard<std::mutex> lock(events_->mutex);
        throwStopped("the camera is lost and recovery gave up: " + events_->detail);
      }
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
  }
  py::object tryNext() {
    ocamera::Frame frame;
    const bool got = call([&](ocamera::Stream &s) { return s.tryNext(frame); });
    if (!got || !frame) return py::none();
    return wrap(std::move(frame));
  }
  // Frames delivered as copies because the pool was held (see the top).
  std::uint64_t copiedFrames() const { return copied_; }
  py::object lastEvent() {
    std::lock_guard<std::mutex> lock(events_->mutex);
    if (!events_->seen) return py::none();
    return py::make_tuple(events_->last, events_->detail);
  }
  const std::string &address() const { return address_; }

 private:
  bool gaveUp() {
    std::lock_guard<std::mutex> lock(events_->mutex);
    return events_->gaveUp;
  }
  // A frame for Python: a view of its buffer while buffers are left for the
  // grab thread, a copy once all but one are held (with the GIL).
  py::object wrap(ocamera::Frame &&frame) {
    const bool copy = held_->load() >= bufferCount_ - 1;
    if (copy) {
      ++copied_;
      if (!warned_) {
        warned_ = true;
        const std::string text =
            "all " + std::to_string(bufferCount_) +
            " buffers of the stream but one are held by frames or their arrays: further "
            "frames are copied (slower) so that the stream goes on; keep array.copy() and "
            "release frames, or raise buffer_count";
        if (PyErr_WarnEx(PyExc_RuntimeWarning, text.c_str(), 1) != 0) throw py::error_already_set();
      }
    }
    return py::cast(PyFrame(std::move(frame), held_, copy));
  }
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
  int bufferCount_ = 0;
  std::shared_ptr<std::atomic<int>> held_ = std::make_shared<std::atomic<int>>(0);
  std::uint64_t copied_ = 0;  // changed with the GIL only
  bool warned_ = false;
};

// The keyword arguments of Stream are the library's stream options in snake
// case (buffer_count=8); names, ranges and checks come from its table.
void setOption(ocamera::StreamOptions &o, const std::string &key, py::handle v) {
  const ocamera::StreamOption *option = ocamera::findStreamOption(key);
  if (!option || key != ocamera::streamOptionName(*option, '_'))
    throw py::type_error("Stream got an unknown option '" + key + "'");
  long long value = 0;
  if (option->type == ocamera::StreamOptionType::Bool) {
    value = v.cast<bool>() ? 1 : 0;
  } else {
    // Enumerations of the package are accepted as themselves and as integers.
    // Whole numbers only (a float is refused, not cut down).
    PyObject *index = PyNumber_Index(v.ptr());
    if (!index) {
      PyErr_Clear();
      throw py::type_error("Stream option " + key + " takes an integer, not " +
                           std::string(py::str(py::type::of(v).attr("__name__"))));
    }
    const auto number = py::reinterpret_steal<py::object>(index);
    value = PyLong_AsLongLong(number.ptr());
    if (value == -1 && PyErr_Occurred()) {
      PyErr_Clear();
      const ocamera::StreamOption &o = *option;
      throw py::value_error(std::string(o.name) + " must be " + std::to_string(o.min) + ".." +
                            std::to_string(o.max) + ", not " + py::str(number).cast<std::string>());
    }
  }
  std::string error;
  if (!ocamera::setStreamOption(o, key, value, &error)) throw py::value_error(error);
}

// An option's value as the keyword argument would give it.
py::object optionValue(const ocamera::StreamOptions &o, const ocamera::StreamOption &option) {
  const long long v = ocamera::streamOptionValue(o, option);
  const std::string name = option.name;
  if (name == "cameraType") return py::cast(static_cast<OCamera::eCameraType>(v));
  if (name == "pattern") return py::cast(static_cast<OCameraTools::eBayerPattern>(v));
  if (name == "acquisitionMode") return py::cast(static_cast<OCamera::eAcqMode>(v));
  if (name == "whenFull") return py::cast(static_cast<ocamera::QueuePolicy>(v));
  if (name == "whiteBalance") return py::cast(static_cast<ocamera::WhiteBalance>(v));
  if (option.type == ocamera::StreamOptionType::Bool) return py::bool_(v != 0);
  return py::int_(v);
}

py::dict optionsDict(const ocamera::StreamOptions &o) {
  py::dict d;
  for (const ocamera::StreamOption &option : ocamera::streamOptionTable())
    d[py::str(ocamera::streamOptionName(option, '_'))] = optionValue(o, option);
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
                      "let the buffer go back to the pool; once all buffers but one are held, "
                      "frames come as copies (Stream.copied_frames).")
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
      .def_readonly("sequence_resets", &S::sequenceResets)
      .def_readonly("frames_per_second", &S::framesPerSecond)
      .def_readonly("megabytes_per_second", &S::megabytesPerSecond)
      .def_readonly("state", &S::state);

  using St = ocamera::Stream;
  // The class's help lists every option with its unit, range and default.
  static const std::string streamDoc = [] {
    std::string doc =
        "Continuous acquisition from the camera at address. Iterate it for frames, or call "
        "next(timeout). Keyword options (ValueError outside their range):\n";
    for (const ocamera::StreamOption &o : ocamera::streamOptionTable()) {
      doc += "\n  " + ocamera::streamOptionName(o, '_') + ": " + o.help;
      if (o.type == ocamera::StreamOptionType::Int)
        doc += " (" + std::to_string(o.min) + ".." + std::to_string(o.max) +
               (*o.unit ? std::string(" ") + o.unit : std::string()) + ", default " +
               std::to_string(o.defaultValue) + ")";
      else if (o.type == ocamera::StreamOptionType::Bool)
        doc += std::string(" (default ") + (o.defaultValue ? "True" : "False") + ")";
    }
    return doc;
  }();
  py::class_<PyStream>(m, "Stream", streamDoc.c_str())
      .def(py::init([](const std::string &address, bool check, py::kwargs kwargs) {
             ocamera::StreamOptions options;
             for (auto item : kwargs) {
               const std::string key = item.first.cast<std::string>();
               if (key == "settings")  // an ocamera.Settings, made at every start and recovery
                 options.settings = item.second.cast<ocamera::Settings>();
               else
                 setOption(options, key, item.second);
             }
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
           "(FetchResult, Frame or None), waiting up to timeout seconds (None or negative: no "
           "limit); Ctrl-C raises KeyboardInterrupt.")
      .def("next", &PyStream::next, py::arg("timeout") = py::none(),
           "The next frame; None when none came within timeout seconds (None or negative: no "
           "limit) or the camera is lost; StreamStopped when the stream is stopped; Ctrl-C "
           "raises KeyboardInterrupt.")
      .def("try_next", &PyStream::tryNext, "A waiting frame, or None; never blocks.")
      .def_property_readonly("copied_frames", &PyStream::copiedFrames,
                             "Frames delivered as copies because all buffers of the pool but "
                             "one were held by frames or their arrays.")
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
