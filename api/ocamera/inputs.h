// OCameraInputs: the camera's two digital inputs, their levels and edges.
#pragma once

#include <ocamera/export.h>

// Obtain an object with CreateCameraInputs (or poCreateInterface) and end it
// with destroy(); never delete it. Each object has its own session, pool of
// connections and keep-alive thread.
//
// Results: the service's status (for the getters, the state read), or -1 when
// the request failed. Values are passed to the camera unchanged.
//
// Thread safety: operations may run on several threads at once, each on its own
// connection, so a thread blocked in a wait does not stop another from reading
// the inputs. A wait returns when the camera answers; bound it with
// iSetTimeout. destroy may overlap calls of other threads: it cuts the calls
// in flight (they return -1), makes calls that reach the object meanwhile fail
// with -1 and frees the object only once they have left (as for OCamera: the
// wait ends after 10 s, and past that the object is left as it is). No call
// may start once destroy has returned.
class OCAMERA_API OCameraInputs {
 public:
  enum eCameraInput : int {
    INPUT_I0 = 1,
    INPUT_I1 = 2,
    INPUT_I0_RE = 4,
    INPUT_I0_FE = 8,
    INPUT_I1_RE = 16,
    INPUT_I1_FE = 32,
    OVERLOAD = 64,
    INPUT_ALL = 3
  };

  OCameraInputs() = default;
  // An object stands for one session on the camera: it is not copied.
  OCameraInputs(const OCameraInputs &) = delete;
  OCameraInputs &operator=(const OCameraInputs &) = delete;

  // An inputs object for the factory-default address on port 8080, or null.
  static OCameraInputs *poCreateInterface();

  virtual void destroy() = 0;
  virtual int iOpen() = 0;
  virtual int iClose() = 0;
  virtual int iGetInputs() = 0;
  virtual int iGetInput(eCameraInput enIn) = 0;
  // Bound of every wait of this session in milliseconds (5000 on the
  // simulated camera at start); a wait that passes it answers the camera's
  // time-out status.
  virtual int iSetTimeout(int iTimeout) = 0;
  virtual int iWaitForInput(eCameraInput enIn, int iState) = 0;
  virtual int iWaitForInputs(int iMask, int iState) = 0;
  virtual int iWaitForInputChange(eCameraInput enIn) = 0;
  virtual int iWaitForInputsChange(int iMask) = 0;
  virtual int iClearEdges(int iMask) = 0;
  virtual int iReserved() = 0;  // always -1, sends nothing

 protected:
  ~OCameraInputs() = default;
};

// Returns null on failure, after one line on standard error or to the log
// handler (also for a null or empty address); nothing is thrown.
OCAMERA_API OCameraInputs *CreateCameraInputs(const char *address);
