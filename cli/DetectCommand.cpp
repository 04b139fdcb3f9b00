// detect: the window's Detect, on standard output, then what the chip says of
// itself: its parameter page, its ID bytes decoded, the geometry the other
// commands would use and where it comes from.
#include <cstdio>

#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Report.h"
#include "cli/Session.h"
#include "jobs/Identify.h"
#include "jobs/JobLog.h"

namespace {

const char* const TAKES[] = {"--ce", "--json", "--save", "--force", nullptr};

// Log lines that must not mix with the JSON object on standard output.
class ErrorLog final : public LogSink {
public:
    void SetColour(LogColour) override {}
    void Append(const char* text) override { std::fputs(VisibleLog(text).c_str(), stderr); }
};

class NoLog final : public LogSink {
public:
    void SetColour(LogColour) override {}
    void Append(const char*) override {}
};

int Run(Session& session) {
    const Args& args = session.args;
    if (args.Has("--force") && !args.Has("--save")) return session.UsageError("--force goes with --save");
    const bool json = args.Has("--json");
    ChipEnablesAsked asked;
    if (const int status = TakeChipEnables(session, asked)) return status;
    if (const int status = session.StartBus()) return status;
    TextChipFields fields;
    const std::string database = InstalledChipDatabase();
    NoLog quiet;
    const DetectResult found = RunDetect(json ? static_cast<LogSink&>(quiet) : session.log, session.Bus(), fields,
                                         database.c_str());
    bool answers = false;
    for (uint8_t byte : found.probes[0].id) answers = answers || byte != 0xFF;
    JobLog log(session.log);
    if (!json && NoChipAnswersId(log, found.probes[0].id)) return EXIT_NO_CHIP;

    // --ce names whose parameter page is read; all: the first target's, CE0's.
    const ChipIdentity identity = IdentifyChip(session.Bus(), found, fields, asked.all ? 0 : asked.listed.front());
    if (json)
        std::fputs(IdentityJson(found, identity).c_str(), stdout);
    else
        LogIdentity(session.log, found, identity);
    if (!answers) return EXIT_NO_CHIP;
    if (!args.Has("--save")) return EXIT_DONE;
    ErrorLog errors;
    return ExitStatusOf(SaveIdentity(json ? static_cast<LogSink&>(errors) : session.log, found, identity,
                                     args.Has("--force"))
                            .status);
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
    "CRC, or whose values are absurd, is reported and not used. --ce N reads\n"
    "the parameter page of the chip on CEN instead.\n"
    "Then the targets: the chip enables whose chips give the first two ID bytes\n"
    "of the CE0 chip (dies of one part, each with its own chip enable), which\n"
    "--ce all takes together, the size they hold and their LUNs; a chip enable\n"
    "where another chip answers is named as such.\n"
    "With --json, one JSON object on standard output instead of the lines:\n"
    "probes, targets (each {ce, luns}), other_chips, chip_file, parameter_page,\n"
    "id_decoded, geometry, disagreements.\n"
    "No log is written then, and what only the lines tell is dropped: why a\n"
    "parameter page was not used (the object holds null for it, or its values\n"
    "beside a geometry from elsewhere), that a part is 16-bit, that no chip\n"
    "answers (the exit status still says so). The lines of --save go to\n"
    "standard error.\n"
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
