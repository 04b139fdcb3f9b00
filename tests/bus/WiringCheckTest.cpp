// The wiring check against every wiring fault the simulated socket can have,
// set through FERRIK_SIM_FAULTS as a user sets them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "jobs/Identify.h"
#include "sim/SimGpio.h"
#include "sim/SimNand.h"

namespace {

struct TextSink : LogSink {
    std::string text;
    void SetColour(LogColour) override {}
    void Append(const char* piece) override { text += piece; }
};

// The labels of the lines that did not pass, joined by '|'.
std::string NotPassed(const std::string& log) {
    std::istringstream lines(log);
    std::string line, labels;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(": ");
        if (colon == std::string::npos || line.compare(0, 13, "Wiring check:") == 0) continue;
        if (line.compare(colon + 2, 3, "ok,") == 0) continue;
        labels += (labels.empty() ? "" : "|") + line.substr(0, colon);
    }
    return labels;
}

}  // namespace

TEST(WiringCheck, NamesEveryWiringFaultAndWritesNothing) {
    struct Row {
        const char* chip;
        const char* faults;
        const char* notPassed;
        const char* words;
    };
    const Row rows[] = {
        {"MT29F1G08ABADA", "", "", "READ ID 20h: ok, ONFI, and the parameter page passes its CRC (copy 1)"},
        {"K9F1G08U0B", "", "", "no ONFI or JEDEC signature and no parameter page (an older part)"},
        {"MT29F1G08ABADA", "stuck:IO3=0", "Data lines|R/B# after RESET|READ ID|READ ID 20h",
         "IO3 (GPIO 6, chip pin 32) always reads low: stuck low"},
        {"MT29F1G08ABADA", "stuck:IO5=1", "Data lines|READ ID|READ ID 20h",
         "IO5 (GPIO 22, chip pin 42) always reads high: stuck high"},
        {"MT29F1G08ABADA", "short:IO1,IO2", "Data lines|READ ID|READ ID 20h",
         "IO1 (GPIO 19, chip pin 30) and IO2 (GPIO 13, chip pin 31) always read alike: shorted together"},
        // IO0 low leaves a Samsung ID that still names its maker: the
        // stuck line, not R/B#, explains the RESET that never went busy.
        {"K9F1G08U0B", "stuck:IO0=0", "Data lines|R/B# after RESET|READ ID|READ ID 20h",
         "READ ID: FAULT, EC F0 00 94 40: read through a wrong data line"},
        {"MT29F1G08ABADA", "open:CLE", "R/B# after RESET|READ ID|READ ID 20h|WP#", "CLE (GPIO 2, chip pin 16)"},
        {"MT29F1G08ABADA", "open:ALE", "READ ID|READ ID 20h", "ALE (GPIO 3, chip pin 17) or RE# (GPIO 14, chip pin 8) is likely open"},
        {"MT29F1G08ABADA", "open:WE#", "R/B# after RESET|READ ID|READ ID 20h|WP#", "WE# (GPIO 15, chip pin 18)"},
        {"MT29F1G08ABADA", "open:RE#", "READ ID|READ ID 20h", "2C 2C 2C 2C 2C: five bytes alike"},
        {"MT29F1G08ABADA", "open:WP#", "WP#", "WP# (GPIO 4, chip pin 19) is open or held low"},
        {"MT29F1G08ABADA", "open:R/B#", "R/B# after RESET", "R/B# is open between the chip (pin 7) and the Pi (GPIO 10)"},
        {"K9F1G08U0B", "no-pullup", "R/B# at rest|R/B# after RESET|READ ID 20h",
         "the pull-up resistor on R/B# (GPIO 10, chip pin 7) is missing"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.chip) + " " + row.faults);
        setenv("FERRIK_SIM_CHIPS", row.chip, 1);
        setenv("FERRIK_SIM_FAULTS", row.faults, 1);
        sim::ConfigureFromEnvironment();
        unsetenv("FERRIK_SIM_CHIPS");
        unsetenv("FERRIK_SIM_FAULTS");
        sim::SimGpio::Instance().PowerOn();
        nandBus.BusInit();
        sim::SimNandChip& chip = *sim::Socket().Chip(0);
        chip.RecordOps(true);

        TextSink log;
        WholeBus bus;
        const WiringReport report = RunWiringCheck(log, bus);

        EXPECT_EQ(NotPassed(log.text), row.notPassed) << log.text;
        EXPECT_NE(log.text.find(row.words), std::string::npos) << log.text;
        EXPECT_EQ(report.checks, 6);
        EXPECT_EQ(report.AllPassed(), *row.notPassed == '\0');
        for (const sim::ChipOp& op : chip.Ops())
            EXPECT_TRUE(op.kind != sim::ChipOp::Program && op.kind != sim::ChipOp::Erase) << log.text;
        sim::Socket().ClearViolations();
    }
    sim::SimGpio::Instance().SetWiring({});
}
