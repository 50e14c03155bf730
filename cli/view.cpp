// ocam view: the camera live in a browser. Starts the stream, serves one page
// (viewer/) and prints its address; runs until Ctrl-C or SIGTERM, then stops
// the camera cleanly.
#include <ocamera/stream_options.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "commands.h"
#include "common.h"
#include "interrupt.h"
#include "viewer/access.h"
#include "viewer/server.h"

namespace ocam_cli {
namespace {

constexpr int kDefaultViewPort = 8090;
// How often the main thread looks at Ctrl-C while the viewer serves.
constexpr int kInterruptSliceMs = 100;

int run(const Args &args) {
  args.expectPositional(0, 0);
  ocam_viewer::ViewerOptions options;
  std::string address = cameraAddress(args);
  if (address == kFactoryAddress) address = ocamera::kFactoryDefaultAddress;
  options.cameraAddress = address;
  options.ioAddress = args.has("io-address") ? args.get("io-address") : withIoPort(address);
  if (options.ioAddress == kFactoryAddress)
    options.ioAddress = std::string(ocamera::kFactoryDefaultAddress) + ":" +
                        std::to_string(ocamera::kIoServicePort);
  checkAddress(options.ioAddress);
  options.bindAddress = args.get("bind", "127.0.0.1");
  options.port = parseInt(args.get("port", std::to_string(kDefaultViewPort)), "--port", 0, 65535);
  options.maxViewers = parseInt(args.get("viewers", "4"), "--viewers", 1, 32);
  options.stream.cameraType = sensorType(args);
  // The newest frames, waited for through any outage until Ctrl-C.
  options.stream.whenFull = ocamera::QueuePolicy::DropOldest;
  options.stream.recover = true;
  const std::string invalid = ocamera::checkStreamOptions(options.stream);
  if (!invalid.empty()) throw UsageError(invalid);

  ocam_viewer::Viewer viewer(options);
  std::string error;
  if (!viewer.start(&error)) throw Failure("ocam view: " + error);
  std::printf("ocam view: open %s\n", viewer.url().c_str());
  if (!ocam_viewer::isLoopback(options.bindAddress))
    std::printf(
        "ocam view: listening on %s: whoever has this address with its token can switch the "
        "camera's outputs\n",
        options.bindAddress.c_str());
  std::printf("ocam view: Ctrl-C stops the camera and ends\n");
  std::fflush(stdout);
  while (!interrupted()) std::this_thread::sleep_for(std::chrono::milliseconds(kInterruptSliceMs));
  viewer.stop();
  std::printf("ocam view: camera stopped\n");
  return 0;
}

}  // namespace

Command viewCommand() {
  return {{"view",
           "Show the camera live in a browser, with its numbers, settings and I/O",
           "[-a ADDR] [--io-address ADDR] [--port N] [--bind ADDR] [--viewers N]",
           "Starts the stream and serves one page on http://127.0.0.1:8090 (or --bind,\n"
           "--port): the live picture, frames/s and the stream's state, a histogram,\n"
           "the camera's settings, the inputs, outputs and LEDs, and snapshots. The\n"
           "address printed carries an access token, checked on every request; a page\n"
           "without it can neither watch nor change anything. Runs until Ctrl-C, then\n"
           "stops the camera.\n\n"
           "examples:\n"
           "  ocam view -a 127.0.0.1:8000\n"
           "  ocam view -a 192.168.0.42 --bind 0.0.0.0 --port 8090\n",
           {cameraAddressOption(),
            {"io-address", 0, "ADDR",
             "the I/O services' address (default: the camera's host, port 8080)"},
            {"port", 0, "N", "port to serve the page on (default 8090; 0 picks a free one)"},
            {"bind", 0, "ADDR", "address to serve on (default 127.0.0.1, this machine only)"},
            {"viewers", 0, "N", "live pictures served at once (default 4)"},
            sensorTypeOption()}},
          run};
}

}  // namespace ocam_cli
