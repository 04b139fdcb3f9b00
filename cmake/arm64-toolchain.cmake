# Cross build for the Raspberry Pi 3, Zero 2, 4 and 400 running a 64-bit
# Debian bookworm or Raspberry Pi OS (arm64), from an x86 Debian with
# crossbuild-essential-arm64 and the :arm64 development packages installed
# beside the native ones.
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/arm64-toolchain.cmake
#
# The code is tuned for the Cortex-A53 of the Pi 3 and Zero 2 (ARMv8-A) and
# uses nothing newer, so the same binary runs on the Pi 4's Cortex-A72.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(FERRIK_PI_TRIPLET aarch64-linux-gnu)
set(FERRIK_PI_FLAGS "-march=armv8-a -mtune=cortex-a53")
set(FERRIK_PI_QEMU qemu-aarch64)
set(FERRIK_PI_CPU cortex-a53)
include(${CMAKE_CURRENT_LIST_DIR}/pi-cross.cmake)
