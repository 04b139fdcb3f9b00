// blank: the window's Blank check.
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char* const TAKES[] = {"--chip",        "--page",   "--spare", "--row-max", "--pages-per-block",
                               "--first-block", "--blocks", "--quiet", nullptr};

int Run(Session& session) {
    ChipPlan plan;
    if (const int status = PlanChipJob(session, {GeometryUse::BlankCheck}, plan)) return status;
    if (StopSignalled()) return session.StoppedBefore("the blank check");
    // No erase has run in this process, so no block is known bad; with the
    // block size known, the check says nothing of skipping.
    EraseRecord& record = session.Record();
    record.pagesPerBlock = plan.pagesPerBlockKnown ? static_cast<int16_t>(plan.geometry.pagesPerBlock) : 0;
    JobContext job = session.Job();
    return session.Finish(RunBlankCheck(job, plan.geometry, record, plan.rows), "page");
}

}  // namespace

extern const Command BLANK_COMMAND = {
    "blank",
    nullptr,
    "check that every page reads as erased",
    "Reads every page of the chip (or of the blocks asked for), data and spare\n"
    "area, and lists each page that holds a byte other than 0xFF. Any such page\n"
    "ends with status 1.\n",
    TAKES,
    Run,
};
