# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread
# model, whose libstdc++ has std::thread and std::mutex).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Programs built this way run here under Wine (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OCAMERA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OCAMERA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OCAMERA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OCAMERA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OCAMERA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages also outside the MinGW root, so that an application finds an
# installed ocamera through CMAKE_PREFIX_PATH as on Linux.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Windows aligns the stack to 16 bytes only, so a 32- or 64-byte vector of the
# AVX2 and AVX-512 code kept there may sit unaligned. This GCC spills them with
# unaligned moves already; the assembler makes sure every vector move is one
# (as fast on aligned data), whatever a later compiler emits.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# The MinGW runtime (libgcc, libstdc++, winpthread) goes into each binary, so
# that the DLL and the programs need no DLLs beside them but the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

find_program(OCAMERA_WINE wine)
if(OCAMERA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${OCAMERA_WINE})
endif()
