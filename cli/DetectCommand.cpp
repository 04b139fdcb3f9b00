// detect: the window's Detect, on standard output.
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Session.h"

namespace {

const char* const TAKES[] = {nullptr};

int Run(Session& session) {
    session.StartBus();
    TextChipFields fields;
    const std::string database = InstalledChipDatabase();
    const DetectResult found = RunDetect(session.log, fields, database.c_str());
    return NoChipAnswersId(session, found.probes[0].id) ? EXIT_NO_CHIP : EXIT_DONE;
}

}  // namespace

extern const Command DETECT_COMMAND = {
    "detect",
    nullptr,
    "name the chips on CE0 to CE3 and load the CE0 chip's parameters",
    "Reads the ID bytes behind CE0 to CE3 and names each maker, then loads the\n"
    "chip file named by the CE0 chip's ID: from ./ICs/<maker>/, else from the\n"
    "installed chip database. Its values are the geometry the other commands use.\n",
    TAKES,
    Run,
};
