// ocamera.Camera: every operation of OCamera, with images as numpy arrays.
#include <ocamera/camera.h>
#include <ocamera/image_ram.h>
#include <ocamera/status.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common.h"
#include "docs.h"
#include "settings.h"

namespace ocamera_python {
namespace {

// One delivered image: the pixels (a new array, H x W when the window is known,
// else flat) and the acquisition data. data is None when nothing was delivered.
struct PyImage {
  ArrayOrNone data;
  int seqNr = 0, timeSec = 0, timeMicroSec = 0, size = 0, status = 0, result = 0;
};

struct PyLaserSetup {
  bool enable = false;
  int x0 = 0, y0 = 0, width = 0, height = 0;
  OCamera::ePointPriority priority = OCamera::PRIO_FIRST_POINT;
  OCamera::eProfileDirection direction = OCamera::DIRECTION_TOP_DOWN;
  int threshMin = 0, threshMax = 255, areaMin = 0, areaMax = 0;
  OCamera::eLaserOutputFormat subRes = OCamera::LASER_OUTPUT_8_0;
  py::object refData = py::none();  // width bytes, or None
};

class Camera : public Wrapper<OCamera> {
 public:
  Camera(std::optional<std::string> address, OCamera::eCameraType type, bool check)
      : Wrapper(address, check, "camera", [type](const char *at) {
          return at ? CreateCameraInterface(type, at) : OCamera::CreateCameraInterface(type);
        }) {}

  // The one destroy of the object; later calls return 0 and do nothing.
  int close() {
    int result = 0;
    return release(&result) ? checkStatus(check(), result, "destroy") : 0;
  }

  int setCameraWindow(int x0, int y0, int width, int height) {
    const Clock::time_point started = Clock::now();
    const int result =
        object_.shared([&](OCamera &c) { return c.setCameraWindow(x0, y0, width, height); });
    if (result == 0) {
      std::lock_guard<std::mutex> lock(windowMutex_);
      width_ = width;
      height_ = height;
    }
    return checkStatus(check(), result, "setCameraWindow", started);
  }

  // For the settings operations (settings.cpp): f on the object, and a window set by them.
  void run(const std::function<void(OCamera &)> &f) {
    object_.shared([&](OCamera &c) {
      f(c);
      return 0;
    });
  }
  void windowSet(int width, int height) {
    std::lock_guard<std::mutex> lock(windowMutex_);
    width_ = width;
    height_ = height;
  }

  // getSingleImage, copied into a new array and given back to the library at once.
  PyImage getSingleImage() {
    OCamera::Image image{};
    py::array_t<unsigned char> pixels;
    const Clock::time_point started = Clock::now();
    const int result = object_.shared([&](OCamera &c) { return c.getSingleImage(&image); });
    PyImage out = fill(image, result);
    if (result >= 0 && image.data && image.size > 0) {
      pixels = py::array_t<unsigned char>(shapeFor(image.size));
      {
        py::gil_scoped_release unlocked;
        std::memcpy(pixels.mutable_data(), image.data, static_cast<std::size_t>(image.size));
      }
      out.data = pixels;
    }
    if (image.data) object_.shared([&](OCamera &c) { return c.freeImage(&image); });
    checkValue(check(), result, "getSingleImage", started);
    return out;
  }

  // The next image into the caller's buffer. The library does not know the
  // buffer's size, so the image is received into the library's memory and
  // copied only when it fits; a larger image fails with ValueError.
  PyImage getSingleImageInto(py::object buffer) {
    BufferView view(buffer, true);
    OCamera::Image image{};
    const Clock::time_point started = Clock::now();
    const int result = object_.shared([&](OCamera &c) { return c.getSingleImage(&image); });
    PyImage out = fill(image, result);
    const bool delivered = result >= 0 && image.data && image.size > 0;
    const bool fits = static_cast<std::size_t>(image.size) <= view.size();
    if (delivered && fits) {
      py::gil_scoped_release unlocked;
      std::memcpy(view.data(), image.data, static_cast<std::size_t>(image.size));
    }
    if (image.data) object_.shared([&](OCamera &c) { return c.freeImage(&image); });
    if (delivered && !fits)
      throw py::value_error("the image holds " + std::to_string(out.size) + " bytes, the buffer " +
                            std::to_string(view.size()));
    // As OCamera::getSingleImageInto: an empty image is a failure.
    if (result >= 0 && !delivered) out.result = -1;
    if (out.result >= 0) out.data = buffer;
    checkValue(check(), out.result, "getSingleImageInto", started);
    return out;
  }

  py::tuple readImageRAM(unsigned address, unsigned length) {
    if (const int outside = refuseOutsideRam(address, length, "readImageRAM"))
      return py::make_tuple(outside, py::bytes());
    std::string bytes(length, '\0');
    const int result =
        object_.shared([&](OCamera &c) { return c.readImageRAM(bytes.data(), address, length); });
    checkStatus(check(), result, "readImageRAM");
    return py::make_tuple(result, result == 0 ? py::bytes(bytes) : py::bytes());
  }
  // A read longer than kCheckedRamRead is checked against the image RAM
  // before memory is taken for it: 0 when it lies inside, else the status the
  // camera's read would answer (the check setting applies to it as to that).
  static constexpr unsigned kCheckedRamRead = 1u << 20;
  int refuseOutsideRam(unsigned address, unsigned length, const char *operation) {
    if (length <= kCheckedRamRead) return 0;
    const int inside =
        object_.shared([&](OCamera &c) { return ocamera::checkImageRAMRange(c, address, length); });
    return checkStatus(check(), inside, operation);
  }
  int readImageRAMInto(py::object buffer, unsigned address) {
    BufferView view(buffer, true);
    const auto length = static_cast<unsigned>(view.size());
    return status("readImageRAM",
                  [&](OCamera &c) { return c.readImageRAM(view.data(), address, length); });
  }
  int writeImageRAM(py::object data, unsigned address) {
    BufferView view(data, false);
    const auto length = static_cast<unsigned>(view.size());
    return status("writeImageRAM",
                  [&](OCamera &c) { return c.writeImageRAM(view.data(), address, length); });
  }
  py::tuple readImageRAMReducedData(unsigned address, unsigned length) {
    if (const int outside = refuseOutsideRam(address, length, "readImageRAMReducedData"))
      return py::make_tuple(outside, py::bytes());
    std::string bytes(length, '\0');
    int returned = 0;
    const int result = object_.shared([&](OCamera &c) {
      return c.readImageRAMReducedData(bytes.data(), address, length, &returned);
    });
    checkStatus(check(), result, "readImageRAMReducedData");
    bytes.resize(returned > 0 ? static_cast<std::size_t>(returned) : 0);
    return py::make_tuple(result, py::bytes(bytes));
  }

  py::tuple getSensorRegister(const std::string &name) {
    unsigned value = 0;
    const int result =
        object_.shared([&](OCamera &c) { return c.getSensorRegister(name.c_str(), &value); });
    checkStatus(check(), result, "getSensorRegister");
    return py::make_tuple(result, value);
  }
  // A copy of the names, made while no other call can replace the list.
  NamesOrNone getSensorRegisterNames() {
    std::vector<std::string> names;
    const bool ok = object_.exclusive([&](OCamera &c) {
      const char *const *list = c.getSensorRegisterNames();
      for (const char *const *p = list; p && *p; ++p) names.emplace_back(*p);
      return list != nullptr;
    });
    if (!ok) {
      checkValue(check(), -1, "getSensorRegisterNames");
      return {};
    }
    return NamesOrNone(py::cast(names));
  }

  int setWhiteBalance(OCameraTools::eBayerPattern pattern, py::object table) {
    if (table.is_none())
      return status("setWhiteBalance",
                    [&](OCamera &c) { return c.setWhiteBalance(pattern, nullptr); });
    BufferView view(table, false);
    if (view.size() != 768) throw py::value_error("the white-balance table holds 768 bytes");
    return status("setWhiteBalance",
                  [&](OCamera &c) { return c.setWhiteBalance(pattern, view.data()); });
  }
  int setupLaserProfiling(const PyLaserSetup &setup) {
    OCamera::LaserSetup wire{setup.enable,    setup.x0,       setup.y0,        setup.width,
                             setup.height,    setup.priority, setup.direction, setup.threshMin,
                             setup.threshMax, setup.areaMin,  setup.areaMax,   setup.subRes,
                             nullptr};
    std::optional<BufferView> reference;
    if (!setup.refData.is_none()) {
      reference.emplace(setup.refData, false);
      if (setup.width < 0 || reference->size() != static_cast<std::size_t>(setup.width))
        throw py::value_error("the reference data holds width bytes");
      wire.refData = reference->data();
    }
    return status("setupLaserProfiling", [&](OCamera &c) { return c.setupLaserProfiling(wire); });
  }

 private:
  static PyImage fill(const OCamera::Image &image, int result) {
    PyImage out;
    out.result = result;
    if (result >= 0) {
      out.seqNr = image.seqNr;
      out.timeSec = image.timeSec;
      out.timeMicroSec = image.timeMicroSec;
      out.size = image.size;
      out.status = image.status;
    }
    return out;
  }
  std::vector<py::ssize_t> shapeFor(int size) {
    std::lock_guard<std::mutex> lock(windowMutex_);
    if (width_ > 0 && height_ > 0 && static_cast<long long>(width_) * height_ == size)
      return {height_, width_};
    return {size};
  }

  std::mutex windowMutex_;
  int width_ = 0, height_ = 0;  // the last window set through this object
};

// Binds a status operation: the camera's status, or -1.
#define OCPY_STATUS(pyname, cxxname, ...) \
#pyname,                                \
      [](Camera & self) { return self.status(#cxxname, [](OCamera &c) { return c.cxxname(); }); }

}  // namespace

void defineCamera(py::module_ &m) {
  namespace st = ocamera::status;
  py::class_<PyImage>(m, "Image",
                      "One image from Camera.get_single_image or get_single_image_into, with "
                      "its acquisition data.")
      .def_readonly("data", &PyImage::data,
                    "The pixels as a uint8 array (H x W once the window was set through "
                    "the object, else flat), or the buffer given to get_single_image_into; "
                    "None when no image came.")
      .def_readonly("seq_nr", &PyImage::seqNr, "The camera's sequence number of the frame.")
      .def_readonly("time_sec", &PyImage::timeSec, "Whole seconds of the capture time stamp.")
      .def_readonly("time_micro_sec", &PyImage::timeMicroSec,
                    "Microseconds (0..999999) within the second of the capture time stamp.")
      .def_readonly("size", &PyImage::size, "Bytes delivered (0 when no image came).")
      .def_readonly("status", &PyImage::status,
                    "The camera's image status: 0, or why no image came (-21 the read time-out "
                    "passed, -22 the acquisition is stopped, ...).")
      .def_readonly("result", &PyImage::result,
                    "The request's result: 0 or the camera's status, -1 when it failed.")
      .def("__repr__", [](const PyImage &i) {
        return "<ocamera.Image seq_nr=" + std::to_string(i.seqNr) +
               " size=" + std::to_string(i.size) + " result=" + std::to_string(i.result) + ">";
      });

  py::class_<OCamera::CalibrationParams>(m, "CalibrationParams",
                                         "Parameters of Camera.calibrate_sensor: how many of "
                                         "the two are used (0..2) and their values.")
      .def(py::init([](unsigned n, unsigned p1, unsigned p2) {
             return OCamera::CalibrationParams{n, p1, p2};
           }),
           py::arg("num_param") = 0, py::arg("param1") = 0, py::arg("param2") = 0,
           "The parameters; num_param says how many are used.")
      .def_readwrite("num_param", &OCamera::CalibrationParams::numParam,
                     "How many parameters are used (0..2).")
      .def_readwrite("param1", &OCamera::CalibrationParams::param1, "The first parameter.")
      .def_readwrite("param2", &OCamera::CalibrationParams::param2, "The second parameter.");
  py::class_<OCamera::FilterParams>(m, "FilterParams",
                                    "Parameters of Camera.set_filter: how many of the two are "
                                    "used (0..2) and their values.")
      .def(py::init([](unsigned n, unsigned p1, unsigned p2) {
             return OCamera::FilterParams{n, p1, p2};
           }),
           py::arg("num_param") = 0, py::arg("param1") = 0, py::arg("param2") = 0,
           "The parameters; num_param says how many are used.")
      .def_readwrite("num_param", &OCamera::FilterParams::numParam,
                     "How many parameters are used (0..2).")
      .def_readwrite("param1", &OCamera::FilterParams::param1, "The first parameter.")
      .def_readwrite("param2", &OCamera::FilterParams::param2, "The second parameter.");
  py::class_<OCamera::BinarizationParams>(m, "BinarizationParams",
                                          "Parameters of Camera.set_binarization: one or two "
                                          "thresholds 0..255 (the first at most the second) "
                                          "and whether to invert.")
      .def(py::init([](bool invert, unsigned char n, unsigned char t1, unsigned char t2) {
             return OCamera::BinarizationParams{invert, n, t1, t2};
           }),
           py::arg("invert") = false, py::arg("num_threshold") = 1, py::arg("threshold1") = 128,
           py::arg("threshold2") = 255,
           "Thresholds are grey levels 0..255; num_threshold says how many are used.")
      .def_readwrite("invert", &OCamera::BinarizationParams::invert, "Invert the result.")
      .def_readwrite("num_threshold", &OCamera::BinarizationParams::numThreshold,
                     "How many thresholds are used (1 or 2).")
      .def_readwrite("threshold1", &OCamera::BinarizationParams::threshold1,
                     "The first threshold, grey level 0..255.")
      .def_readwrite("threshold2", &OCamera::BinarizationParams::threshold2,
                     "The second threshold, grey level 0..255, at least threshold1.");
  py::class_<PyLaserSetup>(m, "LaserSetup",
                           "Laser-line profiling set up by Camera.setup_laser_profiling.")
      .def(py::init<>(), "A disabled setup; set the fields, then pass it on.")
      .def_readwrite("enable", &PyLaserSetup::enable, "Profiling on or off.")
      .def_readwrite("x0", &PyLaserSetup::x0, "Left edge of the region, in pixels.")
      .def_readwrite("y0", &PyLaserSetup::y0, "Top edge of the region, in pixels.")
      .def_readwrite("width", &PyLaserSetup::width, "Width of the region, in pixels.")
      .def_readwrite("height", &PyLaserSetup::height, "Height of the region, in pixels.")
      .def_readwrite("priority", &PyLaserSetup::priority,
                     "Which point of a column counts (PointPriority).")
      .def_readwrite("direction", &PyLaserSetup::direction, "Scan direction (ProfileDirection).")
      .def_readwrite("thresh_min", &PyLaserSetup::threshMin,
                     "Lowest grey level of the line, 0..255.")
      .def_readwrite("thresh_max", &PyLaserSetup::threshMax,
                     "Highest grey level of the line, 0..255, at least thresh_min.")
      .def_readwrite("area_min", &PyLaserSetup::areaMin, "Smallest area of a point.")
      .def_readwrite("area_max", &PyLaserSetup::areaMax,
                     "Largest area of a point, at least area_min.")
      .def_readwrite("sub_res", &PyLaserSetup::subRes, "Output format (LaserOutputFormat).")
      .def_readwrite("ref_data", &PyLaserSetup::refData, "width bytes of reference data, or None");

  using C = OCamera;
  using B = OCameraTools::eBayerPattern;
  py::class_<Camera> camera(
      m, "Camera",
      "The camera at an address (host, host:port or http://host:port; None: the "
      "factory default). Raises CreationError when it cannot be made. Results are "
      "integers as in C++ (status, value, -1 for a failed request); with "
      "check=True a failure raises CameraError instead (TimeoutError for a "
      "time-out). close() (or the end of a with block, or garbage collection) "
      "destroys it once. A session: open_buffers, set_camera_window and other "
      "settings, set_acquisition_mode, then get_single_image.");
  bindLifetime(camera, "Destroys the camera object once; returns destroy's status.")
      .def(py::init<std::optional<std::string>, OCamera::eCameraType, bool>(),
           py::arg("address") = py::none(), py::arg("type") = OCamera::CAM_TYPE_GENERIC,
           py::arg("check") = false,
           "Connects to the camera at address and opens a session on it for a sensor of "
           "the given type. CreationError (a ConnectionError) names the address and why "
           "when it cannot.")
      .def("__repr__",
           [](Camera &c) {
             return "<ocamera.Camera address='" + c.address() + "' " +
                    (c.closed() ? "closed" : "open") + (c.check() ? " check=True" : "") + ">";
           })
      .def(
          "open_buffers",
          [](Camera &s, int size, int count) {
            return s.status("open", [&](C &c) { return c.open(size, count); });
          },
          py::arg("frame_buffer_size"), py::arg("max_buffers"),
          statusDoc("Opens the camera for acquisition (C++ open) with max_buffers frame buffers "
                    "(ocamsim: 1..1024) of frame_buffer_size bytes each (width x height for raw "
                    "frames).",
                    {st::kAlreadyOpen, st::kBadArgument}))
      .def(OCPY_STATUS(close_buffers, close),
           statusDoc("Closes what open_buffers opened (C++ close).", {st::kNotOpen}))
      .def("get_single_image", &Camera::getSingleImage,
           keepDoc("The next image as an Image whose data is a new array (H x W when the window "
                   "was set through this object). Only in the acquisition modes SINGLE_SHOT, "
                   "FREE_RUN, SELECT_SHOT and FREE_RUN_SLAVE. Image.result is 0, the camera's "
                   "status when no image came (" +
                   statusWords(st::kTimeout) +
                   ": nothing within the read time-out), or -1 when the request failed. With "
                   "check=True a negative result raises CameraError (TimeoutError for a "
                   "time-out)."))
      .def("get_single_image_into", &Camera::getSingleImageInto, py::arg("buffer"),
           "The next image into a writable buffer (bytearray, numpy array); ValueError when "
           "the image does not fit. An Image whose data is the buffer; result as for "
           "get_single_image, and -1 for an empty image.")
      .def(
          "get_max_image_count",
          [](Camera &s) {
            return s.value("getMaxImageCount", [](C &c) { return c.getMaxImageCount(); });
          },
          valueDoc("The number of frame buffers the camera was opened with.",
                   "the number of buffers", {st::kNotOpen}))
      .def(
          "get_image_count",
          [](Camera &s) {
            return s.value("getImageCount", [](C &c) { return c.getImageCount(); });
          },
          "Frames waiting in the camera's buffers (a count >= 0); 0 also when the request "
          "failed.")
      .def(
          "set_acquisition_mode",
          [](Camera &s, C::eAcqMode mode) {
            return s.exclusiveStatus("setAcquisitionMode",
                                     [&](C &c) { return c.setAcquisitionMode(mode); });
          },
          py::arg("mode"),
          statusDoc("The acquisition mode (AcqMode): STOP, SINGLE_SHOT, FREE_RUN, SELECT_SHOT or "
                    "FREE_RUN_SLAVE; FREE_RUN_SLAVE_STOP returns -1 without traffic. Images "
                    "come only in the four modes that deliver them. Waits for the other calls "
                    "of the object."))
      .def(
          "set_trigger_source",
          [](Camera &s, C::eTrigSource source, C::eTrigPolarity polarity) {
            return s.status("setTriggerSource",
                            [&](C &c) { return c.setTriggerSource(source, polarity); });
          },
          py::arg("source"), py::arg("polarity") = C::TRIG_POL_ACTIVE_HIGH,
          statusDoc("Where triggers come from (TrigSource: software, input E0 or E1) and their "
                    "active edge (TrigPolarity)."))
      .def(
          "set_illumination_mode",
          [](Camera &s, C::eIllMode mode) {
            return s.status("setIlluminationMode",
                            [&](C &c) { return c.setIlluminationMode(mode); });
          },
          py::arg("mode"),
          statusDoc("The illumination output (IllMode): off, on, or pulsed with each exposure."))
      .def(
          "set_illumination_mode_external",
          [](Camera &s, C::eIllModeExt mode) {
            return s.status("setIlluminationModeExternal",
                            [&](C &c) { return c.setIlluminationModeExternal(mode); });
          },
          py::arg("mode"),
          statusDoc("The external illumination output (IllModeExt): off, or on with positive or "
                    "negative polarity."))
      .def(
          "set_illumination_timing",
          [](Camera &s, int delay, int period) {
            return s.status("setIlluminationTiming",
                            [&](C &c) { return c.setIlluminationTiming(delay, period); });
          },
          py::arg("delay"), py::arg("period"),
          statusDoc("Pulsed illumination: delay from the exposure's start and pulse length, in "
                    "microseconds (ocamsim: each >= 0).",
                    {st::kBadArgument}))
      .def(
          "switch_illumination",
          [](Camera &s, bool on) {
            return s.status("switchIllumination", [&](C &c) { return c.switchIllumination(on); });
          },
          py::arg("on"), statusDoc("Switches the illumination on or off now."))
      .def(
          "set_shutter_time",
          [](Camera &s, int shutter) {
            return s.status("setShutterTime", [&](C &c) { return c.setShutterTime(shutter); });
          },
          py::arg("shutter"),
          statusDoc("Exposure time in microseconds (ocamsim: 1..1000000, 10000 at start). Longer "
                    "than 10000 us it bounds a free-running camera's frame rate to one frame "
                    "per exposure time.",
                    {st::kBadArgument}))
      .def(
          "get_shutter_time",
          [](Camera &s) {
            return s.value("getShutterTime", [](C &c) { return c.getShutterTime(); });
          },
          valueDoc("The exposure time.", "the exposure time in microseconds"))
      .def("set_camera_window", &Camera::setCameraWindow, py::arg("x0"), py::arg("y0"),
           py::arg("width"), py::arg("height"),
           statusDoc("The region of the sensor delivered, in pixels from the top-left corner; it "
                     "must lie inside the sensor (width and height at least 1). Every image is "
                     "then width x height bytes, and get_single_image shapes it H x W.",
                     {st::kBadArgument}))
      // An int goes to setFrameRate(int), a float to setFrameRate(float).
      .def(
          "set_frame_rate",
          [](Camera &s, int fps) {
            return s.status("setFrameRate", [&](C &c) { return c.setFrameRate(fps); });
          },
          py::arg("fps"),
          statusDoc("Frames per second in the free-running modes, above 0 and at most 1000 "
                    "(ocamsim; 30 at start). An int and a float send the same request.",
                    {st::kBadArgument}))
      .def(
          "set_frame_rate",
          [](Camera &s, float fps) {
            return s.status("setFrameRate", [&](C &c) { return c.setFrameRate(fps); });
          },
          py::arg("fps"))
      .def(
          "set_trigger_delay",
          [](Camera &s, int delay) {
            return s.status("setTriggerDelay", [&](C &c) { return c.setTriggerDelay(delay); });
          },
          py::arg("delay"),
          statusDoc("Delay from a trigger to its picture in microseconds (ocamsim: "
                    "0..10000000).",
                    {st::kBadArgument}))
      .def(
          "set_gain",
          [](Camera &s, int factor) {
            return s.status("setGain", [&](C &c) { return c.setGain(factor); });
          },
          py::arg("factor"),
          statusDoc("Analog gain factor (ocamsim: 1..32, 1 at start).", {st::kBadArgument}))
      .def(OCPY_STATUS(init_color, initColor),
           statusDoc("Sets the sensor's colour processing to its power-on state."))
      .def(
          "set_read_timeout",
          [](Camera &s, int timeout) {
            return s.status("setReadTimeout", [&](C &c) { return c.setReadTimeout(timeout); });
          },
          py::arg("timeout"),
          statusDoc("How long get_single_image waits for a frame, in milliseconds (>= 0; 1000 "
                    "at start); when it passes the camera answers " +
                        statusWords(st::kTimeout) + " without an image.",
                    {st::kBadArgument}))
      .def(OCPY_STATUS(reserved1, reserved1), "Reserved: always 0, sends nothing.")
      .def(
          "set_circular_overwrite",
          [](Camera &s, bool overwrite) {
            return s.status("setCircularOverwrite",
                            [&](C &c) { return c.setCircularOverwrite(overwrite); });
          },
          py::arg("overwrite"),
          statusDoc("Whether a full set of frame buffers overwrites the oldest frame (True) or "
                    "drops the new one (False)."))
      .def(
          "set_jpeg",
          [](Camera &s, bool enable, C::eJPEGQuality quality, bool stuff, B pattern, bool grey) {
            return s.status("setJPEG",
                            [&](C &c) { return c.setJPEG(enable, quality, stuff, pattern, grey); });
          },
          py::arg("enable"), py::arg("quality") = C::JPEG_QUALITY_GOOD,
          py::arg("byte_stuff_enable") = false,
          py::arg("pattern") = OCameraTools::BAYER_PATTERN_GRGR, py::arg("force_greyscale") = false,
          statusDoc("JPEG compression in the camera: on or off, quality (JPEGQuality), byte "
                    "stuffing, the sensor's Bayer layout and whether to compress as grey."))
      .def(
          "set_frequency",
          [](Camera &s, C::eFrequency f) {
            return s.status("setFrequency", [&](C &c) { return c.setFrequency(f); });
          },
          py::arg("frequency"),
          statusDoc("The sensor's pixel clock (Frequency): 20, 40, 50 or 60 MHz."))
      .def("read_image_ram", &Camera::readImageRAM, py::arg("address"), py::arg("length"),
           keepDoc("(status, bytes): length bytes of image RAM from byte address; the bytes only "
                   "when status is 0. A length above 1 MiB is checked against the image RAM "
                   "first: outside it, the status is -17 (" +
                   statusWords(st::kOutOfRange) +
                   ") and no memory is taken for the length. -18 while the image RAM is "
                   "disabled."))
      .def("read_image_ram_into", &Camera::readImageRAMInto, py::arg("buffer"), py::arg("address"),
           statusDoc("Fills a writable buffer (its whole length) from image RAM at byte address.",
                     {st::kOutOfRange, st::kRamDisabled}))
      .def("write_image_ram", &Camera::writeImageRAM, py::arg("data"), py::arg("address"),
           statusDoc("Writes the bytes of data (any buffer) to image RAM at byte address.",
                     {st::kOutOfRange, st::kRamDisabled}))
      .def("read_image_ram_reduced_data", &Camera::readImageRAMReducedData, py::arg("address"),
           py::arg("length"),
           "(status, bytes): reduced data of at most length bytes from byte address; a length "
           "above 1 MiB is checked as for read_image_ram.")
      .def(
          "image_ram_to_image_ram",
          [](Camera &s, unsigned src, unsigned srcLength, unsigned dest, unsigned destLength) {
            return s.status("imageRAMToImageRAM", [&](C &c) {
              return c.imageRAMToImageRAM(src, srcLength, dest, destLength);
            });
          },
          py::arg("src_address"), py::arg("src_length"), py::arg("dest_address"),
          py::arg("dest_length"),
          statusDoc("Copies src_length bytes of image RAM at src_address to dest_address "
                    "(dest_length at least src_length).",
                    {st::kOutOfRange, st::kRamDisabled}))
      .def(OCPY_STATUS(init_image_ram, initImageRAM),
           statusDoc("Clears and enables the image RAM."))
      .def(OCPY_STATUS(disable_image_ram, disableImageRAM),
           statusDoc("Disables the image RAM (init_image_ram enables it)."))
      .def(
          "get_image_to_image_ram",
          [](Camera &s, unsigned address) {
            return s.status("getImageToImageRAM",
                            [&](C &c) { return c.getImageToImageRAM(address); });
          },
          py::arg("address"),
          statusDoc("Stores the next image in the image RAM at byte address instead of "
                    "delivering it.",
                    {st::kOutOfRange, st::kRamDisabled}))
      .def(OCPY_STATUS(reserved2, reserved2), "Reserved: always -1, sends nothing.")
      .def(OCPY_STATUS(reset_sequence_counter, resetSequenceCounter),
           statusDoc("Starts the frames' sequence numbers again at 0."))
      .def(OCPY_STATUS(purge_images, purgeImages),
           statusDoc("Drops every frame waiting in the camera's buffers."))
      .def(
          "calibrate_sensor",
          [](Camera &s, std::optional<C::CalibrationParams> params) {
            return s.status("calibrateSensor",
                            [&](C &c) { return c.calibrateSensor(params ? &*params : nullptr); });
          },
          py::arg("params") = py::none(),
          statusDoc("Calibrates the sensor, with CalibrationParams or None."))
      .def(
          "set_sensor_register",
          [](Camera &s, const std::string &name, unsigned value) {
            return s.status("setSensorRegister",
                            [&](C &c) { return c.setSensorRegister(name.c_str(), value); });
          },
          py::arg("name"), py::arg("value"),
          statusDoc("Writes a sensor register by name (ocamsim: values 0..65535).",
                    {st::kUnknownRegister, st::kReadOnlyRegister}))
      .def("get_sensor_register", &Camera::getSensorRegister, py::arg("name"),
           keepDoc("(status, value) of a sensor register by name; value is 0 when status is not "
                   "0 (" +
                   statusWords(st::kUnknownRegister) + " for a name not in the list)."))
      .def("get_sensor_register_names", &Camera::getSensorRegisterNames,
           "The register names as a list, None when the request failed (CameraError with "
           "check=True).")
      .def(OCPY_STATUS(trigger_image, triggerImage),
           statusDoc("A software trigger (SINGLE_SHOT and SELECT_SHOT modes).", {st::kBadMode}))
      .def(OCPY_STATUS(trigger_image_abort, triggerImageAbort),
           statusDoc("Cancels a trigger whose picture has not been taken yet."))
      .def("setup_laser_profiling", &Camera::setupLaserProfiling, py::arg("setup"),
           statusDoc("Laser-line profiling as a LaserSetup describes it; ValueError when its "
                     "ref_data is not width bytes.",
                     {st::kBadArgument}))
      .def(
          "set_hardware_applet",
          [](Camera &s, bool enable, unsigned maxSize, C::eAppletType applet) {
            return s.status("setHardwareApplet",
                            [&](C &c) { return c.setHardwareApplet(enable, maxSize, applet); });
          },
          py::arg("enable"), py::arg("max_size"), py::arg("applet"),
          statusDoc("Switches a hardware applet of the given data widths (AppletType), with at "
                    "most max_size bytes of output."))
      .def(
          "set_median",
          [](Camera &s, bool enable) {
            return s.status("setMedian", [&](C &c) { return c.setMedian(enable); });
          },
          py::arg("enable"), statusDoc("The 3x3 median filter on or off."))
      .def(
          "set_filter",
          [](Camera &s, C::eFilterType filter, std::optional<C::FilterParams> params) {
            return s.status("setFilter",
                            [&](C &c) { return c.setFilter(filter, params ? &*params : nullptr); });
          },
          py::arg("filter"), py::arg("params") = py::none(),
          statusDoc("An image filter (FilterType) with FilterParams or None; the reserved kinds "
                    "are refused.",
                    {st::kBadArgument}))
      .def(
          "set_binarization",
          [](Camera &s, bool enable, std::optional<C::BinarizationParams> params) {
            return s.status("setBinarization", [&](C &c) {
              return c.setBinarization(enable, params ? &*params : nullptr);
            });
          },
          py::arg("enable"), py::arg("params") = py::none(),
          statusDoc("Binarization on or off, with BinarizationParams or None.", {st::kBadArgument}))
      .def(
          "set_bayer2x",
          [](Camera &s, C::eBayer2XType output, B pattern) {
            return s.status("setBayer2X", [&](C &c) { return c.setBayer2X(output, pattern); });
          },
          py::arg("output"), py::arg("pattern"),
          statusDoc("What the camera's Bayer stage outputs (Bayer2XType: raw, or one plane of "
                    "H, S, V, I, R, G, B) for a sensor of the given layout."))
      .def("set_white_balance", &Camera::setWhiteBalance, py::arg("pattern"),
           py::arg("table") = py::none(),
           statusDoc("The camera's white-balance lookup table for the layout: 768 bytes (256 "
                     "each for red, green, blue; ValueError otherwise), or None to send none."))
      .def(
          "set_image_ram_picture_size",
          [](Camera &s, int width, int height) {
            return s.status("setImageRAMPictureSize",
                            [&](C &c) { return c.setImageRAMPictureSize(width, height); });
          },
          py::arg("width"), py::arg("height"),
          statusDoc("The size in pixels of pictures stored in the image RAM (each >= 1).",
                    {st::kBadArgument}))
      .def(
          "set_trigger_window",
          [](Camera &s, int x0, int y0, int width, int height, int lo, int hi) {
            return s.status("setTriggerWindow", [&](C &c) {
              return c.setTriggerWindow(x0, y0, width, height, lo, hi);
            });
          },
          py::arg("x0"), py::arg("y0"), py::arg("width"), py::arg("height"), py::arg("thresh_min"),
          py::arg("thresh_max"),
          statusDoc("A region of the sensor (pixels) whose brightness triggers a picture: "
                    "inside the sensor, thresholds 0..255 with thresh_min <= thresh_max.",
                    {st::kBadArgument}))
      .def(
          "setup_image_correction",
          [](Camera &s, bool enable, C::eCorrectionType type, unsigned start, unsigned size,
             unsigned images) {
            return s.status("setupImageCorrection", [&](C &c) {
              return c.setupImageCorrection(enable, type, start, size, images);
            });
          },
          py::arg("enable"), py::arg("type"), py::arg("start_address"), py::arg("size"),
          py::arg("images"),
          statusDoc("Image correction (CorrectionType: replace, AND mask, OR mask) from size "
                    "bytes of image RAM at start_address, for `images` images.",
                    {st::kOutOfRange}))
      .def(
          "setup_image_splitting",
          [](Camera &s, C::eSplitType type, unsigned dest, unsigned size) {
            return s.status("setupImageSplitting",
                            [&](C &c) { return c.setupImageSplitting(type, dest, size); });
          },
          py::arg("type"), py::arg("dest_address"), py::arg("size"),
          statusDoc("Copies each image (SplitType: raw or processed) into size bytes of image "
                    "RAM at dest_address as well; OFF ends it.",
                    {st::kOutOfRange}));
  defineCameraSettings(camera, {[](py::handle self, const std::function<void(OCamera &)> &f) {
                                  self.cast<Camera &>().run(f);
                                },
                                [](py::handle self, int width, int height) {
                                  self.cast<Camera &>().windowSet(width, height);
                                }});
}

}  // namespace ocamera_python
