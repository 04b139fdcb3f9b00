// write FILE: the window's Write from a file named on the command line.
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char* const TAKES[] = {"--chip",        "--page",   "--spare", "--row-max", "--pages-per-block",
                               "--first-block", "--blocks", "--quiet", nullptr};

int Run(Session& session) {
    ChipPlan plan;
    if (const int status = PlanChipJob(session, {GeometryUse::WriteOrVerify}, plan)) return status;
    if (StopSignalled()) return session.StoppedBefore("the write");
    NamedFile file(session.args.Operand());
    JobContext job = session.Job();
    return session.Finish(RunWrite(job, plan.geometry, file, plan.rows), "page");
}

}  // namespace

extern const Command WRITE_COMMAND = {
    "write",
    "FILE",
    "program the chip page by page from FILE",
    "Programs every page of the chip (or of the blocks asked for) from its record\n"
    "in FILE, data and spare area in one operation. A record of all 0xFF is left\n"
    "out: an erased page holds it already. The chip is not erased first: use\n"
    "erase before, or program.\n",
    TAKES,
    Run,
};
