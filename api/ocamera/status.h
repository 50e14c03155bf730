// Result codes of the camera's operations, as the library hands them on.
//
// Every operation that answers a status returns 0 for success. A getter
// answers its value, which is never negative. -1 is the library's own: the
// request failed (no connection, no reply, a reply it could not read). The
// other negative codes are those the camera answers; ocamsim answers the same
// ones. A camera with other firmware may answer codes of its own, which the
// library passes on unchanged.
#pragma once

#include <ocamera/export.h>

#include <string>

namespace ocamera {
namespace status {

constexpr int kOk = 0;  // success
// The request failed: the library got no usable answer.
constexpr int kRequestFailed = -1;
// The token names no open session (unknown, closed, expired), or a session on a
// device of another kind (an inputs token sent to the camera service, ...).
constexpr int kBadSession = -10;
// The service instance of this session has not been made.
constexpr int kNotCreated = -11;
// The service instance of this session was made already.
constexpr int kAlreadyCreated = -12;
// The camera is not open (OCamera::open), or the I/O device not opened.
constexpr int kNotOpen = -13;
// OCamera::open while the camera is open (by this or another session).
constexpr int kAlreadyOpen = -14;
// A value the camera refuses: an ordinal outside its enumeration, a window or
// region outside the sensor, a gain, shutter time or frame rate outside its
// range (see the setters of OCamera), a negative time-out, ...
constexpr int kBadArgument = -15;
// The operation does not fit the acquisition mode (a trigger outside single
// shot and select shot).
constexpr int kBadMode = -16;
// An image-memory address range that does not lie inside the image RAM.
constexpr int kOutOfRange = -17;
// The image RAM is disabled (disableImageRAM; initImageRAM enables it).
constexpr int kRamDisabled = -18;
// A sensor register name not in the list.
constexpr int kUnknownRegister = -19;
// Writing a read-only sensor register.
constexpr int kReadOnlyRegister = -20;
// No image arrived within the read time-out, or an input wait reached its
// time-out.
constexpr int kTimeout = -21;
// No image will come: the queue is empty and the acquisition is stopped.
constexpr int kNoImage = -22;
// Outputs are locked by an overload until OUTPUT_OVERLOAD_UNLOCK is set.
constexpr int kOverload = -23;
// The camera is shutting down; a blocked wait was cut short.
constexpr int kShutdown = -24;

}  // namespace status

// What a result code means, in the words every front end shows: "the camera
// refused the value (status -15)", "the request failed (no answer from the
// camera)", "success (status 0)"; a code the library does not know reads "the
// camera refused (status N)". Thread-safe; allocates the string only.
OCAMERA_API std::string statusText(int status);

// Why the last factory call on the calling thread (CreateCameraInterface,
// CreateCameraInputs, CreateCameraOutputs, CreateCameraLEDs and their static
// forms) returned null, in words: the object, the address, the step and the
// camera's or the network's reason, e.g. "cannot create the camera at
// 127.0.0.1:8000: listing the devices: connection refused". Empty after a
// factory call that succeeded and before the first. Each thread has its own;
// the line the failure writes to the log is unchanged.
OCAMERA_API std::string lastCreationError();
}  // namespace ocamera
