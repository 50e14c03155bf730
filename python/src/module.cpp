// _ocamera: the compiled part of the ocamera package.
#include "common.h"
#include "settings.h"

PYBIND11_MODULE(_ocamera, m) {
  m.doc() = "Client of the networked smart camera: camera, I/O, tools and streams";
  // The project's version, as CMake names it.
  m.attr("__version__") = OCAMERA_VERSION;
  namespace ocp = ocamera_python;
  ocp::defineErrors(m);
  ocp::defineEnums(m);
  ocp::defineSettings(m);
  ocp::defineSettingsDocument(m);
  ocp::defineCamera(m);
  ocp::defineIo(m);
  ocp::defineTools(m);
  ocp::defineDevices(m);
  ocp::defineStream(m);
  ocp::installLogHandler();
}
