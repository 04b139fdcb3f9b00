# The simulated build for 32-bit (armhf) and 64-bit (arm64) Raspberry Pi OS,
# its tests run under user-mode emulation in a virtual X display: every test
# on the Pi 2's Cortex-A7 (qemu-arm), and the bus tier on the Pi 3's
# Cortex-A53 (qemu-aarch64). The window and program tiers run the same job
# code through the same bus; what 64-bit ARM changes (the byte loops, the
# bus's cycles and waits) is the bus tier's, and those two tiers emulated
# for arm64 too would cost about as much again as the armhf ones, their
# build included. The tests that run one page loop over and over
# (FERRIK_NATIVE_ONLY_TESTS in scripts/lib.sh) are left to the native run:
# emulated, the whole-chip ones alone would take most of an hour.
# Set FERRIK_SKIP_PI=1 to leave the stage out.
source "$FERRIK_ROOT/scripts/pi-lib.sh"

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

# pi_emulated ARCH CPU PROGRAM [GTEST_ARGS...]: one test program of the
# simulated build for ARCH under emulation of CPU, in one process: started
# once per test, the toolkit's start under the emulator would cost more than
# half as much again as the tests themselves. A window program whose first
# connection to the display is refused restarts itself through
# /proc/self/exe, which cannot work under the emulator (the kernel cannot run
# the ARM file): such a run is started once more. Prints the program's last
# lines, or all of them when it fails.
pi_native_only=$(native_only_filter gtest)
pi_emulated() {
    local arch=$1 cpu=$2 program=$3
    shift 3
    local dir="$FERRIK_ROOT/build-$arch-sim/tests" emulator=qemu-arm out try
    [ "$arch" = arm64 ] && emulator=qemu-aarch64
    for try in 1 2; do
        if out=$(cd "$dir" && timeout 1500 "$emulator" -L / -cpu "$cpu" "./$program" \
            --gtest_brief=1 --gtest_filter="-$pi_native_only" "$@" 2>&1); then
            echo "$arch $program${GTEST_SHARD_INDEX:+ (part $((GTEST_SHARD_INDEX + 1)) of $GTEST_TOTAL_SHARDS)}:" \
                "$(grep -E '^\[  PASSED  \]' <<<"$out")"
            return 0
        fi
        grep -q 'wx could not start' <<<"$out" || break
    done
    echo "$arch $program FAILED:"
    echo "$out"
    return 1
}

# pi_window_and_bus_tiers: every armhf test program but the program tier
# (the window tier, the longest, in two parts, one for each core) and the
# arm64 bus tier, side by side.
pi_window_and_bus_tiers() {
    local runs=() program
    for program in "$FERRIK_ROOT"/build-armhf-sim/tests/*_tests; do
        program=${program##*/}
        case $program in
            program_tests) ;;
            window_tests)
                runs+=("armhf $program 1" gtest_part 0 2 pi_emulated armhf cortex-a7 "$program" --)
                runs+=("armhf $program 2" gtest_part 1 2 pi_emulated armhf cortex-a7 "$program" --) ;;
            *) runs+=("armhf $program" pi_emulated armhf cortex-a7 "$program" --) ;;
        esac
    done
    side_by_side "${runs[@]}" "arm64 bus_tests" pi_emulated arm64 cortex-a53 bus_tests
}

# pi_program_tier: the armhf program tier. It looks for ferrik's window
# among every window of the display, which fails when another program's
# window closes in the middle of the search: so it gets a display of its own,
# and so do the others.
pi_program_tier() {
    pi_emulated armhf cortex-a7 program_tests
}

pi_emulated_stage() {
    local started=$SECONDS
    pi_cpu_now
    local cpu_started=$pi_cpu
    pi_install qemu-user python3 crossbuild-essential-armhf libwxgtk3.2-dev:armhf libgtest-dev:armhf \
        libx11-dev:armhf crossbuild-essential-arm64 libgtest-dev:arm64

    pi_sim_build armhf
    pi_sim_build arm64 bus_tests
    pi_took "simulated builds" "$started" "$cpu_started"

    local t=$SECONDS c=$pi_cpu
    echo "-- every test under qemu-arm (Cortex-A7); the bus tier under qemu-aarch64 (Cortex-A53)"
    side_by_side "window and bus tiers" with_own_display pi_window_and_bus_tiers \
        -- "program tier" with_own_display pi_program_tier
    pi_took "emulated tests" "$t" "$c"
    pi_took "emulated stage" "$started" "$cpu_started"
}

if [ "${FERRIK_SKIP_PI:-${FERRIK_SKIP_ARMHF:-0}}" != 1 ]; then
    pi_emulated_stage
fi
