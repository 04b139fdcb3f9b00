// verify FILE: the window's Verify against a file named on the command line.
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
    if (StopSignalled()) return session.StoppedBefore("the verify");
    NamedFile file(session.args.Operand());
    JobContext job = session.Job();
    return session.Finish(RunVerify(job, plan.geometry, file, plan.rows), "page");
}

}  // namespace

extern const Command VERIFY_COMMAND = {
    "verify",
    "FILE",
    "compare the chip with FILE byte by byte",
    "Reads every page of the chip (or of the blocks asked for) and compares it\n"
    "with its record in FILE, data and spare area; lists each byte that differs\n"
    "(the first 1000, then a count). Any difference ends with status 1.\n",
    TAKES,
    Run,
};
