// read FILE: the window's Read dump into a file named on the command line.
#include "cli/BadBlockOptions.h"
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/EccOption.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char* const TAKES[] = {"geometry", "range",    "targets", "--passes", "--bad", "--ecc", "--ecc-layout",
                             "--ecc-fix", "--json", "--quiet",  nullptr};

int Run(Session& session) {
    BadBlockMode bad;
    if (const int status = TakeBadBlockMode(session, BadBlockJob::Read, bad)) return status;
    ChipEcc ecc;
    if (const int status = ecc.Take(session)) return status;
    ChipPlan plan;
    if (const int status = PlanChipJob(session, {GeometryUse::ReadDump}, plan, bad != BadBlockMode::Raw)) return status;
    if (const int status = ecc.SetUp(session, plan.geometry)) return status;
    if (StopSignalled()) return session.StoppedBefore("the read");
    NamedFile file(session.args.Operand());
    ReadOptions options;
    options.passes = static_cast<int>(session.args.Number("--passes", 1));
    options.bad = bad;
    options.ecc = ecc.Use();
    JobContext& job = session.Job();
    return session.Finish(RunReadDump(job, plan, file, options), "page");
}

}  // namespace

extern const Command READ_COMMAND = {
    "read",
    "FILE",
    "dump the chip, spare areas included, into FILE",
    "Reads every page of the chip (or of the blocks asked for), data and spare\n"
    "area, into FILE: one record of page plus spare bytes per page, no header.\n"
    "FILE is written beside its name and moved into place once it is whole,\n"
    "keeping the old file's mode and owner; a link is followed to its file. A\n"
    "read that is interrupted or fails leaves FILE as it was; an interrupted\n"
    "one keeps the pages it read in FILE.partial and says so.\n"
    "With --passes N every page is read N times; a page whose reads differ is\n"
    "read again, up to 8 times in all, and each byte's most frequent value is\n"
    "kept. Each such page gets a line; a page that never read the same twice\n"
    "ends the run with status 1.\n"
    "\n"
    "A block whose maker marked it bad (the first spare byte of its first or\n"
    "second page is not 0xFF) is dumped as the chip gives it with --bad=raw, the\n"
    "default; as 0xFF throughout with --bad=pad, which keeps every offset; and\n"
    "not at all with --bad=skip, the next good block following at once.\n"
    "\n"
    "A part of several dies with a chip enable each is read on CE0 alone unless\n"
    "--ce says otherwise (a line says when there are more targets). With --ce all\n"
    "or a list such as --ce 0,1, FILE holds the targets one after another in CE\n"
    "order, each in the layout above; block and page numbers count across them,\n"
    "and each line names the chip enable too. The LUNs of a chip enable come from\n"
    "its parameter page or from --luns and --blocks-per-lun, and FILE holds LUN\n"
    "0's blocks, then LUN 1's, without gaps.\n"
    "\n"
    "--ecc SCHEME (or --ecc-layout FILE; see image ecc) checks every page with\n"
    "the device's ECC as it is read: a line tells each page with bits corrected,\n"
    "erased with bits read as 0, or with a step the code cannot correct, and one\n"
    "sums them up. A factory-marked block is not checked. FILE holds the pages\n"
    "as read; with --ecc-fix, as the ECC corrected them (data and ECC bytes).\n"
    "With --passes, of reads that differ the one the ECC passes (clean first,\n"
    "then the fewest bits corrected) is kept rather than each byte's vote, and\n"
    "the page's line says which. A page the ECC cannot correct ends the run\n"
    "with status 1, FILE written whole.\n",
    TAKES,
    Run,
};
