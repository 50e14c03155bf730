// The exception family, the fault text, and the context pool with its leases,
// against a loopback port that refuses connections.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ocamH.h"
#include "protocol/transport.h"
#include "support/device_manager.h"
#include "support/exception.h"
#include "support/soap_cache.h"
#include "support_helpers.h"

namespace {

using mox::MOXException;
using mox::webservice::WebServiceException;
using mox::webservice::client::DeviceManager;
using mox::webservice::client::SoapCache;
using mox::webservice::client::SoapGuard;
using mox::webservice::client::SoapItem;
using support_test::RefusedPort;

// --- exceptions and fault text ------------------------------------------------

TEST(Exceptions, WebServiceExceptionIsCaughtAsItsBasesButNotTheReverse) {
  try {
    throw WebServiceException("no route");
  } catch (const std::exception &e) {
    EXPECT_STREQ(e.what(), "no route");
    const auto *mox = dynamic_cast<const MOXException *>(&e);
    ASSERT_NE(mox, nullptr);
    EXPECT_EQ(mox->message(), "no route");
  }
  bool reachedOuterHandler = false;
  try {
    try {
      throw MOXException("Cache: item not found");
    } catch (const WebServiceException &) {
      FAIL() << "a plain MOXException must pass a WebServiceException handler";
    }
  } catch (const MOXException &e) {
    reachedOuterHandler = true;
    EXPECT_STREQ(e.what(), "Cache: item not found");
  }
  EXPECT_TRUE(reachedOuterHandler);
}

class FaultTextTest : public ::testing::Test {
 protected:
  FaultTextTest() : ctx_(soap_new()) {}
  ~FaultTextTest() override {
    soap_destroy(ctx_);
    soap_end(ctx_);
    soap_free(ctx_);
  }
  struct soap *ctx_;
};

TEST_F(FaultTextTest, EmptyFaultGivesAnEmptyText) {
  EXPECT_EQ(mox::webservice::faultText(ctx_), "");
}

TEST_F(FaultTextTest, PartsAppearOnlyWhenPresent) {
  *soap_faultdetail(ctx_) = "only a detail";
  EXPECT_EQ(mox::webservice::faultText(ctx_), " Details: only a detail");

  *soap_faultdetail(ctx_) = nullptr;
  *soap_faultcode(ctx_) = "SOAP-ENV:Client";
  EXPECT_EQ(mox::webservice::faultText(ctx_), "SOAP-ENV:Client: ");

  *soap_faultstring(ctx_) = "bad token";
  EXPECT_EQ(mox::webservice::faultText(ctx_), "SOAP-ENV:Client: bad token");

  *soap_faultdetail(ctx_) = "token 7 unknown";
  EXPECT_EQ(mox::webservice::faultText(ctx_),
            "SOAP-ENV:Client: bad token Details: token 7 unknown");

  *soap_faultcode(ctx_) = nullptr;
  EXPECT_EQ(mox::webservice::faultText(ctx_), "bad token Details: token 7 unknown");
}

// --- the pool -----------------------------------------------------------------

std::size_t pooled(const SoapCache &cache) { return cache.freeCount() + cache.lentCount(); }

TEST(ContextPool, ManagerPoolLendsFourWithoutMakingAnyAndAFifthOnDemand) {
  DeviceManager manager("127.0.0.1:1", true, "", 0);
  SoapCache &cache = manager.soapCache();
  EXPECT_EQ(cache.freeCount(), 4u);
  EXPECT_EQ(cache.lentCount(), 0u);

  std::vector<std::unique_ptr<SoapGuard>> leases;
  for (int i = 0; i < 4; ++i) leases.push_back(std::make_unique<SoapGuard>(cache, false));
  EXPECT_EQ(cache.freeCount(), 0u);
  EXPECT_EQ(pooled(cache), 4u);

  leases.push_back(std::make_unique<SoapGuard>(cache, false));
  EXPECT_EQ(cache.lentCount(), 5u);
  for (std::size_t i = 0; i < leases.size(); ++i)
    for (std::size_t j = i + 1; j < leases.size(); ++j)
      EXPECT_NE(leases[i]->context(), leases[j]->context());

  // Once the burst is over the pool is back to its four.
  leases.clear();
  EXPECT_EQ(cache.freeCount(), 4u);
  EXPECT_EQ(cache.lentCount(), 0u);
}

TEST(ContextPool, SequentialLeasesRotateThroughTheFourContexts) {
  DeviceManager manager("127.0.0.1:1", true, "", 0);
  std::vector<struct soap *> order;
  for (int i = 0; i < 9; ++i) {
    SoapGuard lease(manager.soapCache(), false);
    order.push_back(lease.context());
  }
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) EXPECT_NE(order[i], order[j]);
  for (int i = 4; i < 9; ++i) EXPECT_EQ(order[i], order[i - 4]) << "lease " << i;
  EXPECT_EQ(pooled(manager.soapCache()), 4u);
}

TEST(ContextPool, ReleasingAnUnknownOrTwiceReleasedItemRaisesAndChangesNothing) {
  DeviceManager manager("127.0.0.1:1", true, "", 0);
  SoapCache &cache = manager.soapCache();
  SoapItem *held = cache.acquire();
  SoapItem foreign(held->context());  // a copy the pool never lent
  ASSERT_EQ(cache.lentCount(), 1u);

  auto expectNotFound = [&](SoapItem *item) {
    try {
      cache.release(item);
      ADD_FAILURE() << "release did not raise";
    } catch (const WebServiceException &) {
      ADD_FAILURE() << "raised a WebServiceException";
    } catch (const MOXException &e) {
      EXPECT_EQ(e.message(), "Cache: item not found");
    }
  };
  expectNotFound(&foreign);
  EXPECT_EQ(cache.lentCount(), 1u);
  EXPECT_EQ(cache.freeCount(), 3u);

  SoapItem *lent = cache.acquire();
  cache.release(lent);
  const std::size_t freeBefore = cache.freeCount();
  expectNotFound(lent);
  EXPECT_EQ(cache.freeCount(), freeBefore);
  EXPECT_EQ(cache.lentCount(), 1u);

  // The pool still lends and takes back normally, the returned item last.
  std::vector<SoapItem *> all;
  for (std::size_t i = 0; i < freeBefore; ++i) all.push_back(cache.acquire());
  EXPECT_EQ(all.back(), lent);
  for (SoapItem *item : all) cache.release(item);
  cache.release(held);
  EXPECT_EQ(cache.freeCount(), 4u);
}

// --- leases against a refused port ----------------------------------------------

// A pool of one context whose endpoint the test can change between leases.
class RefusedLeaseTest : public ::testing::Test {
 protected:
  RefusedLeaseTest() {
    setEndpoint(refused_.address());
    struct soap prototype(SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE);
    ocamera::wire::configure(&prototype);
    prototype.connect_timeout = 2;
    cache_ = std::make_unique<SoapCache>(&prototype, endpoint_, 1);
  }
  void setEndpoint(const std::string &address) {
    ASSERT_LT(address.size(), sizeof endpoint_);
    address.copy(endpoint_, address.size());
    endpoint_[address.size()] = '\0';
  }
  static int list(SoapGuard &lease) {
    ocam::rdev__listResponse result;
    return ocam::soap_call_rdev__list(lease.context(), lease.endpoint(), "", result);
  }

  RefusedPort refused_;
  char endpoint_[64];
  std::unique_ptr<SoapCache> cache_;
};

TEST_F(RefusedLeaseTest, RaisingLeaseTurnsARefusedConnectionIntoTheFaultText) {
  struct soap *used = nullptr;
  try {
    SoapGuard lease(*cache_, true);
    used = lease.context();
    EXPECT_NE(list(lease), SOAP_OK);
    lease.finish();
    ADD_FAILURE() << "finish did not raise";
  } catch (const WebServiceException &e) {
    EXPECT_EQ(e.message(), support_test::refusedConnectionText());
  }
  // Back in the pool, reset but with its settings.
  EXPECT_EQ(cache_->lentCount(), 0u);
  EXPECT_EQ(cache_->freeCount(), 1u);
  EXPECT_EQ(used->error, SOAP_OK);
  EXPECT_EQ(used->connect_timeout, 2);
  EXPECT_NE(used->omode & SOAP_IO_KEEPALIVE, 0);
  struct soap configured;
  ocamera::wire::configure(&configured);
  EXPECT_EQ(used->fposthdr, configured.fposthdr);  // still writes the protocol's User-Agent

  // The same context fails the same way again: nothing of the first fault is left.
  SoapGuard again(*cache_, true);
  EXPECT_EQ(again.context(), used);
  EXPECT_NE(list(again), SOAP_OK);
  EXPECT_THROW(again.finish(), WebServiceException);
}

TEST_F(RefusedLeaseTest, SilentLeaseLeavesTheResultToTheCaller) {
  {
    SoapGuard lease(*cache_, false);
    EXPECT_NE(list(lease), SOAP_OK);
    EXPECT_NE(lease.context()->error, SOAP_OK);
    EXPECT_NO_THROW(lease.finish());
    EXPECT_EQ(lease.context(), nullptr);
    EXPECT_NO_THROW(lease.finish());  // a second finish does nothing
  }
  EXPECT_EQ(cache_->lentCount(), 0u);
}

TEST_F(RefusedLeaseTest, RaisingLeaseEndedByItsDestructorRaisesNothing) {
  try {
    SoapGuard lease(*cache_, true);
    EXPECT_NE(list(lease), SOAP_OK);
    throw std::runtime_error("the caller's own failure");
  } catch (const WebServiceException &) {
    ADD_FAILURE() << "the lease raised from its destructor";
  } catch (const std::runtime_error &e) {
    EXPECT_STREQ(e.what(), "the caller's own failure");
  }
  EXPECT_EQ(cache_->lentCount(), 0u);
}

}  // namespace
