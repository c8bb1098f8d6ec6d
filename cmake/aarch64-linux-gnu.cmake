# Cross build of the Linux program for 64-bit ARM (arm64) on a Debian machine: the
# compilers of crossbuild-essential-arm64 and the :arm64 libraries that Debian's
# multiarch puts under /usr/lib/aarch64-linux-gnu, found through the cross pkg-config.
# Programs built here run under qemu-user (qemu-aarch64-static).
set(triple aarch64-linux-gnu)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE ${triple})
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(PKG_CONFIG_EXECUTABLE ${triple}-pkg-config CACHE FILEPATH "pkg-config for the arm64 libraries")
# The headers and libraries are the multiarch ones in the machine's own /usr; the build's
# tools (wayland-scanner) are the machine's own programs.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
