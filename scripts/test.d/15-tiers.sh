# Runs after: 10-build
# Every test tier of the shared build: the fast tier, the window and the
# program, on the run's display.
run_ctest "$FERRIK_TEST_BUILD"

# The chip jobs once more through the Pi 5's RP1 block (FERRIK_SIM_BOARD=pi5):
# the fast tier and the command line's tests, but for those that look at the
# BCM2835 block's own registers, at an R/B# without its resistor (RP1's pad
# has a pull-up of its own), or at all that ferrik-cli prints (its first line
# is the Pi 5's on standard error).
echo "-- the fast tier and the command line through the Pi 5's RP1 block"
FERRIK_SIM_BOARD=pi5 run_ctest "$FERRIK_TEST_BUILD" -L fast \
    -E '^(Pins\.|ByteLoops\.|BusCommands\.(ReadingAfterWriting|ReadyThatNeverGoesLow)|WiringCheck\.NamesEveryWiringFault)'
FERRIK_SIM_BOARD=pi5 run_ctest "$FERRIK_TEST_BUILD" -L program -R '^Cli' -E '^(CliIdentify\.DetectTellsThePage|CliFaultMatrix\.)'
