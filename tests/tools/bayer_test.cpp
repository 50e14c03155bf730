// Bayer conversion: the worked examples, the pattern dispatch and guard, the
// gains, and the fast conversion against the plain per-pixel one.

#include "tools/bayer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "ocamera/tools.h"
#include "tools/bayer_reference.h"
#include "tools/temp_directory.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Pattern = OCameraTools::eBayerPattern;
using ocamera::tools::BayerIsa;

constexpr std::uint8_t kSentinel = 0xa5;

Bytes RandomFrame(int width, int height, std::mt19937 &random) {
  Bytes frame(static_cast<size_t>(width) * height);
  for (auto &sample : frame) sample = static_cast<std::uint8_t>(random());
  return frame;
}

Bytes Plain(Bytes source, int width, int height, int pattern) {
  Bytes out(source.size() * 3, kSentinel);
  OCameraTools::Bayer2RGB(source.data(), out.data(), width, height, Pattern(pattern));
  return out;
}

Bytes Balanced(Bytes source, int width, int height, int red, int green, int blue, int pattern) {
  Bytes out(source.size() * 3, kSentinel);
  OCameraTools::Bayer2RGBWhiteBalance(source.data(), out.data(), width, height, red, green, blue,
                                      Pattern(pattern));
  return out;
}

// What a uniform frame of `value` becomes in `channel` with `factor` on that
// channel: demosaicing a uniform frame gives the value itself everywhere.
int Gained(unsigned value, int factor, int channel) {
  constexpr int kWidth = 70, kHeight = 4;  // wide enough for the vector rows
  int factors[3] = {100, 100, 100};
  factors[channel] = factor;
  const Bytes out = Balanced(Bytes(kWidth * kHeight, static_cast<std::uint8_t>(value)), kWidth,
                             kHeight, factors[0], factors[1], factors[2], 1);
  for (size_t i = channel; i < out.size(); i += 3) {
    if (out[i] != out[channel]) return -1;  // not uniform: reported as an impossible value
  }
  return out[channel];
}

TEST(Bayer2RGB, ConvertsTheTwoByTwoExamples) {
  const Bytes samples = {10, 20, 30, 40};
  EXPECT_EQ(Plain(samples, 2, 2, OCameraTools::BAYER_PATTERN_GRGR),
            (Bytes{20, 10, 30, 20, 10, 30, 20, 40, 30, 20, 40, 30}));
  EXPECT_EQ(Plain(samples, 2, 2, OCameraTools::BAYER_PATTERN_BGBG),
            (Bytes{40, 20, 10, 40, 20, 10, 40, 30, 10, 40, 30, 10}));
}

TEST(Bayer2RGB, ConvertsEveryUnknownPatternAsGrgr) {
  std::mt19937 random(1);
  const Bytes frame = RandomFrame(37, 9, random);
  const Bytes grgr = Plain(frame, 37, 9, 1);
  ASSERT_NE(grgr, Plain(frame, 37, 9, 2));
  for (int pattern : {0, 5, 7, -1, 1 << 30}) {
    EXPECT_EQ(Plain(frame, 37, 9, pattern), grgr) << "pattern " << pattern;
    EXPECT_EQ(Balanced(frame, 37, 9, 90, 110, 130, pattern),
              Balanced(frame, 37, 9, 90, 110, 130, 1))
        << "pattern " << pattern;
  }
}

TEST(Bayer2RGB, LeavesTheDestinationUntouchedWhenItDoesNotConvert) {
  std::mt19937 random(2);
  Bytes frame = RandomFrame(8, 8, random);
  const Bytes untouched(frame.size() * 3, kSentinel);
  for (int pattern : {3, 4}) {
    EXPECT_EQ(Plain(frame, 8, 8, pattern), untouched);
    EXPECT_EQ(Balanced(frame, 8, 8, 150, 150, 150, pattern), untouched);
  }
  for (auto [width, height] : {std::pair{1, 8}, {8, 1}, {0, 8}, {8, 0}, {-2, 8}, {8, -2}, {1, 1}}) {
    Bytes out = untouched;
    OCameraTools::Bayer2RGB(frame.data(), out.data(), width, height, Pattern(1));
    OCameraTools::Bayer2RGBWhiteBalance(frame.data(), out.data(), width, height, 50, 50, 50,
                                        Pattern(2));
    EXPECT_EQ(out, untouched) << width << " x " << height;
  }
  Bytes out = untouched;
  OCameraTools::Bayer2RGB(nullptr, out.data(), 8, 8, Pattern(1));
  OCameraTools::Bayer2RGBWhiteBalance(nullptr, out.data(), 8, 8, 50, 50, 50, Pattern(1));
  EXPECT_EQ(out, untouched);
  // A null destination must simply be ignored.
  OCameraTools::Bayer2RGB(frame.data(), nullptr, 8, 8, Pattern(1));
  OCameraTools::Bayer2RGBWhiteBalance(frame.data(), nullptr, 8, 8, 50, 50, 50, Pattern(1));
}

TEST(Bayer2RGBWhiteBalance, UnityFactorsGiveThePlainConversion) {
  std::mt19937 random(3);
  const Bytes frame = RandomFrame(67, 11, random);
  for (int pattern : {1, 2}) {
    EXPECT_EQ(Balanced(frame, 67, 11, 100, 100, 100, pattern), Plain(frame, 67, 11, pattern));
  }
}

TEST(Bayer2RGBWhiteBalance, ScalesEachChannelByItsFactor) {
  for (int channel = 0; channel < 3; ++channel) {
    SCOPED_TRACE(channel);
    EXPECT_EQ(Gained(100, 101, channel), 100);
    EXPECT_EQ(Gained(252, 101, channel), 254);
    EXPECT_EQ(Gained(253, 101, channel), 255);
    EXPECT_EQ(Gained(255, 101, channel), 255);
    EXPECT_EQ(Gained(100, 99, channel), 98);
    EXPECT_EQ(Gained(1, 99, channel), 0);
    EXPECT_EQ(Gained(100, 150, channel), 150);
    EXPECT_EQ(Gained(169, 150, channel), 253);
    EXPECT_EQ(Gained(170, 150, channel), 255);
    EXPECT_EQ(Gained(200, 0, channel), 0);
    EXPECT_EQ(Gained(0, -1, channel), 0);
    EXPECT_EQ(Gained(1, -1, channel), 255);
    EXPECT_EQ(Gained(128, -250, channel), 255);
  }
  // The factor applies to its own channel only.
  EXPECT_EQ(Balanced(Bytes(16, 80), 4, 4, 50, 100, 200, 1)[0], 40);
  EXPECT_EQ(Balanced(Bytes(16, 80), 4, 4, 50, 100, 200, 1)[1], 80);
  EXPECT_EQ(Balanced(Bytes(16, 80), 4, 4, 50, 100, 200, 1)[2], 160);
}

TEST(Bayer2RGBWhiteBalance, LargeFactorsSaturateInsteadOfWrapping) {
  // 25701 %: 255 * scale passes 2^32, and a 32-bit product would turn white into 1.
  EXPECT_EQ(Gained(255, 25701, 1), 255);
  // 65636 %: factor * 65536 passes 2^32, and a 32-bit scale would act as 100 %.
  EXPECT_EQ(Gained(100, 65636, 0), 255);
  EXPECT_EQ(Gained(1, 32768, 2), 255);
  EXPECT_EQ(Gained(0, 2147483647, 2), 0);
  EXPECT_EQ(Gained(1, 2147483647, 2), 255);
  EXPECT_EQ(Gained(1, -2147483647 - 1, 0), 255);
}

TEST(Bayer2RGBWhiteBalance, KeepsThe32BitResultWhereThatDoesNotOverflow) {
  for (int factor : {-32768, -100, -1, 1, 37, 99, 101, 150, 333, 1000, 9999, 25000, 25699, 32767}) {
    const std::int64_t scale = static_cast<std::int64_t>(factor) * 65536 / 100;
    for (unsigned v = 0; v < 256; v += 3) {
      const std::int64_t product = v * scale;
      if (product < INT32_MIN || product > INT32_MAX) continue;
      const std::uint32_t bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(product));
      const int expected = bits >= 0x1000000 ? 255 : static_cast<int>(bits >> 16);
      ASSERT_EQ(Gained(v, factor, 1), expected) << "factor " << factor << " value " << v;
    }
  }
}

// The fast conversion, on every instruction set this machine runs, against the
// per-pixel one: every parity of width and height, widths around the vector
// widths (a block of 16, 32 or 64 pixels needs a width of at least 20, 36 or
// 68), both patterns, plain and with gains.
TEST(ConvertBayer, EqualsThePlainPerPixelConversion) {
  std::mt19937 random(4);
  std::uniform_int_distribution<int> moderate(-300, 400);
  std::uniform_int_distribution<int> any(INT32_MIN, INT32_MAX);
  const int widths[] = {2,  3,  4,  5,  6,  7,  16, 17, 18, 19, 20,  21,  22,  34,  35,  36,
                        37, 38, 39, 49, 66, 67, 68, 69, 70, 71, 101, 130, 131, 132, 133, 200};
  const int heights[] = {2, 3, 4, 5, 8, 9};
  int checked = 0;
  for (BayerIsa isa :
       {BayerIsa::kScalar, BayerIsa::kSsse3, BayerIsa::kAvx2, BayerIsa::kAvx512Vbmi}) {
    if (!ocamera::tools::BayerIsaAvailable(isa)) {
      std::printf("instruction set %d not available here: not checked\n", static_cast<int>(isa));
      continue;
    }
    for (int width : widths) {
      for (int height : heights) {
        const Bytes frame = RandomFrame(width, height, random);
        const size_t size = frame.size() * 3;
        for (int pattern : {1, 2}) {
          // Forms: plain; moderate factors; any factors; unity factors through the gains.
          for (int form = 0; form < 4; ++form) {
            int factors[3] = {100, 100, 100};
            for (int &f : factors) f = form == 1 ? moderate(random) : form == 2 ? any(random) : 100;
            ocamera::tools::ChannelGains gains;
            ocamera::tools::PrepareGains(factors[0], factors[1], factors[2], &gains);
            Bytes expected(size, kSentinel);
            bayer_reference::Convert(frame.data(), expected.data(), width, height, pattern,
                                     form == 0 ? nullptr : factors);
            // Bytes beyond the frame must stay as they were.
            Bytes actual(size + 64, kSentinel);
            ocamera::tools::ConvertBayer(frame.data(), actual.data(), width, height, pattern == 2,
                                         form == 0 ? nullptr : &gains, isa);
            ASSERT_EQ(Bytes(actual.begin() + size, actual.end()), Bytes(64, kSentinel));
            actual.resize(size);
            ASSERT_EQ(actual, expected) << "isa " << static_cast<int>(isa) << ", " << width << " x "
                                        << height << ", pattern " << pattern << ", factors "
                                        << factors[0] << " " << factors[1] << " " << factors[2];
            ++checked;
          }
        }
      }
    }
  }
  EXPECT_GE(checked, static_cast<int>(std::size(widths) * std::size(heights) * 8));
}

TEST(ConvertBayer, PublicFunctionsEqualThePlainPerPixelConversionOnALargeFrame) {
  std::mt19937 random(5);
  constexpr int kWidth = 643, kHeight = 481;
  const Bytes frame = RandomFrame(kWidth, kHeight, random);
  for (int pattern : {1, 2}) {
    Bytes expected(frame.size() * 3);
    bayer_reference::Convert(frame.data(), expected.data(), kWidth, kHeight, pattern, nullptr);
    EXPECT_EQ(Plain(frame, kWidth, kHeight, pattern), expected);
    const int factors[3] = {87, 131, 260};
    bayer_reference::Convert(frame.data(), expected.data(), kWidth, kHeight, pattern, factors);
    EXPECT_EQ(Balanced(frame, kWidth, kHeight, 87, 131, 260, pattern), expected);
  }
}

using Bayer2RGBBuiltIn = InTemporaryDirectory;

TEST_F(Bayer2RGBBuiltIn, ConvertsWithTheFactorsOfTheFileOrUnityGains) {
  struct Case {
    const char *file;  // null: no file
    int result;
    int red, green, blue;  // the factors the conversion must have used
  } const cases[] = {
      {nullptr, -2, 100, 100, 100},
      {"# white balance configuration file\nred=120\ngreen=100\nblue=85\n", 0, 120, 100, 85},
      // An incomplete file gives unity gains, also for the factors it has.
      {"red=50\ngreen=60\n", -11, 100, 100, 100},
      // A key without a number counts as present; its factor stays at unity.
      {"red=abc\ngreen=60\nblue=140\n", 0, 100, 60, 140},
  };
  std::mt19937 random(6);
  Bytes frame = RandomFrame(40, 6, random);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file ? c.file : "no file");
    std::filesystem::remove("wb.conf");
    if (c.file) WriteFactorsFile(c.file);
    for (int pattern : {1, 2}) {
      Bytes out(frame.size() * 3, kSentinel);
      EXPECT_EQ(OCameraTools::Bayer2RGBBuiltIn(frame.data(), out.data(), 40, 6, Pattern(pattern)),
                c.result);
      EXPECT_EQ(out, Balanced(frame, 40, 6, c.red, c.green, c.blue, pattern));
    }
  }
}

}  // namespace
