// ocamera.Inputs, ocamera.Outputs and ocamera.LEDs: the I/O services, one
// session each. Results are the service's (the state read for getters, a status
// for the rest, waits included), -1 for a failed request.
#include <ocamera/inputs.h>
#include <ocamera/leds.h>
#include <ocamera/outputs.h>
#include <ocamera/status.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>

#include "common.h"
#include "docs.h"
#include "wait.h"

namespace ocamera_python {
namespace {

template <class T>
class IoObject : public Wrapper<T> {
 public:
  IoObject(std::optional<std::string> address, bool check, const char *what,
           T *(*create)(const char *))
      : Wrapper<T>(address, check, what,
                   [create](const char *at) { return at ? create(at) : T::poCreateInterface(); }) {}
  void close() { this->release(nullptr); }
  // A wait of the camera that Ctrl-C interrupts (see wait.h); its result is
  // checked as a status.
  template <class F>
  int wait(const char *operation, F f) {
    const Clock::time_point started = Clock::now();
    return checkStatus(this->check(),
                       runInterruptibly([this, f](const std::function<void()> &entered) {
                         return this->object_.sharedWithoutGil([&](T &o) {
                           entered();
                           return f(o);
                         });
                       }),
                       operation, started);
  }
};

template <class T>
py::class_<IoObject<T>> bindCommon(py::module_ &m, const char *name, const char *what,
                                   T *(*create)(const char *), const char *doc) {
  using W = IoObject<T>;
  py::class_<W> c(m, name, doc);
  c.def(py::init([what, create](std::optional<std::string> address, bool check) {
          return new W(address, check, what, create);
        }),
        py::arg("address") = py::none(), py::arg("check") = false,
        keepDoc(std::string("Connects to the ") + what +
                " service at address (host:port; None: the factory default, port 8080) and "
                "opens a session. CreationError (a ConnectionError) names the address and "
                "why when it cannot."));
  bindLifetime(c, "Destroys the object once; later calls do nothing.")
      .def("__repr__",
           [name](W &w) {
             return std::string("<ocamera.") + name + " address='" + w.address() + "' " +
                    (w.closed() ? "closed" : "open") + (w.check() ? " check=True" : "") + ">";
           })
      .def(
          "open_io", [](W &s) { return s.status("iOpen", [](T &o) { return o.iOpen(); }); },
          statusDoc("Opens the device for this session (C++ iOpen)."))
      .def(
          "close_io", [](W &s) { return s.status("iClose", [](T &o) { return o.iClose(); }); },
          statusDoc("Closes what open_io opened (C++ iClose).", {ocamera::status::kNotOpen}));
  return c;
}

}  // namespace

void defineIo(py::module_ &m) {
  using I = OCameraInputs;
  using IW = IoObject<I>;
  bindCommon<I>(m, "Inputs", "inputs", &CreateCameraInputs,
                "The camera's two digital inputs at an address (host:port of the I/O "
                "service; None: the factory default). Waits release the GIL and end with "
                "KeyboardInterrupt on Ctrl-C (the camera's wait is abandoned); bound them "
                "with set_timeout.")
      .def(
          "get_inputs",
          [](IW &s) { return s.value("iGetInputs", [](I &o) { return o.iGetInputs(); }); },
          valueDoc("The levels of I0 and I1 and their latched edges as a mask of Input bits "
                   "(I0, I1, I0_RE, I0_FE, I1_RE, I1_FE, OVERLOAD).",
                   "the mask"))
      .def(
          "get_input",
          [](IW &s, I::eCameraInput in) {
            return s.value("iGetInput", [&](I &o) { return o.iGetInput(in); });
          },
          py::arg("input"),
          valueDoc("The state of one Input bit: a level (I0, I1), a latched edge (I0_RE ...) or "
                   "OVERLOAD.",
                   "1 when it is set, 0 when not"))
      .def(
          "set_timeout",
          [](IW &s, int timeout) {
            return s.status("iSetTimeout", [&](I &o) { return o.iSetTimeout(timeout); });
          },
          py::arg("timeout"),
          keepDoc("Bound of every wait of this session, in milliseconds (5000 on ocamsim at "
                  "start); a wait that passes it answers " +
                  statusWords(ocamera::status::kTimeout) + ".\n\n" +
                  statusResult({ocamera::status::kBadArgument})))
      .def(
          "wait_for_input",
          [](IW &s, I::eCameraInput in, int state) {
            return s.wait("iWaitForInput", [=](I &o) { return o.iWaitForInput(in, state); });
          },
          py::arg("input"), py::arg("state"),
          keepDoc(
              std::string("Waits until the input (I0 or I1) has the level state (0 or 1), at most "
                          "set_timeout.") +
              " Ctrl-C raises KeyboardInterrupt (the camera's wait goes on until it ends).\n\n" +
              statusResult({ocamera::status::kTimeout})))
      .def(
          "wait_for_inputs",
          [](IW &s, int mask, int state) {
            return s.wait("iWaitForInputs", [=](I &o) { return o.iWaitForInputs(mask, state); });
          },
          py::arg("mask"), py::arg("state"),
          keepDoc(
              std::string("Waits until the inputs of mask (Input bits, combined with |) have the "
                          "levels of the same bits of state, at most set_timeout.") +
              " Ctrl-C raises KeyboardInterrupt (the camera's wait goes on until it ends).\n\n" +
              statusResult({ocamera::status::kTimeout})))
      .def(
          "wait_for_input_change",
          [](IW &s, I::eCameraInput in) {
            return s.wait("iWaitForInputChange", [=](I &o) { return o.iWaitForInputChange(in); });
          },
          py::arg("input"),
          keepDoc(
              std::string(
                  "Waits until the input (I0 or I1) changes its level, at most set_timeout.") +
              " Ctrl-C raises KeyboardInterrupt (the camera's wait goes on until it ends).\n\n" +
              statusResult({ocamera::status::kTimeout})))
      .def(
          "wait_for_inputs_change",
          [](IW &s, int mask) {
            return s.wait("iWaitForInputsChange",
                          [=](I &o) { return o.iWaitForInputsChange(mask); });
          },
          py::arg("mask"),
          keepDoc(
              std::string("Waits until one of the inputs of mask (Input bits, combined with |) "
                          "changes its level, at most set_timeout.") +
              " Ctrl-C raises KeyboardInterrupt (the camera's wait goes on until it ends).\n\n" +
              statusResult({ocamera::status::kTimeout})))
      .def(
          "clear_edges",
          [](IW &s, int mask) {
            return s.status("iClearEdges", [&](I &o) { return o.iClearEdges(mask); });
          },
          py::arg("mask"),
          statusDoc(
              "Clears the latched edges of mask (I0_RE, I0_FE, I1_RE, I1_FE, combined with |)."))
      .def(
          "reserved",
          [](IW &s) { return s.value("iReserved", [](I &o) { return o.iReserved(); }); },
          "Reserved: always -1, sends nothing.");

  using O = OCameraOutputs;
  using OW = IoObject<O>;
  bindCommon<O>(m, "Outputs", "outputs", &CreateCameraOutputs,
                "The camera's four digital outputs at an address.")
      .def(
          "get_outputs",
          [](OW &s) { return s.value("iGetOutputs", [](O &o) { return o.iGetOutputs(); }); },
          valueDoc("The outputs O0..O3 as a mask of Output bits.", "the mask"))
      .def(
          "get_output",
          [](OW &s, O::eCameraOutput out) {
            return s.value("iGetOutput", [&](O &o) { return o.iGetOutput(out); });
          },
          py::arg("output"),
          valueDoc("The state of one output (O0..O3).", "1 when it is on, 0 when off"))
      .def(
          "set_outputs",
          [](OW &s, int mask, int state) {
            return s.status("iSetOutputs", [&](O &o) { return o.iSetOutputs(mask, state); });
          },
          py::arg("mask"), py::arg("state"),
          statusDoc("Sets the outputs of mask (Output bits, combined with |) to the same bits of "
                    "state; OVERLOAD_UNLOCK in both unlocks outputs an overload locked.",
                    {ocamera::status::kOverload}))
      .def(
          "set_output",
          [](OW &s, O::eCameraOutput out, int state) {
            return s.status("iSetOutput", [&](O &o) { return o.iSetOutput(out, state); });
          },
          py::arg("output"), py::arg("state"),
          statusDoc("Switches one output on (state 1) or off (0).", {ocamera::status::kOverload}))
      .def(
          "toggle_outputs",
          [](OW &s, int mask) {
            return s.status("iToggleOutputs", [&](O &o) { return o.iToggleOutputs(mask); });
          },
          py::arg("mask"),
          statusDoc("Toggles the outputs of mask (Output bits, combined with |).",
                    {ocamera::status::kOverload}))
      .def(
          "toggle_output",
          [](OW &s, O::eCameraOutput out) {
            return s.status("iToggleOutput", [&](O &o) { return o.iToggleOutput(out); });
          },
          py::arg("output"), statusDoc("Toggles one output.", {ocamera::status::kOverload}));

  using L = OCameraLEDs;
  using LW = IoObject<L>;
  bindCommon<L>(m, "LEDs", "LEDs", &CreateCameraLEDs,
                "The camera's four two-colour status LEDs at an address.")
      .def(
          "get_leds", [](LW &s) { return s.value("iGetLEDs", [](L &o) { return o.iGetLEDs(); }); },
          valueDoc("The LEDs that are lit, as a mask of LED bits.", "the mask"))
      .def(
          "get_led",
          [](LW &s, L::eCameraLED led) {
            return s.value("iGetLED", [&](L &o) { return o.iGetLED(led); });
          },
          py::arg("led"),
          valueDoc("The state of one LED (LED_0_RED ... LED_3_YELLOW).",
                   "1 when it is lit, 0 when not"))
      .def(
          "set_leds",
          [](LW &s, int mask, int state) {
            return s.status("iSetLEDs", [&](L &o) { return o.iSetLEDs(mask, state); });
          },
          py::arg("mask"), py::arg("state"),
          statusDoc("Sets the LEDs of mask (LED bits or the groups LED_ALL_RED ..., combined with "
                    "|) to the same bits of state."))
      .def(
          "set_led",
          [](LW &s, L::eCameraLED led, int state) {
            return s.status("iSetLED", [&](L &o) { return o.iSetLED(led, state); });
          },
          py::arg("led"), py::arg("state"), statusDoc("Switches one LED on (state 1) or off (0)."))
      .def(
          "toggle_leds",
          [](LW &s, int mask) {
            return s.status("iToggleLEDs", [&](L &o) { return o.iToggleLEDs(mask); });
          },
          py::arg("mask"), statusDoc("Toggles the LEDs of mask (LED bits, combined with |)."))
      .def(
          "toggle_led",
          [](LW &s, L::eCameraLED led) {
            return s.status("iToggleLED", [&](L &o) { return o.iToggleLED(led); });
          },
          py::arg("led"), statusDoc("Toggles one LED."));
}

}  // namespace ocamera_python
