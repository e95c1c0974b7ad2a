# What the Windows toolchain files share; each names its target first:
#   set(CMAKE_SYSTEM_PROCESSOR ...) and set(VEXIL_MINGW_TARGET ...-w64-mingw32)
# Debian's mingw-w64 compiler, the POSIX threads flavour, which std::thread
# needs. The programs are linked statically: the C and C++ run-times and the
# thread library are inside each .exe, which needs no DLLs beyond the system's.
set(CMAKE_SYSTEM_NAME Windows)

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
