# Cross build for the Raspberry Pi 3, Zero 2, 4 and 400 running a 64-bit
# Debian bookworm or Raspberry Pi OS (arm64), from an x86 Debian with
# crossbuild-essential-arm64 and the :arm64 development packages installed
# beside the native ones.
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/arm64-toolchain.cmake
#
# The code is tuned for the Cortex-A53 of the Pi 3 and Zero 2 (ARMv8-A) and
# uses nothing newer, so the same binary runs on the Pi 4's Cortex-A72.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(FERRIK_ARM64_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${FERRIK_ARM64_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${FERRIK_ARM64_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${FERRIK_ARM64_TRIPLET})

set(FERRIK_ARM64_FLAGS "-march=armv8-a -mtune=cortex-a53")
set(CMAKE_C_FLAGS_INIT "${FERRIK_ARM64_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${FERRIK_ARM64_FLAGS}")

# Multiarch: arm64 libraries and headers live beside the native ones under /,
# in their own aarch64-linux-gnu directories.
set(CMAKE_FIND_ROOT_PATH /usr/${FERRIK_ARM64_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# wx-config on the PATH is the native one; without the arm64 one the build
# would silently pick up x86 flags and libraries.
set(wxWidgets_CONFIG_EXECUTABLE /usr/lib/${FERRIK_ARM64_TRIPLET}/wx/config/gtk3-unicode-3.2
    CACHE FILEPATH "wx-config of the arm64 wxWidgets")

# Test programs (and gtest_discover_tests) run under user-mode emulation of
# the Pi 3's core; -L / finds the arm64 loader and libraries of the multiarch
# system, so no binfmt registration is needed.
find_program(FERRIK_QEMU_AARCH64 qemu-aarch64)
if(FERRIK_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FERRIK_QEMU_AARCH64};-L;/;-cpu;cortex-a53)
endif()
