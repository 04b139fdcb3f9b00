# The Raspberry Pi stage (sourced by scripts/test after the main tests), for
# 32-bit (armhf) and 64-bit (arm64) Raspberry Pi OS:
#  1. the Pi build of ferrik for each (the /dev/gpiomem or /dev/mem backend),
#     packaged as a .deb with the README's own commands, the package checked
#     (lintian and desktop-file-validate among the checks), and its page read
#     and program byte loops checked in the machine code;
#  2. the simulated build for each, its tests run under user-mode emulation
#     in a virtual X display: every test on the Pi 2's Cortex-A7 (qemu-arm),
#     and the bus and program tiers on the Pi 3's Cortex-A53 (qemu-aarch64);
#     the window tier runs the same job code through the same bus, and
#     emulated twice it would take the stage past its time. Tests over a
#     whole default-size chip (WholeChip in the name) are left to the native
#     run: emulated they would take most of an hour. So are the window's four
#     longest, which log a thousand differences or eight time-outs of the
#     whole ready budget one after another: half of the emulated window
#     tier's time for a page loop every other test runs here too.
# Set FERRIK_SKIP_PI=1 to leave the stage out.

# pi_readme_commands ARCH: the commands that make a package, as the README
# gives them under "### The package" (for arm64; the word changed for
# armhf), so that what a user types is what is tested.
pi_readme_commands() {
    awk '/^### The package/ { part = 1 } part && /^```sh/ { block = 1; next } block && /^```/ { exit } block' \
        "$FERRIK_ROOT/README.md" | sed -e 's/ *#.*$//' -e "s/arm64/$1/g"
}

# pi_build ARCH: the Pi build and its package, made with the README's
# commands as they stand, and their checks.
pi_build() {
    local arch=$1
    local dir="$FERRIK_ROOT/build-$arch-pi" commands log
    echo "-- $arch: Pi build and package with the README's commands, checks"
    commands=$(pi_readme_commands "$arch")
    if [ "$(grep -c "^cmake .*build-$arch-pi" <<<"$commands")" -lt 2 ]; then
        echo "-- README.md gives no package commands under \"### The package\""
        return 1
    fi
    rm -f "$dir"/ferrik_*_"$arch".deb
    log=$(mktemp)
    # Both cores, without a -j in the commands a user copies.
    if ! (cd "$FERRIK_ROOT" && CMAKE_BUILD_PARALLEL_LEVEL=2 bash -euo pipefail -c "$commands") >"$log" 2>&1; then
        tail -n 40 "$log"
        rm -f "$log"
        echo "-- $arch: the README's package commands failed:"
        printf '   %s\n' "$commands"
        return 1
    fi
    rm -f "$log"
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

# pi_emulated ARCH CPU PROGRAM [GTEST_ARGS...]: one test program of the
# simulated build for ARCH under emulation of CPU, in one process: started
# once per test, the toolkit's start under the emulator would cost more than
# half as much again as the tests themselves. A window program whose first
# connection to the display is refused restarts itself through
# /proc/self/exe, which cannot work under the emulator (the kernel cannot run
# the ARM file): such a run is started once more. Prints the program's last
# lines, or all of them when it fails.
pi_native_only='*WholeChip*:Verify.ListsAThousandDifferencesThenCountsTheRest:Verify.ListsExactlyAThousandDifferencesWithoutACount:Write.GoesOnAfterTimeOutsWhileFewerThanEightComeInARow:Write.StopsAfterEightTimeOutsInARowWhenRbStaysLow'
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
                runs+=("armhf $program 1" pi_part 0 2 pi_emulated armhf cortex-a7 "$program" --)
                runs+=("armhf $program 2" pi_part 1 2 pi_emulated armhf cortex-a7 "$program" --) ;;
            *) runs+=("armhf $program" pi_emulated armhf cortex-a7 "$program" --) ;;
        esac
    done
    pi_side_by_side "${runs[@]}" "arm64 bus_tests" pi_emulated arm64 cortex-a53 bus_tests
}

# pi_program_tiers: the program tier of both, one after the other. It looks
# for ferrik's window among every window of the display, which fails when
# another program's window closes in the middle of the search: so it gets a
# display of its own.
pi_program_tiers() {
    local status=0
    pi_emulated armhf cortex-a7 program_tests || status=1
    pi_emulated arm64 cortex-a53 program_tests || status=1
    return "$status"
}

# pi_on_display FUNCTION [DELAY]: runs one of the functions above on a
# virtual X display of its own, after DELAY seconds.
pi_on_display() {
    sleep "${2:-0}"
    xvfb-run -a -s "-screen 0 1280x1024x24" env FERRIK_ROOT="$FERRIK_ROOT" bash -c \
        "set -euo pipefail; $(declare -p pi_native_only); $(declare -f pi_emulated pi_part pi_side_by_side "$1"); $1"
}

# pi_part INDEX COUNT COMMAND...: runs COMMAND on its share of the tests
# (GoogleTest's shards: every COUNT-th test from the INDEX-th).
pi_part() {
    export GTEST_SHARD_INDEX=$1 GTEST_TOTAL_SHARDS=$2
    shift 2
    "$@"
}

# pi_side_by_side NAME COMMAND... [-- NAME COMMAND...]...: runs the commands
# side by side (alone, each would leave a core idle at times: configure,
# link, a test program's last long test), prints what each printed, in
# order, and fails if any failed.
pi_side_by_side() {
    local logs
    logs=$(mktemp -d)
    local names=() pids=() command=() n=0
    while [ $# -gt 0 ]; do
        command=()
        while [ $# -gt 0 ] && [ "$1" != -- ]; do
            command+=("$1")
            shift
        done
        [ $# -gt 0 ] && shift
        names+=("${command[0]}")
        "${command[@]:1}" >"$logs/$n" 2>&1 &
        pids+=($!)
        n=$((n + 1))
    done
    local failed=() i
    for i in "${!pids[@]}"; do
        wait "${pids[$i]}" || failed+=("${names[$i]}")
    done
    for i in "${!pids[@]}"; do cat "$logs/$i"; done
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
    # lintian and desktop-file-validate judge the packages as Debian would.
    install_missing qemu-user python3 lintian desktop-file-utils \
        crossbuild-essential-armhf libwxgtk3.2-dev:armhf libgtest-dev:armhf libx11-dev:armhf \
        crossbuild-essential-arm64 libwxgtk3.2-dev:arm64 libgtest-dev:arm64 libx11-dev:arm64

    pi_side_by_side armhf pi_build armhf -- arm64 pi_build arm64
    pi_took "Pi builds, packages and loop checks" "$started" "$cpu_started"

    local t=$SECONDS c=$pi_cpu
    pi_sim_build armhf
    pi_sim_build arm64 ferrik bus_tests program_tests
    pi_took "simulated builds" "$t" "$c"

    t=$SECONDS c=$pi_cpu
    echo "-- every test under qemu-arm (Cortex-A7); the bus and program tiers under qemu-aarch64 (Cortex-A53)"
    # The second display starts a moment later: xvfb-run -a takes the first
    # free display number, and two starting at once can take the same one.
    pi_side_by_side "window and bus tiers" pi_on_display pi_window_and_bus_tiers \
        -- "program tiers" pi_on_display pi_program_tiers 2
    pi_took "emulated tests" "$t" "$c"
    pi_took "Pi stage" "$started" "$cpu_started"
}

if [ "${FERRIK_SKIP_PI:-${FERRIK_SKIP_ARMHF:-0}}" != 1 ]; then
    pi_stage
fi
