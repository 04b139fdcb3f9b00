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
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(FERRIK_ARMHF_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${FERRIK_ARMHF_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${FERRIK_ARMHF_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${FERRIK_ARMHF_TRIPLET})

set(FERRIK_ARMHF_FLAGS "-march=armv7-a -mtune=cortex-a7 -mfpu=neon-vfpv4 -mfloat-abi=hard")
set(CMAKE_C_FLAGS_INIT "${FERRIK_ARMHF_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${FERRIK_ARMHF_FLAGS}")

# Multiarch: armhf libraries and headers live beside the native ones under /,
# in their own arm-linux-gnueabihf directories.
set(CMAKE_FIND_ROOT_PATH /usr/${FERRIK_ARMHF_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# wx-config on the PATH is the native one; without the armhf one the build
# would silently pick up x86 flags and libraries.
set(wxWidgets_CONFIG_EXECUTABLE /usr/lib/${FERRIK_ARMHF_TRIPLET}/wx/config/gtk3-unicode-3.2
    CACHE FILEPATH "wx-config of the armhf wxWidgets")

# Test programs (and gtest_discover_tests) run under user-mode emulation on
# the Pi 2's core; -L / finds the armhf loader and libraries of the multiarch
# system, so no binfmt registration is needed.
find_program(FERRIK_QEMU_ARM qemu-arm)
if(FERRIK_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FERRIK_QEMU_ARM};-L;/;-cpu;cortex-a7)
endif()

