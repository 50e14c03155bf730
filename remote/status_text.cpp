// The words for the camera's result codes, shared by every front end.
#include "ocamera/status.h"

namespace ocamera {

std::string statusText(int code) {
  using namespace status;
  const char *text = nullptr;
  switch (code) {
    case kOk:
      text = "success";
      break;
    case kRequestFailed:
      return "the request failed (no answer from the camera)";
    case kBadSession:
      text = "the session is no longer valid (closed or expired)";
      break;
    case kNotCreated:
      text = "the device was not set up for this session";
      break;
    case kAlreadyCreated:
      text = "the device was set up already";
      break;
    case kNotOpen:
      text = "the device is not open";
      break;
    case kAlreadyOpen:
      text = "the camera is open already (another session, such as a running grab, has it)";
      break;
    case kBadArgument:
      text = "the camera refused the value";
      break;
    case kBadMode:
      text = "not possible in the camera's acquisition mode";
      break;
    case kOutOfRange:
      text = "the range lies outside the image RAM";
      break;
    case kRamDisabled:
      text = "the image RAM is disabled";
      break;
    case kUnknownRegister:
      text = "no such register";
      break;
    case kReadOnlyRegister:
      text = "the register is read-only";
      break;
    case kTimeout:
      text = "timed out";
      break;
    case kNoImage:
      text = "no image: the acquisition is stopped";
      break;
    case kOverload:
      text = "the outputs are locked after an overload";
      break;
    case kShutdown:
      text = "the camera is shutting down";
      break;
    default:
      return "the camera refused (status " + std::to_string(code) + ")";
  }
  return std::string(text) + " (status " + std::to_string(code) + ")";
}

}  // namespace ocamera
