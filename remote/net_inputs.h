// ONetCameraInputs: the camera's digital inputs over the "sinp" service.
#pragma once

#include <memory>

#include "ocamera/inputs.h"
#include "remote/service_session.h"

namespace ocamera {
namespace remote {

// One request of the inputs service per operation, on the session the factory
// opened; operations of several threads may run at once.
class ONetCameraInputs final : public OCameraInputs {
 public:
  // The device type of the inputs service's sessions.
  static constexpr const char *kTypeName = "ONetCameraInputs";

  explicit ONetCameraInputs(std::unique_ptr<ServiceSession> session);

  // Ends the calls in flight (ServiceSession::endCalls), sends "sinp:destroy"
  // (its outcome does not matter), closes the session and frees the object.
  // No "iClose" is sent.
  void destroy() override;
  int iOpen() override;
  int iClose() override;
  int iGetInputs() override;
  int iGetInput(eCameraInput enIn) override;
  int iSetTimeout(int iTimeout) override;
  int iWaitForInput(eCameraInput enIn, int iState) override;
  int iWaitForInputs(int iMask, int iState) override;
  int iWaitForInputChange(eCameraInput enIn) override;
  int iWaitForInputsChange(int iMask) override;
  int iClearEdges(int iMask) override;
  int iReserved() override;

 private:
  ~ONetCameraInputs();  // objects end through destroy()

  std::unique_ptr<ServiceSession> session_;
};

}  // namespace remote
}  // namespace ocamera
