# Runs every time
# The build the test tiers, the soak and the benchmark programs share: every
# target, with optimisation and debug information. A second run rebuilds
# only what changed. Line tables (-g1) are what a failing test's backtrace,
# valgrind and perf need, and a fifth quicker to build than full debug
# information; gdb's view of variables wants a build of one's own with -g.
cmake -S "$FERRIK_ROOT" -B "$FERRIK_TEST_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DFERRIK_TESTS=ON >/dev/null
cmake --build "$FERRIK_TEST_BUILD" -j "$(jobs_count)"
