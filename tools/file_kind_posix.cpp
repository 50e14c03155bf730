#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tools/file_kind.h"

namespace ocamera {

int fileKind(const char *path, FileKind *kind) {
  // Opened without blocking, so that a FIFO in its place cannot hold the caller.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat info {};
  const bool statOk = fstat(fd, &info) == 0;
  ::close(fd);
  kind->regular = statOk && S_ISREG(info.st_mode);
  kind->size = statOk ? static_cast<long long>(info.st_size) : 0;
  return 0;
}

}  // namespace ocamera
