// OCameraOutputs: the camera's four digital outputs.
#pragma once

#include <ocamera/export.h>

// Ownership, results and thread safety as for OCameraInputs.
class OCAMERA_API OCameraOutputs {
 public:
  // The four outputs as bits of a mask, and the bit that unlocks outputs an
  // overload has locked.
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

  // Ends the calls in flight, closes the session and frees the object (see
  // "Thread safety" of OCameraInputs).
  virtual void destroy() = 0;
  // Opens the outputs for this session; the other operations need them open.
  virtual int iOpen() = 0;
  // Closes what iOpen opened (-13 when not open).
  virtual int iClose() = 0;
  // The outputs that are on, as a mask of eCameraOutput (>= 0), or a status
  // < 0.
  virtual int iGetOutputs() = 0;
  // One output: 1 when it is on, 0 when off; a status < 0.
  virtual int iGetOutput(eCameraOutput enOut) = 0;
  // Sets the outputs of iMask to the same bits of iState (-23 while an
  // overload locks them; OUTPUT_OVERLOAD_UNLOCK in both unlocks them).
  virtual int iSetOutputs(int iMask, int iState) = 0;
  // Switches one output on (iState 1) or off (0).
  virtual int iSetOutput(eCameraOutput enOut, int iState) = 0;
  // Switches each output of iMask to the opposite of its state.
  virtual int iToggleOutputs(int iMask) = 0;
  // Switches one output to the opposite of its state.
  virtual int iToggleOutput(eCameraOutput enOut) = 0;

 protected:
  ~OCameraOutputs() = default;
};

// Returns null on failure, after one line on standard error or to the log
// handler (also for a null or empty address); nothing is thrown.
OCAMERA_API OCameraOutputs *CreateCameraOutputs(const char *address);
