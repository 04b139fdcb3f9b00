// detect: the window's Detect, on standard output, then what the chip says of
// itself: its parameter page, its ID bytes decoded, the geometry the other
// commands would use and where it comes from.
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Report.h"
#include "cli/Session.h"
#include "jobs/Identify.h"
#include "jobs/JobLog.h"

namespace {

const char* const TAKES[] = {"--json", "--save", "--force", nullptr};

int Run(Session& session) {
    const Args& args = session.args;
    if (args.Has("--force") && !args.Has("--save")) return session.UsageError("--force goes with --save");
    if (const int status = session.StartBus()) return status;
    TextChipFields fields;
    const std::string database = InstalledChipDatabase();
    const DetectResult found = RunDetect(session.log, session.Bus(), fields, database.c_str());
    JobLog log(session.log);
    const bool answers = !NoChipAnswersId(log, found.probes[0].id);
    // The object still shows what the four probes read.
    if (!answers && !args.Has("--json")) return EXIT_NO_CHIP;

    const ChipIdentity identity = IdentifyChip(session.Bus(), found, fields);
    session.reportMembers = IdentityMembers(found, identity);
    if (!answers) return EXIT_NO_CHIP;
    LogIdentity(session.log, found, identity);
    if (!args.Has("--save")) return EXIT_DONE;
    return ExitStatusOf(SaveIdentity(session.log, found, identity, args.Has("--force")).status);
}

}  // namespace

extern const Command DETECT_COMMAND = {
    "detect",
    nullptr,
    "name the chips on CE0 to CE3, read the CE0 chip's parameter page",
    "Reads the ID bytes behind CE0 to CE3 and names each maker, then loads the\n"
    "chip file named by the CE0 chip's ID: from ./ICs/<maker>/, else from the\n"
    "installed chip database. Then reads the CE0 chip's parameter page (ONFI,\n"
    "else JEDEC), decodes its ID bytes the classic way (a guess), and tells the\n"
    "geometry the other commands use and where it comes from: the chip file,\n"
    "else the parameter page, else the ID bytes; one line for each value on\n"
    "which two of them disagree. A parameter page whose copies all fail their\n"
    "CRC, or whose values are absurd, is reported and not used.\n"
    "With --json, the result object adds probes, chip_file, parameter_page,\n"
    "id_decoded, geometry and disagreements; the lines go to standard error.\n"
    "With --save, writes the chip file ./ICs/<maker>/<ID string> from the\n"
    "geometry in use, named after the page's model, in the window's Save\n"
    "format, so that the window's Detect finds the chip; an existing file is\n"
    "replaced only with --force, and a guess from the ID bytes is not saved.\n"
    "The file is written beside its name and renamed over the old one once\n"
    "whole: a failed write leaves the old file, and a link there is replaced,\n"
    "never written through.\n",
    TAKES,
    Run,
};
