// ocamera.Tools: the PC-side Bayer conversion on numpy arrays and the
// white-balance factors file.
#include <ocamera/tools.h>
#include <pybind11/numpy.h>

#include <array>
#include <climits>
#include <string>

#include "common.h"
#include "docs.h"

namespace ocamera_python {
namespace {

using Factors = std::array<int, 3>;

// One factor in percent, within the library's range for white-balance factors.
int factor(py::handle value, const char *name) {
  return intArgument(value, name, OCameraTools::kMinWhiteBalanceFactor,
                     OCameraTools::kMaxWhiteBalanceFactor);
}

// wb as (red, green, blue).
Factors whiteBalanceFactors(py::handle wb) {
  if (!py::isinstance<py::sequence>(wb) || py::len(wb) != 3)
    throw py::value_error("wb is None, (red, green, blue) in percent, or \"file\"");
  const py::sequence items = py::reinterpret_borrow<py::sequence>(wb);
  return {factor(items[0], "wb red"), factor(items[1], "wb green"), factor(items[2], "wb blue")};
}

// The source is read in place: a 2-D, C-contiguous uint8 array (a frame's
// read-only view included). Anything else is refused rather than copied.
py::array bayerToRgb(py::array source, OCameraTools::eBayerPattern pattern, py::object wb,
                     py::object out) {
  if (source.ndim() != 2 || !py::isinstance<py::array_t<unsigned char>>(source) ||
      !(source.flags() & py::array::c_style))
    throw py::type_error(
        "bayer_to_rgb needs a 2-D C-contiguous uint8 array (numpy.ascontiguousarray makes one)");
  if (pattern != OCameraTools::BAYER_PATTERN_GRGR && pattern != OCameraTools::BAYER_PATTERN_BGBG)
    throw py::value_error("only GRGR and BGBG frames are converted");
  // The conversion takes int sizes: a larger array is refused, never cut.
  for (int axis = 0; axis < 2; ++axis)
    if (source.shape(axis) > INT_MAX)
      throw py::value_error(std::string("array ") + (axis ? "width " : "height ") +
                            std::to_string(source.shape(axis)) + " is more than the " +
                            std::to_string(INT_MAX) + " the conversion takes");
  const auto height = static_cast<int>(source.shape(0));
  const auto width = static_cast<int>(source.shape(1));
  if (width < 2 || height < 2) throw py::value_error("a frame is at least 2 x 2");

  py::array_t<unsigned char> rgb;
  if (out.is_none()) {
    rgb = py::array_t<unsigned char>({height, width, 3});
  } else {
    rgb = py::reinterpret_borrow<py::array_t<unsigned char>>(out);
    if (!py::isinstance<py::array_t<unsigned char>>(out) || rgb.ndim() != 3 ||
        rgb.shape(0) != height || rgb.shape(1) != width || rgb.shape(2) != 3 ||
        !(rgb.flags() & py::array::c_style) || !rgb.writeable())
      throw py::value_error("out must be a writable C-contiguous H x W x 3 uint8 array");
  }
  auto *src = static_cast<unsigned char *>(const_cast<void *>(source.data()));
  unsigned char *dst = rgb.mutable_data();
  if (rgb.data() < static_cast<const unsigned char *>(source.data()) + source.nbytes() &&
      static_cast<const unsigned char *>(source.data()) < rgb.data() + rgb.nbytes())
    throw py::value_error("out must not overlap the source");

  if (wb.is_none()) {
    py::gil_scoped_release unlocked;
    OCameraTools::Bayer2RGB(src, dst, width, height, pattern);
  } else if (py::isinstance<py::str>(wb)) {
    if (wb.cast<std::string>() != "file")
      throw py::value_error("wb is None, (red, green, blue) in percent, or \"file\"");
    py::gil_scoped_release unlocked;
    OCameraTools::Bayer2RGBBuiltIn(src, dst, width, height, pattern);
  } else {
    const Factors factors = whiteBalanceFactors(wb);
    py::gil_scoped_release unlocked;
    OCameraTools::Bayer2RGBWhiteBalance(src, dst, width, height, factors[0], factors[1], factors[2],
                                        pattern);
  }
  return std::move(rgb);
}

}  // namespace

void defineTools(py::module_ &m) {
  // The factors' range, as the library checks it.
  const std::string range = std::to_string(OCameraTools::kMinWhiteBalanceFactor) + ".." +
                            std::to_string(OCameraTools::kMaxWhiteBalanceFactor) + " percent";
  py::class_<OCameraTools>(m, "Tools",
                           "PC-side conversion of raw Bayer frames and the white-balance "
                           "factors file wb.conf in the current directory (static functions "
                           "only).")
      .def_static("bayer_to_rgb", &bayerToRgb, py::arg("array"), py::arg("pattern"),
                  py::arg("wb") = py::none(), py::arg("out") = py::none(),
                  keepDoc("An H x W uint8 Bayer array (2-D, C-contiguous, at least 2 x 2) to a "
                          "new (or the given out) H x W x 3 RGB array, channels R, G, B. "
                          "pattern is the sensor's BayerPattern: GRGR and BGBG are converted, "
                          "others raise ValueError. wb: None, (red, green, blue) in percent "
                          "(each " +
                          range +
                          ", 100 unchanged; results beyond 255 saturate), or \"file\" for the "
                          "factors of ./wb.conf. The input is read in place, never copied; the "
                          "GIL is released while converting."))
      .def_static(
          "get_white_balance_factors",
          [] {
            int red = 100, green = 100, blue = 100;
            const int result = OCameraTools::GetWhiteBalanceFactors(&red, &green, &blue);
            return py::make_tuple(result, red, green, blue);
          },
          keepDoc("(result, red, green, blue) from ./wb.conf, factors in percent; 100 for a "
                  "factor not found. result is 0 when all three were found, " +
                  std::to_string(OCameraTools::kMissingFactor) +
                  " when one is missing, -errno when the file cannot be read."))
      .def_static(
          "store_white_balance_factors",
          [](py::handle red, py::handle green, py::handle blue) {
            return OCameraTools::StoreWhiteBalanceFactors(
                factor(red, "red"), factor(green, "green"), factor(blue, "blue"));
          },
          py::arg("red"), py::arg("green"), py::arg("blue"),
          keepDoc("Writes the factors (each " + range +
                  "; ValueError outside) to ./wb.conf. Returns 0, or -errno when the file "
                  "cannot be written."));
}

}  // namespace ocamera_python
