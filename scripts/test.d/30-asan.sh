# The whole suite again, every tier and the ferrik program that the program
# tier starts, under AddressSanitizer, UBSan and LeakSanitizer: no test may
# touch memory that is not its own, reach undefined behaviour or leave a leak
# of ours behind. A report ends its process with status 1, which fails the
# tier, and the report is printed; a started ferrik or ferrik-cli inherits
# the settings, and its report fails the test that started it
# (tests/support/Process.cpp).
#
# The fast tier alone, for a quick look once build-asan exists:
#   cmake --build build-asan --target bus_tests && build-asan/tests/bus_tests
#
# Line tables (-g1) are all a report's stack needs, and a third quicker to
# build than full debug information. The tests that run one page loop over
# and over (FERRIK_NATIVE_ONLY_TESTS in scripts/lib.sh: a whole default-size
# chip, a thousand differences, eight whole ready budgets in a row) are left
# to the native run, where they take seconds, not minutes; every other test
# covers the same code here, to the last row of its own chip.
asan_build="${FERRIK_ASAN_BUILD:-$FERRIK_ROOT/build-asan}"
cmake -S "$FERRIK_ROOT" -B "$asan_build" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1 -fno-sanitize-recover=all -D_GLIBCXX_ASSERTIONS" \
    -DFERRIK_SANITIZE=ON -DFERRIK_TESTS=ON >/dev/null
cmake --build "$asan_build" --target bus_tests window_tests program_tests ferrik ferrik-cli -j "$(jobs_count)" >/dev/null

# asan_program NAME PROGRAM: one test program of the build in one process
# (its share of the tests when GTEST_SHARD_INDEX is set), then its summary
# line, or all it printed when it fails. Started once per test, as ctest
# does, the sanitizers' start, the toolkit's and the leak check at exit would
# cost about half a CPU-second a test.
asan_program() {
    local name=$1 program=$2 out
    if out=$(cd "$asan_build/tests" && "./$program" --gtest_brief=1 \
        --gtest_filter="-$(native_only_filter gtest)" 2>&1); then
        echo "$name${GTEST_SHARD_INDEX:+, part $((GTEST_SHARD_INDEX + 1)) of $GTEST_TOTAL_SHARDS}:" \
            "$(grep -E '^\[  PASSED  \]' <<<"$out")"
        return 0
    fi
    echo "$name${GTEST_SHARD_INDEX:+, part $((GTEST_SHARD_INDEX + 1)) of $GTEST_TOTAL_SHARDS} FAILED:"
    echo "$out"
    return 1
}

# The window tier, the longest, in two parts; each part and the program tier
# on a display of its own (the program tier looks for ferrik's window among
# every window of its display).
(
    export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
    export LSAN_OPTIONS="suppressions=$FERRIK_ROOT/tests/sanitizers/lsan.supp:print_suppressions=0"
    # GTK loads its accessibility bridge at display open and keeps the bus
    # connection and its buffers until exit; a virtual display has no
    # accessibility bus to talk to, so the bridge is left out here.
    export NO_AT_BRIDGE=1
    side_by_side "bus tier" asan_program "bus tier" bus_tests \
        -- "window tier 1" with_own_display gtest_part 0 2 asan_program "window tier" window_tests \
        -- "window tier 2" with_own_display gtest_part 1 2 asan_program "window tier" window_tests \
        -- "program tier" with_own_display asan_program "program tier" program_tests
)
