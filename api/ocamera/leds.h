// OCameraLEDs: the camera's four two-colour status LEDs.
#pragma once

#include <ocamera/export.h>

// Ownership, results and thread safety as for OCameraInputs.
class OCAMERA_API OCameraLEDs {
 public:
  // The eight LEDs (four positions, two colours each) as bits of a mask, and
  // the groups of one colour.
  enum eCameraLED : int {
    LED_0_RED = 1,
    LED_0_GREEN = 2,
    LED_1_RED = 4,
    LED_1_GREEN = 8,
    LED_2_RED = 16,
    LED_2_YELLOW = 32,
    LED_3_RED = 64,
    LED_3_YELLOW = 128,
    LED_ALL_RED = 85,
    LED_ALL_GREEN = 10,
    LED_ALL_YELLOW = 160,
    LED_ALL = 255
  };

  OCameraLEDs() = default;
  // An object stands for one session on the camera: it is not copied.
  OCameraLEDs(const OCameraLEDs &) = delete;
  OCameraLEDs &operator=(const OCameraLEDs &) = delete;

  // An LED object for the factory-default address on port 8080, or null.
  static OCameraLEDs *poCreateInterface();

  // Ends the calls in flight, closes the session and frees the object (see
  // "Thread safety" of OCameraInputs).
  virtual void destroy() = 0;
  // Opens the LEDs for this session; the other operations need them open.
  virtual int iOpen() = 0;
  // Closes what iOpen opened (-13 when not open).
  virtual int iClose() = 0;
  // The LEDs that are lit, as a mask of eCameraLED (>= 0), or a status < 0.
  virtual int iGetLEDs() = 0;
  // One LED: 1 when it is lit, 0 when not; a status < 0.
  virtual int iGetLED(eCameraLED enLED) = 0;
  // Sets the LEDs of iMask to the same bits of iState.
  virtual int iSetLEDs(int iMask, int iState) = 0;
  // Switches one LED (or group) on (iState 1) or off (0).
  virtual int iSetLED(eCameraLED enLED, int iState) = 0;
  // Switches each LED of iMask to the opposite of its state.
  virtual int iToggleLEDs(int iMask) = 0;
  // Switches one LED (or group) to the opposite of its state.
  virtual int iToggleLED(eCameraLED enLED) = 0;

 protected:
  ~OCameraLEDs() = default;
};

// Returns null on failure, after one line on standard error or to the log
// handler (also for a null or empty address); nothing is thrown.
OCAMERA_API OCameraLEDs *CreateCameraLEDs(const char *address);
