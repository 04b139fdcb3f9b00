// erase: the window's Erace.
#include "cli/BadBlockOptions.h"
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char* const TAKES[] = {"geometry", "--force-geometry", "range", "--include-bad", "--mark-bad", "--map", "--json", "--quiet", nullptr};

int Run(Session& session) {
    MapOutput map;
    if (const int status = map.Open(session)) return status;
    ChipPlan plan;
    if (const int status = PlanChipJob(session, {GeometryUse::Erase}, plan, true)) return status;
    if (StopSignalled()) return session.StoppedBefore("the erase");
    JobContext& job = session.Job();
    EraseOptions options;
    options.includeBad = session.args.Has("--include-bad");
    options.markBad = session.args.Has("--mark-bad");
    options.map = map.For(plan);
    const int status = MarksPointToWiring(session, session.Finish(RunErase(job, plan, session.Record(), options), "block"));
    return map.Finish(session, plan, "erase", status);
}

}  // namespace

extern const Command ERASE_COMMAND = {
    "erase",
    nullptr,
    "erase the chip and list the blocks that fail",
    "Erases every block of the chip (or the blocks asked for) and lists each\n"
    "block whose erase fails. A failed block ends with status 1.\n"
    "\n"
    "Each block's factory mark is read first (the first spare byte of its first\n"
    "or second page is not 0xFF): a marked block gets no erase command, as its\n"
    "mark is the only record that it is bad. --include-bad erases marked blocks\n"
    "too, after a warning, and their marks are lost for good. --mark-bad writes\n"
    "a mark (0x00 in the first spare byte of the first page) into a block whose\n"
    "erase fails. --map FILE.svg draws each block as found: good, factory-marked,\n"
    "failed.\n",
    TAKES,
    Run,
};
