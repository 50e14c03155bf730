// ocam convert / ocam wb: the PC-side image tools, no camera needed.
#include <cstring>
#include <iostream>

#include "commands.h"
#include "common.h"
#include "files.h"

namespace ocam_cli {
namespace {

int runConvert(const Args &args) {
  args.expectPositional(1, 1);
  const std::string input = args.positional()[0];
  int width = parseInt(args.get("width", "1280"), "--width", 2, 16384);
  int height = parseInt(args.get("height", "1024"), "--height", 2, 16384);
  OCameraTools::eBayerPattern pattern = parseConvertiblePattern(args.get("pattern", "GRGR"));
  WhiteBalance wb = parseWhiteBalance(args.get("wb", "none"));
  std::string output = args.get("output");
  if (output.empty()) {
    std::size_t dot = input.rfind('.');
    std::size_t slash = input.rfind('/');
    bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    output = (hasExtension ? input.substr(0, dot) : input) + ".png";
  }

  loadWhiteBalance(wb);
  // The frame size is known before anything is read: a longer input (a huge
  // file, /dev/zero) is refused after at most one byte more than a frame.
  const std::size_t expected = static_cast<std::size_t>(width) * height;
  std::vector<unsigned char> raw = readBytes(input, expected);
  if (raw.size() != expected) {
    std::string held = raw.size() > expected ? "more than " + std::to_string(expected)
                                             : std::to_string(raw.size());
    throw Failure(input + " holds " + held + " bytes, not " + std::to_string(width) + "x" +
                  std::to_string(height) + " = " + std::to_string(expected) +
                  " (give --width and --height)");
  }
  std::vector<unsigned char> rgb(expected * 3);
  convertBayer(raw.data(), rgb.data(), width, height, pattern, wb);
  writePng(output, rgb.data(), width, height);
  if (isStandardOutput(output))
    std::cerr << "wrote the PNG to standard output\n";
  else
    std::cout << "wrote " << output << '\n';
  return 0;
}

int runWb(const Args &args) {
  const std::vector<std::string> &words = args.positional();
  std::string action = words.empty() ? "SHOW" : upper(words[0]);
  if (action == "STORE") {
    std::vector<std::string> values(words.begin() + 1, words.end());
    if (values.size() == 1) values = splitList(values[0]);
    if (values.size() != 3) throw UsageError("store needs three factors: RED GREEN BLUE");
    int red = parseInt(values[0], "the red factor", 0, kMaxFactor);
    int green = parseInt(values[1], "the green factor", 0, kMaxFactor);
    int blue = parseInt(values[2], "the blue factor", 0, kMaxFactor);
    int result = OCameraTools::StoreWhiteBalanceFactors(red, green, blue);
    if (result < 0) throw Failure(std::string("cannot write wb.conf: ") + std::strerror(-result));
  } else if (action != "SHOW") {
    throw UsageError("unknown action '" + words[0] + "' (show or store)");
  } else if (words.size() > 1) {
    throw UsageError("unexpected argument '" + words[1] + "'");
  }
  WhiteBalance wb;
  wb.mode = ocamera::WhiteBalance::File;
  loadWhiteBalance(wb);
  std::cout << "red=" << wb.red << " green=" << wb.green << " blue=" << wb.blue << '\n';
  return 0;
}

}  // namespace

Command convertCommand() {
  return {{"convert",
           "Convert a raw Bayer file to PNG on the PC",
           "[--width W --height H] [--pattern P] [--wb WB] [-o OUT.png] FILE",
           "Reads width x height 8-bit Bayer samples (as 'ocam grab --raw' writes them),\n"
           "converts them to RGB and writes a PNG file, by default beside the input.\n"
           "The white balance is none, R,G,B in percent, or file (wb.conf in the\n"
           "current directory, see 'ocam wb'). The input is checked against\n"
           "width x height before it is read, and never read further than that.\n\n"
           "Bayer patterns: the camera names a layout by its top row, other tools\n"
           "(OpenCV, GStreamer, GenICam) by the 2x2 cell read row by row; both are\n"
           "accepted. Converted on the PC are GRGR = GRBG and BGBG = BGGR; the camera's\n"
           "RGRG = RGGB and GBGB = GBRG are not.\n\n"
           "example:\n"
           "  ocam convert --wb file raw/frame-0001.raw\n",
           {{"width", 0, "W", "image width (default 1280)"},
            {"height", 0, "H", "image height (default 1024)"},
            {"pattern", 0, "P", "Bayer pattern: GRGR or GRBG (default), BGBG or BGGR"},
            {"wb", 0, "WB", "white balance: none (default), R,G,B or file"},
            {"output", 'o', "FILE",
             "the PNG file, '-' for standard output (default: FILE with .png)"}}},
          runConvert};
}

Command wbCommand() {
  return {{"wb",
           "Show or store the white-balance factors file",
           "[show | store RED GREEN BLUE]",
           "The factors are percentages (100 leaves a channel as it is) kept in wb.conf\n"
           "in the current directory, where 'grab' and 'convert' read them with --wb\n"
           "file. Each must lie within 0-10000, in the file as on the command line;\n"
           "a file that is not a small regular file is refused unread.\n\n"
           "examples:\n"
           "  ocam wb store 120 100 85\n"
           "  ocam wb\n",
           {}},
          runWb};
}

}  // namespace ocam_cli
