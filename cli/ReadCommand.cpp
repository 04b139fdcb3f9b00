// read FILE: the window's Read dump into a file named on the command line.
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char* const TAKES[] = {"--chip",        "--page",   "--spare",  "--row-max", "--pages-per-block",
                               "--first-block", "--blocks", "--passes", "--quiet",   nullptr};

int Run(Session& session) {
    ChipPlan plan;
    if (const int status = PlanChipJob(session, {GeometryUse::ReadDump}, plan)) return status;
    if (StopSignalled()) return session.StoppedBefore("the read");
    NamedFile file(session.args.Operand());
    ReadOptions options;
    options.rows = plan.rows;
    options.passes = static_cast<int>(session.args.Number("--passes", 1));
    JobContext job = session.Job();
    return session.Finish(RunReadDump(job, plan.geometry, file, options), "page");
}

}  // namespace

extern const Command READ_COMMAND = {
    "read",
    "FILE",
    "dump the chip, spare areas included, into FILE",
    "Reads every page of the chip (or of the blocks asked for), data and spare\n"
    "area, into FILE: one record of page plus spare bytes per page, no header.\n"
    "FILE is written beside its name and moved into place once it is whole.\n"
    "With --passes N every page is read N times; a page whose reads differ is\n"
    "read again, up to 8 times in all, and each byte's most frequent value is\n"
    "kept. Each such page gets a line; a page that never read the same twice\n"
    "ends the run with status 1.\n",
    TAKES,
    Run,
};
