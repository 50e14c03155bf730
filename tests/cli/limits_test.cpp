// Hostile inputs for ocam: endless or huge files and out-of-range factors are
// refused before they cost memory or time, under one rule wherever they come in.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli/fixture.h"

namespace ocam_test {
namespace {

// Far below what reading an endless input or allocating 4 GB would take.
constexpr long kModestKb = 100 * 1024;

ProcessOptions bounded(const std::string &directory) {
  ProcessOptions options = ocamOptions(directory);
  options.timeout = std::chrono::seconds(30);
  return options;
}

TEST(OcamLimits, EndlessInputsAreRefusedAfterABoundedRead) {
  ScratchDirectory dir;
  ProcessResult convert =
      ocam({"convert", "/dev/zero", "--width", "64", "--height", "64", "-o", "z.png"}, dir.path(),
           bounded(dir.path()));
  EXPECT_FALSE(convert.timedOut);
  EXPECT_EQ(convert.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(convert));
  EXPECT_NE(convert.err.find("more than 4096 bytes"), std::string::npos) << convert.err;
  EXPECT_LT(convert.maxResidentKb, kModestKb);

  // wb.conf that never ends, or never opens for writing: refused unread.
  std::filesystem::create_symlink("/dev/zero", dir / "wb.conf");
  ScratchDirectory fifoDir;
  ASSERT_EQ(mkfifo((fifoDir / "wb.conf").c_str(), 0600), 0);
  for (const std::string &where : {dir.path(), fifoDir.path()}) {
    ProcessResult show = ocam({"wb", "show"}, where, bounded(where));
    EXPECT_FALSE(show.timedOut) << where;
    EXPECT_EQ(show.exitCode, 1);
    EXPECT_TRUE(OneErrorLine(show));
    EXPECT_NE(show.err.find("not a regular file"), std::string::npos) << show.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "z.png"));
}

TEST(OcamLimits, FactorsFromTheFileFollowTheCommandLineRule) {
  ScratchDirectory dir;
  writeFile(dir / "scene.raw", std::vector<unsigned char>(16, 100));
  const std::vector<std::pair<std::string, std::string>> files = {
      {"red=-5\ngreen=100\nblue=100\n", "red=-5 is outside 0-10000"},
      {"red=100\ngreen=20000\nblue=100\n", "green=20000 is outside 0-10000"},
      {"red=100\ngreen=100\nblue=abc\n", "blue= has no number"}};
  for (const auto &[content, message] : files) {
    writeFile(dir / "wb.conf", std::vector<unsigned char>(content.begin(), content.end()));
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"wb", "show"},
          std::vector<std::string>{"convert", "scene.raw", "--width", "4", "--height", "4", "--wb",
                                   "file"}}) {
      ProcessResult result = ocam(args, dir.path());
      EXPECT_EQ(result.exitCode, 1) << args[0] << " with " << content;
      EXPECT_TRUE(OneErrorLine(result));
      EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    }
  }
  // The same values typed are refused as usage errors; the edges pass.
  EXPECT_EQ(ocam({"convert", "scene.raw", "--width", "4", "--height", "4", "--wb", "-5,100,100"},
                 dir.path())
                .exitCode,
            2);
  ASSERT_EQ(ocam({"wb", "store", "0", "10000", "100"}, dir.path()).exitCode, 0);
  EXPECT_EQ(ocam({"wb"}, dir.path()).out, "red=0 green=10000 blue=100\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "scene.png"));
}

TEST_F(OcamTest, RamTransfersCheckTheRangeBeforeAnyDataMoves) {
  // 4 GiB asked of a 16 MiB RAM: refused at once, without a 4 GB buffer.
  ProcessOptions options = bounded(dir.path());
  ProcessResult huge =
      run({"ram", "-a", camera(), "read", "0", "4294967295", "-f", "big.bin"}, options);
  EXPECT_EQ(huge.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(huge));
  EXPECT_NE(huge.err.find("holds 16777216 bytes"), std::string::npos) << huge.err;
  EXPECT_LT(huge.maxResidentKb, kModestKb);

  // An endless pipe is read only as far as the RAM has room, and nothing is sent.
  ProcessResult endless = run({"ram", "-a", camera(), "write", "0", "-f", "/dev/zero"}, options);
  EXPECT_FALSE(endless.timedOut);
  EXPECT_EQ(endless.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(endless));
  EXPECT_NE(endless.err.find("more than the 16777216 bytes"), std::string::npos) << endless.err;
  EXPECT_LT(endless.maxResidentKb, kModestKb);

  // A file that runs past the end of the RAM: nothing of it is written.
  writeFile(dir / "tail.bin", std::vector<unsigned char>(1000, 7));
  ProcessResult past = run({"ram", "-a", camera(), "write", "0xFFFF00", "-f", "tail.bin"});
  EXPECT_EQ(past.exitCode, 1);
  EXPECT_NE(past.err.find("does not fit the image RAM"), std::string::npos) << past.err;
  EXPECT_EQ(sim.count("scam:writeImageRAM"), 0u);
  EXPECT_EQ(sim.readRam(0xFFFF00, 256), std::vector<std::uint8_t>(256, 0));

  // What ends exactly at the end of the RAM goes through.
  ProcessResult fits = run({"ram", "-a", camera(), "write", "0xFFFC18", "-f", "tail.bin"});
  EXPECT_EQ(fits.exitCode, 0) << fits.err;
  EXPECT_EQ(sim.readRam(0xFFFC18, 1000), std::vector<std::uint8_t>(1000, 7));
  EXPECT_TRUE(std::filesystem::exists(dir / "tail.bin"));
  EXPECT_FALSE(std::filesystem::exists(dir / "big.bin"));
}

}  // namespace
}  // namespace ocam_test
