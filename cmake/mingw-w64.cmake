# Cross build for Windows with MinGW-w64 (posix thread model: the program's threads use
# the standard library's mutexes). x64 by default; mingw-w64-i686.cmake sets
# TOLVANE_MINGW_ARCH to i686 first for the 32-bit build.
if(NOT DEFINED TOLVANE_MINGW_ARCH)
  set(TOLVANE_MINGW_ARCH x86_64)
endif()
set(triple ${TOLVANE_MINGW_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TOLVANE_MINGW_ARCH})
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs built here run under Wine (its 32-bit side for an i686 build).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
