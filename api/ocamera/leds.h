// OCameraLEDs: the camera's four two-colour status LEDs.
#pragma once

#include <ocamera/export.h>

// Ownership, results and thread safety as for OCameraInputs.
class OCAMERA_API OCameraLEDs {
 public:
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

  virtual void destroy() = 0;
  virtual int iOpen() = 0;
  virtual int iClose() = 0;
  virtual int iGetLEDs() = 0;
  virtual int iGetLED(eCameraLED enLED) = 0;
  virtual int iSetLEDs(int iMask, int iState) = 0;
  virtual int iSetLED(eCameraLED enLED, int iState) = 0;
  virtual int iToggleLEDs(int iMask) = 0;
  virtual int iToggleLED(eCameraLED enLED) = 0;

 protected:
  ~OCameraLEDs() = default;
};

// Returns null on failure, after one line on standard error or to the log
// handler (also for a null or empty address); nothing is thrown.
OCAMERA_API OCameraLEDs *CreateCameraLEDs(const char *address);
