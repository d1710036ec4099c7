# Cross-building the Windows console program with Debian's mingw-w64 (the POSIX thread model, which
# the C++ standard library's threads and mutexes need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine.
find_program(ZELK_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZELK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELK_WINE})
endif()
