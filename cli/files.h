// Output files that appear whole or not at all: everything is written to a
// temporary file beside the target and renamed over it only after the last byte
// was written successfully.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace ocam_cli {

class AtomicFile {
 public:
  // Creates the temporary file in the target's directory; Failure when it cannot.
  explicit AtomicFile(std::string path);
  ~AtomicFile();  // removes the temporary file unless commit() succeeded
  AtomicFile(const AtomicFile &) = delete;
  AtomicFile &operator=(const AtomicFile &) = delete;

  std::FILE *stream() { return stream_; }
  // Writes size bytes; Failure on a short write.
  void write(const void *data, std::size_t size);
  // Flushes, closes and renames the temporary file to the target; Failure when
  // any step fails (the temporary file is removed then).
  void commit();
  const std::string &path() const { return path_; }

 private:
  [[noreturn]] void fail(const std::string &what, int error);

  std::string path_;
  std::string temporary_;
  std::FILE *stream_ = nullptr;
  bool committed_ = false;
};

// Writes width x height pixels of 8-bit R, G, B as a PNG file, atomically.
void writePng(const std::string &path, const unsigned char *rgb, int width, int height);
// Writes the bytes as they are, atomically.
void writeBytes(const std::string &path, const void *data, std::size_t size);
// Reads a whole file; Failure when it cannot.
std::vector<unsigned char> readBytes(const std::string &path);
// Creates a directory and its missing parents (Failure when it cannot). Unless
// keep() is called, the destructor removes again those it created that are
// still empty, so that a failed command leaves no trace.
class MadeDirectory {
 public:
  explicit MadeDirectory(const std::string &path);
  ~MadeDirectory();
  MadeDirectory(const MadeDirectory &) = delete;
  MadeDirectory &operator=(const MadeDirectory &) = delete;
  void keep() { kept_ = true; }

 private:
  std::vector<std::string> created_;  // deepest first
  bool kept_ = false;
};

}  // namespace ocam_cli
