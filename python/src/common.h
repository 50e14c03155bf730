// Shared pieces of the Python binding: the exception types, the checked-result
// rule, the capture of the library's creation lines, the guard that keeps
// close() from overlapping another call of the same object and the wrapper
// around one library object built on them.
#pragma once

#include <ocamera/export.h>
#include <pybind11/eval.h>
#include <pybind11/pybind11.h>

#include <chrono>
#include <climits>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace ocamera_python {

namespace py = pybind11;

// Raised in C++ and translated to ocamera.ClosedError (a ValueError, as for a
// closed file) when an object is used after close().
class ClosedError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Clock = std::chrono::steady_clock;
// The start of a request that is not known: no failure of it counts as a
// reply time-out.
constexpr Clock::time_point kUnknownStart = Clock::time_point::max();

// The exception classes of the package, made at import (see errors.cpp).
void defineErrors(py::module_ &m);
// Raises ocamera.CameraError(status, operation), or ocamera.TimeoutError for
// the camera's time-out status and for a failed request (-1) that started at
// least the reply time-out in force before now. The exception's text is
// detail when given, else the library's words for the status.
[[noreturn]] void raiseCameraError(int status, const char *operation,
                                   Clock::time_point started = kUnknownStart,
                                   const char *detail = nullptr);
// Raises ocamera.CreationError(what, address, reason).
[[noreturn]] void raiseCreationError(const std::string &what, const std::string &address,
                                     const std::string &reason);

// A Python integer (or an object with __index__) given as `name`, for a C++ int
// in [low, high]: TypeError when it is no integer, ValueError naming the
// argument and the range when it lies outside.
inline int intArgument(py::handle value, const std::string &name, long long low = INT_MIN,
                       long long high = INT_MAX) {
  PyObject *index = PyNumber_Index(value.ptr());
  if (!index) {
    PyErr_Clear();
    throw py::type_error(name + " must be an int, not " +
                         std::string(Py_TYPE(value.ptr())->tp_name));
  }
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(index, &overflow);
  const std::string text = py::str(py::handle(index)).cast<std::string>();
  Py_DECREF(index);
  if (overflow || number < low || number > high)
    throw py::value_error(name + "=" + text + " is out of range (" + std::to_string(low) + " to " +
                          std::to_string(high) + ")");
  return static_cast<int>(number);
}

// With check, a status operation fails on anything but 0 and a value
// operation (a getter, a wait) on a negative result. Either returns result.
// started is when the request went out (see raiseCameraError).
inline int checkStatus(bool check, int result, const char *operation,
                       Clock::time_point started = kUnknownStart) {
  if (check && result != 0) raiseCameraError(result, operation, started);
  return result;
}
inline int checkValue(bool check, int result, const char *operation,
                      Clock::time_point started = kUnknownStart) {
  if (check && result < 0) raiseCameraError(result, operation, started);
  return result;
}

// Runs create (without the GIL) and returns its result; the library's
// creation lines written meanwhile on this thread are collected in *reason
// instead of going to standard error (empty when there were none).
void *createCapturing(const std::function<void *()> &create, std::string *reason);
// Installs the library's log handler; lines not being captured go where the
// library would send them without a handler.
void installLogHandler();

// Calls of one object share the lock; close() takes it alone, so it waits for
// calls in flight and a call after it finds the object gone. Operations the
// library says must not overlap any other call of the object take it alone too.
// The lock is always taken without the GIL, so a blocked call cannot stop
// other Python threads.
template <class T>
class Guarded {
 public:
  explicit Guarded(T *object) : object_(object) {}

  template <class F>
  auto shared(F &&f) {
    py::gil_scoped_release unlocked;
    std::shared_lock<std::shared_mutex> lock(mutex_);
    return f(get());
  }
  template <class F>
  auto exclusive(F &&f) {
    py::gil_scoped_release unlocked;
    std::unique_lock<std::shared_mutex> lock(mutex_);
    return f(get());
  }
  // As shared(), on a thread that does not hold the GIL (see wait.h).
  template <class F>
  auto sharedWithoutGil(F &&f) {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    return f(get());
  }
  // Takes the object out (null when it was taken already) for its one destroy.
  T *take() {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    T *object = object_;
    object_ = nullptr;
    return object;
  }
  bool closed() {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    return object_ == nullptr;
  }

 private:
  T &get() {
    if (!object_) throw ClosedError("the object is closed");
    return *object_;
  }
  std::shared_mutex mutex_;
  T *object_;
};

// One library object as a Python object: made at an address (None: the factory
// default) through the library's factory, with its check setting, used through
// status() and value(), and destroyed once, by release() or at the latest when
// the Python object goes.
template <class T>
class Wrapper {
 public:
  const std::string &address() const { return address_; }
  bool check() const { return check_; }
  bool closed() { return object_.closed(); }

  template <class F>
  int status(const char *operation, F &&f) {
    const Clock::time_point started = Clock::now();
    return checkStatus(check_, object_.shared(f), operation, started);
  }
  template <class F>
  int value(const char *operation, F &&f) {
    const Clock::time_point started = Clock::now();
    return checkValue(check_, object_.shared(f), operation, started);
  }
  template <class F>
  int exclusiveStatus(const char *operation, F &&f) {
    const Clock::time_point started = Clock::now();
    return checkStatus(check_, object_.exclusive(f), operation, started);
  }

 protected:
  // create gets the address, null for the factory default, and runs without
  // the GIL; when it gives no object, CreationError names what and why.
  Wrapper(const std::optional<std::string> &address, bool check, const char *what,
          const std::function<T *(const char *)> &create)
      : address_(address ? *address : ocamera::kFactoryDefaultAddress),
        check_(check),
        object_(make(address, what, create)) {}
  ~Wrapper() {
    if (!object_.closed()) release(nullptr);
  }
  Wrapper(const Wrapper &) = delete;
  Wrapper &operator=(const Wrapper &) = delete;

  // The one destroy of the object, without the GIL (destroy is a request);
  // false when it was done already. Where destroy gives a result, it is put in
  // *result (when result is not null).
  bool release(int *result) {
    py::gil_scoped_release unlocked;
    T *object = object_.take();
    if (!object) return false;
    if constexpr (std::is_void_v<decltype(object->destroy())>) {
      object->destroy();
    } else {
      const int destroyed = object->destroy();
      if (result) *result = destroyed;
    }
    return true;
  }

 private:
  static Guarded<T> make(const std::optional<std::string> &address, const char *what,
                         const std::function<T *(const char *)> &create) {
    std::string reason;
    void *object = createCapturing(
        [&]() -> void * { return create(address ? address->c_str() : nullptr); }, &reason);
    if (!object)
      raiseCreationError(what, address ? *address : ocamera::kFactoryDefaultAddress, reason);
    return Guarded<T>(static_cast<T *>(object));
  }

  std::string address_;
  bool check_;

 protected:
  Guarded<T> object_;  // after address_ and check_, which are made first
};

// The lifetime part of a wrapper's Python class: address, check and closed,
// close() and destroy() (both W::close), and the with block closing it.
template <class W>
py::class_<W> &bindLifetime(py::class_<W> &c, const char *closeDoc) {
  c.def_property_readonly("address", &W::address, "The address the object was made at.")
      .def_property_readonly("check", &W::check,
                             "Whether failures raise CameraError instead of returning a result.")
      .def_property_readonly("closed", &W::closed, "Whether close() was called.")
      .def("close", &W::close, closeDoc)
      .def("destroy", &W::close, "The same as close().")
      .def(
          "__enter__", [](W &self) -> W & { return self; }, py::return_value_policy::reference,
          "The object itself; the end of the with block closes it.")
      .def(
          "__exit__", [](W &self, py::args) { self.close(); }, "Closes the object.");
  return c;
}

// Python objects handed out whose signature (help(), the type stubs) names
// their type instead of "object".
#define OCPY_TYPED_OBJECT(Type)                                   \
  struct Type : py::object {                                      \
    Type(py::object o = py::none()) : py::object(std::move(o)) {} \
  }
OCPY_TYPED_OBJECT(FrameObject);  // a Frame
OCPY_TYPED_OBJECT(FrameOrNone);  // a Frame, or None
OCPY_TYPED_OBJECT(Array);        // a numpy array
OCPY_TYPED_OBJECT(ArrayOrNone);  // a numpy array (or a buffer given), or None
OCPY_TYPED_OBJECT(EventOrNone);  // (StreamEvent, str), or None
OCPY_TYPED_OBJECT(NamesOrNone);  // a list of str, or None

// The parts of the package, each defined in its own file.
void defineEnums(py::module_ &m);
void defineCamera(py::module_ &m);
void defineIo(py::module_ &m);
void defineTools(py::module_ &m);
void defineDevices(py::module_ &m);
void defineStream(py::module_ &m);
void defineSettings(py::module_ &m);

}  // namespace ocamera_python

namespace pybind11 {
namespace detail {
#define OCPY_TYPE_NAME(Type, text)                 \
  template <>                                      \
  struct handle_type_name<ocamera_python::Type> {  \
    static constexpr auto name = const_name(text); \
  }
OCPY_TYPE_NAME(FrameObject, "ocamera._ocamera.Frame");
OCPY_TYPE_NAME(FrameOrNone, "Optional[ocamera._ocamera.Frame]");
OCPY_TYPE_NAME(Array, "numpy.ndarray");
OCPY_TYPE_NAME(ArrayOrNone, "Optional[numpy.ndarray]");
OCPY_TYPE_NAME(EventOrNone, "Optional[Tuple[ocamera._ocamera.StreamEvent, str]]");
OCPY_TYPE_NAME(NamesOrNone, "Optional[List[str]]");
#undef OCPY_TYPE_NAME
}  // namespace detail
}  // namespace pybind11

namespace ocamera_python {

// A C-contiguous view of any Python buffer (bytes, bytearray, numpy array),
// held for as long as this object lives.
class BufferView {
 public:
  BufferView(py::handle object, bool writable) {
    const int flags = PyBUF_C_CONTIGUOUS | (writable ? PyBUF_WRITABLE : 0);
    if (PyObject_GetBuffer(object.ptr(), &view_, flags) != 0) throw py::error_already_set();
  }
  ~BufferView() { PyBuffer_Release(&view_); }
  BufferView(const BufferView &) = delete;
  BufferView &operator=(const BufferView &) = delete;
  unsigned char *data() const { return static_cast<unsigned char *>(view_.buf); }
  std::size_t size() const { return static_cast<std::size_t>(view_.len); }

 private:
  Py_buffer view_{};
};

}  // namespace ocamera_python
