# The Raspberry Pi stage (sourced by scripts/test after the main tests):
#  1. the Pi build of ferrik for armhf (the /dev/mem backend), packaged as a
#     .deb, its layout checked, and its page read and program byte loops
#     checked in the machine code;
#  2. the simulated build for armhf with every test, run under user-mode
#     emulation of the Pi 2's Cortex-A7 in a virtual X display. Tests over
#     a whole default-size chip (WholeChip in the name) are left to the
#     native run: emulated they would take most of an hour.
# Set FERRIK_SKIP_ARMHF=1 to leave the stage out.

armhf_stage() {
    local started=$SECONDS
    local root=$FERRIK_ROOT
    local toolchain="$root/cmake/armhf-toolchain.cmake"
    local pi="$root/build-armhf-pi"
    local sim="$root/build-armhf-sim"

    if ! dpkg --print-foreign-architectures | grep -qx armhf; then
        as_root dpkg --add-architecture armhf
        as_root apt-get update -qq
    fi
    install_missing crossbuild-essential-armhf qemu-user python3 \
        libwxgtk3.2-dev:armhf libgtest-dev:armhf libx11-dev:armhf

    echo "-- armhf: Pi build"
    cmake -S "$root" -B "$pi" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DFERRIK_GPIO_BACKEND=pi -DFERRIK_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
    cmake --build "$pi" --target ferrik -j 2
    rm -f "$pi"/ferrik_*_armhf.deb
    (cd "$pi" && cpack -G DEB >/dev/null)
    "$root/scripts/check-armhf-package" "$pi"/ferrik_*_armhf.deb "$root"
    "$root/scripts/check-arm-loops" "$pi/ferrik"
    echo "-- armhf: Pi build, package and loop checks took $((SECONDS - started)) s"

    echo "-- armhf: simulated build, tests under qemu-arm (cortex-a7)"
    # -O2 without debug information: quicker to build, and the emulated
    # tests run as fast as with -O3.
    cmake -S "$root" -B "$sim" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DFERRIK_GPIO_BACKEND=sim -DFERRIK_TESTS=ON >/dev/null
    # Only the test tree (and what it needs): no benchmark programs.
    cmake --build "$sim" --target ferrik -j 2
    make -C "$sim/tests" -j 2 --no-print-directory
    # A window test whose first connection to the display is refused restarts
    # itself through /proc/self/exe, which cannot work under the emulator
    # (the kernel cannot run the ARM file); ctest starts such a test again
    # through the emulator instead. A test that fails for real fails every run.
    QEMU_CPU=cortex-a7 run_ctest "$sim/tests" -E WholeChip --timeout 900 --repeat until-pass:3
    echo "-- armhf: stage took $((SECONDS - started)) s"
}

if [ "${FERRIK_SKIP_ARMHF:-0}" != 1 ]; then
    armhf_stage
fi
