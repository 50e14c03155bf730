// Creation and tear-down of the inputs, outputs and LED objects, the static
// factories, and the camera state set and read through them.
#include <ocamera/export.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "common/netns.h"
#include "io/io_kinds.h"
#include "io/scripted_camera.h"
#include "sim/simulator.h"

namespace ocamera_test {
namespace {

class IoSession : public testing::TestWithParam<IoKind> {
 protected:
  // Calls the factory with standard error captured into `err`.
  IoHandle create(const std::string &address) { return create(address.c_str()); }
  IoHandle create(const char *address) {
    testing::internal::CaptureStderr();
    IoHandle io = GetParam().create(address);
    err = testing::internal::GetCapturedStderr();
    return io;
  }
  std::string op(const std::string &name) const { return GetParam().op(name); }

  std::string err;
};

// The camera lists the camera device first and the wanted type twice: the
// first of that type (id 2) is the one opened.
ScriptedCamera cameraListing(const IoKind &kind) {
  return ScriptedCamera({"ONetCamera", kind.typeName, kind.typeName});
}
constexpr int kOpenedToken = kTokenBase + 2;

TEST_P(IoSession, DeviceNotListedGivesNullAndTheMessageWithoutOpening) {
  std::vector<std::string> types = {"ONetCamera"};
  for (const IoKind &other : ioKinds())
    if (other.typeName != GetParam().typeName) types.push_back(other.typeName);
  types.push_back("onetcamera" + GetParam().name);  // letter case counts
  ScriptedCamera camera(types);

  EXPECT_FALSE(create(camera.address()));
  EXPECT_EQ(err, GetParam().notFound + "\n");
  EXPECT_EQ(camera.operationsFrom(0), std::vector<std::string>{"rdev:list"});
}

TEST_P(IoSession, CreateRefusedOrFailedPrintsOneLineAndClosesTheSession) {
  struct Case {
    PeerReply reply;
    std::string message;  // part of the line on standard error
  };
  const std::vector<Case> cases = {
      {PeerReply::bare(soapEnvelope(statusResponse(op("createResponse"), 5))), "Create failed"},
      {PeerReply::bare(soapEnvelope(soapFault("SOAP-ENV:Server", "no instance left"))),
       "no instance left"},
      {PeerReply::closeWithoutReply(), ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.message);
    ScriptedCamera camera = cameraListing(GetParam());
    camera.override(op("create"), c.reply);
    EXPECT_FALSE(create(camera.address()));
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    const auto sent = camera.requestsFrom(0);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(operationName(sent[0]), "rdev:list");
    EXPECT_EQ(textOf(sent[1], "rdev:id"), "2");
    EXPECT_EQ(sent[2], request(op("create"), kOpenedToken));
    EXPECT_EQ(sent[3], request("rdev:close", kOpenedToken));
  }
}

TEST_P(IoSession, DestroySendsDestroyThenCloseAndFreesEvenWhenBothFail) {
  for (bool failing : {false, true}) {
    SCOPED_TRACE(failing ? "both failing" : "both answered");
    ScriptedCamera camera = cameraListing(GetParam());
    IoHandle io = create(camera.address());
    ASSERT_TRUE(io) << err;
    const std::size_t from = camera.peer().requestCount();
    if (failing) {
      camera.override(op("destroy"),
                      PeerReply::bare(soapEnvelope(soapFault("SOAP-ENV:Server", "busy"))));
      camera.override("rdev:close", PeerReply::closeWithoutReply());
    }
    io.destroy();  // a leak would show in the sanitizer builds
    EXPECT_EQ(camera.requestsFrom(from),
              (std::vector<std::string>{request(op("destroy"), kOpenedToken),
                                        request("rdev:close", kOpenedToken)}));
  }
}

TEST_P(IoSession, UnreachableCameraOrNullAddressGivesNullAndOneLine) {
  std::string address;
  {
    ScriptedPeer gone;
    address = gone.bareEndpoint();
  }
  EXPECT_FALSE(create(address));
  EXPECT_NE(err.find("Connection refused"), std::string::npos) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;

  EXPECT_FALSE(create(nullptr));
  EXPECT_EQ(err, "CreateCamera" + GetParam().name + ": no camera address given\n");
}

TEST_P(IoSession, CameraGoingAwayGivesMinusOneAndDestroyStillWorks) {
  ocamsim::Options options;
  options.cameraPort = -1;
  ocamsim::Simulator sim(options);
  sim.start();
  IoHandle io = create(sim.ioAddress());
  ASSERT_TRUE(io) << err;
  ASSERT_EQ(io.open(), 0);
  EXPECT_GE(io.getAll(), 0);
  sim.stop();
  EXPECT_EQ(io.getAll(), -1);
  EXPECT_EQ(io.close(), -1);
  io.destroy();
}

TEST_P(IoSession, StaticFactoryReachesTheDefaultAddressOnPort8080) {
  const IoKind kind = GetParam();
  const NetnsOutcome outcome = runInPrivateNetwork({ocamera::kFactoryDefaultAddress}, [&kind] {
    ocamsim::Options options;
    options.bindAddress = ocamera::kFactoryDefaultAddress;
    options.ioPort = 8080;
    options.cameraPort = -1;
    ocamsim::Simulator sim(options);
    sim.start();
    IoHandle io = kind.createDefault();
    if (!io) return 1;
    if (io.open() != 0) return 2;
    io.destroy();
    if (!sim.waitForCount("rdev:close", 1, 5000)) return 3;
    for (const auto &entry : sim.log())
      if (entry.port != 8080) return 4;
    return sim.count(kind.op("create")) == 1 && sim.count(kind.op("destroy")) == 1 ? 0 : 5;
  });
  if (!outcome.ran) GTEST_SKIP() << "no private network namespace: " << outcome.reason;
  EXPECT_EQ(outcome.exitCode, 0) << outcome.reason;
}

INSTANTIATE_TEST_SUITE_P(All, IoSession, testing::ValuesIn(ioKinds()), kindName);

// Outputs and LEDs set through the library, read back from the camera.
struct Lines {
  std::function<IoHandle(const std::string &)> create;
  // iSet...s, iSet..., iToggle...s, iToggle..., iGet... on the object made last.
  std::function<int(int, int)> setMany;
  std::function<int(int, int)> setOne;
  std::function<int(int)> toggleMany;
  std::function<int(int)> toggleOne;
  std::function<int(int)> getOne;
  std::function<int(const ocamsim::Simulator &)> cameraState;
};

struct LinesOf {
  std::string name;
  std::function<Lines()> make;
};
void PrintTo(const LinesOf &lines, std::ostream *os) { *os << lines.name; }

class IoLines : public testing::TestWithParam<LinesOf> {};

TEST_P(IoLines, StateSetThroughTheLibraryIsTheCamerasState) {
  ocamsim::Options options;
  options.cameraPort = -1;
  ocamsim::Simulator sim(options);
  sim.start();
  const Lines lines = GetParam().make();
  IoHandle io = lines.create(sim.ioAddress());
  ASSERT_TRUE(io);
  ASSERT_EQ(io.open(), 0);

  struct Step {
    std::string label;
    std::function<int()> call;
    int expected;  // the camera's state afterwards
  };
  const std::vector<Step> steps = {
      {"set 15 to 5", [&] { return lines.setMany(15, 5); }, 5},
      {"set bit 2", [&] { return lines.setOne(2, 1); }, 7},
      {"clear bit 1", [&] { return lines.setOne(1, 0); }, 6},
      {"toggle 9", [&] { return lines.toggleMany(9); }, 15},
      {"toggle bit 4", [&] { return lines.toggleOne(4); }, 11},
      {"set 3 to 0", [&] { return lines.setMany(3, 0); }, 8},
  };
  for (const Step &step : steps) {
    SCOPED_TRACE(step.label);
    EXPECT_EQ(step.call(), 0);
    EXPECT_EQ(lines.cameraState(sim), step.expected);
    EXPECT_EQ(io.getAll(), step.expected);
    for (int line : {1, 2, 4, 8}) EXPECT_EQ(lines.getOne(line), (step.expected & line) ? 1 : 0);
  }
  io.destroy();
}

template <class Interface>
std::shared_ptr<Interface *> holder() {
  return std::make_shared<Interface *>(nullptr);
}

Lines outputLines() {
  auto o = holder<OCameraOutputs>();
  using E = OCameraOutputs::eCameraOutput;
  return {[o](const std::string &a) { return handleOf(*o = CreateCameraOutputs(a.c_str())); },
          [o](int m, int s) { return (*o)->iSetOutputs(m, s); },
          [o](int l, int s) { return (*o)->iSetOutput(E(l), s); },
          [o](int m) { return (*o)->iToggleOutputs(m); },
          [o](int l) { return (*o)->iToggleOutput(E(l)); },
          [o](int l) { return (*o)->iGetOutput(E(l)); },
          [](const ocamsim::Simulator &sim) { return sim.outputs(); }};
}

Lines ledLines() {
  auto o = holder<OCameraLEDs>();
  using E = OCameraLEDs::eCameraLED;
  return {[o](const std::string &a) { return handleOf(*o = CreateCameraLEDs(a.c_str())); },
          [o](int m, int s) { return (*o)->iSetLEDs(m, s); },
          [o](int l, int s) { return (*o)->iSetLED(E(l), s); },
          [o](int m) { return (*o)->iToggleLEDs(m); },
          [o](int l) { return (*o)->iToggleLED(E(l)); },
          [o](int l) { return (*o)->iGetLED(E(l)); },
          [](const ocamsim::Simulator &sim) { return sim.leds(); }};
}

INSTANTIATE_TEST_SUITE_P(
    All, IoLines, testing::Values(LinesOf{"Outputs", outputLines}, LinesOf{"LEDs", ledLines}),
    [](const testing::TestParamInfo<LinesOf> &info) { return info.param.name; });

TEST(IoInputs, ReadsTheCamerasInputLevels) {
  ocamsim::Options options;
  options.cameraPort = -1;
  ocamsim::Simulator sim(options);
  sim.start();
  OCameraInputs *inputs = CreateCameraInputs(sim.ioAddress().c_str());
  ASSERT_NE(inputs, nullptr);
  ASSERT_EQ(inputs->iOpen(), 0);
  for (int levels : {2, 3, 1, 0}) {
    SCOPED_TRACE(levels);
    sim.setInputs(levels);
    EXPECT_EQ(inputs->iGetInput(OCameraInputs::INPUT_ALL), levels);
    EXPECT_EQ(inputs->iGetInput(OCameraInputs::INPUT_I1), levels >> 1);
    EXPECT_EQ(inputs->iGetInputs() & 3, levels);
  }
  inputs->destroy();
}

}  // namespace
}  // namespace ocamera_test
