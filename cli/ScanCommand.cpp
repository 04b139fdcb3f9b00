// scan: the factory bad-block marks of the chip, and nothing else.
#include <cstdio>

#include "cli/BadBlockOptions.h"
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Report.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char* const TAKES[] = {"geometry", "range", "--json", "--map", "--quiet", nullptr};

int Run(Session& session) {
    const bool json = session.args.Has("--json");
    // Standard output then carries the object alone.
    if (json) session.log.ToStandardError();
    MapOutput map;
    if (const int status = map.Open(session)) return status;
    ChipPlan plan;
    if (const int status = PlanChipJob(session, {GeometryUse::WriteOrVerify}, plan, true)) return status;
    if (StopSignalled()) return session.StoppedBefore("the scan");
    ScanOptions options;
    options.map = map.For(plan);
    ScanResult result;
    JobContext job = session.Job();
    const Outcome outcome = RunScan(job, plan, options, result);
    // Marked blocks are what a scan is for: it is done whatever it found.
    const int status = MarksPointToWiring(session, result, session.Finish(outcome, "block"));
    if (json && outcome.status == JobStatus::Done) {
        session.progress.StepAside();
        std::printf("%s\n", ScanJson(plan.chipName, plan.geometry, result).c_str());
    }
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
    "Ends with status 0 whatever it finds. --json prints the same as one JSON\n"
    "object on standard output, and the log lines on standard error. --map\n"
    "FILE.svg draws the chip, one square a block.\n",
    TAKES,
    Run,
};
