# Runs every time
# The build the test tiers, the soak and the benchmark programs share: every
# target, with optimisation and debug information. A second run rebuilds
# only what changed.
cmake -S "$FERRIK_ROOT" -B "$FERRIK_TEST_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERRIK_TESTS=ON >/dev/null
cmake --build "$FERRIK_TEST_BUILD" -j "$(jobs_count)"
