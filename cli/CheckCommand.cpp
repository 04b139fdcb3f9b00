// check: the wiring check, for the moment a chip has been soldered or
// clipped in.
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Report.h"
#include "cli/Session.h"
#include "jobs/Identify.h"
#include "jobs/Targets.h"

namespace {

const char* const TAKES[] = {"--ce", "--json", nullptr};

int Run(Session& session) {
    ChipEnablesAsked asked;
    if (const int status = TakeChipEnables(session, asked)) return status;
    if (const int status = session.StartBus()) return status;
    std::vector<int> chosen = asked.listed;
    if (asked.all || !session.args.Has("--ce")) {
        const std::vector<int> found = FindTargets(session.Bus());
        if (asked.all) chosen = found.empty() ? std::vector<int>{0} : found;
        else SayOtherTargets(session.log, found);
    }
    bool passed = true;
    for (const int ce : chosen) {
        // Each chip's checks under a heading of its own when there are several.
        if (chosen.size() > 1) session.log.Append(("CE" + std::to_string(ce) + ":\n").c_str());
        const WiringReport report = RunWiringCheck(session.log, session.Bus(), ChipEnablePin(ce));
        // The object tells the first chip that failed, else the last one checked.
        if (passed) session.reportMembers = WiringMembers(report);
        passed = report.AllPassed() && passed;
    }
    return passed ? EXIT_DONE : EXIT_CHIP_FAILED;
}

}  // namespace

extern const Command CHECK_COMMAND = {
    "check",
    nullptr,
    "check the wiring to the CE0 chip, writing nothing to it",
    "Checks the wiring between the Pi and the chip on CE0 (with --ce, on each\n"
    "chip enable asked for), one line per check:\n"
    "R/B# reads high at rest (its pull-up is there); R/B# goes low after a\n"
    "RESET and comes back; READ ID gives the same five bytes three times and a\n"
    "known maker; READ ID 20h gives \"ONFI\" where the chip has a parameter\n"
    "page; the status byte's write-protect bit follows WP# high, then low; and\n"
    "the data lines, driven by the Pi with every chip deselected, each read\n"
    "back high and low and no two alike. A fault is told in plain words with\n"
    "its likely cause and the pins involved. Nothing is programmed or erased.\n"
    "Exit status 0 only when every check passed, else 1. --json adds checks and\n"
    "checks_passed to the result object.\n",
    TAKES,
    Run,
};
