# Installation of the client library as a package: libocamera with its SONAME
# links, the exported headers under include/ocamera, a CMake package
# (find_package(ocamera) -> ocamera::ocamera), ocamera.pc for pkg-config and
# the services' WSDL files. (ocam, ocamsim, their manual pages and the bash
# completion form the "tools" component, see cli/.)
# Applications link only libocamera; it brings its own runtime dependencies
# (libgsoap++, libboost_thread), whose headers they never need.
include(CMakePackageConfigHelpers)

set(OCAMERA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ocamera)

install(TARGETS ocamera EXPORT ocameraTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  # Windows: the DLL's import library
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${OCAMERA_PUBLIC_HEADERS}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ocamera COMPONENT development)
install(EXPORT ocameraTargets NAMESPACE ocamera::
  DESTINATION ${OCAMERA_CMAKE_DIR} COMPONENT development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ocameraConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ocameraConfig.cmake
  INSTALL_DESTINATION ${OCAMERA_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ocameraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ocameraConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/ocameraConfigVersion.cmake
  DESTINATION ${OCAMERA_CMAKE_DIR} COMPONENT development)

# The service definitions soapcpp2 writes beside the generated code: WSDL files
# of the device manager and the four services, and their XML schemas, for any
# other SOAP client (share/ocamera/wsdl).
set(OCAMERA_WSDL_DIR ${CMAKE_INSTALL_DATADIR}/ocamera/wsdl)
set(OCAMERA_WSDL_FILES)
foreach(name DeviceManager.wsdl vdx.wsdl vdx_inputs.wsdl vdx_outputs.wsdl vdx_leds.wsdl
             rdev.xsd scam.xsd sinp.xsd sout.xsd sled.xsd)
  list(APPEND OCAMERA_WSDL_FILES ${OCAMERA_GEN_DIR}/${name})
endforeach()
install(FILES ${OCAMERA_WSDL_FILES} DESTINATION ${OCAMERA_WSDL_DIR} COMPONENT development)

# The .pc file finds its prefix from its own place, so the package can be
# installed anywhere (cmake --install <build> --prefix <dir>).
file(RELATIVE_PATH OCAMERA_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" OCAMERA_PC_TO_PREFIX "${OCAMERA_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/ocamera.pc.in ${CMAKE_CURRENT_BINARY_DIR}/ocamera.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ocamera.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
