# The fast tier again under AddressSanitizer and UBSan: the file readers and
# the chip model must never touch memory that is not theirs.
asan_build="$FERRIK_ROOT/build-asan"
cmake -S "$FERRIK_ROOT" -B "$asan_build" -DCMAKE_BUILD_TYPE=Debug -DFERRIK_SANITIZE=ON -DFERRIK_TESTS=ON >/dev/null
cmake --build "$asan_build" --target bus_tests -j "$(jobs_count)" >/dev/null
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$asan_build/tests/bus_tests" --gtest_filter='-*WholeChip*:*DISABLED_*' --gtest_brief=1
