// Fixtures for tests that talk to a simulated chip through the real bus.
#pragma once

#include "sim/SimNand.h"

namespace ferrik_test {

// Empties the socket, puts a fresh chip of the preset on CE0, powers the GPIO
// block on, plugs the socket in and runs BusInit.
sim::SimNandChip& InsertFreshChip(const sim::ChipPreset& preset, sim::ChipFaults faults = {});

// The two ways R/B# can fail: held low for good, so that every wait times
// out; or never pulled low, as by a chip that never goes busy or by an empty
// socket's pull-up.
sim::ChipFaults RbStuckLow();
sim::ChipFaults RbNeverLow();

// Fails the current test with every protocol violation recorded since the
// last call, then clears them. Every test that drives the chip calls it last.
void ExpectNoViolations();

}  // namespace ferrik_test
