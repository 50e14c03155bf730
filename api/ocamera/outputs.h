// OCameraOutputs: the camera's four digital outputs.
#pragma once

#include <ocamera/export.h>

// Ownership, results and thread safety as for OCameraInputs.
class OCAMERA_API OCameraOutputs {
 public:
  enum eCameraOutput : int {
    OUTPUT_O0 = 1,
    OUTPUT_O1 = 2,
    OUTPUT_O2 = 4,
    OUTPUT_O3 = 8,
    OUTPUT_OVERLOAD_UNLOCK = 16,
    OUTPUT_ALL = 15  // the four outputs; not the unlock bit
  };

  OCameraOutputs() = default;
  // An object stands for one session on the camera: it is not copied.
  OCameraOutputs(const OCameraOutputs &) = delete;
  OCameraOutputs &operator=(const OCameraOutputs &) = delete;

  // An outputs object for the factory-default address on port 8080, or null.
  static OCameraOutputs *poCreateInterface();

  virtual void destroy() = 0;
  virtual int iOpen() = 0;
  virtual int iClose() = 0;
  virtual int iGetOutputs() = 0;
  virtual int iGetOutput(eCameraOutput enOut) = 0;
  virtual int iSetOutputs(int iMask, int iState) = 0;
  virtual int iSetOutput(eCameraOutput enOut, int iState) = 0;
  virtual int iToggleOutputs(int iMask) = 0;
  virtual int iToggleOutput(eCameraOutput enOut) = 0;

 protected:
  ~OCameraOutputs() = default;
};

// Returns null on failure, after one line on standard error or to the log
// handler (also for a null or empty address); nothing is thrown.
OCAMERA_API OCameraOutputs *CreateCameraOutputs(const char *address);
