// Grabs one frame from a camera and prints what arrived.
//
//   grab_one [address]    a host, "host:port" or "http://host:port";
//                         the camera's factory-default address when omitted
#include <ocamera/ocamera.h>

#include <cstdio>

int main(int argc, char **argv) {
  const char *address = argc > 1 ? argv[1] : ocamera::kFactoryDefaultAddress;
  OCamera *camera = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, address);
  if (!camera) return 1;  // the reason is on standard error

  // Room for a full 1280 x 1024 frame, four frames queued on the camera.
  int result = camera->open(1280 * 1024, 4);
  if (result == 0) result = camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN);
  OCamera::Image image{};
  if (result == 0) result = camera->getSingleImage(&image);
  const bool grabbed = result == 0 && image.data != nullptr && image.size > 0;
  if (grabbed) {
    std::printf("frame %d: %d bytes, status %d\n", image.seqNr, image.size, image.status);
  } else {
    std::fprintf(stderr, "no frame from %s (result %d)\n", address, result);
  }
  camera->freeImage(&image);
  camera->setAcquisitionMode(OCamera::ACQ_MODE_STOP);
  camera->close();
  camera->destroy();
  return grabbed ? 0 : 1;
}
