# Shared by the start and test scripts and the test stages: install what is
# missing, as root or through sudo; run a test tree under a display.
set -euo pipefail

FERRIK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Test stages run side by side, and apt and dpkg take one caller at a time:
# every root command of ours queues on this lock (an apt run of someone else's
# is waited for through dpkg's own lock).
FERRIK_INSTALL_LOCK=${TMPDIR:-/tmp}/ferrik-install.lock

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        flock "$FERRIK_INSTALL_LOCK" "$@"
    else
        flock "$FERRIK_INSTALL_LOCK" sudo "$@"
    fi
}

# install_missing PACKAGE... : apt-get install only those not yet installed.
# The window uses GTK itself, beside wxWidgets: wx's development files for an
# architecture (libwxgtk3.2-dev:armhf, say) bring GTK's for it along.
install_missing() {
    local wanted=("$@")
    local missing=()
    local p
    for p in "$@"; do
        case $p in
            libwxgtk3.2-dev) wanted+=(libgtk-3-dev) ;;
            libwxgtk3.2-dev:*) wanted+=("libgtk-3-dev:${p#*:}") ;;
        esac
    done
    for p in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get -o DPkg::Lock::Timeout=600 update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq "${missing[@]}"
    fi
}

# The window styles its fields through GTK itself, in a narrow face that fits
# them (ui/FerrikFrame.cpp).
BUILD_PACKAGES=(cmake make g++ pkgconf libwxgtk3.2-dev libgtk-3-dev fonts-paratype)
# python3: its JSON reader checks ferrik-cli's --json objects (tests/program).
TEST_PACKAGES=(libgtest-dev xvfb xauth xfonts-base libx11-dev valgrind python3)
# libFuzzer comes with clang's runtime libraries, a package of its own.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

jobs_count() { nproc 2>/dev/null || echo 2; }

# The test command's own build (scripts/test.d/10-build.sh), shared by the
# stages whose flags agree with it.
FERRIK_TEST_BUILD=$FERRIK_ROOT/build-test

# Tests that run one page loop over and over: a whole default-size chip
# (every name with WholeChip), a thousand differences, eight whole ready
# budgets one after another. Natively they take seconds; under the
# sanitizers or an emulator minutes, for code that every other test there
# runs too. Those runs leave them to the native one. A word without a dot
# stands for every test whose name holds it.
FERRIK_NATIVE_ONLY_TESTS=(WholeChip
    Verify.ListsAThousandDifferencesThenCountsTheRest
    Verify.ListsExactlyAThousandDifferencesWithoutACount
    Write.GoesOnAfterTimeOutsWhileFewerThanEightComeInARow
    Write.StopsAfterEightTimeOutsInARowWhenRbStaysLow)

# native_only_filter: those tests as GoogleTest's filter patterns, joined by
# ':' (put after a '-' to leave them out).
native_only_filter() {
    local name out=()
    for name in "${FERRIK_NATIVE_ONLY_TESTS[@]}"; do
        case $name in
            *.*) out+=("$name") ;;
            *) out+=("*$name*") ;;
        esac
    done
    local IFS=':'
    echo "${out[*]}"
}

# side_by_side NAME COMMAND... [-- NAME COMMAND...]...: runs the commands
# side by side (alone, each would leave a core idle at times: configure,
# link, a test program's last long test), prints what each printed, in
# order, and fails if any failed.
side_by_side() {
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

# gtest_part INDEX COUNT COMMAND...: runs COMMAND on its share of the tests
# (GoogleTest's shards: every COUNT-th test from the INDEX-th).
gtest_part() {
    export GTEST_SHARD_INDEX=$1 GTEST_TOTAL_SHARDS=$2
    shift 2
    "$@"
}

# start_display DIR: a virtual X display whose number Xvfb picks itself, so
# that two started at once never take the same one, as xvfb-run -a's can.
# Sets display_pid and display_number; DIR keeps Xvfb's output. Says why
# and fails when it does not start within ten seconds.
start_display() {
    local dir=$1
    rm -f "$dir/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.out" 2>&1 &
    display_pid=$!
    for _ in $(seq 100); do
        [ -s "$dir/display" ] && break
        sleep 0.1
    done
    if ! [ -s "$dir/display" ]; then
        cat "$dir/xvfb.out"
        kill "$display_pid" 2>/dev/null || true
        display_pid=""
        return 1
    fi
    display_number=$(head -n 1 "$dir/display")
}

# with_own_display COMMAND...: COMMAND (a program or a function) with DISPLAY
# set to a virtual X display of its own, stopped when COMMAND ends. A test
# program that looks for its windows among every window of a display wants
# one no other program closes windows on.
with_own_display() {
    local dir status=0 display_pid display_number
    dir=$(mktemp -d)
    if ! start_display "$dir"; then
        echo "a virtual display of its own did not start for: $*"
        rm -rf "$dir"
        return 1
    fi
    (
        export DISPLAY=":$display_number"
        "$@"
    ) || status=$?
    kill "$display_pid" 2>/dev/null || true
    wait "$display_pid" 2>/dev/null || true
    rm -rf "$dir"
    return "$status"
}

# run_ctest DIR [CTEST ARGS...] : the tests of a build tree, on the display in
# force, else on a virtual one of their own.
run_ctest() {
    local dir=$1
    shift
    if [ -n "${DISPLAY:-}" ]; then
        ctest --test-dir "$dir" --output-on-failure -j "$(jobs_count)" "$@"
    else
        xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$dir" --output-on-failure -j "$(jobs_count)" "$@"
    fi
}
