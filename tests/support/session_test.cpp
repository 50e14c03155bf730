// Device sessions against the simulated camera: open, close, keep-alive
// requests and the keep-alive loop's schedule and failure handling.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "ocamH.h"
#include "sim_fixture.h"

namespace {

using mox::webservice::WebServiceException;
using mox::webservice::client::SoapGuard;
using ocamsim::Fault;
using ocamsim::FaultKind;
using support_test::Clock;
using support_test::msBetween;

const char kKeepAlive[] = "rdev:keepAlive";
const char kClose[] = "rdev:close";
const char kOpen[] = "rdev:open";
const char kFailureLine[] = "failure keep-alive";

Fault keepAliveFault(FaultKind kind, int count) {
  Fault f{kind, kKeepAlive};
  f.count = count;
  return f;
}

class Session : public support_test::SimFixture {};

// --- open and close -------------------------------------------------------------

TEST_F(Session, OpenSendsTheDeviceIdAndKeepsTheToken) {
  startDevice(10);
  EXPECT_FALSE(device_->isOpen());
  device_->open(false, 3);
  EXPECT_TRUE(device_->isOpen());
  seen(kOpen, 1);
  EXPECT_TRUE(sim_->sessionOpen(device_->token()));

  try {
    device_->open(false, 3);
    ADD_FAILURE() << "second open did not raise";
  } catch (const WebServiceException &e) {
    EXPECT_EQ(e.message(), "Device already open");
  }
  EXPECT_TRUE(device_->isOpen());
  settle();
  EXPECT_EQ(sim_->count(kOpen), 1u);
}

TEST_F(Session, CloseSendsOnceAndAClosedDeviceOpensAgainWithANewToken) {
  startDevice(10);
  device_->close();  // never opened: nothing to send

  device_->open(false, 3);
  const int first = device_->token();
  device_->close();
  device_->close();
  EXPECT_FALSE(device_->isOpen());
  EXPECT_FALSE(sim_->sessionOpen(first));

  device_->open(false, 3);
  EXPECT_NE(device_->token(), first);
  EXPECT_TRUE(sim_->sessionOpen(device_->token()));
  settle();
  auto closes = entries(kClose);
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0].token, first);
  EXPECT_EQ(sim_->count(kOpen), 2u);
}

TEST_F(Session, OpenOfAnUnknownDeviceRaisesTheFaultAndStartsNothing) {
  startCamera(0);
  mox::webservice::Descriptor unknown;
  unknown.id = 99;
  unknown.maxTimeout = 0;  // a running loop would send at once
  mox::webservice::client::Device device(&unknown, manager_->soapCache());
  EXPECT_THROW(device.open(true, 3), WebServiceException);
  EXPECT_FALSE(device.isOpen());
  device.close();
  settle();
  EXPECT_EQ(sim_->count(kOpen), 1u);
  EXPECT_EQ(sim_->count(kKeepAlive), 0u);
  EXPECT_EQ(sim_->count(kClose), 0u);
  EXPECT_EQ(manager_->soapCache().lentCount(), 0u);
}

TEST_F(Session, KeepAliveRequestReportsFailureAndClosesOnlyWhenAsked) {
  startDevice(10);
  device_->open(false, 3);
  EXPECT_TRUE(device_->keepAlive(false));

  sim_->inject(keepAliveFault(FaultKind::SoapFault, 1));
  EXPECT_FALSE(device_->keepAlive(false));
  EXPECT_TRUE(device_->isOpen());

  sim_->inject(keepAliveFault(FaultKind::DropAfterRequest, 1));
  EXPECT_FALSE(device_->keepAlive(true));
  EXPECT_FALSE(device_->isOpen());
  settle();
  auto closes = entries(kClose);
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0].token, device_->token());
  for (const auto &e : entries(kKeepAlive)) EXPECT_EQ(e.token, device_->token());
  EXPECT_EQ(manager_->soapCache().lentCount(), 0u);
}

// --- the keep-alive loop --------------------------------------------------------

// maxTimeout 1: half of it is one step, so one request per 500 ms step.
TEST_F(Session, OneRequestPerStepWithATimeOutOfOneSecond) {
  startDevice(1);
  const Clock::time_point opened = Clock::now();
  device_->open(true, 3);
  std::vector<Clock::time_point> at;
  for (std::size_t n = 1; n <= 4; ++n) at.push_back(seen(kKeepAlive, n));

  // Only completed steps count, so request n goes out n steps after the start at the earliest.
  for (std::size_t n = 1; n <= at.size(); ++n)
    EXPECT_GE(msBetween(opened, at[n - 1]), static_cast<long>(n) * 500) << "request " << n;
  for (std::size_t n = 1; n < at.size(); ++n) {
    EXPECT_GE(msBetween(at[n - 1], at[n]), 350) << "requests " << n << " and " << n + 1;
    EXPECT_LT(msBetween(at[n - 1], at[n]), 950) << "requests " << n << " and " << n + 1;
  }
  // Two seconds are twice the camera's time-out: only the requests kept it open.
  EXPECT_TRUE(sim_->sessionOpen(device_->token()));
  EXPECT_TRUE(device_->isOpen());
  device_->close();
  settle();
  for (const auto &e : entries(kKeepAlive)) EXPECT_EQ(e.token, device_->token());
  EXPECT_EQ(out_.count(kFailureLine), 0u);
  EXPECT_EQ(sim_->count(kClose), 1u);
}

TEST_F(Session, TimeOutZeroSendsAtOnceAndThenEveryStep) {
  startDevice(0);
  const Clock::time_point opened = Clock::now();
  device_->open(true, 3);
  const Clock::time_point first = seen(kKeepAlive, 1);
  const Clock::time_point second = seen(kKeepAlive, 2);
  EXPECT_LT(msBetween(opened, first), 500);
  EXPECT_GE(msBetween(opened, second), 500);
  device_->close();
}

// maxTimeout 2: a request every second; after a failure the next one comes
// after half of that, and a success restores the full period. Failure,
// success, failure, success keeps the session.
TEST_F(Session, SingleFailuresAreRetriedAtHalfThePeriodAndKeepTheSession) {
  startDevice(2);
  sim_->inject(keepAliveFault(FaultKind::SoapFault, 1));
  device_->open(true, 3);
  const Clock::time_point failed1 = seen(kKeepAlive, 1);
  ASSERT_TRUE(out_.waitForCount(kFailureLine, 1, 5000));
  const Clock::time_point retried1 = seen(kKeepAlive, 2);
  sim_->inject(keepAliveFault(FaultKind::DropAfterRequest, 1));
  const Clock::time_point failed2 = seen(kKeepAlive, 3, 3000);
  const Clock::time_point retried2 = seen(kKeepAlive, 4);

  EXPECT_GE(msBetween(failed1, retried1), 350);
  EXPECT_LT(msBetween(failed1, retried1), 850);  // half the period: one step
  EXPECT_GE(msBetween(retried1, failed2), 850);  // the full period again: two steps
  EXPECT_LT(msBetween(retried1, failed2), 1450);
  EXPECT_LT(msBetween(failed2, retried2), 850);

  const auto keepAlives = entries(kKeepAlive);
  ASSERT_GE(keepAlives.size(), 4u);
  EXPECT_TRUE(keepAlives[0].injected);
  EXPECT_FALSE(keepAlives[1].injected);
  EXPECT_TRUE(keepAlives[2].injected);
  EXPECT_FALSE(keepAlives[3].injected);
  EXPECT_TRUE(device_->isOpen());
  EXPECT_TRUE(sim_->sessionOpen(device_->token()));

  device_->close();
  settle();
  EXPECT_EQ(sim_->count(kClose), 1u);  // ours: the loop closed nothing
  EXPECT_EQ(out_.count(kFailureLine), 2u);
  EXPECT_EQ(out_.text(), "failure keep-alive\nfailure keep-alive\n");
}

TEST_F(Session, TwoFailuresInARowCloseTheSessionAndEndTheLoop) {
  startDevice(1);
  sim_->inject(keepAliveFault(FaultKind::DropAfterRequest, 1));
  sim_->inject(keepAliveFault(FaultKind::SoapFault, 1));
  device_->open(true, 3);
  const int token = device_->token();
  seen(kClose, 1);
  ASSERT_TRUE(out_.waitForCount(kFailureLine, 2, 5000));

  // Waits for the loop to end; the session is closed already, so nothing more goes out.
  device_->close();
  EXPECT_FALSE(device_->isOpen());
  EXPECT_FALSE(sim_->sessionOpen(token));
  EXPECT_EQ(out_.count(kFailureLine), 2u);
  EXPECT_EQ(manager_->soapCache().lentCount(), 0u);

  // The device opens again with a fresh loop.
  device_->open(true, 3);
  const int second = device_->token();
  seen(kKeepAlive, 3);
  device_->close();
  settle();
  const auto keepAlives = entries(kKeepAlive);
  ASSERT_EQ(keepAlives.size(), 3u);
  EXPECT_EQ(keepAlives[1].token, token);
  EXPECT_EQ(keepAlives[2].token, second);
  auto closes = entries(kClose);
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_EQ(closes[0].token, token);
  EXPECT_EQ(closes[1].token, second);
}

TEST_F(Session, CloseWhileTheLoopSleepsReturnsAtOnce) {
  startDevice(1);
  device_->open(true, 3);
  seen(kKeepAlive, 1);  // answered: the loop now sleeps for a step
  const Clock::time_point start = Clock::now();
  device_->close();
  EXPECT_LT(msBetween(start, Clock::now()), 250);
  EXPECT_FALSE(device_->isOpen());
  settle();
  EXPECT_EQ(sim_->count(kKeepAlive), 1u);
  EXPECT_EQ(sim_->count(kClose), 1u);
}

TEST_F(Session, DestroyingAnOpenDeviceClosesItsSession) {
  startDevice(1);
  device_->open(true, 3);
  const int token = device_->token();
  seen(kKeepAlive, 1);
  device_.reset();
  settle();
  EXPECT_EQ(sim_->count(kClose), 1u);
  EXPECT_FALSE(sim_->sessionOpen(token));
  EXPECT_EQ(manager_->soapCache().lentCount(), 0u);
}

// The application closes just as the loop closes after its second failure:
// the camera sees exactly one "rdev:close".
TEST_F(Session, ApplicationAndLoopClosingTogetherSendOneClose) {
  startDevice(0);
  sim_->inject(keepAliveFault(FaultKind::SoapFault, 2));
  device_->open(true, 3);
  seen(kKeepAlive, 2);  // the second failure is being answered
  device_->close();
  EXPECT_FALSE(device_->isOpen());
  settle();
  EXPECT_EQ(sim_->count(kClose), 1u);
  EXPECT_EQ(sim_->count(kKeepAlive), 2u);
}

// Requests of several application threads share the pool with the loop.
TEST_F(Session, ApplicationThreadsAndTheLoopShareThePool) {
  startDevice(0);  // the loop sends every step
  device_->open(true, 3);
  std::atomic<int> failures{0};
  auto worker = [&] {
    for (int i = 0; i < 25; ++i) {
      SoapGuard lease(device_->soapCache(), false);
      ocam::rdev__keepAliveResponse out;
      if (ocam::soap_call_rdev__keepAlive(lease.context(), lease.endpoint(), "", device_->token(),
                                          &out) != SOAP_OK)
        ++failures;
      if (!device_->isOpen()) ++failures;
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back(worker);
  for (auto &t : threads) t.join();
  seen(kKeepAlive, 102);  // at least two of the loop's own
  device_->close();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(out_.count(kFailureLine), 0u);
  EXPECT_EQ(manager_->soapCache().lentCount(), 0u);
  EXPECT_GE(manager_->soapCache().freeCount(), 4u);
}

}  // namespace
