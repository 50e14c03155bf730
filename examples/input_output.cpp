// Waits for input I0 to change, then switches output O2 on, reads the
// outputs back and switches O2 off again.
//
//   input_output IO_ADDRESS [TIMEOUT_MS]   the I/O service (host:port, port 8080
//                                          on a camera); the wait's bound (5000)
#include <ocamera/ocamera.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
  if (argc < 2) return std::fprintf(stderr, "usage: input_output IO_ADDRESS [TIMEOUT_MS]\n"), 2;
  const int timeoutMs = argc > 2 ? std::atoi(argv[2]) : 5000;
  OCameraInputs *inputs = CreateCameraInputs(argv[1]);
  OCameraOutputs *outputs = inputs ? CreateCameraOutputs(argv[1]) : nullptr;
  if (!outputs) {  // the reason is on standard error
    if (inputs) inputs->destroy();
    return 1;
  }
  int status = inputs->iOpen();
  if (status == 0) status = outputs->iOpen();
  // Every wait of the session is bounded by the camera; without it a wait
  // lasts as long as the input stays as it is.
  if (status == 0) status = inputs->iSetTimeout(timeoutMs);
  if (status == 0) {
    status = inputs->iWaitForInputChange(OCameraInputs::INPUT_I0);
    if (status == ocamera::status::kTimeout)
      std::printf("I0 did not change within %d ms\n", timeoutMs);
    else if (status == 0)
      std::printf("I0 changed: now %d\n", inputs->iGetInput(OCameraInputs::INPUT_I0));
  }
  if (status == 0) status = outputs->iSetOutput(OCameraOutputs::OUTPUT_O2, 1);
  if (status == 0) {
    const int state = outputs->iGetOutputs();  // a mask of OUTPUT_O0 ... OUTPUT_O3
    std::printf("outputs: 0x%x (O2 %s)\n", state, state & OCameraOutputs::OUTPUT_O2 ? "on" : "off");
    status = outputs->iSetOutput(OCameraOutputs::OUTPUT_O2, 0);
  }
  if (status != 0) std::fprintf(stderr, "input_output: %s\n", ocamera::statusText(status).c_str());
  outputs->iClose();
  inputs->iClose();
  outputs->destroy();
  inputs->destroy();
  return status == 0 ? 0 : 1;
}
