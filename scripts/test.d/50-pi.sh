# The Raspberry Pi stage (sourced by scripts/test after the main tests), for
# 32-bit (armhf) and 64-bit (arm64) Raspberry Pi OS:
#  1. the Pi build of ferrik for each (the /dev/gpiomem or /dev/mem backend),
#     packaged as a .deb, the package checked, and its page read and program
#     byte loops checked in the machine code;
#  2. the simulated build for each, its tests run under user-mode emulation
#     in a virtual X display: every test on the Pi 2's Cortex-A7 (qemu-arm),
#     and the bus and program tiers on the Pi 3's Cortex-A53 (qemu-aarch64);
#     the window tier runs the same job code through the same bus, and
#     emulated twice it would take the stage past its time. Tests over a
#     whole default-size chip (WholeChip in the name) are left to the native
#     run: emulated they would take most of an hour.
# Set FERRIK_SKIP_PI=1 to leave the stage out.

# pi_build ARCH: the Pi build, its package and its checks.
pi_build() {
    local arch=$1
    local dir="$FERRIK_ROOT/build-$arch-pi"
    echo "-- $arch: Pi build, package, checks"
    cmake -S "$FERRIK_ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$FERRIK_ROOT/cmake/$arch-toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DFERRIK_GPIO_BACKEND=pi -DFERRIK_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
    # Only what the package holds: ferrik, and ferrik-cli when the tree has it.
    local programs=(ferrik)
    [ -f "$FERRIK_ROOT/cli/CMakeLists.txt" ] && programs+=(ferrik-cli)
    cmake --build "$dir" --target "${programs[@]}" -j 2 >/dev/null
    rm -f "$dir"/ferrik_*_"$arch".deb
    (cd "$dir" && cpack -G DEB >/dev/null)
    "$FERRIK_ROOT/scripts/check-pi-package" "$dir"/ferrik_*_"$arch".deb "$FERRIK_ROOT"
    "$FERRIK_ROOT/scripts/check-arm-loops" "$dir/ferrik"
}

# pi_sim_build ARCH [TARGET...]: the simulated build for ARCH: the test
# programs TARGET... and what they need, or with none named every test
# program (no benchmarks either way).
pi_sim_build() {
    local arch=$1
    shift
    local dir="$FERRIK_ROOT/build-$arch-sim"
    echo "-- $arch: simulated build of ${*:-every test program}"
    # -O2 without debug information: quicker to build, and the emulated
    # tests run as fast as with -O3.
    cmake -S "$FERRIK_ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$FERRIK_ROOT/cmake/$arch-toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DFERRIK_GPIO_BACKEND=sim \
        -DFERRIK_TESTS=ON >/dev/null
    if [ $# -gt 0 ]; then
        cmake --build "$dir" --target "$@" -j 2 >/dev/null
    else
        make -C "$dir/tests" -j 2 --no-print-directory >/dev/null
    fi
}

# pi_sim_tests ARCH CPU CTEST_ARGS...: the simulated build's tests under
# emulation of CPU.
pi_sim_tests() {
    local arch=$1 cpu=$2
    shift 2
    # A window test whose first connection to the display is refused restarts
    # itself through /proc/self/exe, which cannot work under the emulator
    # (the kernel cannot run the ARM file); ctest starts such a test again
    # through the emulator instead. A test that fails for real fails every run.
    QEMU_CPU=$cpu run_ctest "$FERRIK_ROOT/build-$arch-sim/tests" -E WholeChip --timeout 900 \
        --repeat until-pass:3 "$@"
}

# pi_together NAME COMMAND... -- NAME COMMAND...: runs the two side by side
# (each step leaves one core idle at times: configure, link, a test run's
# last long test), prints what each printed, and fails if either failed.
pi_together() {
    local logs
    logs=$(mktemp -d)
    local first=() second=()
    while [ "$1" != -- ]; do first+=("$1"); shift; done
    shift
    second=("$@")
    "${first[@]:1}" >"$logs/1" 2>&1 &
    local one=$!
    "${second[@]:1}" >"$logs/2" 2>&1 &
    local two=$!
    local failed=()
    wait "$one" || failed+=("${first[0]}")
    wait "$two" || failed+=("${second[0]}")
    cat "$logs/1" "$logs/2"
    rm -rf "$logs"
    if [ "${#failed[@]}" -gt 0 ]; then
        echo "-- failed: ${failed[*]}"
        return 1
    fi
}

# pi_took WHAT SINCE CPU_SINCE: prints "-- WHAT took N s, M CPU-s" since then.
# The CPU seconds of the finished children do not grow when other work shares
# the cores, so they show what the stage costs on a busy machine too. Both
# functions run in this shell, never in $(...): a subshell's counts start at 0.
pi_cpu=0
pi_cpu_now() {
    local f
    f=$(mktemp)
    times >"$f"
    pi_cpu=$(awk 'NR == 2 { t = 0; for (i = 1; i <= 2; i++) { split($i, p, "m"); t += p[1] * 60 + p[2] }; printf "%d", t }' "$f")
    rm -f "$f"
}
pi_took() {
    pi_cpu_now
    echo "-- $1 took $((SECONDS - $2)) s, $((pi_cpu - $3)) CPU-s"
}

pi_stage() {
    local started=$SECONDS
    pi_cpu_now
    local cpu_started=$pi_cpu
    local arch
    for arch in armhf arm64; do
        if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
            as_root dpkg --add-architecture "$arch"
            as_root apt-get update -qq
        fi
    done
    install_missing qemu-user python3 \
        crossbuild-essential-armhf libwxgtk3.2-dev:armhf libgtest-dev:armhf libx11-dev:armhf \
        crossbuild-essential-arm64 libwxgtk3.2-dev:arm64 libgtest-dev:arm64 libx11-dev:arm64

    pi_together armhf pi_build armhf -- arm64 pi_build arm64
    pi_took "Pi builds, packages and loop checks" "$started" "$cpu_started"

    local t=$SECONDS c=$pi_cpu
    pi_sim_build armhf
    pi_sim_build arm64 ferrik bus_tests program_tests
    pi_took "simulated builds" "$t" "$c"

    t=$SECONDS c=$pi_cpu
    echo "-- every test under qemu-arm (Cortex-A7); the bus and program tiers under qemu-aarch64 (Cortex-A53)"
    pi_together "armhf tests" pi_sim_tests armhf cortex-a7 \
        -- "arm64 tests" pi_sim_tests arm64 cortex-a53 -L 'fast|program' -j 1
    pi_took "emulated tests" "$t" "$c"
    pi_took "Pi stage" "$started" "$cpu_started"
}

if [ "${FERRIK_SKIP_PI:-${FERRIK_SKIP_ARMHF:-0}}" != 1 ]; then
    pi_stage
fi
