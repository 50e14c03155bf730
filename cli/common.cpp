#include "common.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

namespace ocam_cli {
namespace {

std::string fromEnvironment(const char *variable, const char *fallback) {
  const char *value = std::getenv(variable);
  return value && *value ? value : fallback;
}

std::string trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

}  // namespace

std::string plainFault(const std::string &text) {
  std::string plain = text;
  for (const char *code : {"SOAP-ENV:Server: ", "SOAP-ENV:Client: "})
    if (plain.compare(0, std::strlen(code), code) == 0) plain.erase(0, std::strlen(code));
  std::size_t details = plain.find(" Details: ");
  if (details != std::string::npos)
    plain = plain.substr(0, details) + " (" + plain.substr(details + 10) + ")";
  return plain;
}

namespace {

// The library's own line, or a fallback when it wrote none.
std::string reason(const std::string &captured) {
  if (captured.empty()) return "no reason given";
  // Several lines become one.
  std::string line;
  std::istringstream in(captured);
  for (std::string part; std::getline(in, part);) {
    part = trimmed(part);
    if (part.empty()) continue;
    if (!line.empty()) line += "; ";
    line += plainFault(part);
  }
  return line;
}

template <class T>
std::unique_ptr<T, Destroyer> connect(const std::string &service, const std::string &address,
                                      const std::function<T *()> &create) {
  T *object = nullptr;
  std::string captured = captureErrors([&] { object = create(); });
  if (!object)
    throw Failure("cannot connect to the " + service + " at " + address + ": " + reason(captured));
  return std::unique_ptr<T, Destroyer>(object);
}

}  // namespace

std::string defaultCameraAddress() {
  return fromEnvironment("OCAM_ADDRESS", kDefaultCameraAddress);
}

std::string defaultIoAddress() { return fromEnvironment("OCAM_IO_ADDRESS", kDefaultIoAddress); }

std::string withIoPort(const std::string &address) {
  if (address == kFactoryAddress) return address;
  std::size_t hostStart = address.find("://");
  hostStart = hostStart == std::string::npos ? 0 : hostStart + 3;
  std::size_t hostEnd = std::min(address.find('/', hostStart), address.size());
  std::string host = address.substr(hostStart, hostEnd - hostStart);
  // "[::1]:8080" and "host:8080" name a port; "[::1]" and "host" do not.
  bool hasPort = !host.empty() && host[0] == '[' ? host.find("]:") != std::string::npos
                                                 : host.find(':') != std::string::npos;
  if (hasPort) return address;
  return address.substr(0, hostEnd) + ":" + std::to_string(kIoPort) + address.substr(hostEnd);
}

long long parseInteger(const std::string &text, const std::string &what, long long min,
                       long long max) {
  errno = 0;
  char *end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || errno == ERANGE || std::isspace((unsigned char)text[0]))
    throw UsageError("invalid number for " + what + ": '" + text + "'");
  if (value < min || value > max)
    throw UsageError(what + " must be between " + std::to_string(min) + " and " +
                     std::to_string(max) + ", not " + text);
  return value;
}

int parseInt(const std::string &text, const std::string &what, int min, int max) {
  return static_cast<int>(parseInteger(text, what, min, max));
}

unsigned parseUnsigned(const std::string &text, const std::string &what) {
  return static_cast<unsigned>(parseInteger(text, what, 0, 0xFFFFFFFFLL));
}

float parseFloat(const std::string &text, const std::string &what, float min, float max) {
  errno = 0;
  char *end = nullptr;
  float value = std::strtof(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value))
    throw UsageError("invalid number for " + what + ": '" + text + "'");
  if (value < min || value > max) {
    std::ostringstream message;
    message << what << " must be between " << min << " and " << max << ", not " << text;
    throw UsageError(message.str());
  }
  return value;
}

std::vector<std::string> splitList(const std::string &text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

std::string upper(std::string text) {
  for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

int lookupName(const std::vector<Named> &table, const std::string &text, const std::string &what,
               const std::string &prefix) {
  auto bare = [&](std::string name) {
    if (!prefix.empty() && name.compare(0, prefix.size(), prefix) == 0)
      name.erase(0, prefix.size());
    return name;
  };
  std::string wanted = upper(text);
  for (char &c : wanted)
    if (c == '-') c = '_';
  wanted = bare(wanted);
  for (const Named &entry : table)
    if (!wanted.empty() && wanted == bare(entry.name)) return entry.value;
  throw UsageError("unknown " + what + " '" + text + "' (one of: " + namesOf(table) + ")");
}

std::string namesOf(const std::vector<Named> &table) {
  std::string names;
  for (const Named &entry : table) {
    if (!names.empty()) names += ", ";
    names += entry.name;
  }
  return names;
}

const std::vector<Named> &bayerPatternNames() {
  static const std::vector<Named> names = {{"GRGR", OCameraTools::BAYER_PATTERN_GRGR},
                                           {"BGBG", OCameraTools::BAYER_PATTERN_BGBG},
                                           {"RGRG", OCameraTools::BAYER_PATTERN_RGRG},
                                           {"GBGB", OCameraTools::BAYER_PATTERN_GBGB}};
  return names;
}

const std::vector<Named> &cameraTypeNames() {
  static const std::vector<Named> names = {{"MT9V403", OCamera::CAM_TYPE_MT9V403},
                                           {"GENERIC", OCamera::CAM_TYPE_GENERIC},
                                           {"IBIS1300", OCamera::CAM_TYPE_IBIS1300},
                                           {"MT9V022", OCamera::CAM_TYPE_MT9V022}};
  return names;
}

WhiteBalance parseWhiteBalance(const std::string &text) {
  WhiteBalance wb;
  std::string word = upper(text);
  if (word == "NONE") return wb;
  if (word == "FILE") {
    wb.source = WhiteBalance::Source::kFile;
    return wb;
  }
  std::vector<std::string> parts = splitList(text);
  if (parts.size() != 3)
    throw UsageError("white balance must be 'none', 'file' or three percentages R,G,B, not '" +
                     text + "'");
  wb.source = WhiteBalance::Source::kFactors;
  wb.red = parseInt(parts[0], "the red factor", 0, 10000);
  wb.green = parseInt(parts[1], "the green factor", 0, 10000);
  wb.blue = parseInt(parts[2], "the blue factor", 0, 10000);
  return wb;
}

void loadWhiteBalance(WhiteBalance &wb) {
  if (wb.source != WhiteBalance::Source::kFile) return;
  int result = OCameraTools::GetWhiteBalanceFactors(&wb.red, &wb.green, &wb.blue);
  if (result == -11)
    throw Failure("wb.conf does not hold all three factors (store them with 'ocam wb store')");
  if (result < 0)
    throw Failure(std::string("cannot read wb.conf: ") + std::strerror(-result) +
                  " (store factors with 'ocam wb store R G B')");
}

void convertBayer(unsigned char *raw, unsigned char *rgb, int width, int height,
                  OCameraTools::eBayerPattern pattern, const WhiteBalance &wb) {
  if (wb.source == WhiteBalance::Source::kNone)
    OCameraTools::Bayer2RGB(raw, rgb, width, height, pattern);
  else
    OCameraTools::Bayer2RGBWhiteBalance(raw, rgb, width, height, wb.red, wb.green, wb.blue,
                                        pattern);
}

OCameraTools::eBayerPattern parseConvertiblePattern(const std::string &text) {
  int pattern = lookupName(bayerPatternNames(), text, "Bayer pattern", "BAYER_PATTERN_");
  if (pattern != OCameraTools::BAYER_PATTERN_GRGR && pattern != OCameraTools::BAYER_PATTERN_BGBG)
    throw UsageError("pattern " + upper(text) +
                     " cannot be converted on the PC (GRGR and BGBG can); use --raw");
  return static_cast<OCameraTools::eBayerPattern>(pattern);
}

std::string captureErrors(const std::function<void()> &create) {
  std::ostringstream captured;
  std::streambuf *previous = std::cerr.rdbuf(captured.rdbuf());
  try {
    create();
  } catch (...) {
    std::cerr.rdbuf(previous);
    throw;
  }
  std::cerr.rdbuf(previous);
  return trimmed(captured.str());
}

CameraPtr connectCamera(const std::string &address, OCamera::eCameraType type) {
  return connect<OCamera>("camera", address, [&] {
    return address == kFactoryAddress ? OCamera::CreateCameraInterface(type)
                                      : CreateCameraInterface(type, address.c_str());
  });
}

InputsPtr connectInputs(const std::string &address) {
  return connect<OCameraInputs>("inputs", address, [&] {
    return address == kFactoryAddress ? OCameraInputs::poCreateInterface()
                                      : CreateCameraInputs(address.c_str());
  });
}

OutputsPtr connectOutputs(const std::string &address) {
  return connect<OCameraOutputs>("outputs", address, [&] {
    return address == kFactoryAddress ? OCameraOutputs::poCreateInterface()
                                      : CreateCameraOutputs(address.c_str());
  });
}

LEDsPtr connectLEDs(const std::string &address) {
  return connect<OCameraLEDs>("LEDs", address, [&] {
    return address == kFactoryAddress ? OCameraLEDs::poCreateInterface()
                                      : CreateCameraLEDs(address.c_str());
  });
}

void expectOk(int status, const std::string &what) {
  if (status == -1) throw Failure(what + ": the request failed (no answer from the camera)");
  if (status != 0)
    throw Failure(what + ": the camera refused (status " + std::to_string(status) + ")");
}

int expectValue(int value, const std::string &what) {
  if (value == -1) throw Failure(what + ": the request failed (no answer from the camera)");
  return value;
}

}  // namespace ocam_cli
