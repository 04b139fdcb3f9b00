// scan: the factory bad-block marks of the chip, and nothing else.
#include "cli/BadBlockOptions.h"
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char* const TAKES[] = {"geometry", "range", "--map", "--json", "--quiet", nullptr};

int Run(Session& session) {
    MapOutput map;
    if (const int status = map.Open(session)) return status;
    ChipPlan plan;
    if (const int status = PlanChipJob(session, {GeometryUse::WriteOrVerify}, plan, true)) return status;
    if (StopSignalled()) return session.StoppedBefore("the scan");
    ScanOptions options;
    options.map = map.For(plan);
    // Marked blocks are what a scan is for: it is done whatever it found,
    // unless every block is marked.
    const int status = MarksPointToWiring(session, session.Finish(RunScan(session.Job(), plan, options), "block"));
    return map.Finish(session, plan, "scan", status);
}

}  // namespace

extern const Command SCAN_COMMAND = {
    "scan",
    nullptr,
    "list the blocks their maker marked bad; read nothing else",
    "Reads each block's factory bad-block mark, the first spare byte of its first\n"
    "and second page (a block is marked when either is not 0xFF), and nothing\n"
    "else; writes nothing. Lists each marked block with its pages and its byte\n"
    "offset in a dump of the whole chip, then how many of the blocks are marked.\n"
    "Ends with status 0 whatever it finds, but when every block of two or more\n"
    "reads as marked: that points to the wiring, and the status is 1. --json\n"
    "prints the same in the result object (bad_count, bad_blocks). --map FILE.svg\n"
    "draws the chip, one square a block.\n",
    TAKES,
    Run,
};
