// The package's exception classes and the capture of the library's creation lines.
#include <ocamera/export.h>
#include <ocamera/status.h>

#include <cstdio>
#include <string>

#include "common.h"

namespace ocamera_python {
namespace {

py::object &cameraErrorType() {
  static py::object *type = new py::object();  // lives as long as the interpreter
  return *type;
}
py::object &timeoutErrorType() {
  static py::object *type = new py::object();
  return *type;
}
py::object &creationErrorType() {
  static py::object *type = new py::object();
  return *type;
}

// The creation lines of the factory running on this thread, when one runs.
thread_local std::string *capturing = nullptr;

void logLine(ocamera::LogSource source, const char *line, void *) {
  if (source == ocamera::LogSource::Creation && capturing) {
    if (!capturing->empty()) *capturing += "; ";
    *capturing += line;
    return;
  }
  std::FILE *to = source == ocamera::LogSource::KeepAlive ? stdout : stderr;
  std::fprintf(to, "%s\n", line);
  std::fflush(to);
}

const char kErrors[] = R"(
import builtins


class Error(Exception):
    """Base class of the errors this package raises."""


class CameraError(Error):
    """A request failed: status is the result (-1 for a failed request, else the
    camera's status), operation the call that failed and text the library's
    words for the status."""

    def __init__(self, status, operation, text=None):
        super().__init__(status, operation)
        self.status = status
        self.operation = operation
        self.text = text if text is not None else f"status {status}"

    def __str__(self):
        return f"{self.operation}: {self.text}"


class TimeoutError(CameraError, builtins.TimeoutError):
    """A wait ran out: the camera's own time-out (no image within the read
    time-out, an input wait that reached its time-out; status -21) or the
    reply time-out of set_reply_timeout (status -1: no answer within it)."""


class CreationError(Error, ConnectionError):
    """An object could not be made: what it is, the address and why."""

    def __init__(self, what, address, reason):
        super().__init__(what, address, reason)
        self.what = what
        self.address = address
        self.reason = reason

    def __str__(self):
        verb = "read" if self.what == "device list" else "create"
        return f"cannot {verb} the {self.what} at {self.address}: {self.reason}"


class ClosedError(Error, ValueError):
    """An operation on an object after close()."""
)";

}  // namespace

void defineErrors(py::module_ &m) {
  py::dict scope;
  scope["__name__"] = "ocamera";
  scope["__builtins__"] = py::module_::import("builtins");
  py::exec(kErrors, scope);
  for (const char *name : {"Error", "CameraError", "TimeoutError", "CreationError", "ClosedError"})
    m.attr(name) = scope[name];
  cameraErrorType() = scope["CameraError"];
  m.def(
      "status_text", [](int status) { return ocamera::statusText(status); }, py::arg("status"),
      "The library's words for a result: \"the camera refused the value (status -15)\", "
      "\"the request failed (no answer from the camera)\"; the text of CameraError.");
  timeoutErrorType() = scope["TimeoutError"];
  creationErrorType() = scope["CreationError"];
  static py::object closedType = scope["ClosedError"];
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const ClosedError &e) {
      PyErr_SetString(closedType.ptr(), e.what());
    }
  });
}

void raiseCameraError(int status, const char *operation, Clock::time_point started,
                      const char *detail) {
  py::object type = cameraErrorType();
  std::string text = detail ? detail : ocamera::statusText(status);
  const int replyTimeoutMs = ocamera::replyTimeout();
  const Clock::time_point now = Clock::now();
  if (status == ocamera::status::kTimeout) {
    type = timeoutErrorType();
  } else if (status == ocamera::status::kRequestFailed && replyTimeoutMs > 0 && started <= now &&
             now - started >= std::chrono::milliseconds(replyTimeoutMs)) {
    // The library fails such a request with -1 like any other; how long it
    // waited tells the reply time-out apart.
    type = timeoutErrorType();
    text = "no answer within " + std::to_string(replyTimeoutMs) + " ms (the reply time-out)";
  }
  PyErr_SetObject(type.ptr(), type(status, operation, text).ptr());
  throw py::error_already_set();
}

void raiseCreationError(const std::string &what, const std::string &address,
                        const std::string &reason) {
  // The library's sentences name the object and the address first ("cannot
  // create the camera at ADDRESS: why"); the exception says those itself.
  std::string why = reason;
  const std::string at = " at " + address + ": ";
  const std::size_t named = why.find(at);
  if (why.compare(0, 7, "cannot ") == 0 && named != std::string::npos)
    why.erase(0, named + at.size());
  if (why.empty()) why = "the library gave no reason";
  PyErr_SetObject(creationErrorType().ptr(), creationErrorType()(what, address, why).ptr());
  throw py::error_already_set();
}

void *createCapturing(const std::function<void *()> &create, std::string *reason) {
  std::string lines;
  void *object = nullptr;
  {
    py::gil_scoped_release unlocked;
    capturing = &lines;
    try {
      object = create();
    } catch (...) {
      capturing = nullptr;
      throw;
    }
    capturing = nullptr;
    // The library's reason in words, from the factory that ran on this thread;
    // the captured lines only when it gave none (a stream's own refusal).
    if (!object && reason) {
      *reason = ocamera::lastCreationError();
      if (reason->empty()) *reason = lines;
    }
  }
  return object;
}

void installLogHandler() { ocamera::setLogHandler(&logLine, nullptr); }

void defineSettings(py::module_ &m) {
  m.def(
      "set_reply_timeout", [](int ms) { ocamera::setReplyTimeout(ms); }, py::arg("milliseconds"),
      "Every request started afterwards, of every object, fails with -1 when its reply takes "
      "longer than this (milliseconds; 0 or less switches the limit off, the default); "
      "objects made with check=True raise TimeoutError then. Choose it above the longest "
      "wait the camera is asked for (set_read_timeout, Inputs.set_timeout).");
  m.def(
      "reply_timeout", [] { return ocamera::replyTimeout(); },
      "The reply time-out in force in milliseconds, 0 when off.");
  m.def(
      "set_request_logging", [](bool on) { ocamera::setRequestLogging(on); }, py::arg("on"),
      "With on, every request writes one line naming the operation and its result to "
      "standard error.");
}

}  // namespace ocamera_python
