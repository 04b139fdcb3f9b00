#include "support/SimChip.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bus/NandBus.h"
#include "sim/SimGpio.h"

namespace ferrik_test {

sim::SimNandChip& InsertFreshChip(const sim::ChipPreset& preset, sim::ChipFaults faults) {
    sim::SimNandSocket& socket = sim::Socket();
    socket.RemoveAll();
    socket.ClearViolations();
    sim::SimNandChip& chip = socket.Insert(0, preset, std::move(faults));
    sim::SimGpio& gpio = sim::SimGpio::Instance();
    gpio.PowerOn();
    gpio.SetWiring({});
    gpio.Plug(&socket);
    nandBus.BusInit();  // also sets dataPinsInput to 0, as the pins now are
    return chip;
}

sim::ChipFaults RbStuckLow() {
    sim::ChipFaults faults;
    faults.busyStuckLow = true;
    return faults;
}

sim::ChipFaults RbNeverLow() {
    sim::ChipFaults faults;
    faults.busyNever = true;
    return faults;
}

void ExpectNoViolations() {
    sim::SimNandSocket& socket = sim::Socket();
    const std::vector<std::string> violations = socket.AllViolations();
    if (!violations.empty()) {
        std::string text;
        for (const std::string& line : violations) text += "\n  " + line;
        ADD_FAILURE() << violations.size() << " protocol violation(s) recorded by the simulated chip:" << text;
    }
    socket.ClearViolations();
}

}  // namespace ferrik_test
