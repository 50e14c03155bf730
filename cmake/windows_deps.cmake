# The SOAP runtime and Boost.Thread of a Windows build. Debian ships neither
# for MinGW, so both are compiled from their source packages (scripts/windows
# fetches them) into static libraries that go into libocamera.dll. They take
# the names the Linux build finds them by (PkgConfig::GSOAP, Boost::thread).
set(OCAMERA_GSOAP_SOURCE_DIR "" CACHE PATH
    "gSOAP's runtime sources: the folder holding stdsoap2.cpp, dom.cpp and stdsoap2.h")
set(OCAMERA_BOOST_THREAD_SOURCE_DIR "" CACHE PATH "Boost.Thread's sources: libs/thread/src")
set(OCAMERA_BOOST_HEADERS /usr/include/boost CACHE PATH "Boost's headers (the host's serve)")
foreach(file ${OCAMERA_GSOAP_SOURCE_DIR}/stdsoap2.cpp ${OCAMERA_GSOAP_SOURCE_DIR}/dom.cpp
             ${OCAMERA_BOOST_THREAD_SOURCE_DIR}/win32/thread.cpp ${OCAMERA_BOOST_HEADERS}/version.hpp)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} not found: set OCAMERA_GSOAP_SOURCE_DIR, "
                        "OCAMERA_BOOST_THREAD_SOURCE_DIR and OCAMERA_BOOST_HEADERS (scripts/windows does)")
  endif()
endforeach()

# The base64 reader and writer work in the runtime's buffers: the same
# version floor as the Linux build's.
file(STRINGS ${OCAMERA_GSOAP_SOURCE_DIR}/stdsoap2.h OCAMERA_GSOAP_VERSION_LINE
     REGEX "^#define GSOAP_VERSION [0-9]+")
string(REGEX REPLACE ".* ([0-9]+)$" "\\1" OCAMERA_GSOAP_VERSION "${OCAMERA_GSOAP_VERSION_LINE}")
if(NOT OCAMERA_GSOAP_VERSION OR OCAMERA_GSOAP_VERSION LESS 208124)
  message(FATAL_ERROR "gSOAP runtime ${OCAMERA_GSOAP_VERSION} in ${OCAMERA_GSOAP_SOURCE_DIR}: "
                      "2.8.124 (208124) or later is needed")
endif()

# The runtime with the options of Debian's libgsoap++, so that every object
# sees the same struct soap.
add_library(ocamera_gsoap_runtime STATIC ${OCAMERA_GSOAP_SOURCE_DIR}/stdsoap2.cpp
                                         ${OCAMERA_GSOAP_SOURCE_DIR}/dom.cpp)
target_include_directories(ocamera_gsoap_runtime SYSTEM PUBLIC ${OCAMERA_GSOAP_SOURCE_DIR})
target_compile_definitions(ocamera_gsoap_runtime PUBLIC WITH_IPV6 WITH_DOM)
target_compile_options(ocamera_gsoap_runtime PRIVATE -w)
target_link_libraries(ocamera_gsoap_runtime PUBLIC ws2_32)
add_library(PkgConfig::GSOAP ALIAS ocamera_gsoap_runtime)

# Boost's headers through a folder that holds nothing else, so that the host's
# other headers (glibc's) stay out of the MinGW include path.
set(OCAMERA_BOOST_INCLUDE_DIR ${CMAKE_BINARY_DIR}/boost-include)
file(MAKE_DIRECTORY ${OCAMERA_BOOST_INCLUDE_DIR})
file(CREATE_LINK ${OCAMERA_BOOST_HEADERS} ${OCAMERA_BOOST_INCLUDE_DIR}/boost SYMBOLIC)

set(OCAMERA_BOOST_THREAD_SOURCES
  win32/thread.cpp win32/thread_primitives.cpp win32/tss_dll.cpp win32/tss_pe.cpp future.cpp)
list(TRANSFORM OCAMERA_BOOST_THREAD_SOURCES PREPEND ${OCAMERA_BOOST_THREAD_SOURCE_DIR}/)
add_library(ocamera_boost_thread STATIC ${OCAMERA_BOOST_THREAD_SOURCES})
target_include_directories(ocamera_boost_thread SYSTEM PUBLIC ${OCAMERA_BOOST_INCLUDE_DIR})
target_compile_definitions(ocamera_boost_thread
  INTERFACE BOOST_THREAD_USE_LIB
  PUBLIC BOOST_ALL_NO_LIB
  PRIVATE BOOST_THREAD_BUILD_LIB)
target_compile_options(ocamera_boost_thread PRIVATE -w)
add_library(Boost::thread ALIAS ocamera_boost_thread)

# Programs and the DLL side by side, so that every test program finds the DLL.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# nlohmann-json is header-only: the host's headers serve, through a folder of
# their own as Boost's do.
set(OCAMERA_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann-json's headers (the host's serve)")
if(NOT EXISTS ${OCAMERA_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "${OCAMERA_JSON_HEADERS}/json.hpp not found (Debian's nlohmann-json3-dev)")
endif()
set(OCAMERA_JSON_INCLUDE_DIR ${CMAKE_BINARY_DIR}/json-include)
file(MAKE_DIRECTORY ${OCAMERA_JSON_INCLUDE_DIR})
file(CREATE_LINK ${OCAMERA_JSON_HEADERS} ${OCAMERA_JSON_INCLUDE_DIR}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${OCAMERA_JSON_INCLUDE_DIR})
