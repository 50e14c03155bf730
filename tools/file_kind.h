// What kind of file a path names, without blocking on it (a FIFO or device
// opened for reading would wait for a writer). One implementation per
// platform: file_kind_posix.cpp, file_kind_win32.cpp.
#pragma once

namespace ocamera {

struct FileKind {
  bool regular = false;
  long long size = 0;  // of a regular file
};

// Fills *kind and returns 0, or returns the errno of the failure.
int fileKind(const char *path, FileKind *kind);

}  // namespace ocamera
