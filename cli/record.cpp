#include "record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "common.h"

namespace ocam_cli {
namespace {

// A record holds a few dozen settings; anything much larger is not one.
constexpr long long kMaxRecordBytes = 1 << 20;

// One camera, however its address is written: "http://host:80/", "host:80"
// and "host" are the same; "factory" is the factory-default address.
std::string cameraKey(std::string address) {
  if (address == kFactoryAddress) address = ocamera::kFactoryDefaultAddress;
  if (address.compare(0, 7, "http://") == 0) address.erase(0, 7);
  const std::size_t slash = address.find('/');
  if (slash != std::string::npos) address.resize(slash);
  const std::size_t bracket = address.rfind(']');
  const std::size_t colon = address.rfind(':');
  const bool hasPort = colon != std::string::npos &&
                       (address[0] != '[' || (bracket != std::string::npos && colon > bracket));
  if (!hasPort) address += ":" + std::to_string(kCameraPort);
  return address;
}

// The key as a file name: letters, digits, '.' and '-' as they are, every
// other byte as %XX, so that two cameras never share a file.
std::string fileName(const std::string &key) {
  std::string name;
  for (unsigned char c : key) {
    if (std::isalnum(c) || c == '.' || c == '-') {
      name += static_cast<char>(c);
    } else {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", c);
      name += code;
    }
  }
  return name + ".json";
}

// Makes the directory and its missing parents, private to the user.
bool makeDirectories(const std::string &path, std::string *why) {
  for (std::size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *why = part + ": " + std::strerror(errno);
      return false;
    }
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *why = path + " is not a directory";
    return false;
  }
  return true;
}

ocamera::Settings asRecorded(const ocamera::Settings &read) {
  ocamera::Settings recorded;
  for (const auto &[name, entry] : read.entries())
    recorded.set(name, entry.value, ocamera::SettingOrigin::Recorded);
  for (const auto &[name, reg] : read.registers())
    recorded.setRegister(name, reg.value, ocamera::SettingOrigin::Recorded);
  recorded.sensor = read.sensor;
  return recorded;
}

}  // namespace

std::string stateDirectory() {
  const char *state = std::getenv("XDG_STATE_HOME");
  // Only an absolute XDG_STATE_HOME counts; a relative one is ignored.
  if (state && state[0] == '/') return std::string(state) + "/ocamera";
  const char *home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/state/ocamera";
  return "";
}

CameraRecord::CameraRecord(const std::string &address) : address_(cameraKey(address)) {
  const std::string directory = stateDirectory();
  if (!directory.empty()) path_ = directory + "/cameras/" + fileName(address_);
}

ocamera::Settings CameraRecord::load() const {
  ocamera::Settings settings;
  if (path_.empty()) return settings;
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return settings;
  auto refuse = [&](const std::string &why) -> ocamera::Settings {
    if (fd >= 0) ::close(fd);
    throw Failure("the record of " + address_ + " (" + path_ + ") " + why +
                  "; remove it, or 'ocam config reset' starts a new one");
  };
  if (fd < 0) return refuse(std::string("cannot be read: ") + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return refuse("is not a regular file");
  if (st.st_uid != ::geteuid()) return refuse("belongs to another user");
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return refuse("may be written by other users");
  if (st.st_size > kMaxRecordBytes) return refuse("is too large to be a record");
  std::string text(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t got = ::read(fd, &text[done], text.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return refuse("cannot be read");
    done += static_cast<std::size_t>(got);
  }
  ::close(fd);
  std::string why;
  if (!ocamera::Settings::fromJson(text, &settings, &why))
    throw Failure("the record of " + address_ + " (" + path_ + ") is damaged: " + why +
                  "; remove it, or 'ocam config reset' starts a new one");
  return asRecorded(settings);
}

void CameraRecord::update(const ocamera::Settings &made) const {
  if (path_.empty()) return;
  ocamera::Settings record;
  try {
    record = load();
  } catch (const Failure &e) {
    std::cerr << "ocam: not recorded: " << e.what() << '\n';
    return;
  }
  ocamera::Settings taken = made;
  if (!taken.sensor.known()) taken.sensor = record.sensor;
  record.merge(taken);
  write(record);
}

void CameraRecord::replace(const ocamera::Settings &all) const {
  if (path_.empty()) return;
  write(all);
}

void CameraRecord::write(const ocamera::Settings &settings) const {
  const std::string directory = path_.substr(0, path_.rfind('/'));
  std::string why;
  if (makeDirectories(directory, &why)) {
    // A temporary file beside the record, renamed over it once complete.
    std::string temporary = path_ + ".XXXXXX";
    const int fd = ::mkstemp(&temporary[0]);
    if (fd < 0) {
      why = temporary + ": " + std::strerror(errno);
    } else {
      const std::string text = settings.toJson();
      std::size_t done = 0;
      while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<std::size_t>(put);
      }
      const bool written = done == text.size() && ::fsync(fd) == 0;
      const int error = errno;
      const bool closed = ::close(fd) == 0;
      if (written && closed && ::rename(temporary.c_str(), path_.c_str()) == 0) return;
      why = path_ + ": " + std::strerror(written && closed ? errno : error);
      ::unlink(temporary.c_str());
    }
  }
  std::cerr << "ocam: could not keep the record of what was set (" << why << ")\n";
}

}  // namespace ocam_cli
