// blank: the window's Blank check.
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
    if (const int status = PlanChipJob(session, {GeometryUse::BlankCheck}, plan, true)) return status;
    if (StopSignalled()) return session.StoppedBefore("the blank check");
    // No erase has run in this process: the blocks known bad are the ones
    // their maker marked, read from the chip block by block.
    EraseRecord& record = session.Record();
    record.pagesPerBlock = plan.geometry.pagesPerBlock;
    BlankOptions options;
    options.skipMarked = true;
    options.map = map.For(plan);
    JobContext& job = session.Job();
    const int status = session.Finish(RunBlankCheck(job, plan, record, options), "page");
    return map.Finish(session, plan, "blank check", status);
}

}  // namespace

extern const Command BLANK_COMMAND = {
    "blank",
    nullptr,
    "check that every page reads as erased",
    "Reads every page of the chip (or of the blocks asked for), data and spare\n"
    "area, and lists each page that holds a byte other than 0xFF. Any such page\n"
    "ends with status 1. A block whose maker marked it bad (the first spare\n"
    "byte of its first or second page is not 0xFF) is not read: a line says it\n"
    "was skipped.\n"
    "\n"
    "--map FILE.svg draws each block as found: good, factory-marked, not blank.\n",
    TAKES,
    Run,
};
