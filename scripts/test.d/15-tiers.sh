# Runs after: 10-build
# Every test tier of the shared build: the fast tier, the window and the
# program, on the run's display.
run_ctest "$FERRIK_TEST_BUILD"
