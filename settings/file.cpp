// Settings documents in files: read whole (a small regular file), written by
// replacing the file as a whole.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "settings/ids.h"

namespace ocamera {
namespace {

// A profile is a few kilobytes; anything much larger is not one.
constexpr long long kMaxFileBytes = 4 << 20;

std::string systemError(const std::string &path, const char *what) {
  return path + ": " + what + ": " + std::strerror(errno);
}

}  // namespace

bool Settings::readFile(const std::string &path, Settings *out, std::string *error) {
  auto fail = [&](const std::string &why) {
    if (error) *error = why;
    return false;
  };
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return fail(systemError(path, "cannot open"));
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    return fail(path + ": not a regular file");
  }
  if (st.st_size > kMaxFileBytes) {
    std::fclose(f);
    return fail(path + ": too large for a settings file (" + std::to_string(st.st_size) +
                " bytes, at most " + std::to_string(kMaxFileBytes) + ")");
  }
  std::string text(static_cast<std::size_t>(st.st_size), '\0');
  const std::size_t got = std::fread(&text[0], 1, text.size(), f);
  const bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad || got != text.size()) return fail(path + ": cannot read the file");
  std::string why;
  if (!fromJson(text, out, &why)) return fail(path + ": " + why);
  return true;
}

bool Settings::writeFile(const std::string &path, std::string *error) const {
  auto fail = [&](const std::string &why) {
    if (error) *error = why;
    return false;
  };
  // Only a regular file is replaced: a device or a directory of that name is
  // left alone (renaming over it would put a file in its place).
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return fail(path + ": not a regular file");
  const std::string text = toJson();
  const std::string temp = path + ".tmp" + std::to_string(getpid());
  std::FILE *f = std::fopen(temp.c_str(), "wb");
  if (!f) return fail(systemError(temp, "cannot create"));
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    std::remove(temp.c_str());
    return fail(path + ": cannot write the file");
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string why = systemError(path, "cannot replace");
    std::remove(temp.c_str());
    return fail(why);
  }
  return true;
}

}  // namespace ocamera
