# Cross-compiles for 64-bit Windows:
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VEXIL_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# ctest runs the test programs through 64-bit Wine when it is installed. Its
# loader comes first: the `wine` command starts the 32-bit loader whenever
# that is installed, which fails on a system that cannot run 32-bit programs.
find_program(VEXIL_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(VEXIL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXIL_WINE})
endif()
