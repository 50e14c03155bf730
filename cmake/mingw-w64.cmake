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
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows aligns the stack to 16 bytes only, and GCC does not realign it for
# the 32- and 64-byte vectors the AVX2 and AVX-512 code keeps there, so aligned
# moves of spilled vectors could fault: the assembler makes every such move an
# unaligned one (as fast on aligned data).
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
