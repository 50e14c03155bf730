// The white-balance factors file "wb.conf" in the current directory: written as
// a comment line and red=, green=, blue= lines; read line by line with each key
// looked for anywhere in a line that is not a comment.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ocamera/tools.h"

namespace {

constexpr const char *kFactorsFile = "wb.conf";
// The exported codes are the errno values of this platform.
static_assert(OCameraTools::kNullFactor == -EINVAL && OCameraTools::kMissingFactor == -EAGAIN,
              "factors-file codes differ from errno");

}  // namespace

int OCameraTools::GetWhiteBalanceFactors(int *red, int *green, int *blue) {
  if (red == nullptr || green == nullptr || blue == nullptr) return OCameraTools::kNullFactor;
  std::FILE *file = std::fopen(kFactorsFile, "r");
  if (file == nullptr) return -errno;

  struct Key {
    const char *name;
    const char *format;
    int *value;
    bool found;
  } keys[] = {{"red=", "red=%d", red, false},
              {"green=", "green=%d", green, false},
              {"blue=", "blue=%d", blue, false}};

  // A line longer than the buffer is read in pieces, each piece a line of its own.
  char line[256];
  while (!std::feof(file)) {
    if (std::fgets(line, sizeof line, file) == nullptr) break;
    if (line[0] == '#') continue;
    for (Key &key : keys) {
      const char *at = std::strstr(line, key.name);
      if (at == nullptr) continue;
      // The key counts as present even when no number follows it; the value is
      // written only when one does.
      key.found = true;
      std::sscanf(at, key.format, key.value);
    }
  }
  std::fclose(file);
  for (const Key &key : keys) {
    if (!key.found) return OCameraTools::kMissingFactor;
  }
  return 0;
}

int OCameraTools::StoreWhiteBalanceFactors(int red, int green, int blue) {
  // Binary, so that the file has the same bytes (line ends) on every system.
  std::FILE *file = std::fopen(kFactorsFile, "wb+");
  if (file == nullptr) return -errno;
  std::fputs("# white balance configuration file\n", file);
  std::fprintf(file, "red=%d\ngreen=%d\nblue=%d\n", red, green, blue);
  std::fclose(file);
  return 0;
}
