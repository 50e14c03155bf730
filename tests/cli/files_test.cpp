// Where ocam's output files go: "-" is standard output, a device or FIFO is
// written into, a symbolic link leads to the file that is replaced.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli/fixture.h"

namespace ocam_test {
namespace {

namespace fs = std::filesystem;

TEST_F(OcamTest, OutputFilesWriteIntoWhatTheirNameLeadsTo) {
  sim.writeRam(0x1000, std::vector<std::uint8_t>{'a', 'b', 'c', 'd'});
  auto read = [&](const std::string &file) {
    return run({"ram", "-a", camera(), "read", "0x1000", "4", "-f", file});
  };
  // "-": only the data on standard output, the report on standard error.
  ProcessResult toStdout = read("-");
  EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err;
  EXPECT_EQ(toStdout.out, "abcd");
  EXPECT_NE(toStdout.err.find("to standard output"), std::string::npos) << toStdout.err;
  EXPECT_FALSE(fs::exists(dir / "-"));

  // A link: its target gets the bytes, the link stays a link; also through a
  // relative link in another directory and to a target not there yet.
  writeFile(dir / "target.bin", {'o', 'l', 'd'});
  fs::create_symlink("target.bin", dir / "link.bin");
  fs::create_directory(dir / "sub");
  fs::create_symlink("../target.bin", dir / "sub/up.bin");
  fs::create_symlink("fresh.bin", dir / "dangling.bin");
  for (const char *name : {"link.bin", "sub/up.bin", "dangling.bin"}) {
    ProcessResult result = read(name);
    EXPECT_EQ(result.exitCode, 0) << name << ": " << result.err;
    EXPECT_TRUE(fs::is_symlink(dir / name)) << name;
  }
  EXPECT_EQ(readFile(dir / "target.bin"), "abcd");
  EXPECT_EQ(readFile(dir / "fresh.bin"), "abcd");

  // A device: written into, still the device. Reached through a link in the
  // scratch directory, so that a tool that renames over its target replaces
  // the link there, never the system's /dev/null.
  fs::create_symlink("/dev/null", dir / "null");
  EXPECT_EQ(read("null").exitCode, 0);
  EXPECT_TRUE(fs::is_symlink(dir / "null"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  // A FIFO: its reader gets the bytes; without one it is refused, not waited for.
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  ProcessResult noReader = read("pipe");
  EXPECT_EQ(noReader.exitCode, 1);
  EXPECT_TRUE(OneErrorLine(noReader));
  // A reader opened without waiting for a writer; the pipe holds the bytes.
  int reader = ::open((dir / "pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ProcessResult toPipe = read("pipe");
  EXPECT_EQ(toPipe.exitCode, 0) << toPipe.err;
  char received[16] = {};
  EXPECT_EQ(::read(reader, received, sizeof received), 4);
  EXPECT_EQ(std::string(received, 4), "abcd");
  ::close(reader);
  EXPECT_TRUE(fs::is_fifo(dir / "pipe"));

  // No temporary file stays behind anywhere.
  for (const std::string &where : {dir.path(), dir / "sub"})
    for (const std::string &name : filesIn(where)) EXPECT_NE(name[0], '.') << name;
}

TEST(OcamFiles, ConvertWritesThroughLinksAndToStandardOutput) {
  ScratchDirectory dir;
  writeFile(dir / "scene.raw", std::vector<unsigned char>(16, 100));
  fs::create_symlink("picture.png", dir / "link.png");
  ProcessResult linked =
      ocam({"convert", "scene.raw", "--width", "4", "--height", "4", "-o", "link.png"}, dir.path());
  EXPECT_EQ(linked.exitCode, 0) << linked.err;
  EXPECT_TRUE(fs::is_symlink(dir / "link.png"));
  EXPECT_EQ(readPng(dir / "picture.png").width, 4);

  ProcessResult piped =
      ocam({"convert", "scene.raw", "--width", "4", "--height", "4", "-o", "-"}, dir.path());
  EXPECT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_EQ(piped.out, readFile(dir / "picture.png"));
  EXPECT_FALSE(fs::exists(dir / "-"));
}

}  // namespace
}  // namespace ocam_test
