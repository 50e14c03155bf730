#include "common.h"

#include <fcntl.h>
#include <ocamera/white_balance.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <mutex>
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
  std::string plain = trimmed(text);
  for (const char *code : {"SOAP-ENV:Server: ", "SOAP-ENV:Client: "})
    if (plain.compare(0, std::strlen(code), code) == 0) plain.erase(0, std::strlen(code));
  std::size_t at = plain.find(" Details: ");
  if (at == std::string::npos) return plain;
  std::string details = plain.substr(at + 10);
  plain.resize(at);
  // "connect failed in tcp_connect()" names the runtime's internals, which
  // tell a user nothing the first part did not.
  bool internal = details.find("()") != std::string::npos;
  if (plain == "Timeout" || plain == "Time out") plain = "timed out";
  return internal || details.empty() ? plain : plain + " (" + details + ")";
}

std::string creationReason(const std::string &captured,
                           std::chrono::steady_clock::duration elapsed) {
  if (captured.empty()) return silentFailure(elapsed);
  // Several lines become one.
  std::string line;
  std::istringstream in(captured);
  for (std::string part; std::getline(in, part);) {
    part = trimmed(part);
    if (part.empty()) continue;
    // "CreateCameraInterface: ADDR: no reason given by the camera": the
    // message names the address already; say what is known instead.
    const std::string unexplained = ": no reason given by the camera";
    bool silent =
        part.size() >= unexplained.size() &&
        part.compare(part.size() - unexplained.size(), unexplained.size(), unexplained) == 0;
    if (!line.empty()) line += "; ";
    line += silent ? silentFailure(elapsed) : plainFault(part);
  }
  return line.empty() ? silentFailure(elapsed) : line;
}

namespace {

template <class T>
std::unique_ptr<T, Destroyer> connect(const std::string &service, const std::string &address,
                                      int defaultPort, const std::function<T *()> &create) {
  T *object = nullptr;
  auto started = std::chrono::steady_clock::now();
  std::string captured = captureErrors([&] { object = create(); });
  if (!object)
    throw Failure("cannot connect to the " + service + " at " + shownAddress(address, defaultPort) +
                  ": " + creationReason(captured, std::chrono::steady_clock::now() - started));
  return std::unique_ptr<T, Destroyer>(object);
}

}  // namespace

std::string silentFailure(std::chrono::steady_clock::duration elapsed) {
  int timeout = ocamera::replyTimeout();
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  if (timeout > 0 && waited >= timeout)
    return "no answer within " + std::to_string(timeout) + " ms (a longer wait: --timeout MS)";
  return "no reason given by the camera";
}

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
  return address.substr(0, hostEnd) + ":" + std::to_string(ocamera::kIoServicePort) +
         address.substr(hostEnd);
}

namespace {

// Splits "http://host:port/path", "host:port", "[v6]:port" into host and port
// text (empty when absent); false when the shape is wrong.
bool splitAddress(const std::string &address, std::string &host, std::string &port) {
  std::string rest = address;
  std::size_t scheme = rest.find("://");
  if (scheme != std::string::npos) {
    if (upper(rest.substr(0, scheme)) != "HTTP") return false;
    rest.erase(0, scheme + 3);
  }
  rest = rest.substr(0, rest.find('/'));
  if (!rest.empty() && rest[0] == '[') {
    std::size_t close = rest.find(']');
    if (close == std::string::npos) return false;
    host = rest.substr(0, close + 1);
    rest.erase(0, close + 1);
    if (rest.empty()) return true;
    if (rest[0] != ':') return false;
    port = rest.substr(1);
    return true;
  }
  std::size_t colon = rest.find(':');
  host = rest.substr(0, colon);
  if (colon != std::string::npos) {
    port = rest.substr(colon + 1);
    if (port.empty()) port = ":";  // "host:" names no port at all: refused below
  }
  return !host.empty();
}

}  // namespace

void checkAddress(const std::string &address) {
  if (address == kFactoryAddress) return;
  std::string host, port;
  if (!splitAddress(address, host, port))
    throw UsageError("address '" + address + "' is not host[:port] or http://host[:port]");
  if (port.empty()) return;
  bool digits = port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos;
  long number = digits ? std::strtol(port.c_str(), nullptr, 10) : 0;
  if (number < 1 || number > 65535)
    throw UsageError("port '" + port + "' of address '" + address +
                     "' is not a number within 1-65535");
}

std::string shownAddress(const std::string &address, int defaultPort) {
  if (address != kFactoryAddress) return address;
  std::string resolved = ocamera::kFactoryDefaultAddress;
  if (defaultPort != kCameraPort) resolved += ":" + std::to_string(defaultPort);
  return resolved + " (the factory default)";
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
  // The library's names: the camera's by the top row first, then the 2x2
  // cells that OpenCV, GStreamer and GenICam use, in the same order.
  static const std::vector<Named> names = [] {
    std::vector<Named> table;
    const OCameraTools::eBayerPattern all[] = {
        OCameraTools::BAYER_PATTERN_GRGR, OCameraTools::BAYER_PATTERN_BGBG,
        OCameraTools::BAYER_PATTERN_RGRG, OCameraTools::BAYER_PATTERN_GBGB};
    for (auto p : all) table.push_back({OCameraTools::PatternName(p), p});
    for (auto p : all) table.push_back({OCameraTools::PatternCellName(p), p});
    return table;
  }();
  return names;
}

std::string bayerPatternLabel(int pattern) {
  const std::vector<Named> &names = bayerPatternNames();
  for (std::size_t i = 0; i < 4; ++i)
    if (names[i].value == pattern)
      return std::string(names[i].name) + " (" + names[i + 4].name + ")";
  return std::to_string(pattern);
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
  std::string error;
  if (!ocamera::parseWhiteBalance(text, &wb, &error)) throw UsageError(error);
  return wb;
}

void loadWhiteBalance(WhiteBalance &wb) {
  if (wb.mode != ocamera::WhiteBalance::File) return;
  std::string error;
  if (!ocamera::readWhiteBalanceFile(&wb, &error))
    throw Failure(error + " (store factors with 'ocam wb store R G B')");
}

void convertBayer(unsigned char *raw, unsigned char *rgb, int width, int height,
                  OCameraTools::eBayerPattern pattern, const WhiteBalance &wb) {
  if (wb.mode == ocamera::WhiteBalance::None)
    OCameraTools::Bayer2RGB(raw, rgb, width, height, pattern);
  else
    OCameraTools::Bayer2RGBWhiteBalance(raw, rgb, width, height, wb.red, wb.green, wb.blue,
                                        pattern);
}

OCameraTools::eBayerPattern parseConvertiblePattern(const std::string &text) {
  const std::string convertible = "GRGR (GRBG) and BGBG (BGGR)";
  int pattern = 0;
  try {
    pattern = lookupName(bayerPatternNames(), text, "Bayer pattern", "BAYER_PATTERN_");
  } catch (const UsageError &) {
    throw UsageError("unknown Bayer pattern '" + text + "' (converted on the PC: " + convertible +
                     ")");
  }
  if (!OCameraTools::ConvertsPattern(static_cast<OCameraTools::eBayerPattern>(pattern)))
    throw UsageError("pattern " + bayerPatternLabel(pattern) +
                     " cannot be converted on the PC; only " + convertible + " can");
  return static_cast<OCameraTools::eBayerPattern>(pattern);
}

namespace {

// Creation lines of the library while captureErrors runs; ocam makes its
// objects on one thread, the lock only guards against a stray keep-alive line.
std::mutex captureMutex;
std::string *capturing = nullptr;

}  // namespace

bool captureLibraryLine(const char *line) {
  std::lock_guard<std::mutex> lock(captureMutex);
  if (!capturing) return false;
  *capturing += std::string(line) + "\n";
  return true;
}

std::string captureErrors(const std::function<void()> &create) {
  std::string lines;
  {
    std::lock_guard<std::mutex> lock(captureMutex);
    capturing = &lines;
  }
  auto release = [&] {
    std::lock_guard<std::mutex> lock(captureMutex);
    capturing = nullptr;
  };
  try {
    create();
  } catch (...) {
    release();
    throw;
  }
  release();
  return trimmed(lines);
}

LongerReplies::LongerReplies(int milliseconds) : previous_(ocamera::replyTimeout()) {
  if (previous_ > 0 && (milliseconds <= 0 || previous_ < milliseconds))
    ocamera::setReplyTimeout(milliseconds <= 0 ? 0 : milliseconds);
}

LongerReplies::~LongerReplies() {
  if (previous_ > 0) ocamera::setReplyTimeout(previous_);
}

CameraPtr connectCamera(const std::string &address, OCamera::eCameraType type) {
  return connect<OCamera>("camera", address, kCameraPort, [&] {
    return address == kFactoryAddress ? OCamera::CreateCameraInterface(type)
                                      : CreateCameraInterface(type, address.c_str());
  });
}

InputsPtr connectInputs(const std::string &address) {
  return connect<OCameraInputs>("inputs", address, ocamera::kIoServicePort, [&] {
    return address == kFactoryAddress ? OCameraInputs::poCreateInterface()
                                      : CreateCameraInputs(address.c_str());
  });
}

OutputsPtr connectOutputs(const std::string &address) {
  return connect<OCameraOutputs>("outputs", address, ocamera::kIoServicePort, [&] {
    return address == kFactoryAddress ? OCameraOutputs::poCreateInterface()
                                      : CreateCameraOutputs(address.c_str());
  });
}

LEDsPtr connectLEDs(const std::string &address) {
  return connect<OCameraLEDs>("LEDs", address, ocamera::kIoServicePort, [&] {
    return address == kFactoryAddress ? OCameraLEDs::poCreateInterface()
                                      : CreateCameraLEDs(address.c_str());
  });
}

std::string statusText(int status) {
  // The library's words, with where ocam can help further.
  std::string text = ocamera::statusText(status);
  if (status == status::kUnknownRegister) text += "; 'ocam registers list' names them all";
  if (status == status::kOverload) text += "; 'ocam outputs set OVERLOAD_UNLOCK=on' unlocks them";
  return text;
}

void expectOk(int status, const std::string &what, const std::string &refusal,
              const std::string &hint) {
  if (status == 0) return;
  if (status == status::kRequestFailed || refusal.empty())
    throw Failure(what + ": " + statusText(status));
  throw Failure(what + ": " + refusal + " (status " + std::to_string(status) + ")" +
                (hint.empty() ? "" : "; " + hint));
}

int expectValue(int value, const std::string &what) {
  if (value == status::kRequestFailed) throw Failure(what + ": " + statusText(value));
  return value;
}

std::string jsonString(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void printJsonObject(const std::vector<std::pair<std::string, std::string>> &members) {
  std::string line = "{";
  for (const auto &[key, value] : members) {
    if (line.size() > 1) line += ", ";
    line += jsonString(key) + ": " + value;
  }
  std::cout << line << "}\n";
}

}  // namespace ocam_cli
