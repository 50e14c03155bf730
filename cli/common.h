// Shared pieces of the ocam subcommands: the two kinds of error, argument
// values, connections to the camera's services and their clean-up.
#pragma once

#include <ocamera/ocamera.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ocam_cli {

// A wrong command line: ocam prints the message and exits with 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The camera or a file let us down: ocam prints the message and exits with 1.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where ocam looks when no -a/--address is given: the local simulator, unless
// OCAM_ADDRESS (camera) or OCAM_IO_ADDRESS (inputs, outputs, LEDs) say otherwise.
constexpr const char *kDefaultCameraAddress = "127.0.0.1:8000";
constexpr const char *kDefaultIoAddress = "127.0.0.1:8080";
constexpr int kIoPort = 8080;
// The status the simulated camera answers when a wait or a frame did not come in
// time; a real camera may answer its own code, which ocam reports as a refusal.
constexpr int kCameraTimeout = -21;
// The address that selects the library's factory-default forms.
constexpr const char *kFactoryAddress = "factory";

std::string defaultCameraAddress();
std::string defaultIoAddress();
// An I/O address without a port gets the I/O services' port 8080.
std::string withIoPort(const std::string &address);

// --- argument values ------------------------------------------------------
// `what` names the value in the error message ("-n", "shutter", ...).
long long parseInteger(const std::string &text, const std::string &what, long long min,
                       long long max);
int parseInt(const std::string &text, const std::string &what, int min, int max);
unsigned parseUnsigned(const std::string &text, const std::string &what);  // decimal or 0x hex
float parseFloat(const std::string &text, const std::string &what, float min, float max);
// "a,b,c" -> {"a","b","c"}; an empty text gives one empty element.
std::vector<std::string> splitList(const std::string &text, char separator = ',');
std::string upper(std::string text);

// A name of an enumerator and its value.
struct Named {
  const char *name;
  int value;
};
// Looks `text` up without regard to case, with or without `prefix` (e.g.
// "OUTPUT_", so that "O2" and "output_o2" both work); UsageError when unknown.
int lookupName(const std::vector<Named> &table, const std::string &text, const std::string &what,
               const std::string &prefix = "");
std::string namesOf(const std::vector<Named> &table);  // "a, b, c" for messages

const std::vector<Named> &bayerPatternNames();  // GRGR, BGBG, RGRG, GBGB
const std::vector<Named> &cameraTypeNames();    // MT9V403, GENERIC, IBIS1300, MT9V022

// --- white balance --------------------------------------------------------
struct WhiteBalance {
  enum class Source { kNone, kFactors, kFile } source = Source::kNone;
  int red = 100, green = 100, blue = 100;
};
// "none", "file" or "R,G,B" (percent).
WhiteBalance parseWhiteBalance(const std::string &text);
// Reads wb.conf for Source::kFile; Failure when the file cannot supply all three.
void loadWhiteBalance(WhiteBalance &wb);
// Converts width x height Bayer samples into 3 x width x height RGB bytes.
void convertBayer(unsigned char *raw, unsigned char *rgb, int width, int height,
                  OCameraTools::eBayerPattern pattern, const WhiteBalance &wb);
// Only GRGR and BGBG are converted on the PC.
OCameraTools::eBayerPattern parseConvertiblePattern(const std::string &text);

// --- connections ------------------------------------------------------------
// Interface objects end with destroy(), never with delete.
struct Destroyer {
  template <class T>
  void operator()(T *object) const {
    object->destroy();
  }
};
using CameraPtr = std::unique_ptr<OCamera, Destroyer>;
using InputsPtr = std::unique_ptr<OCameraInputs, Destroyer>;
using OutputsPtr = std::unique_ptr<OCameraOutputs, Destroyer>;
using LEDsPtr = std::unique_ptr<OCameraLEDs, Destroyer>;

// Each throws Failure with the library's own reason when the factory returns
// null, so that the user sees one line.
CameraPtr connectCamera(const std::string &address, OCamera::eCameraType type);
InputsPtr connectInputs(const std::string &address);
OutputsPtr connectOutputs(const std::string &address);
LEDsPtr connectLEDs(const std::string &address);

// A fault text of the library made readable: "SOAP-ENV:Server: Connection
// refused Details: connect failed" becomes "Connection refused (connect failed)".
std::string plainFault(const std::string &text);

// Runs `create` while collecting what it writes on standard error; returns
// that text without trailing blanks.
std::string captureErrors(const std::function<void()> &create);

// A status of 0 passes; -1 is a failed request; anything else is the camera's
// refusal. Failure names `what` in either case.
void expectOk(int status, const std::string &what);
// A getter's value; -1 is a failed request.
int expectValue(int value, const std::string &what);

}  // namespace ocam_cli
