#include "files.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <memory>

#include "common.h"

namespace ocam_cli {

bool isStandardOutput(const std::string &path) { return path == "-"; }

namespace {

// The file a path ends at once its symbolic links are followed; a link to a
// missing file gives the missing file, which is then made.
std::string followLinks(const std::string &path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::vector<char> link(4096);
    ssize_t length = readlink(current.c_str(), link.data(), link.size());
    if (length < 0 || static_cast<std::size_t>(length) >= link.size())
      throw Failure("cannot write " + path + ": " +
                    std::strerror(length < 0 ? errno : ENAMETOOLONG));
    std::string target(link.data(), static_cast<std::size_t>(length));
    std::size_t slash = current.rfind('/');
    if (target[0] != '/' && slash != std::string::npos)
      target = current.substr(0, slash + 1) + target;
    current = target;
  }
  throw Failure("cannot write " + path + ": " + std::strerror(ELOOP));
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  int fd = -1;
  struct stat existing {};
  bool exists = stat(path_.c_str(), &existing) == 0;
  if (isStandardOutput(path_)) {
    fd = dup(STDOUT_FILENO);
    if (fd < 0)
      throw Failure("cannot write to standard output: " + std::string(std::strerror(errno)));
  } else if (exists && S_ISDIR(existing.st_mode)) {
    throw Failure("cannot write " + path_ + ": " + std::strerror(EISDIR));
  } else if (exists && !S_ISREG(existing.st_mode)) {
    // A device, FIFO or socket takes the bytes itself; renaming over it would
    // put a plain file in its place. A FIFO without a reader is refused
    // rather than waited for.
    fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      int error = errno;
      throw Failure("cannot write " + path_ + ": " +
                    (error == ENXIO ? std::string("nothing reads from it") : std::strerror(error)));
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  } else {
    target_ = followLinks(path_);
    std::size_t slash = target_.rfind('/');
    std::string directory = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (name.empty()) throw Failure("cannot write " + path_ + ": not a file name");
    std::string templateName = directory + "." + name + ".XXXXXX";
    std::vector<char> pattern(templateName.c_str(), templateName.c_str() + templateName.size() + 1);
    fd = mkstemp(pattern.data());
    if (fd < 0) throw Failure("cannot write " + path_ + ": " + std::strerror(errno));
    temporary_.assign(pattern.data());
    // mkstemp makes the file private; give it the permissions of the file it
    // replaces, or those a new file gets.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, exists ? existing.st_mode & 07777 : 0666 & ~mask);
  }
  stream_ = fdopen(fd, "wb");
  if (!stream_) {
    int error = errno;
    close(fd);
    fail("cannot write " + path_, error);
  }
}

AtomicFile::~AtomicFile() {
  if (committed_) return;
  if (stream_) std::fclose(stream_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

void AtomicFile::fail(const std::string &what, int error) {
  if (stream_) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  throw Failure(what + ": " + std::strerror(error));
}

void AtomicFile::write(const void *data, std::size_t size) {
  if (size != 0 && std::fwrite(data, 1, size, stream_) != size)
    fail("cannot write " + path_, errno ? errno : EIO);
}

void AtomicFile::commit() {
  errno = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_))
    fail("cannot write " + path_, errno ? errno : EIO);
  std::FILE *stream = stream_;
  stream_ = nullptr;
  if (std::fclose(stream) != 0) fail("cannot write " + path_, errno);
  if (!temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0)
    fail("cannot write " + path_, errno);
  committed_ = true;
}

namespace {

struct PngError {
  std::jmp_buf jump;
  char message[200] = "";
};

void onPngError(png_structp png, png_const_charp message) {
  auto *error = static_cast<PngError *>(png_get_error_ptr(png));
  std::snprintf(error->message, sizeof error->message, "%s", message);
  std::longjmp(error->jump, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Returns an empty string on success, the reason otherwise. No C++ object with a
// destructor lives in this frame: libpng reports errors by longjmp.
const char *encodePng(std::FILE *file, const unsigned char *rgb, int width, int height,
                      PngError &error) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, onPngError, onPngWarning);
  if (!png) return "out of memory";
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return "out of memory";
  }
  if (setjmp(error.jump)) {
    png_destroy_write_struct(&png, &info);
    return error.message;
  }
  png_init_io(png, file);
  // Speed matters more than size for a stream of frames.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(rgb + static_cast<std::size_t>(y) * width * 3));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return "";
}

}  // namespace

void writePng(const std::string &path, const unsigned char *rgb, int width, int height) {
  AtomicFile file(path);
  PngError error;
  errno = 0;
  const char *problem = encodePng(file.stream(), rgb, width, height, error);
  if (*problem) {
    // A failed write shows as a libpng error; the stream knows the real cause.
    int cause = errno;
    throw Failure("cannot write " + path + ": " +
                  (std::ferror(file.stream()) && cause ? std::strerror(cause) : problem));
  }
  file.commit();
}

void writeBytes(const std::string &path, const void *data, std::size_t size) {
  AtomicFile file(path);
  file.write(data, size);
  file.commit();
}

InputFile::InputFile(const std::string &path) : path_(path) {
  // O_NONBLOCK: opening a FIFO without a writer must not hang; reads block again below.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) throw Failure("cannot read " + path + ": " + std::strerror(errno));
  struct stat info {};
  if (fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) size_ = info.st_size;
  if (S_ISDIR(info.st_mode)) {
    ::close(fd_);
    throw Failure("cannot read " + path + ": " + std::strerror(EISDIR));
  }
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

InputFile::~InputFile() { ::close(fd_); }

std::size_t InputFile::read(void *data, std::size_t size) {
  auto *bytes = static_cast<unsigned char *>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t got = ::read(fd_, bytes + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw Failure("cannot read " + path_ + ": " + std::strerror(errno));
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::vector<unsigned char> readBytes(const std::string &path, std::size_t limit) {
  InputFile file(path);
  std::size_t wanted = limit + 1;
  if (file.size() >= 0) wanted = std::min<std::size_t>(wanted, file.size());
  std::vector<unsigned char> bytes;
  const std::size_t kBlock = 1 << 20;
  for (std::size_t got = 0; bytes.size() < wanted;) {
    std::size_t old = bytes.size();
    bytes.resize(std::min(wanted, old + kBlock));
    got = file.read(bytes.data() + old, bytes.size() - old);
    bytes.resize(old + got);
    if (got == 0) break;
  }
  return bytes;
}

MadeDirectory::MadeDirectory(const std::string &path) {
  namespace fs = std::filesystem;
  std::error_code error;
  for (fs::path missing = fs::absolute(path, error).lexically_normal();
       !missing.empty() && !fs::exists(missing, error); missing = missing.parent_path()) {
    created_.push_back(missing.string());
    if (missing == missing.parent_path()) break;
  }
  fs::create_directories(path, error);
  if (error) throw Failure("cannot create directory " + path + ": " + error.message());
  if (!fs::is_directory(path)) throw Failure("cannot write into " + path + ": not a directory");
}

MadeDirectory::~MadeDirectory() {
  if (kept_) return;
  std::error_code ignored;
  for (const std::string &directory : created_) std::filesystem::remove(directory, ignored);
}

}  // namespace ocam_cli
