# Cross-compiles for 32-bit Windows:
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VEXIL_MINGW_TARGET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# ctest runs the test programs through Wine when it is installed.
find_program(VEXIL_WINE wine)
if(VEXIL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXIL_WINE})
endif()
