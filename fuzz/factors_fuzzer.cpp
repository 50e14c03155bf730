// Feeds arbitrary bytes to the white-balance factors reader as the content of
// "wb.conf", in a directory of its own. When the input is long enough, its first
// twelve bytes also give three factors that must survive a store and a read.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ocamera/tools.h"

namespace {

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "factors_fuzzer: %s\n", what);
  std::abort();
}

// Moves into a fresh directory, once: under $TMPDIR when set, otherwise in
// memory (/dev/shm) where there is such a file system, since rewriting a file
// on a disk-backed one flushes it and slows every run down a hundredfold.
// The corpus paths given to the fuzzer must therefore be absolute.
void enterScratchDirectory() {
  static bool entered = false;
  if (entered) return;
  const char *base = std::getenv("TMPDIR");
  if (!base || !*base) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  char path[4096];
  std::snprintf(path, sizeof path, "%s/ocamera-factors-XXXXXX", base);
  if (!mkdtemp(path) || chdir(path) != 0) fail("no scratch directory");
  static char directory[sizeof path];
  std::memcpy(directory, path, sizeof path);
  std::atexit([] {
    std::remove("wb.conf");
    rmdir(directory);
  });
  entered = true;
}

void writeFile(const std::uint8_t *data, std::size_t size) {
  std::FILE *file = std::fopen("wb.conf", "wb");
  if (!file) fail("cannot write wb.conf");
  if (size > 0 && std::fwrite(data, 1, size, file) != size) fail("short write");
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  enterScratchDirectory();
  writeFile(data, size);
  int red = -1, green = -1, blue = -1;
  const int result = OCameraTools::GetWhiteBalanceFactors(&red, &green, &blue);
  if (result != 0 && result != -EAGAIN) fail("unexpected result for a readable file");

  if (size >= 12) {
    int factors[3];
    std::memcpy(factors, data, sizeof factors);
    if (OCameraTools::StoreWhiteBalanceFactors(factors[0], factors[1], factors[2]) != 0)
      fail("store failed");
    red = green = blue = 0;
    if (OCameraTools::GetWhiteBalanceFactors(&red, &green, &blue) != 0) fail("stored file unread");
    if (red != factors[0] || green != factors[1] || blue != factors[2])
      fail("factors changed on the way through the file");
  }
  return 0;
}
