// The fault matrix: every way the simulated camera can misbehave, against one
// operation of every family (setter, getter, image count, image, image RAM
// read, register names, input wait, creation, tear-down). Each cell checks what
// the caller gets while the camera misbehaves, that the call comes back within
// its bound, and that the same kind of object works again once the camera
// answers normally. Run under AddressSanitizer it also shows that no cell leaks.
//
// One test per row (a fault mode); the cells of a row run one after another,
// each on objects of its own.
#include <gtest/gtest.h>
#include <ocamera/camera.h>
#include <ocamera/inputs.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "faults/watchdog.h"
#include "protocol/dead_peer.h"
#include "sim/simulator.h"
#include "vanish/vanishing_host.h"

namespace {

using Clock = std::chrono::steady_clock;
using ocamera_test::Watchdog;
using ocamsim::FaultKind;

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kStatus = 5;  // what the Status fault makes the camera answer
constexpr int kDelayMs = 30;
constexpr int kPayloadDelta = 7;  // bytes cut from or added to a payload
constexpr unsigned kRamAddress = 4096;
constexpr unsigned kRamBytes = 100;
constexpr int kShutterDefault = 10000;  // the simulated camera's shutter time at start
constexpr int kImageCallerStatus = 12345;
// A call fails within the 2 s connect time-out or is answered at once on
// loopback; this leaves room for a loaded machine.
constexpr auto kCallBound = std::chrono::seconds(5);
// A cell still running after this has hung: the process stops with a message
// instead of waiting for the harness time-out.
constexpr auto kCellBound = std::chrono::seconds(30);
constexpr int kWaitMs = 5000;
constexpr int kPooledContexts = 4;  // contexts an object keeps for its requests

// ------------------------------------------------------------------ the table

enum class Family {
  kSetter,   // setGain
  kGetter,   // getShutterTime
  kCount,    // getImageCount (0 on failure)
  kImage,    // getSingleImage
  kRamRead,  // readImageRAM
  kNames,    // getSensorRegisterNames
  kIoWait,   // OCameraInputs::iWaitForInputs
  kCreate,   // CreateCameraInterface
  kDestroy,  // OCamera::destroy
};
constexpr std::size_t kFamilyCount = 9;
constexpr Family kFamilies[kFamilyCount] = {Family::kSetter, Family::kGetter,  Family::kCount,
                                            Family::kImage,  Family::kRamRead, Family::kNames,
                                            Family::kIoWait, Family::kCreate,  Family::kDestroy};

const char *familyName(Family family) {
  static const char *const kNames[kFamilyCount] = {
      "setter", "getter", "count", "image", "ram-read", "names", "io-wait", "create", "destroy"};
  return kNames[static_cast<std::size_t>(family)];
}

// The request each family sends; a fault row aims its fault at it.
const char *operationOf(Family family) {
  static const char *const kOps[kFamilyCount] = {
      "scam:setGain",        "scam:getShutterTime", "scam:getImageCount",
      "scam:getSingleImage", "scam:readImageRAM",   "scam:getSensorRegisterNames",
      "sinp:iWaitForInputs", "scam:create",         "scam:destroy"};
  return kOps[static_cast<std::size_t>(family)];
}

// What a cell expects from its operation.
enum class Expect {
  kNormal,      // the normal result
  kFailed,      // the failure value: -1, 0 (count), null (names, creation); outputs untouched
  kStatus,      // the camera's status kStatus, unchanged (creation: null and "Create failed")
  kBadSession,  // a camera that does not know the token: its status; no image, no names
  kBlocked,     // tear-down waits for a keep-alive request the camera never answers
  kSkip,        // nothing to check
};

enum class Mode {
  kFault,            // Simulator::inject for the family's request, cleared afterwards
  kSilentKeepAlive,  // keep-alive requests are never answered
  kKilled,           // the simulator stops, then a new one starts on the same ports
  kVanished,         // the camera's host drops every packet (see runVanishedRow)
};

struct Row {
  const char *name;
  Mode mode;
  FaultKind kind;
  std::array<Expect, kFamilyCount> during;  // while the camera misbehaves
  std::array<Expect, kFamilyCount> after;   // once it answers normally again
};

void PrintTo(const Row &row, std::ostream *os) { *os << row.name; }

constexpr Expect N = Expect::kNormal;
constexpr Expect F = Expect::kFailed;
constexpr Expect S = Expect::kStatus;
constexpr Expect B = Expect::kBadSession;
constexpr Expect W = Expect::kBlocked;
constexpr Expect X = Expect::kSkip;
constexpr std::array<Expect, kFamilyCount> kAllNormal = {N, N, N, N, N, N, N, N, N};

// clang-format off
const Row kRows[] = {
  //                                                        setter getter count image ram names wait create destroy
  {"Delay",             Mode::kFault, FaultKind::Delay,             {N, N, N, N, N, N, N, N, N}, kAllNormal},
  {"DropBeforeRequest", Mode::kFault, FaultKind::DropBeforeRequest, {F, F, F, F, F, F, F, F, F}, kAllNormal},
  {"DropAfterRequest",  Mode::kFault, FaultKind::DropAfterRequest,  {F, F, F, F, F, F, F, F, F}, kAllNormal},
  {"SoapFault",         Mode::kFault, FaultKind::SoapFault,         {F, F, F, F, F, F, F, F, F}, kAllNormal},
  {"MalformedXml",      Mode::kFault, FaultKind::MalformedXml,      {F, F, F, F, F, F, F, F, F}, kAllNormal},
  {"UnexpectedElement", Mode::kFault, FaultKind::UnexpectedElement, {F, F, F, F, F, F, F, F, F}, kAllNormal},
  // The same replies on a connection the camera keeps open: once the broken
  // reply is rejected, every context of the object works again.
  {"MalformedXmlKeepOpen",      Mode::kFault, FaultKind::MalformedXmlKeepOpen,
                                                                    {F, F, F, F, F, F, F, F, F}, kAllNormal},
  {"UnexpectedElementKeepOpen", Mode::kFault, FaultKind::UnexpectedElementKeepOpen,
                                                                    {F, F, F, F, F, F, F, F, F}, kAllNormal},
  // An image holds the bytes delivered, whatever size the camera announces; an
  // image RAM read must match the length asked for.
  // A reply whose element carries 100000 attributes and declarations fails
  // before the parser takes them in (unbounded, it would parse for minutes).
  {"CostlyAttributes",  Mode::kFault, FaultKind::CostlyAttributes,  {F, F, F, F, F, F, F, F, F}, kAllNormal},
  {"TruncateData",      Mode::kFault, FaultKind::TruncateData,      {N, N, N, N, F, N, N, N, N}, kAllNormal},
  {"PadData",           Mode::kFault, FaultKind::PadData,           {N, N, N, N, F, N, N, N, N}, kAllNormal},
  // The names reply has no status; an image carries it in its record.
  {"Status",            Mode::kFault, FaultKind::Status,            {S, S, S, S, S, N, S, S, S}, kAllNormal},
  {"SilentKeepAlive",   Mode::kSilentKeepAlive, FaultKind::SilentKeepAlive,
                                                                    {N, N, N, N, N, N, N, N, W}, {N, N, N, N, N, N, N, N, X}},
  // A new camera knows no session: the old token gets its status. Creation and
  // tear-down make new objects there.
  {"KilledAndRestarted", Mode::kKilled, FaultKind::Delay,           {F, F, F, F, F, F, F, F, F}, {B, B, B, B, B, B, B, N, N}},
  // Calls in flight fail within the dead-peer bound; "after" is checked on new
  // objects (the old ones' sessions may have expired meanwhile).
  {"HostVanished",      Mode::kVanished, FaultKind::Delay,          {F, F, F, F, F, F, F, F, F}, kAllNormal},
};
// clang-format on

// ------------------------------------------------------------------ helpers

// A call on a vanished host fails through the dead-peer watch, and a
// tear-down sends one more request on a fresh connection after that.
// Room for a loaded machine on top, as everywhere a kernel timer is waited on.
constexpr auto kVanishedCallBound = std::chrono::milliseconds(ocamera::wire::kDeadPeerBoundMs) +
                                    std::chrono::seconds(2) + std::chrono::milliseconds(4000);
// The bound timed() holds calls to; the vanished row raises it.
std::chrono::milliseconds callBound = kCallBound;

// Runs one library call and checks that it came back within callBound.
template <class Fn>
auto timed(Fn fn) -> decltype(fn()) {
  const Clock::time_point start = Clock::now();
  auto result = fn();
  EXPECT_LT(Clock::now() - start, callBound) << "the call took too long";
  return result;
}

// The simulated camera of one row; a restart brings up a new one on the same ports.
class Camera {
 public:
  // bindAddress empty: loopback on ephemeral ports.
  explicit Camera(int maxTimeout, const std::string &bindAddress = "", int cameraPort = 0,
                  int ioPort = 0) {
    if (!bindAddress.empty()) options_.bindAddress = bindAddress;
    options_.cameraPort = cameraPort;
    options_.ioPort = ioPort;
    options_.sensorWidth = kWidth;
    options_.sensorHeight = kHeight;
    options_.imageRamSize = 64u << 10;
    options_.maxTimeout = maxTimeout;
    start();
    options_.cameraPort = sim_->cameraPort();
    options_.ioPort = sim_->ioPort();
    cameraAddress_ = sim_->cameraAddress();
    ioAddress_ = sim_->ioAddress();
  }

  ocamsim::Simulator &sim() { return *sim_; }
  bool running() const { return sim_ != nullptr; }
  const std::string &cameraAddress() const { return cameraAddress_; }
  const std::string &ioAddress() const { return ioAddress_; }

  void stop() {
    if (sim_) sim_->stop();
    sim_.reset();
  }
  void start() {
    // The port was ours a moment ago; another process may take it in between,
    // which the start reports.
    sim_ = std::make_unique<ocamsim::Simulator>(options_);
    sim_->start();
  }

  // Waits until the camera has logged `n` requests of `operation`.
  void awaitCount(const std::string &operation, std::size_t n) {
    ASSERT_TRUE(sim_->waitForCount(operation, n, kWaitMs)) << operation << " x" << n;
  }
  // Whether the last logged request of `operation` was changed by a fault.
  bool lastInjected(const std::string &operation) {
    const std::vector<ocamsim::LogEntry> log = sim_->log();
    for (auto it = log.rbegin(); it != log.rend(); ++it)
      if (it->operation == operation) return it->injected;
    return false;
  }

 private:
  ocamsim::Options options_;
  std::unique_ptr<ocamsim::Simulator> sim_;
  std::string cameraAddress_;
  std::string ioAddress_;
};

// The objects one cell works on.
struct Subject {
  OCamera *camera = nullptr;
  OCameraInputs *inputs = nullptr;
  const char *const *names = nullptr;  // the last list the camera object returned
  std::vector<std::string> nameCopy;   // what it held
  bool staleToken = false;             // made before the camera was restarted
};

std::vector<std::string> copyNames(const char *const *names) {
  std::vector<std::string> copy;
  for (; names && *names; ++names) copy.emplace_back(*names);
  return copy;
}

std::vector<unsigned char> ramPattern() {
  std::vector<unsigned char> bytes(kRamBytes);
  for (unsigned i = 0; i < kRamBytes; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
  return bytes;
}

// ------------------------------------------------------------------ the test

class FaultMatrix : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    const Row &row = GetParam();
    if (row.mode == Mode::kVanished) {
      // The camera on the factory-default address of a private network, where
      // its packets can be dropped.
      host_ = std::make_unique<ocamera_test::VanishingHost>(ocamera::kFactoryDefaultAddress,
                                                            std::vector<int>{80, 8080});
      if (!host_->ready()) GTEST_SKIP() << host_->reason();
      camera_ = std::make_unique<Camera>(10, ocamera::kFactoryDefaultAddress, 80, 8080);
      return;
    }
    // A keep-alive goes out as soon as a session opens when the device announces
    // a time-out of 0, and such a session never expires on the camera.
    camera_ = std::make_unique<Camera>(row.mode == Mode::kSilentKeepAlive ? 0 : 10);
  }

  void TearDown() override {
    if (!camera_) return;  // skipped
    // Objects whose keep-alive request hangs can only end once the camera drops
    // the connection: stop it, then the waiting tear-downs must come back.
    camera_->stop();
    for (std::future<int> &pending : blocked_) {
      ASSERT_EQ(pending.wait_for(kCallBound), std::future_status::ready);
      // The camera logs a request just before the last bytes of its reply go
      // out, so the stop may cut the destroy reply: its status or -1.
      const int result = pending.get();
      EXPECT_TRUE(result == 0 || result == -1) << result;
    }
    for (Subject &subject : deferred_) {
      Watchdog watchdog("deferred tear-down", kCellBound);
      if (subject.camera) timed([&] { return subject.camera->destroy(); });
      if (subject.inputs) timed([&] { return (subject.inputs->destroy(), 0); });
    }
  }

  ocamsim::Simulator &sim() { return camera_->sim(); }
  // Whether the camera can be asked what it holds (closes, sessions). After
  // the vanished row's loss, sessions of the old objects may linger until the
  // camera lets them expire, so open sessions are not counted there.
  bool reachable() const { return camera_->running() && !vanished_; }
  bool deferTearDown() const { return GetParam().mode == Mode::kSilentKeepAlive; }

  OCamera *createCamera() {
    return timed([&] {
      return CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, camera_->cameraAddress().c_str());
    });
  }

  // Makes the objects of a cell and brings them to the state its operation needs.
  void prepare(Family family, Subject &s) {
    if (family == Family::kCreate) return;
    if (family == Family::kIoWait) {
      s.inputs = timed([&] { return CreateCameraInputs(camera_->ioAddress().c_str()); });
      ASSERT_NE(s.inputs, nullptr);
      ASSERT_EQ(s.inputs->iOpen(), 0);
      sim().setInputs(1);
      return;
    }
    s.camera = createCamera();
    ASSERT_NE(s.camera, nullptr);
    switch (family) {
      case Family::kImage:
        ASSERT_EQ(s.camera->open(0, 4), 0);
        ASSERT_EQ(s.camera->setFrameRate(200), 0);
        ASSERT_EQ(s.camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN), 0);
        break;
      case Family::kRamRead: {
        const std::vector<unsigned char> pattern = ramPattern();
        sim().writeRam(kRamAddress, std::vector<std::uint8_t>(pattern.begin(), pattern.end()));
      } break;
      case Family::kNames:
        s.names = s.camera->getSensorRegisterNames();
        ASSERT_NE(s.names, nullptr);
        s.nameCopy = copyNames(s.names);
        ASSERT_FALSE(s.nameCopy.empty());
        break;
      default:
        break;
    }
  }

  // Ends the objects of a cell. After a restart the camera no longer knows the
  // session, and the destroy request says so.
  void finish(Subject &s) {
    if (deferTearDown()) {
      if (s.camera || s.inputs) deferred_.push_back(s);
      return;
    }
    const int expected = s.staleToken ? ocamsim::status::kBadSession : ocamsim::status::kOk;
    if (s.camera) {
      EXPECT_EQ(timed([&] { return s.camera->destroy(); }), expected);
    }
    if (s.inputs) timed([&] { return (s.inputs->destroy(), 0); });
    s = Subject();
    if (reachable() && !host_) {
      EXPECT_EQ(sim().openSessions(), 0u) << "a session was left open";
    }
  }

  void check(Family family, Subject &s, Expect expect);
  void runVanishedRow(const Row &row);
  void checkCreate(Expect expect);
  void checkDestroy(Subject &s, Expect expect);

  // Camera statuses as the families see them.
  static int statusFor(Expect expect, int normal) {
    switch (expect) {
      case Expect::kNormal:
        return normal;
      case Expect::kStatus:
        return kStatus;
      case Expect::kBadSession:
        return ocamsim::status::kBadSession;
      default:
        return -1;
    }
  }

  std::unique_ptr<Camera> camera_;
  int imageDelta_ = 0;  // bytes a payload fault takes from or adds to an image
  std::vector<Subject> deferred_;
  std::vector<std::future<int>> blocked_;
  std::unique_ptr<ocamera_test::VanishingHost> host_;  // the vanished row only
  bool vanished_ = false;
};

void FaultMatrix::check(Family family, Subject &s, Expect expect) {
  if (expect == Expect::kSkip) return;
  switch (family) {
    case Family::kSetter:
      EXPECT_EQ(timed([&] { return s.camera->setGain(3); }), statusFor(expect, 0));
      if (expect == Expect::kNormal) {
        EXPECT_EQ(sim().gain(), 3);
      }
      break;
    case Family::kGetter:
      EXPECT_EQ(timed([&] { return s.camera->getShutterTime(); }),
                statusFor(expect, kShutterDefault));
      break;
    case Family::kCount:
      // The one getter whose failure value is 0; the idle camera holds no image.
      EXPECT_EQ(timed([&] { return s.camera->getImageCount(); }),
                expect == Expect::kFailed ? 0 : statusFor(expect, 0));
      break;
    case Family::kImage: {
      OCamera::Image image{};
      image.data = reinterpret_cast<unsigned char *>(&image);  // must be replaced
      image.status = kImageCallerStatus;
      const int result = timed([&] { return s.camera->getSingleImage(&image); });
      if (expect == Expect::kFailed) {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(image.data, nullptr);
        break;
      }
      if (expect == Expect::kBadSession) {
        // No image in the reply: nothing allocated, the camera's status
        // returned and stored.
        EXPECT_EQ(result, ocamsim::status::kBadSession);
        EXPECT_EQ(image.data, nullptr);
        EXPECT_EQ(image.size, 0);
        EXPECT_EQ(image.status, ocamsim::status::kBadSession);
        break;
      }
      EXPECT_EQ(result, 0);
      EXPECT_NE(image.data, nullptr);
      // The number of bytes delivered, which the caller may read at data.
      EXPECT_EQ(image.size, kWidth * kHeight + imageDelta_);
      EXPECT_EQ(image.status, statusFor(expect, 0));
      EXPECT_EQ(s.camera->freeImage(&image), 0);
      EXPECT_EQ(image.data, nullptr);
      break;
    }
    case Family::kRamRead: {
      std::vector<unsigned char> destination(kRamBytes, 0xEE);
      const int result =
          timed([&] { return s.camera->readImageRAM(destination.data(), kRamAddress, kRamBytes); });
      EXPECT_EQ(result, statusFor(expect, 0));
      if (expect == Expect::kNormal) {
        EXPECT_EQ(destination, ramPattern());
      } else {
        EXPECT_EQ(destination, std::vector<unsigned char>(kRamBytes, 0xEE)) << "written on failure";
      }
      break;
    }
    case Family::kNames: {
      const char *const *names = timed([&] { return s.camera->getSensorRegisterNames(); });
      if (expect == Expect::kFailed) {
        EXPECT_EQ(names, nullptr);
        // The list of the earlier call is still there and intact.
        EXPECT_EQ(copyNames(s.names), s.nameCopy);
        break;
      }
      ASSERT_NE(names, nullptr);
      if (expect == Expect::kBadSession) {
        EXPECT_EQ(names[0], nullptr) << "a reply without names gives an empty list";
      } else {
        EXPECT_EQ(copyNames(names), s.nameCopy);
      }
      s.names = names;
      s.nameCopy = copyNames(names);
      break;
    }
    case Family::kIoWait:
      // The awaited level holds already: a healthy camera answers at once.
      EXPECT_EQ(timed([&] { return s.inputs->iWaitForInputs(1, 1); }), statusFor(expect, 0));
      break;
    case Family::kCreate:
      checkCreate(expect);
      break;
    case Family::kDestroy:
      checkDestroy(s, expect);
      break;
  }
}

void FaultMatrix::checkCreate(Expect expect) {
  testing::internal::CaptureStderr();
  OCamera *camera = createCamera();
  const std::string err = testing::internal::GetCapturedStderr();
  if (expect == Expect::kNormal) {
    ASSERT_NE(camera, nullptr) << err;
    EXPECT_EQ(err, "");
    Subject made;
    made.camera = camera;
    finish(made);
    return;
  }
  EXPECT_EQ(camera, nullptr);
  if (camera) camera->destroy();
  // One line on standard error; the session it opened is closed again.
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  if (expect == Expect::kStatus) {
    EXPECT_NE(err.find("Create failed"), std::string::npos) << err;
  }
  if (reachable() && !host_) {
    EXPECT_EQ(sim().openSessions(), 0u);
  }
}

void FaultMatrix::checkDestroy(Subject &s, Expect expect) {
  if (!s.camera) {  // the object of this cell is gone: tear down a new one
    s.camera = createCamera();
    ASSERT_NE(s.camera, nullptr);
  }
  OCamera *camera = s.camera;
  s.camera = nullptr;
  if (expect == Expect::kBlocked) {
    // Tear-down stops the keep-alive thread before it closes the session, and
    // that thread waits for an answer that never comes (the contexts have no
    // read time-out): destroy cannot return until the camera drops the
    // connection. TearDown stops the camera and expects it back then.
    const std::size_t before = sim().count("scam:destroy");
    blocked_.push_back(std::async(std::launch::async, [camera] { return camera->destroy(); }));
    camera_->awaitCount("scam:destroy", before + 1);
    EXPECT_EQ(blocked_.back().wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    return;
  }
  const bool checkClose = reachable();
  const std::size_t closes = checkClose ? sim().count("rdev:close") : 0;
  EXPECT_EQ(timed([&] { return camera->destroy(); }), statusFor(expect, 0));
  if (checkClose) {
    // The session is closed whatever became of the destroy request.
    camera_->awaitCount("rdev:close", closes + 1);
    if (!host_) {
      EXPECT_EQ(sim().openSessions(), 0u);
    }
  }
}

// The host vanishes with one call of every family in flight at once (each on
// objects of its own, made while the host was there); every call must fail
// within the bound. Once the host is back, new objects of every family work.
void FaultMatrix::runVanishedRow(const Row &row) {
  Watchdog watchdog("fault matrix row HostVanished", kCellBound * 3);
  callBound = std::chrono::duration_cast<std::chrono::milliseconds>(kVanishedCallBound);
  std::array<Subject, kFamilyCount> subjects;
  for (Family family : kFamilies) {
    SCOPED_TRACE(std::string("HostVanished x ") + familyName(family) + " (prepare)");
    ASSERT_NO_FATAL_FAILURE(prepare(family, subjects[static_cast<std::size_t>(family)]));
  }
  ASSERT_TRUE(host_->vanish());
  vanished_ = true;
  std::vector<std::future<long long>> cells;
  for (Family family : kFamilies) {
    cells.push_back(std::async(std::launch::async, [this, family, &row, &subjects] {
      const std::size_t index = static_cast<std::size_t>(family);
      SCOPED_TRACE(std::string("HostVanished x ") + familyName(family));
      const Clock::time_point start = Clock::now();
      check(family, subjects[index], row.during[index]);
      return static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    }));
  }
  for (Family family : kFamilies) {
    const long long ms = cells[static_cast<std::size_t>(family)].get();
    std::printf("[ measured ] %s on a vanished host: %lld ms\n", familyName(family), ms);
  }
  ASSERT_TRUE(host_->comeBack());
  vanished_ = false;
  // The objects from before the loss end within the bound, whatever became of
  // their sessions.
  for (Subject &old : subjects) {
    if (old.camera) timed([&] { return old.camera->destroy(); });
    if (old.inputs) timed([&] { return (old.inputs->destroy(), 0); });
  }
  callBound = kCallBound;
  for (Family family : kFamilies) {
    SCOPED_TRACE(std::string("HostVanished x ") + familyName(family) + " (after)");
    Subject fresh;
    ASSERT_NO_FATAL_FAILURE(prepare(family, fresh));
    check(family, fresh, row.after[static_cast<std::size_t>(family)]);
    finish(fresh);
  }
}

TEST_P(FaultMatrix, EveryFamilyGetsItsValueAndRecovers) {
  const Row &row = GetParam();
  if (row.mode == Mode::kVanished) return runVanishedRow(row);
  for (Family family : kFamilies) {
    const std::size_t index = static_cast<std::size_t>(family);
    const std::string cell = std::string(row.name) + " x " + familyName(family);
    SCOPED_TRACE(cell);
    Watchdog watchdog("fault matrix cell " + cell, kCellBound);
    const std::string operation = operationOf(family);
    Subject subject;

    switch (row.mode) {
      case Mode::kFault: {
        ASSERT_NO_FATAL_FAILURE(prepare(family, subject));
        ocamsim::Fault fault{row.kind, operation};
        fault.delayMs = kDelayMs;
        // The costly row takes the simulator's default: 100000 attributes.
        fault.bytes = row.kind == FaultKind::CostlyAttributes ? 0 : kPayloadDelta;
        fault.status = kStatus;
        sim().inject(fault);
        const std::size_t before = sim().count(operation);
        if (row.kind == FaultKind::TruncateData) imageDelta_ = -kPayloadDelta;
        if (row.kind == FaultKind::PadData) imageDelta_ = kPayloadDelta;
        check(family, subject, row.during[index]);
        imageDelta_ = 0;
        // The cell only counts when the fault met its request.
        const bool payload = family == Family::kImage || family == Family::kRamRead;
        if (payload || (row.kind != FaultKind::TruncateData && row.kind != FaultKind::PadData)) {
          camera_->awaitCount(operation, before + 1);
          EXPECT_TRUE(camera_->lastInjected(operation)) << operation << " was not changed";
        }
        sim().clearFaults();
        break;
      }
      case Mode::kSilentKeepAlive: {
        sim().inject(ocamsim::Fault{FaultKind::SilentKeepAlive, ""});
        const std::size_t before = sim().count("rdev:keepAlive");
        ASSERT_NO_FATAL_FAILURE(prepare(family, subject));
        // The new session's first keep-alive is out and will not be answered.
        if (family != Family::kCreate) camera_->awaitCount("rdev:keepAlive", before + 1);
        check(family, subject, row.during[index]);
        sim().clearFaults();
        break;
      }
      case Mode::kVanished:
        break;  // runVanishedRow
      case Mode::kKilled:
        ASSERT_NO_FATAL_FAILURE(prepare(family, subject));
        camera_->stop();
        check(family, subject, row.during[index]);
        camera_->start();
        subject.staleToken = true;
        break;
    }
    if (::testing::Test::HasFatalFailure()) return;
    // A broken connection left in the pool would show on a later request: after
    // a fault that keeps it open, the check goes round every pooled context.
    const bool keptOpen = row.kind == FaultKind::MalformedXmlKeepOpen ||
                          row.kind == FaultKind::UnexpectedElementKeepOpen;
    for (int round = 0; round < (keptOpen ? kPooledContexts + 1 : 1); ++round)
      check(family, subject, row.after[index]);
    finish(subject);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, FaultMatrix, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
