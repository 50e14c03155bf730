#include "remote/camera_state.h"

#include <cstring>

ONetCameraState::ONetCameraState(const std::string &address)
    : manager(address, true, std::string(), 0) {}

ONetCameraState::~ONetCameraState() {
  freeNameList(names);
  if (device) device->close();
  device.reset();
}

void ONetCameraState::replaceNames(char **list) {
  freeNameList(names);
  names = list;
}

char **copyNameList(char *const *names, int count) {
  if (count < 0) count = 0;
  char **list = new char *[count + 1]();
  try {
    for (int i = 0; i < count; ++i) {
      const char *name = names[i] ? names[i] : "";
      const std::size_t bytes = std::strlen(name) + 1;
      list[i] = new char[bytes];
      std::memcpy(list[i], name, bytes);
    }
  } catch (...) {
    freeNameList(list);
    throw;
  }
  return list;
}

void freeNameList(char **list) {
  if (!list) return;
  for (char **name = list; *name; ++name) delete[] * name;
  delete[] list;
}
