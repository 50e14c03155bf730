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
  // Bits of the inputs' state word and of the masks the operations take:
  // the levels of I0 and I1, their latched rising and falling edges, and the
  // outputs' overload lock.
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

  // Ends the calls in flight, closes the session and frees the object (see
  // "Thread safety" of OCameraInputs).
  virtual void destroy() = 0;
  // Opens the inputs for this session; the other operations need them open.
  virtual int iOpen() = 0;
  // Closes what iOpen opened (-13 when not open).
  virtual int iClose() = 0;
  // The state word: the levels, latched edges and overload bit of
  // eCameraInput (>= 0), or a status < 0.
  virtual int iGetInputs() = 0;
  // One bit of the state word: 1 when it is set, 0 when not; a status < 0.
  virtual int iGetInput(eCameraInput enIn) = 0;
  // Bound of every wait of this session in milliseconds (5000 on the
  // simulated camera at start); a wait that passes it answers the camera's
  // time-out status.
  virtual int iSetTimeout(int iTimeout) = 0;
  // Waits until the input (INPUT_I0 or INPUT_I1) has the level iState (0 or
  // 1): 0 once it has, -21 when the session's time-out passed first.
  virtual int iWaitForInput(eCameraInput enIn, int iState) = 0;
  // Waits until the bits of iMask in the state word equal those of iState;
  // results as iWaitForInput.
  virtual int iWaitForInputs(int iMask, int iState) = 0;
  // Waits until the input changes its level; results as iWaitForInput.
  virtual int iWaitForInputChange(eCameraInput enIn) = 0;
  // Waits until one of the inputs of iMask changes its level; results as
  // iWaitForInput.
  virtual int iWaitForInputsChange(int iMask) = 0;
  // Clears the latched edges of iMask (the _RE and _FE bits).
  virtual int iClearEdges(int iMask) = 0;
  virtual int iReserved() = 0;  // always -1, sends nothing

 protected:
  ~OCameraInputs() = default;
};

// Returns null on failure, after one line on standard error or to the log
// handler (also for a null or empty address); nothing is thrown.
OCAMERA_API OCameraInputs *CreateCameraInputs(const char *address);
