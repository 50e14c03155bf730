// Output files that appear whole or not at all: everything is written to a
// temporary file beside the target and renamed over it only after the last byte
// was written successfully. "-" is standard output; a device, FIFO or socket is
// written directly; a symbolic link is followed, and the file it leads to is
// replaced, never the link.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace ocam_cli {

// Whether `path` names standard output. A command that writes its data there
// prints its own lines on standard error.
bool isStandardOutput(const std::string &path);

class AtomicFile {
 public:
  // Creates the temporary file in the target's directory (or opens standard
  // output or the special file); Failure when it cannot.
  explicit AtomicFile(std::string path);
  ~AtomicFile();  // removes the temporary file unless commit() succeeded
  AtomicFile(const AtomicFile &) = delete;
  AtomicFile &operator=(const AtomicFile &) = delete;

  std::FILE *stream() { return stream_; }
  // Writes size bytes; Failure on a short write.
  void write(const void *data, std::size_t size);
  // Flushes, closes and renames the temporary file to the target; Failure when
  // any step fails (the temporary file is removed then). A file written
  // directly is only flushed and closed.
  void commit();
  const std::string &path() const { return path_; }

 private:
  [[noreturn]] void fail(const std::string &what, int error);

  std::string path_;       // as the user named it
  std::string target_;     // what the temporary file replaces: the end of any links
  std::string temporary_;  // empty when written directly
  std::FILE *stream_ = nullptr;
  bool committed_ = false;
};

// Writes width x height pixels of 8-bit R, G, B as a PNG file, atomically.
void writePng(const std::string &path, const unsigned char *rgb, int width, int height);
// Writes the bytes as they are, atomically.
void writeBytes(const std::string &path, const void *data, std::size_t size);
// A file read in blocks, so that no input, however long, is held whole.
class InputFile {
 public:
  explicit InputFile(const std::string &path);  // Failure when it cannot be opened
  ~InputFile();
  InputFile(const InputFile &) = delete;
  InputFile &operator=(const InputFile &) = delete;

  // The size of a regular file, or -1 for a pipe, a device and the like.
  long long size() const { return size_; }
  // Reads up to `size` bytes, fewer only at the end; Failure on a read error.
  std::size_t read(void *data, std::size_t size);

 private:
  std::string path_;
  int fd_ = -1;
  long long size_ = -1;
};

// Reads at most limit + 1 bytes, so that a caller sees whether the file holds
// more than it wants without reading all of it; Failure when it cannot.
std::vector<unsigned char> readBytes(const std::string &path, std::size_t limit);
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
