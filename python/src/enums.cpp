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
      .value("GRGR", OCameraTools::BAYER_PATTERN_GRGR)
      .value("BGBG", OCameraTools::BAYER_PATTERN_BGBG)
      .value("RGRG", OCameraTools::BAYER_PATTERN_RGRG)
      .value("GBGB", OCameraTools::BAYER_PATTERN_GBGB);
  py::enum_<OCamera::eCameraType>(m, "CameraType", "Sensor type of a camera object")
      .value("MT9V403", OCamera::CAM_TYPE_MT9V403)
      .value("GENERIC", OCamera::CAM_TYPE_GENERIC)
      .value("IBIS1300", OCamera::CAM_TYPE_IBIS1300)
      .value("MT9V022", OCamera::CAM_TYPE_MT9V022);
  py::enum_<OCamera::eAcqMode>(m, "AcqMode", "Acquisition mode")
      .value("STOP", OCamera::ACQ_MODE_STOP)
      .value("SINGLE_SHOT", OCamera::ACQ_MODE_SINGLE_SHOT)
      .value("FREE_RUN", OCamera::ACQ_MODE_FREE_RUN)
      .value("SELECT_SHOT", OCamera::ACQ_MODE_SELECT_SHOT)
      .value("FREE_RUN_SLAVE", OCamera::ACQ_MODE_FREE_RUN_SLAVE)
      .value("FREE_RUN_SLAVE_STOP", OCamera::ACQ_MODE_FREE_RUN_SLAVE_STOP);
  py::enum_<OCamera::eTrigSource>(m, "TrigSource", "Trigger source")
      .value("SOFTWARE", OCamera::TRIG_SRC_SOFTWARE)
      .value("EXTERNAL_E0", OCamera::TRIG_SRC_EXTERNAL_E0)
      .value("EXTERNAL_E1", OCamera::TRIG_SRC_EXTERNAL_E1);
  py::enum_<OCamera::eTrigPolarity>(m, "TrigPolarity", "Trigger polarity")
      .value("ACTIVE_HIGH", OCamera::TRIG_POL_ACTIVE_HIGH)
      .value("ACTIVE_LOW", OCamera::TRIG_POL_ACTIVE_LOW);
  py::enum_<OCamera::eIllMode>(m, "IllMode", "Illumination mode")
      .value("OFF", OCamera::ILL_MODE_OFF)
      .value("NORMAL", OCamera::ILL_MODE_NORMAL)
      .value("PULSED", OCamera::ILL_MODE_PULSED);
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

  py::enum_<OCameraInputs::eCameraInput>(m, "Input", "Input lines and edges", py::arithmetic())
      .value("I0", OCameraInputs::INPUT_I0)
      .value("I1", OCameraInputs::INPUT_I1)
      .value("I0_RE", OCameraInputs::INPUT_I0_RE)
      .value("I0_FE", OCameraInputs::INPUT_I0_FE)
      .value("I1_RE", OCameraInputs::INPUT_I1_RE)
      .value("I1_FE", OCameraInputs::INPUT_I1_FE)
      .value("OVERLOAD", OCameraInputs::OVERLOAD)
      .value("ALL", OCameraInputs::INPUT_ALL);
  py::enum_<OCameraOutputs::eCameraOutput>(m, "Output", "Output lines", py::arithmetic())
      .value("O0", OCameraOutputs::OUTPUT_O0)
      .value("O1", OCameraOutputs::OUTPUT_O1)
      .value("O2", OCameraOutputs::OUTPUT_O2)
      .value("O3", OCameraOutputs::OUTPUT_O3)
      .value("OVERLOAD_UNLOCK", OCameraOutputs::OUTPUT_OVERLOAD_UNLOCK)
      .value("ALL", OCameraOutputs::OUTPUT_ALL);
  // The names of the C++ enumerators and of ocam (LED_1_GREEN); the short
  // names of earlier releases (L1_GREEN, ALL_RED) stay accepted as aliases for
  // one more release.
  py::enum_<OCameraLEDs::eCameraLED>(m, "LED", "Status LEDs", py::arithmetic())
      .value("LED_0_RED", OCameraLEDs::LED_0_RED)
      .value("LED_0_GREEN", OCameraLEDs::LED_0_GREEN)
      .value("LED_1_RED", OCameraLEDs::LED_1_RED)
      .value("LED_1_GREEN", OCameraLEDs::LED_1_GREEN)
      .value("LED_2_RED", OCameraLEDs::LED_2_RED)
      .value("LED_2_YELLOW", OCameraLEDs::LED_2_YELLOW)
      .value("LED_3_RED", OCameraLEDs::LED_3_RED)
      .value("LED_3_YELLOW", OCameraLEDs::LED_3_YELLOW)
      .value("LED_ALL_RED", OCameraLEDs::LED_ALL_RED)
      .value("LED_ALL_GREEN", OCameraLEDs::LED_ALL_GREEN)
      .value("LED_ALL_YELLOW", OCameraLEDs::LED_ALL_YELLOW)
      .value("LED_ALL", OCameraLEDs::LED_ALL)
      .value("L0_RED", OCameraLEDs::LED_0_RED)
      .value("L0_GREEN", OCameraLEDs::LED_0_GREEN)
      .value("L1_RED", OCameraLEDs::LED_1_RED)
      .value("L1_GREEN", OCameraLEDs::LED_1_GREEN)
      .value("L2_RED", OCameraLEDs::LED_2_RED)
      .value("L2_YELLOW", OCameraLEDs::LED_2_YELLOW)
      .value("L3_RED", OCameraLEDs::LED_3_RED)
      .value("L3_YELLOW", OCameraLEDs::LED_3_YELLOW)
      .value("ALL_RED", OCameraLEDs::LED_ALL_RED)
      .value("ALL_GREEN", OCameraLEDs::LED_ALL_GREEN)
      .value("ALL_YELLOW", OCameraLEDs::LED_ALL_YELLOW)
      .value("ALL", OCameraLEDs::LED_ALL);

  py::enum_<ocamera::LogSource>(m, "LogSource", "Origin of a line of the library")
      .value("CREATION", ocamera::LogSource::Creation)
      .value("KEEP_ALIVE", ocamera::LogSource::KeepAlive)
      .value("REQUEST", ocamera::LogSource::Request);
  py::enum_<ocamera::QueuePolicy>(m, "QueuePolicy", "What a stream does when its queue is full")
      .value("DROP_OLDEST", ocamera::QueuePolicy::DropOldest)
      .value("DROP_NEWEST", ocamera::QueuePolicy::DropNewest)
      .value("BLOCK", ocamera::QueuePolicy::Block);
  py::enum_<ocamera::WhiteBalance>(m, "WhiteBalance", "White balance of a stream's RGB frames")
      .value("NONE", ocamera::WhiteBalance::None)
      .value("FACTORS", ocamera::WhiteBalance::Factors)
      .value("FILE", ocamera::WhiteBalance::File);
  py::enum_<ocamera::StreamState>(m, "StreamState", "State of a stream")
      .value("STOPPED", ocamera::StreamState::Stopped)
      .value("RUNNING", ocamera::StreamState::Running)
      .value("LOST", ocamera::StreamState::Lost);
  py::enum_<ocamera::StreamEvent>(m, "StreamEvent", "Events of a stream")
      .value("STARTED", ocamera::StreamEvent::Started)
      .value("LOST", ocamera::StreamEvent::Lost)
      .value("RECOVERED", ocamera::StreamEvent::Recovered)
      .value("GAVE_UP", ocamera::StreamEvent::GaveUp)
      .value("STOPPED", ocamera::StreamEvent::Stopped)
      .value("ERROR", ocamera::StreamEvent::Error);
  py::enum_<ocamera::FetchResult>(m, "FetchResult", "What Stream.fetch found")
      .value("FRAME", ocamera::FetchResult::Frame)
      .value("TIMEOUT", ocamera::FetchResult::Timeout)
      .value("STOPPED", ocamera::FetchResult::Stopped)
      .value("LOST", ocamera::FetchResult::Lost);
}

}  // namespace ocamera_python
