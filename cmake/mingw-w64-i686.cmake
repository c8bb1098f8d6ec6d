# Cross build for 32-bit Windows (i686) with MinGW-w64.
set(TOLVANE_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
