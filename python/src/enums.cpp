// Python enumerations for every enumeration of the interface. Member names drop
// the C++ prefix (OCamera::ACQ_MODE_FREE_RUN is AcqMode.FREE_RUN), except the
// LEDs, whose names keep it (LED.LED_1_GREEN, as C++ and ocam spell them); values are
// the C++ values, so int(member) is what goes on the wire. Flag enumerations
// (inputs, outputs, LEDs) combine with | into masks.
#include <ocamera/camera.h>
#include <ocamera/export.h>
#include <ocamera/inputs.h>
#include <ocamera/leds.h>
#include <ocamera/outputs.h>
#include <ocamera/stream.h>
#include <ocamera/tools.h>

#include "common.h"

namespace ocamera_python {

void defineEnums(py::module_ &m) {
  py::enum_<OCameraTools::eBayerPattern>(m, "BayerPattern", "Layout of a raw Bayer frame")
      .value("GRGR", OCameraTools::BAYER_PATTERN_GRGR,
             "top row G, R (GRBG in OpenCV); converted on the PC")
      .value("BGBG", OCameraTools::BAYER_PATTERN_BGBG, "top row B, G (BGGR); converted on the PC")
      .value("RGRG", OCameraTools::BAYER_PATTERN_RGRG,
             "top row R, G (RGGB); not converted on the PC")
      .value("GBGB", OCameraTools::BAYER_PATTERN_GBGB,
             "top row G, B (GBRG); not converted on the PC");
  py::enum_<OCamera::eCameraType>(m, "CameraType", "Sensor type of a camera object")
      .value("MT9V403", OCamera::CAM_TYPE_MT9V403)
      .value("GENERIC", OCamera::CAM_TYPE_GENERIC)
      .value("IBIS1300", OCamera::CAM_TYPE_IBIS1300)
      .value("MT9V022", OCamera::CAM_TYPE_MT9V022);
  py::enum_<OCamera::eAcqMode>(m, "AcqMode", "Acquisition mode")
      .value("STOP", OCamera::ACQ_MODE_STOP, "no acquisition; no images")
      .value("SINGLE_SHOT", OCamera::ACQ_MODE_SINGLE_SHOT, "one picture per trigger")
      .value("FREE_RUN", OCamera::ACQ_MODE_FREE_RUN, "pictures at the frame rate")
      .value("SELECT_SHOT", OCamera::ACQ_MODE_SELECT_SHOT,
             "free run, delivering the picture of a trigger")
      .value("FREE_RUN_SLAVE", OCamera::ACQ_MODE_FREE_RUN_SLAVE, "free run paced by another camera")
      .value("FREE_RUN_SLAVE_STOP", OCamera::ACQ_MODE_FREE_RUN_SLAVE_STOP,
             "exists on the wire; refused by set_acquisition_mode");
  py::enum_<OCamera::eTrigSource>(m, "TrigSource", "Trigger source")
      .value("SOFTWARE", OCamera::TRIG_SRC_SOFTWARE, "trigger_image()")
      .value("EXTERNAL_E0", OCamera::TRIG_SRC_EXTERNAL_E0, "input E0 (I0)")
      .value("EXTERNAL_E1", OCamera::TRIG_SRC_EXTERNAL_E1, "input E1 (I1)");
  py::enum_<OCamera::eTrigPolarity>(m, "TrigPolarity", "Trigger polarity")
      .value("ACTIVE_HIGH", OCamera::TRIG_POL_ACTIVE_HIGH, "the rising edge")
      .value("ACTIVE_LOW", OCamera::TRIG_POL_ACTIVE_LOW, "the falling edge");
  py::enum_<OCamera::eIllMode>(m, "IllMode", "Illumination mode")
      .value("OFF", OCamera::ILL_MODE_OFF, "off")
      .value("NORMAL", OCamera::ILL_MODE_NORMAL, "on")
      .value("PULSED", OCamera::ILL_MODE_PULSED,
             "pulsed with each exposure (set_illumination_timing)");
  py::enum_<OCamera::eIllModeExt>(m, "IllModeExt", "External illumination output")
      .value("OFF", OCamera::ILL_MODE_EXT_OFF)
      .value("ON_POSITIVE", OCamera::ILL_MODE_EXT_ON_POSITIVE)
      .value("ON_NEGATIVE", OCamera::ILL_MODE_EXT_ON_NEGATIVE);
  py::enum_<OCamera::eFrequency>(m, "Frequency", "Sensor clock")
      .value("MHZ_20", OCamera::FREQU_20MHz)
      .value("MHZ_40", OCamera::FREQU_40MHz)
      .value("MHZ_50", OCamera::FREQU_50MHz)
      .value("MHZ_60", OCamera::FREQU_60MHz);
  py::enum_<OCamera::eJPEGQuality>(m, "JPEGQuality", "On-camera JPEG quality")
      .value("LOW", OCamera::JPEG_QUALITY_LOW)
      .value("MEDIUM", OCamera::JPEG_QUALITY_MEDIUM)
      .value("GOOD", OCamera::JPEG_QUALITY_GOOD)
      .value("EXCELLENT", OCamera::JPEG_QUALITY_EXCELLENT);
  py::enum_<OCamera::eBayer2XType>(m, "Bayer2XType", "Output of the on-camera Bayer conversion")
      .value("RAW", OCamera::BAYER_OUTPUT_RAW)
      .value("H", OCamera::BAYER_OUTPUT_H)
      .value("S", OCamera::BAYER_OUTPUT_S)
      .value("V", OCamera::BAYER_OUTPUT_V)
      .value("I", OCamera::BAYER_OUTPUT_I)
      .value("R", OCamera::BAYER_OUTPUT_R)
      .value("G", OCamera::BAYER_OUTPUT_G)
      .value("B", OCamera::BAYER_OUTPUT_B);
  py::enum_<OCamera::eAppletType>(m, "AppletType", "Hardware applet data widths")
      .value("IN16_OUT32_INT", OCamera::APPLET_IN16_OUT32_INT)
      .value("IN8_OUT32_INT", OCamera::APPLET_IN8_OUT32_INT)
      .value("IN16_OUT16", OCamera::APPLET_IN16_OUT16)
      .value("IN8_OUT16", OCamera::APPLET_IN8_OUT16);
  py::enum_<OCamera::eCorrectionType>(m, "CorrectionType", "Image correction operation")
      .value("REPLACE", OCamera::CORRECTION_REPLACE)
      .value("MASK_AND", OCamera::CORRECTION_MASK_AND)
      .value("MASK_OR", OCamera::CORRECTION_MASK_OR)
      .value("RESERVED_1", OCamera::CORRECTION_RESERVED_1);
  py::enum_<OCamera::eSplitType>(m, "SplitType", "Image splitting")
      .value("OFF", OCamera::SPLIT_OFF)
      .value("RAW", OCamera::SPLIT_RAW)
      .value("PROCESSED", OCamera::SPLIT_PROCESSED);
  py::enum_<OCamera::eFilterType>(m, "FilterType", "On-camera filter")
      .value("OFF", OCamera::FILTER_OFF)
      .value("BINARIZE_ONLY", OCamera::FILTER_BINARIZE_ONLY)
      .value("MEDIAN", OCamera::FILTER_MEDIAN)
      .value("MEAN", OCamera::FILTER_MEAN)
      .value("SNN", OCamera::FILTER_SNN)
      .value("SOBEL", OCamera::FILTER_SOBEL)
      .value("RESERVED_1", OCamera::FILTER_RESERVED_1)
      .value("RESERVED_2", OCamera::FILTER_RESERVED_2)
      .value("RESERVED_3", OCamera::FILTER_RESERVED_3);
  py::enum_<OCamera::ePointPriority>(m, "PointPriority", "Laser profiling point choice")
      .value("FIRST_POINT", OCamera::PRIO_FIRST_POINT)
      .value("LAST_POINT", OCamera::PRIO_LAST_POINT)
      .value("LARGEST_FIRST", OCamera::PRIO_LARGEST_FIRST)
      .value("LARGEST_LAST", OCamera::PRIO_LARGEST_LAST);
  py::enum_<OCamera::eProfileDirection>(m, "ProfileDirection", "Laser profiling direction")
      .value("TOP_DOWN", OCamera::DIRECTION_TOP_DOWN)
      .value("BOTTOM_UP", OCamera::DIRECTION_BOTTOM_UP);
  py::enum_<OCamera::eLaserOutputFormat>(m, "LaserOutputFormat", "Laser profile output format")
      .value("FORMAT_16_4", OCamera::LASER_OUTPUT_16_4)
      .value("FORMAT_8_0", OCamera::LASER_OUTPUT_8_0)
      .value("FORMAT_8_1", OCamera::LASER_OUTPUT_8_1)
      .value("FORMAT_8_2", OCamera::LASER_OUTPUT_8_2)
      .value("FORMAT_8_3", OCamera::LASER_OUTPUT_8_3)
      .value("FORMAT_8_4", OCamera::LASER_OUTPUT_8_4);

  py::enum_<OCameraInputs::eCameraInput>(
      m, "Input", "Input levels and latched edges: bits of a mask, combined with |",
      py::arithmetic())
      .value("I0", OCameraInputs::INPUT_I0, "level of input 0")
      .value("I1", OCameraInputs::INPUT_I1, "level of input 1")
      .value("I0_RE", OCameraInputs::INPUT_I0_RE, "latched rising edge of input 0")
      .value("I0_FE", OCameraInputs::INPUT_I0_FE, "latched falling edge of input 0")
      .value("I1_RE", OCameraInputs::INPUT_I1_RE, "latched rising edge of input 1")
      .value("I1_FE", OCameraInputs::INPUT_I1_FE, "latched falling edge of input 1")
      .value("OVERLOAD", OCameraInputs::OVERLOAD, "the outputs are locked by an overload")
      .value("ALL", OCameraInputs::INPUT_ALL, "both levels (I0 | I1)");
  py::enum_<OCameraOutputs::eCameraOutput>(
      m, "Output", "Output lines: bits of a mask, combined with |", py::arithmetic())
      .value("O0", OCameraOutputs::OUTPUT_O0, "output 0")
      .value("O1", OCameraOutputs::OUTPUT_O1, "output 1")
      .value("O2", OCameraOutputs::OUTPUT_O2, "output 2")
      .value("O3", OCameraOutputs::OUTPUT_O3, "output 3")
      .value("OVERLOAD_UNLOCK", OCameraOutputs::OUTPUT_OVERLOAD_UNLOCK,
             "unlocks outputs an overload locked")
      .value("ALL", OCameraOutputs::OUTPUT_ALL, "the four outputs (not the unlock bit)");
  // The names of the C++ enumerators and of ocam (LED_1_GREEN); the short
  // names of earlier releases (L1_GREEN, ALL_RED) stay accepted as aliases for
  // one more release.
  py::enum_<OCameraLEDs::eCameraLED>(m, "LED", "Status LEDs: bits of a mask, combined with |",
                                     py::arithmetic())
      .value("LED_0_RED", OCameraLEDs::LED_0_RED, "LED 0, red")
      .value("LED_0_GREEN", OCameraLEDs::LED_0_GREEN, "LED 0, green")
      .value("LED_1_RED", OCameraLEDs::LED_1_RED, "LED 1, red")
      .value("LED_1_GREEN", OCameraLEDs::LED_1_GREEN, "LED 1, green")
      .value("LED_2_RED", OCameraLEDs::LED_2_RED, "LED 2, red")
      .value("LED_2_YELLOW", OCameraLEDs::LED_2_YELLOW, "LED 2, yellow")
      .value("LED_3_RED", OCameraLEDs::LED_3_RED, "LED 3, red")
      .value("LED_3_YELLOW", OCameraLEDs::LED_3_YELLOW, "LED 3, yellow")
      .value("LED_ALL_RED", OCameraLEDs::LED_ALL_RED, "every red LED")
      .value("LED_ALL_GREEN", OCameraLEDs::LED_ALL_GREEN, "every green LED")
      .value("LED_ALL_YELLOW", OCameraLEDs::LED_ALL_YELLOW, "every yellow LED")
      .value("LED_ALL", OCameraLEDs::LED_ALL, "every LED")
      .value("L0_RED", OCameraLEDs::LED_0_RED, "old name of LED_0_RED")
      .value("L0_GREEN", OCameraLEDs::LED_0_GREEN, "old name of LED_0_GREEN")
      .value("L1_RED", OCameraLEDs::LED_1_RED, "old name of LED_1_RED")
      .value("L1_GREEN", OCameraLEDs::LED_1_GREEN, "old name of LED_1_GREEN")
      .value("L2_RED", OCameraLEDs::LED_2_RED, "old name of LED_2_RED")
      .value("L2_YELLOW", OCameraLEDs::LED_2_YELLOW, "old name of LED_2_YELLOW")
      .value("L3_RED", OCameraLEDs::LED_3_RED, "old name of LED_3_RED")
      .value("L3_YELLOW", OCameraLEDs::LED_3_YELLOW, "old name of LED_3_YELLOW")
      .value("ALL_RED", OCameraLEDs::LED_ALL_RED, "old name of LED_ALL_RED")
      .value("ALL_GREEN", OCameraLEDs::LED_ALL_GREEN, "old name of LED_ALL_GREEN")
      .value("ALL_YELLOW", OCameraLEDs::LED_ALL_YELLOW, "old name of LED_ALL_YELLOW")
      .value("ALL", OCameraLEDs::LED_ALL, "old name of LED_ALL");

  py::enum_<ocamera::LogSource>(m, "LogSource", "Origin of a line of the library")
      .value("CREATION", ocamera::LogSource::Creation, "a factory failed; the line says why")
      .value("KEEP_ALIVE", ocamera::LogSource::KeepAlive, "a keep-alive request failed")
      .value("REQUEST", ocamera::LogSource::Request,
             "one request and its result (set_request_logging)");
  py::enum_<ocamera::QueuePolicy>(m, "QueuePolicy", "What a stream does when its queue is full")
      .value("DROP_OLDEST", ocamera::QueuePolicy::DropOldest,
             "drop the oldest waiting frame (live view)")
      .value("DROP_NEWEST", ocamera::QueuePolicy::DropNewest, "drop the new frame")
      .value("BLOCK", ocamera::QueuePolicy::Block,
             "stop fetching until a frame is taken (nothing dropped)");
  py::enum_<ocamera::WhiteBalance>(m, "WhiteBalance", "White balance of a stream's RGB frames")
      .value("NONE", ocamera::WhiteBalance::None, "plain conversion")
      .value("FACTORS", ocamera::WhiteBalance::Factors, "the options red, green, blue in percent")
      .value("FILE", ocamera::WhiteBalance::File, "the factors of ./wb.conf, read at start()");
  py::enum_<ocamera::StreamState>(m, "StreamState", "State of a stream")
      .value("STOPPED", ocamera::StreamState::Stopped, "not running")
      .value("RUNNING", ocamera::StreamState::Running, "fetching frames")
      .value("LOST", ocamera::StreamState::Lost, "the camera is lost; recovering");
  py::enum_<ocamera::StreamEvent>(m, "StreamEvent", "Events of a stream")
      .value("STARTED", ocamera::StreamEvent::Started, "start() began fetching")
      .value("LOST", ocamera::StreamEvent::Lost, "the camera was lost")
      .value("RECOVERED", ocamera::StreamEvent::Recovered, "a new camera object took over")
      .value("GAVE_UP", ocamera::StreamEvent::GaveUp, "recovery reached retry_limit")
      .value("STOPPED", ocamera::StreamEvent::Stopped, "the stream stopped")
      .value("ERROR", ocamera::StreamEvent::Error, "the run ended on a failure of its own");
  py::enum_<ocamera::FetchResult>(m, "FetchResult", "What Stream.fetch found")
      .value("FRAME", ocamera::FetchResult::Frame, "a frame came")
      .value("TIMEOUT", ocamera::FetchResult::Timeout, "none within the time-out")
      .value("STOPPED", ocamera::FetchResult::Stopped, "the stream is stopped")
      .value("LOST", ocamera::FetchResult::Lost, "the camera is lost (recovering)");
}

}  // namespace ocamera_python
