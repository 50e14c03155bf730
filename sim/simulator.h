// ocamsim: a simulated camera serving the device manager, camera, inputs,
// outputs and LED services, in-process (tests, benchmarks) or as the ocamsim
// executable. Tests use the hooks below to set inputs, read outputs and make
// the camera misbehave on purpose.
//
// How the simulated camera behaves:
//  - Serving: the camera port answers the device manager and the camera
//    service, the I/O port the device manager and the inputs, outputs and LED
//    services (another service's request gets a SOAP fault, "no such service
//    on this port"), in either framing (bare XML or HTTP POST); replies
//    always carry an HTTP header block with Content-Length, and keep-alive
//    connections stay open. One thread per connection, at most
//    Options::maxConnections per port, shared fairly among client addresses
//    (see sim/connection_slots.h: one slot is kept for another client; when a
//    port is full the connection idle longest, or else the slowest unfinished
//    request, gives way; one being served never does); connections idle or
//    stalled past their time-outs are closed; a request longer than
//    Options::maxRequestBytes, or one that would take the requests in
//    progress past Options::maxRequestMemory, fails and closes its
//    connection. Bad session tokens are slowed to a budget per client address
//    (Options::badTokenBurst, badTokenRate). A SOAP fault answers unknown
//    operations and broken requests.
//  - Sessions: "rdev:open" hands out a fresh token, a random 31-bit number
//    other than 0 that names no other open session (tokens are global to the
//    simulator); only "rdev:keepAlive" renews a session; one that is not
//    renewed within its device's maxTimeout seconds expires (maxTimeout <= 0:
//    never). The access mode is accepted, not enforced. Each service request
//    needs an open session on a device of its own kind (by type name:
//    "ONetCamera" for scam, "ONetCameraInputs" for sinp, ...), then the
//    service's "create" for that session; the inputs/outputs/LED requests
//    other than create/destroy/iOpen/iClose/iSetTimeout also need "iOpen".
//  - Camera: one sensor shared by every session. "scam:open" (frameBufferSize
//    >= 0, maxBuffers 1..1024) opens it for acquisition; "scam:close",
//    "scam:destroy" or the end of the opening session close it. Modes: STOP
//    (1) and FREE-RUN-SLAVE-STOP (11) capture nothing; SINGLE-SHOT (2) takes
//    one picture on entry and one per trigger; FREE-RUN (3) and FREE-RUN-SLAVE
//    (8) capture at the frame rate (default 30 fps, at most 1000); SELECT-SHOT
//    (4) one picture per trigger. Triggers: "scam:triggerImage", or an edge of
//    input I0 (source E0) or I1 (source E1), rising for ACTIVE-HIGH, falling
//    for ACTIVE-LOW; each fires after the trigger delay (microseconds,
//    0..10000000). Captured frames queue up to maxBuffers; when full, circular
//    overwrite (default on) drops the oldest, otherwise the newest.
//    "scam:getSingleImage" delivers the oldest: nSeqNr counts every captured
//    frame from 0 ("scam:resetSequenceCounter"), the time stamp is the capture
//    time (wall clock), nSize = window width x height, data = raw 8-bit Bayer
//    samples in Options::bayerPattern, starting at the window's top-left. With
//    an empty queue it waits for the next frame up to the read time-out
//    ("scam:setReadTimeout", milliseconds, default 1000), then answers kTimeout
//    with no data; when nothing can come (stopped) it answers kNoImage at once.
//    The picture is a colour gradient with shapes that moves with the sequence
//    number, or pictures from files (Options::images). Brightness scales
//    linearly with shutter time (microseconds, 1..1000000, relative to the
//    power-on 10000 = picture as is) times gain (factor 1..32, default 1),
//    clipped at 255; Options::noise adds seeded noise. An exposure longer
//    than the power-on one bounds free-run frames to one per exposure time. The camera's
//    device description ends in its geometry: " [sensor 1280x1024 GRGR]".
//  - Settings: every setter's accepted value is kept (settings()), those that
//    do not change the picture too (illumination, JPEG, processing stages,
//    ...); the power-on values are those of the library's settings table.
//  - Sensor registers: ANALOG_GAIN reads and sets the gain in sixteenths
//    (1..512; "scam:setGain" 2 reads 32); COLUMN_START and ROW_START read and
//    set the window's offset plus the sensor's first active column and row (1
//    and 4), WINDOW_WIDTH and WINDOW_HEIGHT its size (a window outside the
//    sensor is refused); the others keep what is written (16 bits).
//  - Image RAM (Options::imageRamSize, zeroed, enabled): byte addresses.
//    "scam:readImageRAMReducedData" answers run-length pairs (count 1..255,
//    value) of the region [ulAddr, ulAddr + ulLen), as many whole pairs as fit
//    in ulLen bytes; retlen is their byte count. "scam:getImageToImageRAM"
//    stores the next frame at ulAddr. Failed reads answer no data.
//  - Inputs: the input word is levels (bits 0-1) | latched edges (I0 rising 4,
//    falling 8, I1 rising 16, falling 32; cleared by "sinp:iClearEdges") |
//    overload (64). "iGetInputs" answers the word; "iGetInput" 0/1 for a single
//    bit, the levels for INPUT-ALL. Waits end when the condition holds (answer
//    0) or after the "sinp:iSetTimeout" time-out (milliseconds, default 5000,
//    per session; answer kTimeout).
//  - Outputs (bits O0-O3) and LEDs (8 bits): set/toggle by mask or by line;
//    a group enumerator (OUTPUT-ALL, LED-ALL-RED, ...) sets all its lines and
//    reads back as the group's bits. An overload locks the output lines
//    (kOverload) until OUTPUT-OVERLOAD-UNLOCK is set or setOverload(false).
#pragma once

#include <ocamera/settings.h>
#include <ocamera/status.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ocamsim {

// Result codes the simulated camera answers in "status" ("nStatus" for
// "scam:SingleImageResponse"): the camera's codes of <ocamera/status.h>, so
// client and simulator cannot drift apart. Where the simulator answers them:
//  - kBadArgument: an ordinal outside its enumeration, a camera type other
//    than 3..6, an acquisition mode other than 1, 2, 3, 4, 8, 11, a window or
//    region outside the sensor, a gain outside 1..32, a shutter time outside
//    1..1000000 us, a frame rate outside (0, 1000], a negative time-out, ...
//  - kTimeout: no image within the read time-out ("scam:setReadTimeout", ms,
//    default 1000), or an input wait past "sinp:iSetTimeout" (ms, default 5000).
//  - kNoImage: "scam:getSingleImage" with an empty queue while the acquisition
//    is stopped, answered at once.
//  - kShutdown: the simulator is stopping and cut a blocked wait short.
//
// The device manager has no status in its replies: "rdev:open" with an unknown
// device id, and "rdev:keepAlive"/"rdev:close" with an unknown, closed or
// expired token are answered with a SOAP fault (faultstring "no such device" or
// "invalid session"); the request log records kBadSession / kBadArgument for them.
namespace status = ::ocamera::status;

// A step of the input schedule: at `atMs` after start() the input levels become `levels`.
struct InputStep {
  int atMs = 0;
  int levels = 0;
};

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
  int cameraPort = 0;   // 0: an ephemeral port; -1: do not listen
  int ioPort = 0;       // 0: an ephemeral port; -1: do not listen
  int maxTimeout = 10;  // session time-out announced and enforced, seconds
  // Empty: the four standard devices with ids 1..4.
  std::vector<DeviceEntry> devices;
  int sensorWidth = 1280;
  int sensorHeight = 1024;
  int bayerPattern = 1;  // 1 GRGR, 2 BGBG, 3 RGRG, 4 GBGB
  // Pictures the sensor looks at instead of the built-in scene: a PNG file, a
  // raw file of sensorWidth x sensorHeight samples, or a directory of such
  // files (.png, .raw) shown in name order (see sim/pictures.h for how they
  // are fitted to the sensor). start() throws when they cannot be read.
  std::string images;
  // Pictures shown per second, counted from start(); 0: frame n (by sequence
  // number) shows picture n modulo their count.
  double imagesFps = 0;
  // Sensor noise: each sample moves by up to +/- noise grey levels
  // (triangular), the same for the same seed, sequence number and position.
  int noise = 0;
  std::uint32_t noiseSeed = 1;
  std::size_t imageRamSize = 16u << 20;
  // Connections open at once, per port: connections to one port cannot take
  // the other's slots.
  std::size_t maxConnections = 128;
  // A request longer than this fails and closes its connection. 0: the
  // largest legitimate request, a write of the whole image RAM as base64 plus
  // the envelope (a request announcing more is refused before its body).
  std::size_t maxRequestBytes = 0;
  // The bytes of requests in progress on all connections together; a request
  // that would go beyond it fails and closes its connection. Bytes received
  // bound what a request can make the simulator hold. 0: four of the largest
  // requests.
  std::size_t maxRequestMemory = 0;
  // Bad session tokens one client address may name: a burst of
  // badTokenBurst, then badTokenRate a second; answers beyond that wait for
  // the budget, and a connection that would wait more than a second is
  // closed unanswered. badTokenBurst 0: no limit.
  double badTokenBurst = 64;
  double badTokenRate = 20;
  // A connection that starts no request within idleTimeoutMs of its last
  // reply (or of being accepted), or that does not complete a started
  // request within requestTimeoutMs, is closed.
  int idleTimeoutMs = 5000;
  int requestTimeoutMs = 10000;
  bool verbose = false;  // one line per request on standard error
  // Input levels driven over time (empty: the inputs change only by setInputs()).
  std::vector<InputStep> inputSchedule;
  int inputSchedulePeriodMs = 0;  // > 0: the schedule repeats with this period
  // The log keeps at most this many entries (the oldest go first); count() and
  // waitForCount() count every request since the last clearLog().
  std::size_t logLimit = 200000;
};

// Ways to misbehave, for one operation (e.g. "scam:getSingleImage") or all ("").
enum class FaultKind {
  Delay,              // answer after delayMs
  DropBeforeRequest,  // close the connection before reading the request
  DropAfterRequest,   // read the request, close without answering
  SoapFault,          // answer a SOAP-ENV:Fault (faultstring "simulated fault")
  MalformedXml,       // answer bytes that are not well-formed XML
  UnexpectedElement,  // answer a well-formed reply with the wrong element name
  TruncateData,       // base64 payloads of the reply carry `bytes` fewer bytes
  PadData,            // base64 payloads of the reply carry `bytes` more bytes
  Status,             // answer normally but with status `status`
  SilentKeepAlive,    // "rdev:keepAlive" is never answered (the connection stays silent)
  // As MalformedXml and UnexpectedElement, but the reply says keep-alive and
  // the connection stays open for the next request, as a camera that does not
  // know its reply is broken would leave it.
  MalformedXmlKeepOpen,
  UnexpectedElementKeepOpen,
  // A well-formed reply whose reply element carries `bytes` attributes (100000
  // when bytes <= 0), half of them namespace declarations: costly to parse.
  CostlyAttributes,
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
  unsigned port = 0;      // the port it arrived on
  bool injected = false;  // a fault changed or replaced the reply
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
  // "127.0.0.1:<cameraPort>": the bind address (loopback for a wildcard,
  // "[...]" around an IPv6 one) and the port.
  std::string cameraAddress() const;
  std::string ioAddress() const;  // "127.0.0.1:<ioPort>"

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
  // Blocks until at most `n` connections are open, or the time-out passes.
  bool waitForOpenConnections(std::size_t n, int timeoutMs) const;

  // Sessions.
  std::size_t openSessions() const;
  bool sessionOpen(int token) const;

  // Inputs: bit 0 = I0, bit 1 = I1. Setting levels latches edges and wakes waits.
  void setInputs(int levels);
  int inputs() const;  // the levels (bits 0-1)
  // Blocks until `n` input waits ("sinp:iWaitFor...") are blocked in the
  // camera, or the time-out passes; lets a test change an input only once the
  // wait is in place.
  bool waitForInputWaits(std::size_t n, int timeoutMs) const;
  void setOverload(bool on);
  // Outputs and LEDs as set through their services (bit masks).
  int outputs() const;
  int leds() const;

  // Camera state.
  int acquisitionMode() const;
  int shutterTime() const;
  int gain() const;
  // The arguments of the last accepted (status 0) request of a setter, in wire
  // order, as decimal text separated by blanks ("10 20 640 480" for
  // "scam:setCameraWindow"); enumerations as their ordinals, flags 0/1, floats
  // as "%g", payloads as their byte count. "" when none was accepted.
  std::string lastSetting(const std::string &operation) const;
  // Every setting the camera keeps, named as in the library's settings table
  // (ocamera::settingTable), every sensor register, and the sensor's
  // geometry; SettingOrigin::Read. Right after construction it equals
  // ocamera::powerOnSettings() of the sensor, plus the registers.
  ocamera::Settings settings() const;
  // Makes every entry of `profile` as a client's setters would (the same
  // checks; in the table's order, registers after the clock), on a session
  // of its own; also before start(). "" when the camera took them all, else
  // the first refused entry and why ("gain: ..."); the entries before it stay
  // made. A profile's acquisition mode other than STOP is refused: the
  // camera is not open.
  std::string applySettings(const ocamera::Settings &profile);
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
