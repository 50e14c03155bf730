// Fault injection seen from the client side, in both framings, and the
// request log that records it.
#include <gtest/gtest.h>

#include "sim_client.h"

using ocamsim::Fault;
using ocamsim::FaultKind;
using simtest::Client;
using simtest::kFailed;
namespace st = ocamsim::status;

namespace {

using namespace ocam;

Fault fault(FaultKind kind, const std::string &op, int count = -1) {
  Fault f{kind, op};
  f.count = count;
  return f;
}

class SimFaults : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ocamsim::Options o;
    o.sensorWidth = 160;
    o.sensorHeight = 120;
    sim_ = std::make_unique<ocamsim::Simulator>(o);
    sim_->start();
    c_ = std::make_unique<Client>(sim_->cameraAddress(), GetParam(), 3);
    t_ = c_->openCamera();
    ASSERT_NE(t_, kFailed);
  }
  int setGain(int g) { return c_->status(soap_call_scam__setGain, t_, g); }
  const ocamsim::LogEntry last() { return sim_->log().back(); }

  std::unique_ptr<ocamsim::Simulator> sim_;
  std::unique_ptr<Client> c_;
  int t_ = 0;
};

TEST_P(SimFaults, DelayHoldsTheReply) {
  Fault f = fault(FaultKind::Delay, "scam:setGain", 1);
  f.delayMs = 200;
  sim_->inject(f);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(setGain(3), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
  EXPECT_TRUE(last().injected);
  EXPECT_EQ(sim_->gain(), 3);
}

TEST_P(SimFaults, DroppedConnectionsFailTheCallOnce) {
  sim_->inject(fault(FaultKind::DropBeforeRequest, "scam:setGain", 1));
  EXPECT_EQ(setGain(5), kFailed);
  EXPECT_EQ(sim_->gain(), 1);  // never reached the camera
  EXPECT_EQ(setGain(5), 0);

  sim_->inject(fault(FaultKind::DropAfterRequest, "scam:setGain", 1));
  EXPECT_EQ(setGain(6), kFailed);
  EXPECT_EQ(sim_->gain(), 6);  // carried out, the answer lost
  EXPECT_TRUE(last().injected);
  EXPECT_EQ(last().operation, "scam:setGain");
  EXPECT_EQ(setGain(7), 0);
}

TEST_P(SimFaults, SoapFaultReachesTheClient) {
  sim_->inject(fault(FaultKind::SoapFault, ""));
  EXPECT_EQ(setGain(2), kFailed);
  EXPECT_EQ(c_->lastResult(), SOAP_SVR_FAULT);
  EXPECT_EQ(c_->lastFault(), "simulated fault");
  EXPECT_EQ(c_->keepAlive(t_), SOAP_SVR_FAULT);
  sim_->clearFaults();
  EXPECT_EQ(setGain(2), 0);
}

TEST_P(SimFaults, MalformedAndUnexpectedRepliesFailTheCall) {
  for (FaultKind kind : {FaultKind::MalformedXml, FaultKind::UnexpectedElement}) {
    sim_->inject(fault(kind, "", 3));
    EXPECT_EQ(setGain(4), kFailed);
    scam__SingleImageResponse img;
    EXPECT_EQ(c_->setMode(t_, 2), kFailed);
    EXPECT_EQ(sim_->acquisitionMode(), 2);
    EXPECT_NE(c_->call(soap_call_scam__getSingleImage, img, t_), SOAP_OK);
    EXPECT_NE(c_->lastResult(), SOAP_SVR_FAULT);
    EXPECT_EQ(setGain(4), 0);
  }
}

TEST_P(SimFaults, PayloadsCanBeTruncatedOrPadded) {
  EXPECT_EQ(c_->setMode(t_, 3), 0);
  sim_->writeRam(0, std::vector<std::uint8_t>(100, 1));
  for (FaultKind kind : {FaultKind::TruncateData, FaultKind::PadData}) {
    Fault f = fault(kind, "", 2);
    f.bytes = 10;
    sim_->inject(f);
    const int delta = kind == FaultKind::PadData ? 10 : -10;
    scam__SingleImageResponse img;
    ASSERT_EQ(c_->call(soap_call_scam__getSingleImage, img, t_), SOAP_OK);
    EXPECT_EQ(img.nSize, 160 * 120);
    EXPECT_EQ(img.data.__size, 160 * 120 + delta);
    // Operations without a payload are not affected and leave the count alone.
    EXPECT_EQ(setGain(2), 0);
    scam__readImageRAMResponse ram;
    ASSERT_EQ(c_->call(soap_call_scam__readImageRAM, ram, t_, 0u, 100u), SOAP_OK);
    EXPECT_EQ(ram.data.__size, 100 + delta);
    ASSERT_EQ(c_->call(soap_call_scam__readImageRAM, ram, t_, 0u, 100u), SOAP_OK);
    EXPECT_EQ(ram.data.__size, 100);
    c_->release();
  }
}

TEST_P(SimFaults, StatusOverridesTheAnswer) {
  Fault f = fault(FaultKind::Status, "scam:setAcquisitionMode", 1);
  f.status = 7;
  sim_->inject(f);
  EXPECT_EQ(c_->setMode(t_, 2), 7);
  EXPECT_EQ(sim_->acquisitionMode(), 2);
  EXPECT_EQ(last().status, 7);
  EXPECT_TRUE(last().injected);
  EXPECT_EQ(c_->setMode(t_, 2), 0);

  Fault create = fault(FaultKind::Status, "scam:create");
  create.status = 5;
  sim_->inject(create);
  const int other = c_->open(1);
  EXPECT_EQ(c_->status(soap_call_scam__create, other, scam__eCameraType__CAM_TYPE_GENERIC), 5);
}

TEST_P(SimFaults, SilentKeepAliveLeavesTheCallerWaiting) {
  sim_->inject(fault(FaultKind::SilentKeepAlive, ""));
  EXPECT_EQ(setGain(3), 0);  // only keep-alives are affected
  Client other(sim_->cameraAddress(), GetParam(), 1);
  EXPECT_NE(other.keepAlive(t_), SOAP_OK);  // the client's own 1 s time-out ends it
  EXPECT_TRUE(sim_->waitForCount("rdev:keepAlive", 1, 1000));
  EXPECT_EQ(setGain(4), 0);
}

INSTANTIATE_TEST_SUITE_P(Framing, SimFaults, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "http" : "bare"; });

TEST(SimLog, RecordsEveryRequestInOrder) {
  ocamsim::Simulator sim;
  sim.start();
  Client c(sim.cameraAddress());
  Client io(sim.ioAddress(), false);
  const int t = c.openCamera();
  EXPECT_EQ(c.status(soap_call_scam__setGain, t, 40), st::kBadArgument);
  EXPECT_EQ(io.keepAlive(t), SOAP_OK);
  const std::vector<ocamsim::LogEntry> log = sim.log();
  ASSERT_EQ(log.size(), 5u);
  const char *ops[] = {"rdev:open", "scam:create", "scam:open", "scam:setGain", "rdev:keepAlive"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(log[i].operation, ops[i]);
    EXPECT_GT(log[i].requestBytes, 200u);
    EXPECT_GT(log[i].replyBytes, 200u);
    EXPECT_FALSE(log[i].injected);
  }
  EXPECT_EQ(log[0].token, 0);
  EXPECT_EQ(log[3].token, t);
  EXPECT_EQ(log[3].status, st::kBadArgument);
  EXPECT_EQ(log[4].token, t);
  EXPECT_EQ(log[3].port, static_cast<unsigned>(sim.cameraPort()));
  EXPECT_EQ(log[4].port, static_cast<unsigned>(sim.ioPort()));
  EXPECT_EQ(sim.count("scam:setGain"), 1u);
  sim.clearLog();
  EXPECT_TRUE(sim.log().empty());
  EXPECT_EQ(sim.count("scam:setGain"), 0u);
}

}  // namespace
