# Cross build for the Raspberry Pi 2, 3 and 4 running a 32-bit Debian bookworm or
# Raspberry Pi OS (armhf), from an x86 Debian with crossbuild-essential-armhf
# and the :armhf development packages installed beside the native ones.
#
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake
#
# The code is tuned for the Pi 2's Cortex-A7 (ARMv7-A, NEON with VFPv4) and
# uses nothing newer, so the same binary runs on a Pi 2, 3 and 4. Not on the
# ARMv6 core of a Pi 1 or Zero: Debian's armhf start-up files linked into
# every program are Thumb-2 code already, so those boards build on the board.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(FERRIK_PI_TRIPLET arm-linux-gnueabihf)
set(FERRIK_PI_FLAGS "-march=armv7-a -mtune=cortex-a7 -mfpu=neon-vfpv4 -mfloat-abi=hard")
set(FERRIK_PI_QEMU qemu-arm)
set(FERRIK_PI_CPU cortex-a7)
include(${CMAKE_CURRENT_LIST_DIR}/pi-cross.cmake)
