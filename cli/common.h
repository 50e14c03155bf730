// Shared pieces of the ocam subcommands: the two kinds of error, argument
// values, connections to the camera's services and their clean-up.
#pragma once

#include <ocamera/ocamera.h>

#include <chrono>
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
// The address that selects the library's factory-default forms.
constexpr const char *kFactoryAddress = "factory";
// The port the camera service listens on when an address names none.
constexpr int kCameraPort = 80;

std::string defaultCameraAddress();
std::string defaultIoAddress();
// An I/O address without a port gets the I/O services' port 8080.
std::string withIoPort(const std::string &address);
// UsageError unless `address` is host, host:port, [v6], [v6]:port or
// http://host[:port][/path] with a port within 1..65535 ("factory" passes).
void checkAddress(const std::string &address);
// The address as messages name it: "factory" becomes the address it stands for
// ("192.168.0.42:8080 (the factory default)"); others stay as given.
std::string shownAddress(const std::string &address, int defaultPort);

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

// The camera's names GRGR, BGBG, RGRG, GBGB, then the names other tools use for
// the same layouts (a 2x2 cell read row by row): GRBG, BGGR, RGGB, GBRG.
const std::vector<Named> &bayerPatternNames();
// "GRGR (GRBG)" for messages and help; the camera's name for a pattern value.
std::string bayerPatternLabel(int pattern);
const std::vector<Named> &cameraTypeNames();  // MT9V403, GENERIC, IBIS1300, MT9V022

// --- white balance --------------------------------------------------------
// The library's record: mode (none, factors, file) and the factors.
using WhiteBalance = ocamera::WhiteBalanceSetting;
// "none", "file" or "R,G,B" (percent).
WhiteBalance parseWhiteBalance(const std::string &text);
// The range every factor must lie in, whether typed or read from wb.conf (the
// library's: 0 is its minimum too).
constexpr int kMaxFactor = OCameraTools::kMaxWhiteBalanceFactor;
static_assert(OCameraTools::kMinWhiteBalanceFactor == 0, "the tool parses factors from 0");
// Reads wb.conf for the file mode; Failure when the file cannot supply all three
// within 0..kMaxFactor, or is not a small regular file.
void loadWhiteBalance(WhiteBalance &wb);
// Converts width x height Bayer samples into 3 x width x height RGB bytes.
void convertBayer(unsigned char *raw, unsigned char *rgb, int width, int height,
                  OCameraTools::eBayerPattern pattern, const WhiteBalance &wb);
// Only GRGR and BGBG (GRBG and BGGR) are converted on the PC; UsageError
// naming those for anything else.
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
// refused Details: connect failed in tcp_connect()" becomes "Connection
// refused"; details that are not the runtime's own stay in parentheses.
std::string plainFault(const std::string &text);

// Why a request or creation failed when the library named no reason: the
// reply time-out when `elapsed` reached it.
std::string silentFailure(std::chrono::steady_clock::duration elapsed);

// Why a creation failed: the library's lines captured meanwhile made one line,
// or what is known when they give no reason.
std::string creationReason(const std::string &captured,
                           std::chrono::steady_clock::duration elapsed);

// Runs `create` while collecting the lines the library reports for a failed
// creation; returns them joined, without trailing blanks.
std::string captureErrors(const std::function<void()> &create);
// Called by ocam's log handler with a creation line: true when a
// captureErrors call took it.
bool captureLibraryLine(const char *line);

// --- reply time-outs -----------------------------------------------------------
// The reply time-out of every command but grab unless --timeout says otherwise.
constexpr int kDefaultReplyTimeoutMs = 5000;
// Lets the requests made during its lifetime wait at least `milliseconds` for
// a reply (a wait the camera itself bounds; 0: without limit), then restores
// the time-out before. Nothing changes while the time-out is off.
class LongerReplies {
 public:
  explicit LongerReplies(int milliseconds);
  ~LongerReplies();
  LongerReplies(const LongerReplies &) = delete;
  LongerReplies &operator=(const LongerReplies &) = delete;

 private:
  int previous_;
};

// --- the camera's answers ---------------------------------------------------
// The camera's status codes: those of <ocamera/status.h>.
namespace status = ::ocamera::status;

// What a status means, as the end of "WHAT: ...": "the camera refused the
// value (status -15)", "the request failed (no answer from the camera)".
std::string statusText(int status);

// A status of 0 passes; anything else throws Failure "WHAT: TEXT", where TEXT
// is `refusal` (when given and the status is the camera's), the status and the
// `hint`, or else statusText(status).
void expectOk(int status, const std::string &what, const std::string &refusal = "",
              const std::string &hint = "");
// A getter's value; -1 is a failed request.
int expectValue(int value, const std::string &what);

// --- JSON output ------------------------------------------------------------
std::string jsonString(const std::string &text);
// Writes {"key": value, ...} on one line; values are already JSON.
void printJsonObject(const std::vector<std::pair<std::string, std::string>> &members);

}  // namespace ocam_cli
