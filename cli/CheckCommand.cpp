// check: the wiring check, for the moment a chip has been soldered or
// clipped in.
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Report.h"
#include "cli/Session.h"
#include "jobs/Identify.h"

namespace {

const char* const TAKES[] = {"--json", nullptr};

int Run(Session& session) {
    if (const int status = session.StartBus()) return status;
    const WiringReport report = RunWiringCheck(session.log, session.Bus());
    session.reportMembers = WiringMembers(report);
    return report.AllPassed() ? EXIT_DONE : EXIT_CHIP_FAILED;
}

}  // namespace

extern const Command CHECK_COMMAND = {
    "check",
    nullptr,
    "check the wiring to the CE0 chip, writing nothing to it",
    "Checks the wiring between the Pi and the chip on CE0, one line per check:\n"
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
