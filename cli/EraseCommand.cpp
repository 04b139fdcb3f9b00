// erase: the window's Erace.
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char* const TAKES[] = {"--chip",        "--page",   "--spare", "--row-max", "--pages-per-block",
                               "--first-block", "--blocks", "--quiet", nullptr};

int Run(Session& session) {
    ChipPlan plan;
    if (const int status = PlanChipJob(session, {GeometryUse::Erase}, plan)) return status;
    if (StopSignalled()) return session.StoppedBefore("the erase");
    JobContext job = session.Job();
    return session.Finish(RunErase(job, plan.geometry, session.Record(), plan.rows), "block");
}

}  // namespace

extern const Command ERASE_COMMAND = {
    "erase",
    nullptr,
    "erase the chip and list the blocks that fail",
    "Erases every block of the chip (or the blocks asked for) and lists each\n"
    "block whose erase fails. A failed block ends with status 1.\n",
    TAKES,
    Run,
};
