# What the two Pi toolchain files share; each sets, before including this:
#   FERRIK_PI_TRIPLET   the multiarch triplet (arm-linux-gnueabihf, ...)
#   FERRIK_PI_FLAGS     the compiler's target flags
#   FERRIK_PI_QEMU      the user-mode emulator (qemu-arm, qemu-aarch64)
#   FERRIK_PI_CPU       the core it emulates for the test programs
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${FERRIK_PI_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${FERRIK_PI_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${FERRIK_PI_TRIPLET})

# -Wno-psabi: GCC notes on every std::vector of a small struct that GCC 7.1
# changed how armhf passes it; nothing here mixes code from before GCC 7.1.
set(CMAKE_C_FLAGS_INIT "${FERRIK_PI_FLAGS} -Wno-psabi")
set(CMAKE_CXX_FLAGS_INIT "${FERRIK_PI_FLAGS} -Wno-psabi")

# Multiarch: the target's libraries and headers live beside the native ones
# under /, in directories of their own triplet.
set(CMAKE_FIND_ROOT_PATH /usr/${FERRIK_PI_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# wx-config on the PATH is the native one; without the target's own the
# build would silently pick up x86 flags and libraries.
set(wxWidgets_CONFIG_EXECUTABLE /usr/lib/${FERRIK_PI_TRIPLET}/wx/config/gtk3-unicode-3.2
    CACHE FILEPATH "wx-config of the target's wxWidgets")

# Test programs (and gtest_discover_tests) run under user-mode emulation of
# the Pi's core; -L / finds the target's loader and libraries of the
# multiarch system, so no binfmt registration is needed.
find_program(FERRIK_PI_EMULATOR ${FERRIK_PI_QEMU})
if(FERRIK_PI_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FERRIK_PI_EMULATOR};-L;/;-cpu;${FERRIK_PI_CPU})
endif()
