// ocam convert and ocam wb: the PC-side tools, no camera involved.
#include <gtest/gtest.h>
#include <ocamera/ocamera.h>

#include <filesystem>
#include <random>

#include "cli/fixture.h"

namespace ocam_test {
namespace {

class OcamTools : public ::testing::Test {
 protected:
  void SetUp() override {
    raw.resize(kWidth * kHeight);
    std::mt19937 random(11);
    for (unsigned char &b : raw) b = static_cast<unsigned char>(random());
    writeFile(dir / "scene.raw", raw);
  }
  std::vector<unsigned char> expected(int red, int green, int blue,
                                      OCameraTools::eBayerPattern pattern) {
    std::vector<unsigned char> rgb(raw.size() * 3);
    OCameraTools::Bayer2RGBWhiteBalance(raw.data(), rgb.data(), kWidth, kHeight, red, green, blue,
                                        pattern);
    return rgb;
  }
  ProcessResult run(const std::vector<std::string> &args,
                    ProcessOptions options = ProcessOptions()) {
    return ocam(args, dir.path(), options);
  }

  static constexpr int kWidth = 66;
  static constexpr int kHeight = 35;  // odd, so that every border case is met
  ScratchDirectory dir;
  std::vector<unsigned char> raw;
};

TEST_F(OcamTools, ConvertWritesThePngTheLibraryComputes) {
  ProcessResult plain =
      run({"convert", "scene.raw", "--width", "66", "--height", "35", "--pattern", "bgbg"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(plain.out, "wrote scene.png\n");
  Picture picture = readPng(dir / "scene.png");
  EXPECT_EQ(picture.width, kWidth);
  EXPECT_EQ(picture.height, kHeight);
  EXPECT_EQ(picture.rgb, expected(100, 100, 100, OCameraTools::BAYER_PATTERN_BGBG));

  ASSERT_EQ(run({"convert", "scene.raw", "--width", "66", "--height", "35", "--wb", "120,100,85",
                 "-o", "balanced.png"})
                .exitCode,
            0);
  EXPECT_EQ(readPng(dir / "balanced.png").rgb,
            expected(120, 100, 85, OCameraTools::BAYER_PATTERN_GRGR));
}

TEST_F(OcamTools, WhiteBalanceFileIsStoredShownAndApplied) {
  ProcessResult missing = run({"wb"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(missing));
  EXPECT_NE(missing.err.find("wb.conf"), std::string::npos) << missing.err;
  ProcessResult convertMissing =
      run({"convert", "scene.raw", "--width", "66", "--height", "35", "--wb", "file"});
  EXPECT_EQ(convertMissing.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "scene.png"));

  ProcessResult store = run({"wb", "store", "130", "95", "70"});
  ASSERT_EQ(store.exitCode, 0) << store.err;
  EXPECT_EQ(store.out, "red=130 green=95 blue=70\n");
  EXPECT_EQ(readFile(dir / "wb.conf"),
            "# white balance configuration file\nred=130\ngreen=95\nblue=70\n");
  EXPECT_EQ(run({"wb", "show"}).out, "red=130 green=95 blue=70\n");
  ASSERT_EQ(run({"wb", "store", "110,100,90"}).exitCode, 0);
  EXPECT_EQ(run({"wb"}).out, "red=110 green=100 blue=90\n");

  ASSERT_EQ(
      run({"convert", "scene.raw", "--width", "66", "--height", "35", "--wb", "file"}).exitCode, 0);
  EXPECT_EQ(readPng(dir / "scene.png").rgb,
            expected(110, 100, 90, OCameraTools::BAYER_PATTERN_GRGR));

  writeFile(dir / "wb.conf", {'r', 'e', 'd', '=', '1', '\n'});
  ProcessResult incomplete = run({"wb"});
  EXPECT_EQ(incomplete.exitCode, 1);
  EXPECT_NE(incomplete.err.find("all three"), std::string::npos) << incomplete.err;
}

TEST_F(OcamTools, ConvertRefusesWrongSizesAndLeavesNoPartialFile) {
  ProcessResult wrongSize = run({"convert", "scene.raw"});  // 1280x1024 by default
  EXPECT_EQ(wrongSize.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(wrongSize));
  EXPECT_NE(wrongSize.err.find("2310 bytes"), std::string::npos) << wrongSize.err;

  ProcessResult absent = run({"convert", "absent.raw", "--width", "66", "--height", "35"});
  EXPECT_EQ(absent.exitCode, 1);
  EXPECT_NE(absent.err.find("No such file"), std::string::npos) << absent.err;

  ProcessResult intoFile =
      run({"convert", "scene.raw", "--width", "66", "--height", "35", "-o", "scene.raw/x.png"});
  EXPECT_EQ(intoFile.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(intoFile));

  ProcessOptions tiny = ocamOptions(dir.path());
  tiny.fileSizeLimit = 1000;
  ProcessResult full = run({"convert", "scene.raw", "--width", "66", "--height", "35"}, tiny);
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_NE(full.err.find("File too large"), std::string::npos) << full.err;
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"scene.raw"});
}

}  // namespace
}  // namespace ocam_test
