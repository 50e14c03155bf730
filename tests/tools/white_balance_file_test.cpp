// The white-balance factors file: what is written, and how any text is read.

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>

#include "ocamera/tools.h"
#include "tools/temp_directory.h"

namespace {

using FactorsFile = InTemporaryDirectory;

struct Read {
  int result;
  int red, green, blue;
};

// Reads the factors with the outputs starting at -7, -8, -9, so that an output
// left alone is told apart from one that was written.
Read ReadFactors() {
  Read r{0, -7, -8, -9};
  r.result = OCameraTools::GetWhiteBalanceFactors(&r.red, &r.green, &r.blue);
  return r;
}

void ExpectRead(const std::string &text, int result, int red, int green, int blue) {
  SCOPED_TRACE("file: \"" + text + "\"");
  WriteFactorsFile(text);
  const Read r = ReadFactors();
  EXPECT_EQ(r.result, result);
  EXPECT_EQ(r.red, red);
  EXPECT_EQ(r.green, green);
  EXPECT_EQ(r.blue, blue);
}

TEST_F(FactorsFile, StoresFourLinesAndReadsThemBack) {
  ASSERT_EQ(OCameraTools::StoreWhiteBalanceFactors(120, 100, 85), 0);
  EXPECT_EQ(ReadFactorsFile(), "# white balance configuration file\nred=120\ngreen=100\nblue=85\n");
  Read r = ReadFactors();
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.red, 120);
  EXPECT_EQ(r.green, 100);
  EXPECT_EQ(r.blue, 85);

  // Storing again replaces the whole file; values are not limited.
  ASSERT_EQ(OCameraTools::StoreWhiteBalanceFactors(INT_MIN, 0, INT_MAX), 0);
  EXPECT_EQ(ReadFactorsFile(),
            "# white balance configuration file\nred=-2147483648\ngreen=0\nblue=2147483647\n");
  r = ReadFactors();
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.red, INT_MIN);
  EXPECT_EQ(r.green, 0);
  EXPECT_EQ(r.blue, INT_MAX);
}

TEST_F(FactorsFile, StoreReportsAFileThatCannotBeOpened) {
  std::filesystem::create_directory("wb.conf");
#ifdef _WIN32
  EXPECT_EQ(OCameraTools::StoreWhiteBalanceFactors(1, 2, 3), -EACCES);  // Windows' errno for it
#else
  EXPECT_EQ(OCameraTools::StoreWhiteBalanceFactors(1, 2, 3), -EISDIR);
#endif
}

TEST_F(FactorsFile, ReadsKeysInAnyOrderAndPlace) {
  ExpectRead("blue=70\ngreen=95\nred=110\n", 0, 110, 95, 70);
  ExpectRead("red=1 green=2 blue=3\n", 0, 1, 2, 3);
  ExpectRead("some text green=4 more\nblue=5;red=6", 0, 6, 4, 5);
  ExpectRead("infrared=7\ngreen=1\nblue=2\n", 0, 7, 1, 2);
  ExpectRead("red= 120\ngreen=-5\nblue=+8\n", 0, 120, -5, 8);
  ExpectRead("red=12abc\ngreen=\t3\nblue=0x10\n", 0, 12, 3, 0);
  // The last occurrence of a key wins.
  ExpectRead("red=1\ngreen=2\nblue=3\nred=9\n", 0, 9, 2, 3);
}

TEST_F(FactorsFile, SkipsCommentLines) {
  ExpectRead("#red=50\ngreen=1\nblue=2\n", -11, -7, 1, 2);
  ExpectRead(" #red=50\ngreen=1\nblue=2\n", 0, 50, 1, 2);
  ExpectRead("# white balance configuration file\nred=3\n#green=4\ngreen=5\nblue=6\n", 0, 3, 5, 6);
  // A comment is read in pieces of 255 characters: a key within the first piece
  // is skipped, one after it is read as a line of its own.
  ExpectRead("#" + std::string(200, 'x') + "red=5\ngreen=1\nblue=2\n", -11, -7, 1, 2);
  ExpectRead("#" + std::string(254, 'x') + "red=5\ngreen=1\nblue=2\n", 0, 5, 1, 2);
}

TEST_F(FactorsFile, ReportsMissingKeysAndKeepsTheFoundValues) {
  ExpectRead("red=1\ngreen=2\n", -11, 1, 2, -9);
  ExpectRead("", -11, -7, -8, -9);
  ExpectRead("\n\n\n", -11, -7, -8, -9);
  ExpectRead("RED=1\nGreen=2\nblue = 3\n", -11, -7, -8, -9);
}

TEST_F(FactorsFile, CountsAKeyWithoutANumberAsPresent) {
  ExpectRead("red=abc\ngreen=2\nblue=3\n", 0, -7, 2, 3);
  ExpectRead("red=\ngreen=-\nblue=3\n", 0, -7, -8, 3);
}

TEST_F(FactorsFile, ReportsAMissingFileAndNullPointers) {
  Read r = ReadFactors();
  EXPECT_EQ(r.result, -2);
  EXPECT_EQ(r.red, -7);
  EXPECT_EQ(r.green, -8);
  EXPECT_EQ(r.blue, -9);

  int value = 0;
  WriteFactorsFile("red=1\ngreen=2\nblue=3\n");
  EXPECT_EQ(OCameraTools::GetWhiteBalanceFactors(nullptr, &value, &value), -22);
  EXPECT_EQ(OCameraTools::GetWhiteBalanceFactors(&value, nullptr, &value), -22);
  EXPECT_EQ(OCameraTools::GetWhiteBalanceFactors(&value, &value, nullptr), -22);
  EXPECT_EQ(value, 0);
  std::filesystem::remove("wb.conf");
  EXPECT_EQ(OCameraTools::GetWhiteBalanceFactors(nullptr, nullptr, nullptr), -22);
}

}  // namespace
