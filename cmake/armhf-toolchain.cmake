# Cross-compiling for 32-bit ARM hard-float (armhf) against a Debian root file system, used by
# `python3 scripts/zel.py armhf`. The tree's path comes from the environment (ZEL_ARMHF_ROOT), so that the
# try_compile projects CMake configures from this file see it too.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

if(NOT DEFINED ENV{ZEL_ARMHF_ROOT})
  message(FATAL_ERROR "set ZEL_ARMHF_ROOT to the armhf root file system")
endif()
set(CMAKE_SYSROOT "$ENV{ZEL_ARMHF_ROOT}")
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# C too: GoogleTest's project enables it.
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

# The tree's C library uses a 64-bit time_t and 64-bit file offsets on armhf; a cross compiler
# that predates that switch must be told, or its structs would not match the library's.
# GCC 12 targeting 32 bits also warns, wrongly, of overlapping copies wherever a string literal
# is prepended to a temporary std::string (in GoogleTest's macros among others).
set(CMAKE_CXX_FLAGS_INIT "-D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64 -Wno-restrict")
set(CMAKE_C_FLAGS_INIT "-D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64")

# Test programs run under the emulator, with the tree as their root (ctest, gtest discovery).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L "$ENV{ZEL_ARMHF_ROOT}")

# Headers, libraries and packages from the tree only; programs (pkg-config, ninja) from the host.
set(CMAKE_FIND_ROOT_PATH "$ENV{ZEL_ARMHF_ROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link against the tree's C library, not the cross compiler's own (older) one: libraries from
# the tree may need symbols that only the newer C library has.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT
      "-L$ENV{ZEL_ARMHF_ROOT}/usr/lib/arm-linux-gnueabihf -L$ENV{ZEL_ARMHF_ROOT}/lib/arm-linux-gnueabihf -Wl,-rpath-link,$ENV{ZEL_ARMHF_ROOT}/usr/lib/arm-linux-gnueabihf -Wl,-rpath-link,$ENV{ZEL_ARMHF_ROOT}/lib/arm-linux-gnueabihf")
endforeach()
