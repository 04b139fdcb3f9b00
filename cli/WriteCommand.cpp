// write FILE: the window's Write from a file named on the command line.
#include "cli/BadBlockOptions.h"
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char* const TAKES[] = {"geometry", "--force-geometry", "range", "targets", "--bad", "--json", "--quiet", nullptr};

int Run(Session& session) {
    BadBlockMode bad;
    if (const int status = TakeBadBlockMode(session, BadBlockJob::Write, bad)) return status;
    ChipPlan plan;
    if (const int status = PlanChipJob(session, {GeometryUse::WriteOrVerify}, plan, bad != BadBlockMode::Raw))
        return status;
    if (StopSignalled()) return session.StoppedBefore("the write");
    NamedFile file(session.args.Operand());
    JobContext& job = session.Job();
    WriteOptions options;
    options.bad = bad;
    options.wholeFile = true;
    return session.Finish(RunWrite(job, plan, file, options), "page");
}

}  // namespace

extern const Command WRITE_COMMAND = {
    "write",
    "FILE",
    "program the chip page by page from FILE",
    "Programs every page of the chip (or of the blocks asked for) from its record\n"
    "in FILE, data and spare area in one operation. A record of all 0xFF is left\n"
    "out: an erased page holds it already. The chip is not erased first: use\n"
    "erase before, or program.\n"
    "\n"
    "A block whose maker marked it bad (the first spare byte of its first or\n"
    "second page is not 0xFF) is programmed as any other with --bad=raw, the\n"
    "default. With --bad=keep none of its pages is programmed and the file keeps\n"
    "its offsets: a line tells how many bytes of the file that are not 0xFF were\n"
    "left out. With --bad=skip the block is jumped over and the file goes on in\n"
    "the next good block, as a dump read with --bad=skip lies; a chip with too\n"
    "few good blocks for the file is refused before anything is programmed.\n"
    "With --ce all or a list such as --ce 0,1, FILE holds the targets one after\n"
    "another in CE order, as read writes it.\n",
    TAKES,
    Run,
};
