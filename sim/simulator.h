// ocamsim: a simulated camera serving the device manager, camera, inputs,
// outputs and LED services, in-process (tests, benchmarks) or as the ocamsim
// executable. Tests use the hooks below to set inputs, read outputs and make
// the camera misbehave on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ocamsim {

// One entry of the device list ("rdev:list").
struct DeviceEntry {
  int id = 0;
  std::string vendor = "ocamsim";
  std::string type;  // "ONetCamera", "ONetCameraInputs", "ONetCameraOutputs", "ONetCameraLEDs"
  std::string description;
  int versionMajor = 1;
  int versionMinor = 0;
  int maxTimeout = -1;  // seconds; -1: Options::maxTimeout
  std::string status = "ready";
};

struct Options {
  std::string bindAddress = "127.0.0.1";
  int cameraPort = 0;  // 0: an ephemeral port; -1: do not listen
  int ioPort = 0;      // 0: an ephemeral port; -1: do not listen
  int maxTimeout = 10;  // session time-out announced and enforced, seconds
  // Empty: the four standard devices with ids 1..4.
  std::vector<DeviceEntry> devices;
  int sensorWidth = 1280;
  int sensorHeight = 1024;
  int bayerPattern = 1;  // 1 GRGR, 2 BGBG, 3 RGRG, 4 GBGB
  std::size_t imageRamSize = 16u << 20;
  std::size_t maxConnections = 128;
  std::size_t maxRequestBytes = 64u << 20;
  bool verbose = false;  // one line per request on standard error
};

// Ways to misbehave, for one operation (e.g. "scam:getSingleImage") or all ("").
enum class FaultKind {
  Delay,               // answer after delayMs
  DropBeforeRequest,   // close the connection before reading the request
  DropAfterRequest,    // read the request, close without answering
  SoapFault,           // answer a SOAP-ENV:Fault (faultstring "simulated fault")
  MalformedXml,        // answer bytes that are not well-formed XML
  UnexpectedElement,   // answer a well-formed reply with the wrong element name
  TruncateData,        // base64 payloads of the reply carry `bytes` fewer bytes
  PadData,             // base64 payloads of the reply carry `bytes` more bytes
  Status,              // answer normally but with status `status`
  SilentKeepAlive,     // "rdev:keepAlive" is never answered (the connection stays silent)
};

struct Fault {
  FaultKind kind;
  std::string operation;  // "prefix:name" of the request element; "" = every operation
  int delayMs = 0;
  int bytes = 0;
  int status = 0;
  int count = -1;  // how many requests it applies to; -1 = until cleared
};

// One served request, in arrival order.
struct LogEntry {
  std::string operation;  // "scam:setGain", "rdev:open", ...
  int token = 0;          // the request's token, 0 when it has none
  int status = 0;         // the status answered (0 for replies without one)
  std::size_t requestBytes = 0;
  std::size_t replyBytes = 0;
  unsigned port = 0;  // the port it arrived on
};

class Simulator {
 public:
  explicit Simulator(Options options = Options());
  ~Simulator();  // stops
  Simulator(const Simulator &) = delete;
  Simulator &operator=(const Simulator &) = delete;

  // Binds and starts serving; throws std::runtime_error when a port cannot be bound.
  void start();
  // Closes the listeners and every connection, wakes blocked waits, joins all threads.
  void stop();

  int cameraPort() const;
  int ioPort() const;
  std::string cameraAddress() const;  // "127.0.0.1:<cameraPort>"
  std::string ioAddress() const;      // "127.0.0.1:<ioPort>"

  // Fault injection and the request log.
  void inject(const Fault &fault);
  void clearFaults();
  std::vector<LogEntry> log() const;
  void clearLog();
  std::size_t count(const std::string &operation) const;  // entries of the log with that operation
  // Blocks until `operation` has been served `n` times in all (log entries), or
  // the time-out passes; returns whether it was reached.
  bool waitForCount(const std::string &operation, std::size_t n, int timeoutMs) const;

  // Connections.
  std::size_t connectionsAccepted() const;
  std::size_t openConnections() const;

  // Sessions.
  std::size_t openSessions() const;
  bool sessionOpen(int token) const;

  // Inputs: bit 0 = I0, bit 1 = I1. Setting levels latches edges and wakes waits.
  void setInputs(int levels);
  int inputs() const;
  void setOverload(bool on);
  // Outputs and LEDs as set through their services (bit masks).
  int outputs() const;
  int leds() const;

  // Camera state.
  int acquisitionMode() const;
  int shutterTime() const;
  int gain() const;
  // The bytes of the image most recently delivered by "scam:getSingleImage".
  std::vector<std::uint8_t> lastImage() const;
  // Image RAM contents (for tests).
  std::vector<std::uint8_t> readRam(std::size_t address, std::size_t length) const;
  void writeRam(std::size_t address, const std::vector<std::uint8_t> &bytes);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ocamsim
