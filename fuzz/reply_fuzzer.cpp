// Feeds arbitrary bytes to the library as the camera's reply to one call, with
// no socket in between. Every structured reply (image, image RAM reads,
// register value and names, device list) and the status, token and empty
// replies are reached through the operations that read them.
//
// Input: byte 0 picks the call (byte - 'a', modulo the number of calls), byte 1
// is a length for the calls that ask for one (byte - '0', modulo 256), the rest
// is what the camera sends: an HTTP response or bare XML.
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fake_transport.h"
#include "ocamH.h"
#include "remote/call.h"
#include "remote/net_camera.h"
#include "remote/service_session.h"
#include "support/descriptor.h"
#include "support/device.h"
#include "support/exception.h"
#include "support/soap_cache.h"

namespace {

using mox::webservice::Descriptor;
using mox::webservice::WebServiceException;
using mox::webservice::client::Device;
using mox::webservice::client::SoapCache;
using mox::webservice::client::SoapItem;

enum Call : std::uint8_t {
  kImage,           // scam:SingleImageResponse into new memory
  kImageInto,       // scam:SingleImageResponse into the caller's buffer
  kRamRead,         // scam:readImageRAMResponse
  kRamReducedRead,  // scam:readImageRAMReducedDataResponse
  kRegister,        // scam:GetSensorRegisterResponse
  kRegisterNames,   // scam:SensorRegisterNames
  kCameraStatus,    // status replies of the camera service
  kImageCount,      // a status reply whose failure value is 0
  kDeviceList,      // rdev:listResponse, then the device made from it
  kOpen,            // rdev:openResponse (token), then rdev:closeResponse
  kKeepAlive,       // rdev:keepAliveResponse
  kIoStatus,        // status replies of the inputs, outputs and LED services
  kCallCount
};

constexpr int kToken = 7;
constexpr unsigned char kUntouched = 0xA5;

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "reply_fuzzer: %s\n", what);
  std::abort();
}

bool untouched(const std::vector<unsigned char> &bytes) {
  for (unsigned char b : bytes)
    if (b != kUntouched) return false;
  return true;
}

using ocamera::remote::ONetCamera;
using ocamera::remote::ServiceSession;

boost::shared_ptr<Device> makeDevice(const Descriptor *descriptor, SoapCache &cache) {
  return boost::shared_ptr<Device>(new Device(descriptor, cache));
}

// A status reply that lets the image operations act.
std::string modeReply() {
  const std::string body =
      "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:scam=\"urn:vdx\">"
      "<SOAP-ENV:Body><scam:setAcquisitionModeResponse><scam:status>0</scam:status>"
      "</scam:setAcquisitionModeResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>";
  return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

// One camera object for the whole run, its contexts on the fake transport.
struct Harness {
  Harness() {
    auto owned = std::make_unique<ServiceSession>("http://127.0.0.1:9");
    session = owned.get();
    session->manager().registerType(ONetCamera::kTypeName, &makeDevice);
    camera = new ONetCamera(std::move(owned));
    // The pool keeps its four contexts (extra ones are freed when given back)
    // and no call here lends more than two, so these are all it will ever use.
    std::vector<SoapItem *> items;
    for (int i = 0; i < 4; ++i) items.push_back(cache().acquire());
    for (SoapItem *item : items) {
      ocamera_fuzz::installFakeTransport(item->context());
      contexts.push_back(item->context());
    }
    for (SoapItem *item : items) cache().release(item);
    descriptor.id = 1;
    descriptor.type = ONetCamera::kTypeName;
    // The image operations act only once a free-running mode reached the camera.
    const std::string reply = modeReply();
    ocamera_fuzz::setReply(reinterpret_cast<const std::uint8_t *>(reply.data()), reply.size());
    if (camera->setAcquisitionMode(OCamera::ACQ_MODE_FREE_RUN) != 0) fail("no free-run mode");
    forgetConnections();
  }

  SoapCache &cache() { return session->cache(); }
  void forgetConnections() {
    for (struct soap *ctx : contexts) ocamera_fuzz::forgetConnection(ctx);
  }

  // Owned by the camera object, which lives as long as the process.
  ServiceSession *session;
  ONetCamera *camera;
  std::vector<struct soap *> contexts;
  Descriptor descriptor;
};

// Reads `size` bytes at `data` (AddressSanitizer checks each access).
void readAll(const unsigned char *data, int size) {
  if (size < 0) fail("negative size");
  static volatile unsigned sink = 0;
  for (int i = 0; i < size; ++i) sink = sink + data[i];
}

// Reads every byte of every name (AddressSanitizer checks each access).
void walkNames(const char *const *names) {
  static volatile std::size_t sink = 0;
  for (const char *const *name = names; name && *name; ++name) sink = sink + std::strlen(*name);
}

void run(Harness &h, Call call, unsigned length, std::size_t replyBytes) {
  OCamera &camera = *h.camera;
  switch (call) {
    case kImage: {
      OCamera::Image image{};
      const int result = camera.getSingleImage(&image);
      // A failure or a refusal (the camera's status) brings no data.
      if (result != 0 && image.data) fail("getSingleImage: data without success");
      // The record's size is what the caller may read at data.
      if (image.data) readAll(image.data, image.size);
      if (camera.freeImage(&image) != 0 || image.data) fail("freeImage");
      break;
    }
    case kImageInto: {
      // The decoded payload is never longer than the reply that carries it.
      std::vector<unsigned char> buffer(replyBytes + 1, kUntouched);
      OCamera::Image image{};
      image.data = buffer.data();
      const int result = camera.getSingleImageInto(&image);
      // The image is decoded straight into the buffer, so a reply that fails
      // late may leave part of it there; the record tells no success, and
      // AddressSanitizer checks that nothing went past the buffer.
      if (result != 0 && (image.size != 0 || image.seqNr != 0 || image.data != buffer.data()))
        fail("getSingleImageInto: record written without success");
      // A buffer of exactly `length` bytes: AddressSanitizer catches any write
      // past it, whatever size the reply announces or carries.
      h.forgetConnections();
      std::unique_ptr<unsigned char[]> room(new unsigned char[length > 0 ? length : 1]);
      OCamera::Image grabbed{};
      switch (camera.grabImage(room.get(), length, &grabbed)) {
        case OCamera::GRAB_IMAGE:
          if (grabbed.data != room.get() || grabbed.size < 1 ||
              static_cast<unsigned>(grabbed.size) > length)
            fail("grabImage: an image that does not fit the buffer");
          break;
        case OCamera::GRAB_TOO_LARGE:
          if (grabbed.size <= static_cast<int>(length) || grabbed.data)
            fail("grabImage: too large without a larger size");
          break;
        default:
          if (grabbed.data || grabbed.seqNr) fail("grabImage: record written without an image");
      }
      break;
    }
    case kRamRead: {
      std::vector<unsigned char> destination(length, kUntouched);
      const int result = camera.readImageRAM(destination.data(), 0, length);
      if (result != 0 && length > 0 && !untouched(destination))
        fail("readImageRAM: written without success");
      break;
    }
    case kRamReducedRead: {
      std::vector<unsigned char> destination(length, kUntouched);
      int returned = -1;
      const int result = camera.readImageRAMReducedData(destination.data(), 0, length, &returned);
      if (returned < 0 || static_cast<unsigned>(returned) > length)
        fail("readImageRAMReducedData: returned length out of range");
      if (result != 0 && (returned != 0 || (length > 0 && !untouched(destination))))
        fail("readImageRAMReducedData: written without success");
      break;
    }
    case kRegister: {
      unsigned value = 0;
      camera.getSensorRegister("gain", &value);
      break;
    }
    case kRegisterNames:
      // Twice: the second list replaces the first.
      walkNames(camera.getSensorRegisterNames());
      h.forgetConnections();
      walkNames(camera.getSensorRegisterNames());
      break;
    case kCameraStatus:
      camera.setGain(2);
      h.forgetConnections();
      camera.setAcquisitionMode(OCamera::ACQ_MODE_SINGLE_SHOT);
      h.forgetConnections();
      {
        const unsigned char bytes[4] = {1, 2, 3, 4};
        camera.writeImageRAM(bytes, 0, sizeof bytes);
      }
      break;
    case kImageCount:
      camera.getImageCount();
      break;
    case kDeviceList:
      try {
        boost::shared_ptr<Device> device = h.session->manager().createDevice(ONetCamera::kTypeName);
        if (device) {
          h.forgetConnections();
          device->open(false, 3);
          h.forgetConnections();
          device->close();
        }
      } catch (const WebServiceException &) {
      }
      break;
    case kOpen: {
      Device device(&h.descriptor, h.cache());
      try {
        device.open(false, 3);
      } catch (const WebServiceException &) {
      }
      h.forgetConnections();
      device.close();
      break;
    }
    case kKeepAlive: {
      Device device(&h.descriptor, h.cache());
      device.keepAlive(false);
      h.forgetConnections();
      device.keepAlive(true);
      break;
    }
    case kIoStatus: {
      using ocamera::remote::callStatus;
      callStatus(h.cache(), &ocam::soap_call_sinp__iGetInputs, kToken);
      h.forgetConnections();
      callStatus(h.cache(), &ocam::soap_call_sinp__iWaitForInputs, kToken, 3, 1);
      h.forgetConnections();
      callStatus(h.cache(), &ocam::soap_call_sout__iGetOutput, kToken,
                 ocam::sout__eCameraOutput(4));
      h.forgetConnections();
      callStatus(h.cache(), &ocam::soap_call_sled__iSetLED, kToken, ocam::sled__eCameraLED(85), 1);
      break;
    }
    case kCallCount:
      break;
  }
  h.forgetConnections();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static Harness *harness = new Harness();
  if (size < 2) return 0;
  const Call call = static_cast<Call>(static_cast<std::uint8_t>(data[0] - 'a') % kCallCount);
  const unsigned length = static_cast<std::uint8_t>(data[1] - '0');
  ocamera_fuzz::setReply(data + 2, size - 2);
  run(*harness, call, length, size - 2);
  return 0;
}
