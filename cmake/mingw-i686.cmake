# Cross-compiles for 32-bit Windows with Debian's mingw-w64 compiler (the
# POSIX threads flavour, which std::thread needs):
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# The programs are linked statically: the C and C++ run-times and the thread
# library are inside each .exe, which needs no DLLs beyond the system's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VEXIL_MINGW_TARGET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VEXIL_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXIL_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXIL_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VEXIL_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# This library's own std::counting_semaphore waits through a pool of
# condition variables on systems without futexes, and there it can miss a
# release and sleep forever (the decode threads stop). The thread library's
# semaphores have no such fault.
set(CMAKE_CXX_FLAGS_INIT "-D_GLIBCXX_USE_POSIX_SEMAPHORE=1")

# ctest runs the test programs through Wine when it is installed.
find_program(VEXIL_WINE wine)
if(VEXIL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXIL_WINE})
endif()
