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
#include <ocamera/status.h>
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
#include "docs.h"
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

  Array array() const {
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
  // start(), whose failure with check raises CameraError with the stream's
  // own words: the step that failed and why.
  int start() {
    std::string error;
    const int result = call([&](ocamera::Stream &s) { return s.start(&error); });
    if (check_ && result != 0)
      raiseCameraError(result, "start", kUnknownStart, error.empty() ? nullptr : error.c_str());
    return result;
  }

  // (FetchResult, Frame or None), waiting up to timeout seconds (None or
  // negative: no limit). The wait goes in slices, the signals looked at in
  // between: Ctrl-C raises KeyboardInterrupt within one slice, and the stream
  // goes on as before.
  std::pair<ocamera::FetchResult, FrameOrNone> fetch(std::optional<double> timeout) {
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
        return {result, frame ? FrameOrNone(wrap(std::move(frame))) : FrameOrNone()};
      if (result == ocamera::FetchResult::Stopped) return {result, FrameOrNone()};
      if (result == ocamera::FetchResult::Lost && gaveUp()) return {result, FrameOrNone()};
      if (limited && Clock::now() >= until) return {result, FrameOrNone()};
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
  }
  // The next frame, None when none came within timeout (or the camera is lost
  // and recovering); StreamStopped once the stream is stopped.
  FrameOrNone next(std::optional<double> timeout) {
    auto [result, frame] = fetch(timeout);
    if (result == ocamera::FetchResult::Stopped) throwStopped("the stream is stopped");
    return frame;
  }
  // Iteration waits through time-outs and losses (the stream recovers by
  // itself) and ends when the stream is stopped; after recovery gave up it
  // raises StreamStopped.
  FrameObject iterate() {
    for (;;) {
      auto [result, frame] = fetch(0.2);
      if (result == ocamera::FetchResult::Frame && !frame.is_none()) return FrameObject(frame);
      if (result == ocamera::FetchResult::Stopped) throw py::stop_iteration();
      if (gaveUp()) {
        std::lock_guard<std::mutex> lock(events_->mutex);
        throwStopped("the camera is lost and recovery gave up: " + events_->detail);
      }
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
  }
  FrameOrNone tryNext() {
    ocamera::Frame frame;
    const bool got = call([&](ocamera::Stream &s) { return s.tryNext(frame); });
    if (!got || !frame) return py::none();
    return wrap(std::move(frame));
  }
  // Frames delivered as copies because the pool was held (see the top).
  std::uint64_t copiedFrames() const { return copied_; }
  EventOrNone lastEvent() {
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
  } else if (v.is_none() && std::string(option->name) == "pattern") {
    value = ocamera::kSensorPattern;  // None: the sensor's layout
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
  if (name == "pattern")  // None: the sensor's, chosen when the stream is made
    return v == ocamera::kSensorPattern ? py::object(py::none())
                                        : py::cast(static_cast<OCameraTools::eBayerPattern>(v));
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
  // The settings document, None while it is empty (as the keyword's default).
  const bool none = o.settings.empty() && !o.settings.sensor.known();
  d["settings"] = none ? py::object(py::none()) : py::cast(o.settings);
  return d;
}

// One keyword argument of Stream as its signature and help show it.
struct Keyword {
  std::string name;
  py::object defaultValue;
  std::string help;
  // A type or typing annotation (typing.Optional[...]); without one, the
  // default's type.
  py::object annotation = py::object();
  py::object type() const { return annotation ? annotation : py::type::of(defaultValue); }
};

// An option's help line: the table's text, range, unit and default.
std::string optionHelp(const ocamera::StreamOption &o) {
  std::string help = o.help;
  if (o.type == ocamera::StreamOptionType::Int)
    help += " (" + std::to_string(o.min) + ".." + std::to_string(o.max) +
            (*o.unit ? std::string(" ") + o.unit : std::string()) + ", default " +
            std::to_string(o.defaultValue) + ")";
  else if (o.type == ocamera::StreamOptionType::Bool)
    help += std::string(" (default ") + (o.defaultValue ? "True" : "False") + ")";
  else if (std::string(o.name) == "pattern")
    help += " (default None: the sensor's, as the camera describes it, else GRGR)";
  else
    help += " (default " +
            py::str(optionValue(ocamera::StreamOptions{}, o).attr("name")).cast<std::string>() +
            ")";
  return help;
}

// Stream's keyword arguments after the address: the package's own (check),
// then every option of the library's table in snake case, its default from a
// default StreamOptions. A keyword of the package goes into this list and is
// taken out of the keyword arguments before they are read as options.
std::vector<Keyword> streamKeywords() {
  std::vector<Keyword> keywords;
  keywords.push_back({"check", py::bool_(false),
                      "raise CameraError (TimeoutError for a time-out) from start() and the "
                      "setters instead of returning a negative result"});
  const ocamera::StreamOptions defaults;
  py::object optional = py::module_::import("typing").attr("Optional");
  for (const ocamera::StreamOption &o : ocamera::streamOptionTable()) {
    keywords.push_back(
        {ocamera::streamOptionName(o, '_'), optionValue(defaults, o), optionHelp(o)});
    if (std::string(o.name) == "pattern")
      keywords.back().annotation = optional[py::type::of<OCameraTools::eBayerPattern>()];
  }
  keywords.push_back({"settings", py::none(),
                      "an ocamera.Settings made on the camera at every start and after every "
                      "recovery (its window and sensor serve a window left to the sensor)",
                      optional[py::type::of<ocamera::Settings>()]});
  return keywords;
}

std::string typeName(py::handle type) {
  if (!py::hasattr(type, "__qualname__")) return py::str(type);  // typing.Optional[...]
  const std::string module = py::str(type.attr("__module__"));
  const std::string name = py::str(type.attr("__qualname__"));
  return module == "builtins" ? name : module + "." + name;
}

// The text of a default in a signature line: True, 1280, QueuePolicy.DROP_OLDEST.
std::string defaultText(py::handle value) {
  if (py::hasattr(value, "name") && py::hasattr(value, "value"))
    return typeName(py::type::of(value)) + "." + py::str(value.attr("name")).cast<std::string>();
  return py::repr(value);
}

// Stream.__init__'s docstring: the signature line pybind11 would write for
// explicit keyword arguments (help() and stub generators read it), then one
// line of help for each.
std::string initDoc(const std::vector<Keyword> &keywords) {
  std::string line = "__init__(self: ocamera._ocamera.Stream, address: str, *";
  std::string help;
  for (const Keyword &k : keywords) {
    line += ", " + k.name + ": " + typeName(k.type()) + " = " + defaultText(k.defaultValue);
    help += "\n  " + k.name + ": " + k.help;
  }
  return line +
         ") -> None\n\nA stream from the camera at address (host, host:port or "
         "http://host:port); CreationError when it cannot be made, ValueError for an "
         "option outside its range (before anything is sent). Keyword arguments:\n" +
         help;
}

// inspect.signature(Stream): the address, then every keyword with its default
// and type.
py::object initSignature(const std::vector<Keyword> &keywords) {
  py::module_ inspect = py::module_::import("inspect");
  py::object parameter = inspect.attr("Parameter");
  py::list parameters;
  parameters.append(parameter("address", parameter.attr("POSITIONAL_OR_KEYWORD"),
                              py::arg("annotation") = py::type::of(py::str())));
  for (const Keyword &k : keywords)
    parameters.append(parameter(k.name, parameter.attr("KEYWORD_ONLY"),
                                py::arg("default") = k.defaultValue,
                                py::arg("annotation") = k.type()));
  return inspect.attr("Signature")(parameters, py::arg("return_annotation") = py::none());
}

std::string frameRepr(const PyFrame &f) {
  std::string layout = f.channels_ == 3 ? "RGB"
                       : OCameraTools::PatternName(f.pattern_)
                           ? OCameraTools::PatternName(f.pattern_)
                           : "Bayer";
  return "<ocamera.Frame seq_nr=" + std::to_string(f.seqNr_) + " " + std::to_string(f.width_) +
         "x" + std::to_string(f.height_) + " " + layout + (f.released() ? " released" : "") + ">";
}

std::string statsRepr(const ocamera::StreamStats &s) {
  char rates[96];
  std::snprintf(rates, sizeof rates, " frames_per_second=%.1f megabytes_per_second=%.1f",
                s.framesPerSecond, s.megabytesPerSecond);
  return "<ocamera.StreamStats state=" +
         py::str(py::cast(s.state).attr("name")).cast<std::string>() +
         " delivered=" + std::to_string(s.delivered) + " dropped=" + std::to_string(s.dropped) +
         " missing=" + std::to_string(s.missing) +
         " sequence_resets=" + std::to_string(s.sequenceResets) +
         " failed_requests=" + std::to_string(s.failedRequests) +
         " recoveries=" + std::to_string(s.recoveries) + rates + ">";
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
      .def_property_readonly("array", &PyFrame::array,
                             "The pixels as a read-only uint8 numpy array, H x W Bayer samples "
                             "or H x W x 3 R, G, B. ClosedError once the frame is released.")
      .def(
          "__array__",
          [](PyFrame &f, py::object dtype) {
            py::object a = f.array();
            return dtype.is_none() ? a : a.attr("astype")(dtype);
          },
          py::arg("dtype") = py::none(), "numpy.asarray(frame): the array, or a copy as dtype.")
      .def_readonly("width", &PyFrame::width_, "Width in pixels.")
      .def_readonly("height", &PyFrame::height_, "Height in pixels.")
      .def_readonly("channels", &PyFrame::channels_, "1 for Bayer samples, 3 for RGB.")
      .def_readonly("pattern", &PyFrame::pattern_, "The sensor's BayerPattern.")
      .def_readonly("seq_nr", &PyFrame::seqNr_, "The camera's sequence number of the frame.")
      .def_readonly("time_sec", &PyFrame::timeSec_, "Whole seconds of the capture time stamp.")
      .def_readonly("time_micro_sec", &PyFrame::timeMicroSec_,
                    "Microseconds (0..999999) within the second of the capture time stamp.")
      .def_readonly("status", &PyFrame::status_, "The camera's image status (0).")
      .def_property_readonly("released", &PyFrame::released,
                             "Whether release() was called (or the with block ended).")
      .def("release", &PyFrame::release,
           "Gives up the frame's hold on its buffer; the buffer goes back to the pool once "
           "no array from it is left. array raises ClosedError afterwards.")
      .def("__repr__", &frameRepr)
      .def(
          "__enter__", [](PyFrame &f) -> PyFrame & { return f; },
          py::return_value_policy::reference,
          "The frame itself; the end of the with block releases it.")
      .def(
          "__exit__", [](PyFrame &f, py::args) { f.release(); }, "Releases the frame.");

  using S = ocamera::StreamStats;
  py::class_<S>(m, "StreamStats", "What a stream counted since it was made (Stream.stats()).")
      .def_readonly("delivered", &S::delivered,
                    "Frames handed to the application (queue or iteration).")
      .def_readonly("dropped", &S::dropped, "Frames dropped because the queue was full.")
      .def_readonly("missing", &S::missing,
                    "Frames the camera numbered but never delivered (gaps in seq_nr).")
      .def_readonly("failed_requests", &S::failedRequests, "Image requests that failed.")
      .def_readonly("recoveries", &S::recoveries, "Times the stream recovered after a loss.")
      .def_readonly("sequence_resets", &S::sequenceResets,
                    "Times seq_nr started a new count (a jump, a step back or a repeat).")
      .def_readonly("frames_per_second", &S::framesPerSecond,
                    "Frames delivered over the last second.")
      .def_readonly("megabytes_per_second", &S::megabytesPerSecond,
                    "Bytes of those frames, in 10^6 bytes a second.")
      .def_readonly("state", &S::state, "The StreamState.")
      .def("__repr__", &statsRepr);

  using St = ocamera::Stream;
  const std::vector<Keyword> keywords = streamKeywords();
  py::class_<PyStream> stream(
      m, "Stream",
      "Continuous acquisition from the camera at address: a grab thread fetches frames into "
      "a pool of buffers and recovers when the camera goes away. start() it, then iterate it "
      "for frames or call next(timeout); a with block (or close()) stops it. Keyword options "
      "as in __init__ (help(ocamera.Stream.__init__), inspect.signature(ocamera.Stream)).");
  {
    // The signature line is written from the keywords, not by pybind11, which
    // would show **kwargs.
    py::options options;
    options.disable_function_signatures();
    stream.def(py::init([](const std::string &address, bool check, py::kwargs kwargs) {
                 ocamera::StreamOptions options;
                 for (auto item : kwargs) {
                   const std::string key = item.first.cast<std::string>();
                   if (key == "settings") {  // made at every start and recovery
                     if (!item.second.is_none())
                       options.settings = item.second.cast<ocamera::Settings>();
                   } else {
                     setOption(options, key, item.second);
                   }
                 }
                 return new PyStream(address, options, check);
               }),
               py::arg("address"), py::kw_only(), py::arg("check") = false,
               keepDoc(initDoc(keywords)));
  }
  stream.attr("__signature__") = initSignature(keywords);
  stream.def_property_readonly("address", &PyStream::address, "The camera's address.")
      .def_property_readonly("closed", &PyStream::closed, "Whether close() was called.")
      .def("__repr__",
           [](PyStream &s) {
             std::string state = "closed";
             if (!s.closed())
               state = py::str(py::cast(s.call([](St &st) { return st.state(); })).attr("name"));
             return "<ocamera.Stream address='" + s.address() + "' " + state + ">";
           })
      .def("close", &PyStream::close,
           "Stops the stream and ends its camera object; frames still held stay valid.")
      .def(
          "__enter__", [](PyStream &s) -> PyStream & { return s; },
          py::return_value_policy::reference,
          "The stream itself; the end of the with block closes it.")
      .def(
          "__exit__", [](PyStream &s, py::args) { s.close(); }, "Closes the stream.")
      .def("start", &PyStream::start,
           "Opens the camera's buffers, sets the window, the read time-out, the recorded "
           "settings and the acquisition mode, and starts the grab thread. Returns 0, or the "
           "result of the first camera call that failed (nothing is left running), -1 for "
           "another step (a missing wb.conf, ...). Made with check=True it raises "
           "CameraError instead, whose text names the step that failed and why. Starting a "
           "running stream does nothing.")
      .def(
          "stop", [](PyStream &s) { s.call([](St &st) { st.stop(); }); },
          "Ends the acquisition and the grab thread; queued frames are dropped, held ones "
          "stay valid. Bounded by the read time-out plus the reply time-out's margin.")
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
      .def(
          "__iter__", [](PyStream &s) -> PyStream & { return s; },
          py::return_value_policy::reference,
          "Iterating waits through time-outs and a lost camera and ends when the stream is "
          "stopped (or frame_limit frames came); StreamStopped when recovery gave up.")
      .def("__next__", &PyStream::iterate, "The next frame (see __iter__).")
      .def(
          "stats", [](PyStream &s) { return s.call([](St &st) { return st.stats(); }); },
          "The StreamStats: frames delivered, dropped and missing, failures, recoveries, "
          "rates and state.")
      .def_property_readonly(
          "state", [](PyStream &s) { return s.call([](St &st) { return st.state(); }); },
          "STOPPED, RUNNING or LOST (recovering), a StreamState.")
      .def_property_readonly("last_event", &PyStream::lastEvent,
                             "(StreamEvent, detail) of the latest event, or None.")
      .def(
          "set_shutter_time",
          [](PyStream &s, int us) {
            return s.status("setShutterTime",
                            s.call([&](St &st) { return st.setShutterTime(us); }));
          },
          py::arg("microseconds"),
          statusDoc("Exposure time in microseconds (ocamsim: 1..1000000), set on the camera "
                    "while running and recorded: made again after a recovery and at start().",
                    {ocamera::status::kBadArgument}))
      .def(
          "set_gain",
          [](PyStream &s, int f) {
            return s.status("setGain", s.call([&](St &st) { return st.setGain(f); }));
          },
          py::arg("factor"),
          statusDoc("Analog gain factor (ocamsim: 1..32), recorded as set_shutter_time.",
                    {ocamera::status::kBadArgument}))
      .def(
          "set_frame_rate",
          [](PyStream &s, float fps) {
            return s.status("setFrameRate", s.call([&](St &st) { return st.setFrameRate(fps); }));
          },
          py::arg("fps"),
          statusDoc("Frames per second in the free-running modes, above 0 and at most 1000 "
                    "(ocamsim), recorded as set_shutter_time.",
                    {ocamera::status::kBadArgument}))
      .def(
          "set_trigger_source",
          [](PyStream &s, OCamera::eTrigSource src, OCamera::eTrigPolarity pol) {
            return s.status("setTriggerSource",
                            s.call([&](St &st) { return st.setTriggerSource(src, pol); }));
          },
          py::arg("source"), py::arg("polarity") = OCamera::TRIG_POL_ACTIVE_HIGH,
          statusDoc("Where triggers come from (TrigSource) and their edge (TrigPolarity), "
                    "recorded as set_shutter_time."))
      .def(
          "set_trigger_delay",
          [](PyStream &s, int us) {
            return s.status("setTriggerDelay",
                            s.call([&](St &st) { return st.setTriggerDelay(us); }));
          },
          py::arg("microseconds"),
          statusDoc("Delay from a trigger to its picture in microseconds (ocamsim: "
                    "0..10000000), recorded as set_shutter_time.",
                    {ocamera::status::kBadArgument}))
      .def(
          "set_camera_window",
          [](PyStream &s, int x0, int y0, int w, int h) {
            return s.status("setCameraWindow",
                            s.call([&](St &st) { return st.setCameraWindow(x0, y0, w, h); }));
          },
          py::arg("x0"), py::arg("y0"), py::arg("width"), py::arg("height"),
          "The window (pixels) for the next start(), which sets it on the camera. Returns 0 "
          "when recorded; -1 while running or lost, or for a window the stream cannot run "
          "with (CameraError with check=True). Nothing is sent here.")
      .def(
          "set_acquisition_mode",
          [](PyStream &s, OCamera::eAcqMode mode) {
            return s.status("setAcquisitionMode",
                            s.call([&](St &st) { return st.setAcquisitionMode(mode); }));
          },
          py::arg("mode"),
          "The AcqMode for the next start(), which sets it on the camera. Returns 0 when "
          "recorded; -1 while running or lost, or for a mode that delivers no images (STOP, "
          "FREE_RUN_SLAVE_STOP). Nothing is sent here.")
      .def(
          "trigger_image",
          [](PyStream &s) {
            return s.status("triggerImage", s.call([](St &st) { return st.triggerImage(); }));
          },
          statusDoc("A software trigger (SINGLE_SHOT and SELECT_SHOT modes); not recorded.",
                    {ocamera::status::kBadMode}))
      .def(
          "options",
          [](PyStream &s) { return optionsDict(s.call([](St &st) { return st.options(); })); },
          "The options the stream was made with (the window as set last), as a dict.");
}

}  // namespace ocamera_python
