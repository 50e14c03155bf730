// The simulated image RAM: round trips, copies, the reduced read, frames
// stored into RAM, and addresses outside it.
#include <gtest/gtest.h>

#include <random>

#include "sim_client.h"

using simtest::Client;
namespace st = ocamsim::status;

namespace {

using namespace ocam;

class SimRam : public ::testing::Test {
 protected:
  void SetUp() override {
    ocamsim::Options o;
    o.sensorWidth = 320;
    o.sensorHeight = 240;
    o.imageRamSize = 4u << 20;
    sim_ = std::make_unique<ocamsim::Simulator>(o);
    sim_->start();
    c_ = std::make_unique<Client>(sim_->cameraAddress());
    t_ = c_->openCamera();
    ASSERT_NE(t_, simtest::kFailed);
  }

  int write(std::vector<std::uint8_t> bytes, unsigned addr, unsigned len) {
    return c_->status(soap_call_scam__writeImageRAM, t_, simtest::payload(bytes), addr, len);
  }
  int write(const std::vector<std::uint8_t> &bytes, unsigned addr) {
    return write(bytes, addr, static_cast<unsigned>(bytes.size()));
  }
  // Status of the read; the bytes in `out`.
  int read(unsigned addr, unsigned len, std::vector<std::uint8_t> &out) {
    scam__readImageRAMResponse r;
    EXPECT_EQ(c_->call(soap_call_scam__readImageRAM, r, t_, addr, len), SOAP_OK);
    out.assign(r.data.__ptr, r.data.__ptr + r.data.__size);
    c_->release();
    return r.status;
  }
  int reduced(unsigned addr, unsigned len, std::vector<std::uint8_t> &out, unsigned &retlen) {
    scam__readImageRAMReducedDataResponse r;
    EXPECT_EQ(c_->call(soap_call_scam__readImageRAMReducedData, r, t_, addr, len), SOAP_OK);
    out.assign(r.data.__ptr, r.data.__ptr + r.data.__size);
    retlen = r.retlen;
    c_->release();
    return r.status;
  }

  std::unique_ptr<ocamsim::Simulator> sim_;
  std::unique_ptr<Client> c_;
  int t_ = 0;
};

TEST_F(SimRam, OneMebibyteRoundTrip) {
  std::vector<std::uint8_t> data(1u << 20);
  std::mt19937 rng(42);
  for (auto &b : data) b = static_cast<std::uint8_t>(rng());
  const unsigned addr = 123457;
  EXPECT_EQ(write(data, addr), 0);
  EXPECT_EQ(sim_->readRam(addr, data.size()), data);
  std::vector<std::uint8_t> back;
  EXPECT_EQ(read(addr, static_cast<unsigned>(data.size()), back), 0);
  EXPECT_EQ(back, data);
  // A zero-length read succeeds with no data.
  EXPECT_EQ(read(addr, 0, back), 0);
  EXPECT_TRUE(back.empty());
}

TEST_F(SimRam, CopyInitAndDisable) {
  sim_->writeRam(100, {1, 2, 3, 4, 5});
  EXPECT_EQ(c_->status(soap_call_scam__imageRAMToImageRAM, t_, 100u, 5u, 102u, 5u), 0);
  EXPECT_EQ(sim_->readRam(100, 7), (std::vector<std::uint8_t>{1, 2, 1, 2, 3, 4, 5}));
  EXPECT_EQ(c_->status(soap_call_scam__imageRAMToImageRAM, t_, 100u, 5u, 200u, 4u),
            st::kBadArgument);
  EXPECT_EQ(c_->status(soap_call_scam__disableImageRAM, t_), 0);
  std::vector<std::uint8_t> out;
  EXPECT_EQ(read(100, 4, out), st::kRamDisabled);
  EXPECT_EQ(write({9}, 0), st::kRamDisabled);
  EXPECT_EQ(c_->status(soap_call_scam__initImageRAM, t_), 0);
  EXPECT_EQ(read(100, 4, out), 0);
  EXPECT_EQ(out, std::vector<std::uint8_t>(4, 0));
}

TEST_F(SimRam, AddressesOutsideTheRamAreRefused) {
  const unsigned size = 4u << 20;
  std::vector<std::uint8_t> out;
  EXPECT_EQ(read(size - 4, 4, out), 0);
  EXPECT_EQ(read(size - 4, 5, out), st::kOutOfRange);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(read(0xFFFFFFFFu, 2, out), st::kOutOfRange);
  EXPECT_EQ(read(16, 0xFFFFFFF8u, out), st::kOutOfRange);
  EXPECT_EQ(write({1, 2}, size - 1), st::kOutOfRange);
  EXPECT_EQ(write({1, 2}, 0xFFFFFFFFu), st::kOutOfRange);
  EXPECT_EQ(write({1, 2}, 0, 3), st::kBadArgument);  // ulLen must match the data
  EXPECT_EQ(c_->status(soap_call_scam__imageRAMToImageRAM, t_, size - 2, 4u, 0u, 4u),
            st::kOutOfRange);
  EXPECT_EQ(c_->status(soap_call_scam__getImageToImageRAM, t_, size - 100), st::kOutOfRange);
  EXPECT_EQ(
      c_->status(soap_call_scam__setupImageSplitting, t_, scam__eSplitType__SPLIT_RAW, size, 1u),
      st::kOutOfRange);
  EXPECT_EQ(c_->status(soap_call_scam__setupImageCorrection, t_, true,
                       scam__eCorrectionType__CORRECTION_REPLACE, 0u, size / 2, 3u),
            st::kOutOfRange);
  EXPECT_EQ(c_->status(soap_call_scam__setupImageCorrection, t_, true,
                       scam__eCorrectionType__CORRECTION_REPLACE, 0u, size / 2, 2u),
            0);
  EXPECT_EQ(c_->status(soap_call_scam__setImageRAMPictureSize, t_, 4096, 4096), st::kOutOfRange);
  EXPECT_EQ(c_->status(soap_call_scam__setImageRAMPictureSize, t_, 640, 480), 0);
}

TEST_F(SimRam, ReducedReadIsRunLengthPairsCappedByTheLength) {
  std::vector<std::uint8_t> data;
  data.insert(data.end(), 300, 7);  // 255 + 45
  data.insert(data.end(), 3, 9);
  data.push_back(1);
  sim_->writeRam(1000, data);
  std::vector<std::uint8_t> out;
  unsigned retlen = 0;
  EXPECT_EQ(reduced(1000, static_cast<unsigned>(data.size()), out, retlen), 0);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{255, 7, 45, 7, 3, 9, 1, 1}));
  EXPECT_EQ(retlen, out.size());
  // Alternating bytes would double in size: only whole pairs within ulLen.
  sim_->writeRam(0, {1, 2, 3, 4, 5});
  EXPECT_EQ(reduced(0, 5, out, retlen), 0);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 1, 1, 2}));
  EXPECT_EQ(retlen, 4u);
  EXPECT_EQ(reduced(0xFFFFFF00u, 16, out, retlen), st::kOutOfRange);
  EXPECT_EQ(retlen, 0u);
}

TEST_F(SimRam, FrameGoesIntoRam) {
  EXPECT_EQ(c_->status(soap_call_scam__setCameraWindow, t_, 0, 0, 64, 32), 0);
  EXPECT_EQ(c_->setMode(t_, 2), 0);
  EXPECT_EQ(c_->status(soap_call_scam__getImageToImageRAM, t_, 4096u), 0);
  const std::vector<std::uint8_t> frame = sim_->readRam(4096, 64 * 32);
  EXPECT_NE(frame, std::vector<std::uint8_t>(64 * 32, 0));
  EXPECT_EQ(sim_->readRam(4096 + 64 * 32, 1), std::vector<std::uint8_t>(1, 0));
}

}  // namespace
