#include <sys/stat.h>

#include <cerrno>

#include "tools/file_kind.h"

namespace ocamera {

// Windows opens no file for this: the C runtime's stat reads the directory entry.
int fileKind(const char *path, FileKind *kind) {
  struct _stat64 info {};
  if (_stat64(path, &info) != 0) return errno;
  kind->regular = (info.st_mode & _S_IFMT) == _S_IFREG;
  kind->size = kind->regular ? static_cast<long long>(info.st_size) : 0;
  return 0;
}

}  // namespace ocamera
