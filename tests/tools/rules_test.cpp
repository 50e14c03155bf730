// The rules every front end takes from the library: white-balance text and
// the factors file, the Bayer layouts that convert, and the table of the
// stream's options.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "ocamera/stream_options.h"
#include "ocamera/tools.h"
#include "ocamera/white_balance.h"
#include "tools/temp_directory.h"

namespace {

using ocamera::WhiteBalance;
using ocamera::WhiteBalanceSetting;

TEST(WhiteBalanceText, ParsesTheThreeFormsAndNamesWhatIsWrong) {
  WhiteBalanceSetting wb;
  std::string error;
  ASSERT_TRUE(ocamera::parseWhiteBalance("120, 100,85", &wb, &error)) << error;
  EXPECT_EQ(wb.mode, WhiteBalance::Factors);
  EXPECT_EQ(ocamera::whiteBalanceText(wb), "120,100,85");
  ASSERT_TRUE(ocamera::parseWhiteBalance("FILE", &wb));
  EXPECT_EQ(wb.mode, WhiteBalance::File);
  EXPECT_EQ(wb.red, 120) << "the factors stay";
  ASSERT_TRUE(ocamera::parseWhiteBalance("0,10000,0", &wb));

  const WhiteBalanceSetting before = wb;
  for (const char *bad : {"-1,100,100", "100,10001,100", "1,2", "1,2,3,4", "1,,3", "x,1,2", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ocamera::parseWhiteBalance(bad, &wb, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ocamera::whiteBalanceText(wb), ocamera::whiteBalanceText(before)) << "untouched";
  }
  ocamera::parseWhiteBalance("100,10001,100", &wb, &error);
  EXPECT_EQ(error, "the green factor must be a whole number 0-10000 (percent), not '10001'");
}

using FactorsFileRules = InTemporaryDirectory;

TEST_F(FactorsFileRules, OnlyASmallRegularFileWithThreeFactorsInRangeIsRead) {
  WhiteBalanceSetting wb;
  std::string error;
  EXPECT_FALSE(ocamera::readWhiteBalanceFile(&wb, &error));
  EXPECT_NE(error.find("cannot read wb.conf"), std::string::npos) << error;

  WriteFactorsFile("red=120\ngreen=100\nblue=85\n");
  ASSERT_TRUE(ocamera::readWhiteBalanceFile(&wb, &error)) << error;
  EXPECT_EQ(ocamera::whiteBalanceText({WhiteBalance::Factors, wb.red, wb.green, wb.blue}),
            "120,100,85");

  struct Case {
    const char *text, *reason;
  };
  for (const Case c : {Case{"red=120\ngreen=100\n", "does not hold all three"},
                       Case{"red=20000\ngreen=100\nblue=1\n", "red=20000 is outside 0-10000"},
                       Case{"red=-5\ngreen=100\nblue=1\n", "red=-5 is outside"},
                       Case{"red=\ngreen=1\nblue=1\n", "red= has no number"}}) {
    SCOPED_TRACE(c.text);
    WriteFactorsFile(c.text);
    WhiteBalanceSetting kept{WhiteBalance::File, 1, 2, 3};
    EXPECT_FALSE(ocamera::readWhiteBalanceFile(&kept, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(kept.red, 1);
  }
  WriteFactorsFile(std::string(70000, '#'));
  EXPECT_FALSE(ocamera::readWhiteBalanceFile(&wb, &error));
  EXPECT_NE(error.find("more than a factors file holds"), std::string::npos) << error;
  std::remove("wb.conf");
#ifndef _WIN32                            // Windows has no FIFOs
  ASSERT_EQ(mkfifo("wb.conf", 0600), 0);  // would never end if it were read
  EXPECT_FALSE(ocamera::readWhiteBalanceFile(&wb, &error));
  EXPECT_EQ(error, "cannot read wb.conf: not a regular file");
  std::remove("wb.conf");
#endif
  ASSERT_TRUE(std::filesystem::create_directory("wb.conf"));
  EXPECT_FALSE(ocamera::readWhiteBalanceFile(&wb, &error));
  EXPECT_EQ(error, "cannot read wb.conf: not a regular file");
}

TEST(BayerLayouts, BothNamesOfEachLayoutAndWhichConvert) {
  OCameraTools::eBayerPattern p{};
  ASSERT_TRUE(OCameraTools::ParsePattern("grbg", &p));
  EXPECT_EQ(p, OCameraTools::BAYER_PATTERN_GRGR);
  ASSERT_TRUE(OCameraTools::ParsePattern("BAYER_PATTERN_GBGB", &p));
  EXPECT_EQ(p, OCameraTools::BAYER_PATTERN_GBGB);
  EXPECT_STREQ(OCameraTools::PatternCellName(OCameraTools::BAYER_PATTERN_BGBG), "BGGR");
  EXPECT_FALSE(OCameraTools::ParsePattern("GGRB", &p));
  EXPECT_EQ(OCameraTools::PatternName(static_cast<OCameraTools::eBayerPattern>(9)), nullptr);
  EXPECT_TRUE(OCameraTools::ConvertsPattern(OCameraTools::BAYER_PATTERN_BGBG));
  EXPECT_FALSE(OCameraTools::ConvertsPattern(OCameraTools::BAYER_PATTERN_RGRG));
}

TEST(StreamOptionTable, DefaultsRangesAndNamesHoldForEveryOption) {
  const ocamera::StreamOptions defaults;
  EXPECT_EQ(ocamera::checkStreamOptions(defaults), "");
  for (const ocamera::StreamOption &option : ocamera::streamOptionTable()) {
    SCOPED_TRACE(option.name);
    EXPECT_EQ(ocamera::streamOptionValue(defaults, option), option.defaultValue);
    EXPECT_EQ(ocamera::findStreamOption(ocamera::streamOptionName(option, '_')), &option);
    EXPECT_EQ(ocamera::findStreamOption(ocamera::streamOptionName(option, '-')), &option);
    EXPECT_NE(*option.help, '\0');
    // The value just past each end is refused and leaves the options as they were.
    ocamera::StreamOptions o;
    std::string error;
    const long long below = option.type == ocamera::StreamOptionType::Choice ? -1 : option.min - 1;
    EXPECT_FALSE(ocamera::setStreamOption(o, option.name, below, &error));
    EXPECT_NE(error.find(option.name), std::string::npos) << error;
    EXPECT_EQ(ocamera::streamOptionValue(o, option), option.defaultValue);
    if (option.type != ocamera::StreamOptionType::Choice) {
      EXPECT_FALSE(ocamera::setStreamOption(o, option.name, option.max + 1));
    }
    EXPECT_TRUE(ocamera::setStreamOption(o, option.name, option.max));
    EXPECT_EQ(ocamera::streamOptionValue(o, option), option.max);
  }
  ocamera::StreamOptions o;
  std::string error;
  EXPECT_TRUE(ocamera::setStreamOption(o, "frame_limit", 10, &error)) << error;
  EXPECT_EQ(o.frameLimit, 10);
  EXPECT_FALSE(ocamera::setStreamOption(o, "buffer-count", 1, &error));
  EXPECT_EQ(error, "bufferCount must be 2..1024, not 1");
  EXPECT_FALSE(ocamera::setStreamOption(o, "frames", 1, &error));
  int policy = -1;
  EXPECT_TRUE(
      ocamera::streamOptionChoice(*ocamera::findStreamOption("when_full"), "drop-newest", &policy));
  EXPECT_EQ(policy, static_cast<int>(ocamera::QueuePolicy::DropNewest));

  // The rules between fields.
  o = defaults;
  o.queueDepth = o.bufferCount + 1;
  EXPECT_EQ(ocamera::checkStreamOptions(o), "queueDepth must be at most bufferCount");
  o = defaults;
  o.rgb = true;
  o.pattern = OCameraTools::BAYER_PATTERN_RGRG;
  EXPECT_NE(ocamera::checkStreamOptions(o), "");
  o = defaults;
  o.width = o.height = 65535;
  EXPECT_NE(ocamera::checkStreamOptions(o), "");
}

}  // namespace
