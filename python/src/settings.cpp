// ocamera.Settings: the camera's settable state as a document (the library's
// <ocamera/settings.h>), dict-like by setting name, with the names, ranges and
// help of the library's table; and the camera's settings operations (apply,
// reset_settings, session_record, read_settings, sensor_geometry).
#include "settings.h"

#include <ocamera/settings.h>

#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace ocamera_python {
namespace {

using ocamera::SettingFieldType;

const ocamera::SettingInfo &settingOf(const std::string &name) {
  const ocamera::SettingInfo *setting = ocamera::findSetting(name);
  if (!setting) throw py::key_error("no setting '" + name + "' (see ocamera.setting_table())");
  return *setting;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// One field of a value as Python gives it back: int, float, bool, the
// choice's name, bytes.
py::object fieldObject(const ocamera::SettingField &field, const ocamera::SettingValue &value,
                       std::size_t i) {
  const double n = i < value.numbers.size() ? value.numbers[i] : 0;
  switch (field.type) {
    case SettingFieldType::Int:
      return py::int_(static_cast<long long>(n));
    case SettingFieldType::Bool:
      return py::bool_(n != 0);
    case SettingFieldType::Choice:
      for (const ocamera::SettingChoice &c : field.choices)
        if (c.value == static_cast<int>(n)) return py::str(c.name);
      return py::int_(static_cast<long long>(n));
    case SettingFieldType::Bytes:
      return py::bytes(reinterpret_cast<const char *>(value.bytes.data()), value.bytes.size());
    default:
      return py::float_(n);
  }
}

// A one-field setting as a scalar, others as a dict of fields.
py::object valueObject(const ocamera::SettingInfo &setting, const ocamera::SettingValue &value) {
  if (setting.fields.size() == 1) return fieldObject(setting.fields[0], value, 0);
  py::dict d;
  for (std::size_t i = 0; i < setting.fields.size(); ++i)
    d[py::str(setting.fields[i].name)] = fieldObject(setting.fields[i], value, i);
  return d;
}

// "gain", or "triggerSource.polarity" for a field of several.
std::string fieldWhere(const ocamera::SettingInfo &setting, const ocamera::SettingField &field) {
  return setting.fields.size() == 1 ? std::string(setting.name)
                                    : std::string(setting.name) + "." + field.name;
}

[[noreturn]] void wrongType(const ocamera::SettingInfo &setting, const ocamera::SettingField &field,
                            const char *wanted, py::handle given) {
  throw py::type_error(fieldWhere(setting, field) + " takes " + wanted + ", not " +
                       std::string(Py_TYPE(given.ptr())->tp_name));
}

// One field from Python; the range is the library's to check.
double fieldNumber(const ocamera::SettingInfo &setting, const ocamera::SettingField &field,
                   py::handle given, std::vector<unsigned char> *bytes) {
  switch (field.type) {
    case SettingFieldType::Bool:
      if (!PyBool_Check(given.ptr()) && !PyLong_Check(given.ptr()))
        wrongType(setting, field, "a bool", given);
      return PyObject_IsTrue(given.ptr()) ? 1 : 0;
    case SettingFieldType::Choice: {
      if (py::isinstance<py::str>(given)) {
        std::string name = given.cast<std::string>();
        for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const ocamera::SettingChoice &c : field.choices) {
          std::string choice = c.name;
          for (char &ch : choice)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
          if (choice == name) return c.value;
        }
        std::string names;
        for (const ocamera::SettingChoice &c : field.choices)
          names += (names.empty() ? "" : ", ") + std::string(c.name);
        throw py::value_error(fieldWhere(setting, field) + ": '" + given.cast<std::string>() +
                              "' is none of " + names);
      }
      if (PyLong_Check(given.ptr()) || PyIndex_Check(given.ptr()))  // an enum member
        return py::int_(py::reinterpret_borrow<py::object>(given)).cast<double>();
      wrongType(setting, field, "a name (str) or an int", given);
    }
    case SettingFieldType::Bytes: {
      if (!PyObject_CheckBuffer(given.ptr())) wrongType(setting, field, "bytes", given);
      BufferView view(given, false);
      bytes->assign(view.data(), view.data() + view.size());
      return 0;
    }
    case SettingFieldType::Int: {
      PyObject *index = PyNumber_Index(given.ptr());
      if (!index) {
        PyErr_Clear();
        wrongType(setting, field, "an int", given);
      }
      const double n = PyLong_AsDouble(index);
      Py_DECREF(index);
      return n;
    }
    default:
      if (!PyNumber_Check(given.ptr()) || py::isinstance<py::str>(given))
        wrongType(setting, field, "a number", given);
      return py::float_(py::reinterpret_borrow<py::object>(given));
  }
}

ocamera::SettingValue valueFrom(const ocamera::SettingInfo &setting, py::handle given) {
  ocamera::SettingValue value;
  if (setting.fields.size() == 1) {
    value.numbers.push_back(fieldNumber(setting, setting.fields[0], given, &value.bytes));
    return value;
  }
  if (!py::isinstance<py::dict>(given))
    throw py::type_error(std::string(setting.name) + " takes a dict of its fields");
  py::dict fields = py::reinterpret_borrow<py::dict>(given);
  for (auto item : fields)
    if (!ocamera::findSettingField(setting, py::str(item.first).cast<std::string>()))
      throw py::key_error(std::string(setting.name) + " has no field '" +
                          py::str(item.first).cast<std::string>() + "'");
  for (const ocamera::SettingField &field : setting.fields) {
    if (!fields.contains(field.name))
      throw py::key_error(std::string(setting.name) + " needs its field '" + field.name + "'");
    value.numbers.push_back(fieldNumber(setting, field, fields[field.name], &value.bytes));
  }
  return value;
}

// The range of a field for docstrings.
std::string fieldRange(const ocamera::SettingField &field) {
  std::string unit = *field.unit ? std::string(" ") + field.unit : "";
  switch (field.type) {
    case SettingFieldType::Bool:
      return "bool";
    case SettingFieldType::Choice: {
      std::string names;
      for (const ocamera::SettingChoice &c : field.choices)
        names += (names.empty() ? "" : "|") + std::string(c.name);
      return names;
    }
    case SettingFieldType::Bytes:
      return "bytes, " + number(field.min) + ".." + number(field.max);
    default:
      if (field.extent == ocamera::SettingExtent::SensorWidth) return "up to the sensor's width";
      if (field.extent == ocamera::SettingExtent::SensorHeight) return "up to the sensor's height";
      return number(field.min) + ".." + number(field.max) + unit;
  }
}

// The class docstring: what a document is, and every setting of the table.
std::string settingsDoc() {
  std::string doc =
      "The camera's settings as a document: each entry optional (an absent one leaves the "
      "camera as it is), keyed by the names below (snake_case and hyphens work too). A "
      "one-field setting is a scalar (a choice by name), others a dict of their fields. "
      "Values are checked against the library's table when set (ValueError naming the "
      "range). origin(name) says where a value comes from: GIVEN (a file or the program), "
      "RECORDED (set through the library), READ (reported by the camera). from_json/to_json "
      "and read_file/write_file use the library's JSON form.\n\nSettings:\n";
  for (const ocamera::SettingInfo &s : ocamera::settingTable()) {
    doc += "  " + std::string(s.name) + ": " + s.help + " (";
    for (std::size_t i = 0; i < s.fields.size(); ++i)
      doc += (i ? ", " : "") +
             (s.fields.size() == 1 ? std::string() : std::string(s.fields[i].name) + " ") +
             fieldRange(s.fields[i]);
    doc += std::string(")") + (s.readable ? "; the camera reports it" : "") + "\n";
  }
  return doc;
}

py::list tableList() {
  py::list table;
  for (const ocamera::SettingInfo &s : ocamera::settingTable()) {
    py::list fields;
    for (const ocamera::SettingField &f : s.fields) {
      py::list choices;
      for (const ocamera::SettingChoice &c : f.choices) choices.append(py::str(c.name));
      static const char *kTypes[] = {"int", "number", "bool", "choice", "bytes"};
      py::dict field;
      field["name"] = f.name;
      field["type"] = kTypes[static_cast<int>(f.type)];
      field["min"] = f.min;
      field["max"] = f.max;
      field["power_on"] = f.powerOn;
      field["unit"] = f.unit;
      field["help"] = f.help;
      field["choices"] = choices;
      fields.append(field);
    }
    py::dict entry;
    entry["name"] = s.name;
    entry["help"] = s.help;
    entry["readable"] = s.readable;
    entry["fields"] = fields;
    table.append(entry);
  }
  return table;
}

py::object sensorObject(const ocamera::SensorGeometry &sensor) {
  if (!sensor.known()) return py::none();
  return py::cast(sensor);
}

CameraHooks &hooks() {
  static CameraHooks h;
  return h;
}

// Runs an operation on a Python Camera's object (without the GIL).
void onCamera(py::handle camera, const std::function<void(OCamera &)> &f) {
  hooks().run(camera, f);
}

ocamera::ApplyResult applied(py::handle camera, const ocamera::ApplyResult &result,
                             const std::function<ocamera::Settings()> &window) {
  // A window the camera took sizes the images it delivers.
  for (const std::string &name : result.applied) {
    const ocamera::SettingInfo *setting = ocamera::findSetting(name);
    if (!setting || std::string(setting->name) != "window") continue;
    const ocamera::Settings made = window();
    if (const ocamera::Settings::Entry *e = made.get("window"))
      if (e->value.numbers.size() == 4)
        hooks().windowSet(camera, static_cast<int>(e->value.numbers[2]),
                          static_cast<int>(e->value.numbers[3]));
  }
  return result;
}

}  // namespace

void defineSettingsDocument(py::module_ &m) {
  py::enum_<ocamera::SettingOrigin>(m, "SettingOrigin", "Where a setting's value comes from")
      .value("GIVEN", ocamera::SettingOrigin::Given)
      .value("RECORDED", ocamera::SettingOrigin::Recorded)
      .value("READ", ocamera::SettingOrigin::Read);

  py::class_<ocamera::SensorGeometry>(
      m, "SensorGeometry",
      "The sensor's size and Bayer layout, as the camera describes them or a document states")
      .def(py::init([](int width, int height, OCameraTools::eBayerPattern pattern) {
             ocamera::SensorGeometry g;
             g.width = width;
             g.height = height;
             g.pattern = pattern;
             return g;
           }),
           py::arg("width"), py::arg("height"),
           py::arg("pattern") = OCameraTools::BAYER_PATTERN_GRGR,
           "A sensor of width x height pixels in the Bayer layout pattern.")
      .def_readwrite("width", &ocamera::SensorGeometry::width, "The sensor's width in pixels.")
      .def_readwrite("height", &ocamera::SensorGeometry::height, "The sensor's height in pixels.")
      .def_readwrite("pattern", &ocamera::SensorGeometry::pattern,
                     "The sensor's Bayer layout (BayerPattern).")
      .def("__repr__", [](const ocamera::SensorGeometry &g) {
        const char *name = OCameraTools::PatternName(g.pattern);
        return "SensorGeometry(" + std::to_string(g.width) + ", " + std::to_string(g.height) +
               ", " + (name ? name : "?") + ")";
      });

  py::class_<ocamera::SettingRefusal>(m, "SettingRefusal",
                                      "An entry the camera refused: name, status and text")
      .def_readonly("name", &ocamera::SettingRefusal::name,
                    "The setting's name, or 'registers.NAME' for a sensor register.")
      .def_readonly("status", &ocamera::SettingRefusal::status,
                    "The setter's result (negative), as the camera answered it.")
      .def_readonly("text", &ocamera::SettingRefusal::text,
                    "The library's words for the status (status_text).")
      .def("__repr__", [](const ocamera::SettingRefusal &r) {
        return "SettingRefusal('" + r.name + "', " + std::to_string(r.status) + ", '" + r.text +
               "')";
      });

  py::class_<ocamera::ApplyResult>(
      m, "ApplyResult",
      "What an apply made: applied (names, in the order sent), refused (SettingRefusal by "
      "name), not_sent (left out after a refusal); ok is True when nothing was refused")
      .def_readonly("applied", &ocamera::ApplyResult::applied,
                    "The names of the entries the camera accepted, in the order sent.")
      .def_readonly("refused", &ocamera::ApplyResult::refused,
                    "The entries refused (SettingRefusal), in the order sent.")
      .def_readonly("not_sent", &ocamera::ApplyResult::notSent,
                    "The names left out after a refusal (when not skipping refusals).")
      .def_property_readonly("ok", &ocamera::ApplyResult::ok,
                             "True when the camera refused nothing.")
      .def("__bool__", &ocamera::ApplyResult::ok)
      .def("__repr__", [](const ocamera::ApplyResult &r) {
        return "ApplyResult(applied=" + std::to_string(r.applied.size()) +
               ", refused=" + std::to_string(r.refused.size()) +
               ", not_sent=" + std::to_string(r.notSent.size()) + ")";
      });

  using S = ocamera::Settings;
  py::class_<S>(m, "Settings", settingsDoc().c_str())
      .def(py::init<>())
      .def(py::init([](py::dict values) {
             S s;
             for (auto item : values) {
               const std::string name = py::str(item.first);
               const ocamera::SettingInfo &setting = settingOf(name);
               std::string why;
               if (!s.set(setting.name, valueFrom(setting, item.second),
                          ocamera::SettingOrigin::Given, &why))
                 throw py::value_error(why);
             }
             return s;
           }),
           py::arg("values"), "A document of these settings, each checked against the table.")
      .def_static(
          "from_json",
          [](const std::string &text) {
            S s;
            std::string why;
            if (!S::fromJson(text, &s, &why)) throw py::value_error(why);
            return s;
          },
          py::arg("text"),
          "Reads the JSON form; ValueError naming the key and the allowed range for anything "
          "unknown, of the wrong type or out of range.")
      .def("to_json", &S::toJson, "The JSON form: sorted keys, one entry a line.")
      .def_static(
          "read_file",
          [](const std::string &path) {
            S s;
            std::string why;
            bool ok;
            {
              py::gil_scoped_release unlocked;
              ok = S::readFile(path, &s, &why);
            }
            if (!ok) throw py::value_error(why);
            return s;
          },
          py::arg("path"), "Reads a settings file (ValueError naming the path and the fault).")
      .def(
          "write_file",
          [](const S &s, const std::string &path) {
            std::string why;
            if (!s.writeFile(path, &why)) throw py::value_error(why);
          },
          py::arg("path"), "Writes the JSON form to a file, replaced as a whole.")
      .def_static(
          "power_on",
          [](std::optional<ocamera::SensorGeometry> sensor) {
            return ocamera::powerOnSettings(sensor ? *sensor : ocamera::SensorGeometry());
          },
          py::arg("sensor") = py::none(),
          "The camera's power-on settings, the window being the whole sensor (1280 x 1024 "
          "without one).")
      .def(
          "__getitem__",
          [](const S &s, const std::string &name) {
            const ocamera::SettingInfo &setting = settingOf(name);
            const S::Entry *entry = s.get(setting.name);
            if (!entry) throw py::key_error(name);
            return valueObject(setting, entry->value);
          },
          py::arg("name"))
      .def(
          "__setitem__",
          [](S &s, const std::string &name, py::handle value) {
            const ocamera::SettingInfo &setting = settingOf(name);
            std::string why;
            if (!s.set(setting.name, valueFrom(setting, value), ocamera::SettingOrigin::Given,
                       &why))
              throw py::value_error(why);
          },
          py::arg("name"), py::arg("value"))
      .def(
          "__delitem__",
          [](S &s, const std::string &name) {
            const ocamera::SettingInfo &setting = settingOf(name);
            if (!s.get(setting.name)) throw py::key_error(name);
            s.erase(setting.name);
          },
          py::arg("name"))
      .def("__contains__",
           [](const S &s, const std::string &name) {
             const ocamera::SettingInfo *setting = ocamera::findSetting(name);
             return setting && s.get(setting->name) != nullptr;
           })
      .def("__len__", [](const S &s) { return s.entries().size(); })
      .def(
          "__iter__",
          [](const S &s) {
            py::list names;
            for (const auto &entry : s.entries()) names.append(py::str(entry.first));
            return py::iter(names);
          },
          "The names of the settings the document makes, sorted.")
      .def(
          "keys",
          [](const S &s) {
            py::list names;
            for (const auto &entry : s.entries()) names.append(py::str(entry.first));
            return names;
          },
          "The names of the settings the document makes, sorted (a list).")
      .def(
          "items",
          [](const S &s) {
            py::list items;
            for (const auto &[name, entry] : s.entries())
              items.append(py::make_tuple(name, valueObject(settingOf(name), entry.value)));
            return items;
          },
          "(name, value) of every setting the document makes, sorted by name.")
      .def(
          "get",
          [](const S &s, const std::string &name, py::object fallback) -> py::object {
            const ocamera::SettingInfo &setting = settingOf(name);
            const S::Entry *entry = s.get(setting.name);
            return entry ? valueObject(setting, entry->value) : fallback;
          },
          py::arg("name"), py::arg("default") = py::none(),
          "The setting's value, or default when the document leaves it alone.")
      .def(
          "origin",
          [](const S &s, const std::string &name) {
            const ocamera::SettingInfo &setting = settingOf(name);
            const S::Entry *entry = s.get(setting.name);
            if (!entry) throw py::key_error(name);
            return entry->origin;
          },
          py::arg("name"), "Where the setting's value comes from (SettingOrigin).")
      .def_property_readonly(
          "origins",
          [](const S &s) {
            py::dict d;
            for (const auto &[name, entry] : s.entries()) d[py::str(name)] = entry.origin;
            for (const auto &[name, reg] : s.registers())
              d[py::str("registers." + name)] = reg.origin;
            return d;
          },
          "Every entry's origin, registers as 'registers.NAME'.")
      .def_property_readonly(
          "registers",
          [](const S &s) {
            py::dict d;
            for (const auto &[name, reg] : s.registers()) d[py::str(name)] = reg.value;
            return d;
          },
          "The sensor registers the document sets, by name (a copy).")
      .def(
          "set_register",
          [](S &s, const std::string &name, unsigned value) { s.setRegister(name, value); },
          py::arg("name"), py::arg("value"),
          "Sets a sensor register by name (made after the frequency, before the window).")
      .def("erase_register", &S::eraseRegister, py::arg("name"),
           "Leaves the register alone: takes it out of the document.")
      .def_property(
          "sensor", [](const S &s) { return sensorObject(s.sensor); },
          [](S &s, std::optional<ocamera::SensorGeometry> sensor) {
            s.sensor = sensor ? *sensor : ocamera::SensorGeometry();
          },
          "The sensor geometry the document states (SensorGeometry), or None.")
      .def("merge", &S::merge, py::arg("other"),
           "Takes every entry, register and the geometry (if known) of other over this "
           "document's.")
      .def(
          "diff",
          [](const S &a, const S &b) {
            py::list out;
            for (const ocamera::SettingDifference &d : ocamera::diffSettings(a, b))
              out.append(py::make_tuple(d.name, d.inA ? py::object(py::str(d.a)) : py::none(),
                                        d.inB ? py::object(py::str(d.b)) : py::none()));
            return out;
          },
          py::arg("other"),
          "The entries that differ: (name, value here, value in other) with values as text, "
          "None where absent; sorted by name.")
      .def(
          "__eq__",
          [](const S &a, py::object b) -> py::object {
            if (!py::isinstance<S>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
            return py::bool_(ocamera::diffSettings(a, b.cast<const S &>()).empty());
          },
          "Whether the two documents make the same settings (origins aside).")
      .def("__repr__", [](const S &s) {
        std::string text = "Settings({";
        bool first = true;
        for (const auto &[name, entry] : s.entries()) {
          text += (first ? "'" : ", '") + name +
                  "': " + py::repr(valueObject(settingOf(name), entry.value)).cast<std::string>();
          first = false;
        }
        return text + "})";
      });

  m.def("setting_table", &tableList,
        "The library's settings table: per setting its name, help, whether the camera "
        "reports it, and its fields (name, type, min, max, power_on, unit, help, choices).");
}

void defineCameraSettings(py::object cameraClass, CameraHooks cameraHooks) {
  hooks() = std::move(cameraHooks);
  auto method = [&](const char *name, py::cpp_function f) { cameraClass.attr(name) = f; };
  py::handle cls = cameraClass;
  method("apply",
         py::cpp_function(
             [](py::handle self, ocamera::Settings settings, bool skipRefused) {
               ocamera::ApplyResult result;
               ocamera::Settings record;
               onCamera(self, [&](OCamera &c) {
                 result = ocamera::applySettings(c, settings,
                                                 skipRefused ? ocamera::ApplyMode::SkipRefused
                                                             : ocamera::ApplyMode::StopAtRefusal);
                 record = ocamera::sessionRecord(c);
               });
               return applied(self, result, [&] { return record; });
             },
             py::name("apply"), py::is_method(cls), py::arg("settings"), py::kw_only(),
             py::arg("skip_refused") = false,
             "Makes every entry of settings on the camera in an order it takes (the window "
             "before the frame rate, the mode last). Stops at the first refused entry, or with "
             "skip_refused=True makes the rest; returns an ApplyResult naming refusals by key."));
  method("reset_settings",
         py::cpp_function(
             [](py::handle self, bool skipRefused) {
               ocamera::ApplyResult result;
               ocamera::Settings record;
               onCamera(self, [&](OCamera &c) {
                 result =
                     ocamera::resetSettings(c, skipRefused ? ocamera::ApplyMode::SkipRefused
                                                           : ocamera::ApplyMode::StopAtRefusal);
                 record = ocamera::sessionRecord(c);
               });
               return applied(self, result, [&] { return record; });
             },
             py::name("reset_settings"), py::is_method(cls), py::kw_only(),
             py::arg("skip_refused") = true,
             "Brings the camera to its power-on settings (the window: the whole sensor); "
             "returns an ApplyResult."));
  method("session_record",
         py::cpp_function(
             [](py::handle self) {
               ocamera::Settings record;
               onCamera(self, [&](OCamera &c) { record = ocamera::sessionRecord(c); });
               return record;
             },
             py::name("session_record"), py::is_method(cls),
             "What this program set through this camera object and the camera accepted "
             "(Settings, origin RECORDED)."));
  method("read_settings",
         py::cpp_function(
             [](py::handle self) {
               ocamera::Settings read;
               std::string why;
               onCamera(self, [&](OCamera &c) { read = ocamera::readSettings(c, &why); });
               return py::make_tuple(read, why.empty() ? py::object(py::none()) : py::str(why));
             },
             py::name("read_settings"), py::is_method(cls),
             "What the camera reports (the exposure time and the sensor registers, origin "
             "READ), and None or the first failure: (Settings, error)."));
  method("sensor_geometry",
         py::cpp_function(
             [](py::handle self) {
               ocamera::SensorGeometry sensor;
               onCamera(self, [&](OCamera &c) { sensor = ocamera::sensorGeometry(c); });
               return sensorObject(sensor);
             },
             py::name("sensor_geometry"), py::is_method(cls),
             "The sensor's size and layout as the camera describes them (SensorGeometry), or "
             "None when it does not."));
}

}  // namespace ocamera_python
