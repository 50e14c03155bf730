// ONetCameraState: what one camera object holds of its connection.
#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "remote/camera_device.h"
#include "support/device_manager.h"

// Owns the device manager (and with it the context cache every request of the
// camera borrows from), the open camera session, the sensor register name list
// and the last acquisition mode that reached the camera.
//
// Destruction frees the names, closes and releases the session, and only then
// destroys the manager: the session borrows its contexts from the manager's cache.
struct ONetCameraState {
  explicit ONetCameraState(const std::string &address);
  ~ONetCameraState();
  ONetCameraState(const ONetCameraState &) = delete;
  ONetCameraState &operator=(const ONetCameraState &) = delete;

  // Takes ownership of a null-terminated list and frees the previous one.
  void replaceNames(char **list);
  mox::webservice::client::SoapCache &soapCache() { return manager.soapCache(); }

  mox::webservice::client::DeviceManager manager;
  int token = 0;
  boost::shared_ptr<ONetCameraDevice> device;
  char **names = nullptr;   // null-terminated, each string and the array owned
  int acquisitionMode = 1;  // ACQ_MODE_STOP until a mode reaches the camera
};

// A copy of count strings (a null entry becomes "") as a null-terminated list
// that freeNameList releases. Allocation failures propagate, leaking nothing.
char **copyNameList(char *const *names, int count);
void freeNameList(char **list);
