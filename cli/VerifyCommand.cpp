// verify FILE: the window's Verify against a file named on the command line.
#include "cli/BadBlockOptions.h"
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/EccOption.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char* const TAKES[] = {"geometry", "range", "--bad", "--map", "--ecc", "--ecc-layout", "--json", "--quiet", nullptr};

int Run(Session& session) {
    BadBlockMode bad;
    if (const int status = TakeBadBlockMode(session, BadBlockJob::Verify, bad)) return status;
    MapOutput map;
    if (const int status = map.Open(session)) return status;
    ChipEcc ecc;
    if (const int status = ecc.Take(session)) return status;
    ChipPlan plan;
    const bool readsMarks = bad != BadBlockMode::Raw || session.args.Has("--map");
    if (const int status = PlanChipJob(session, {GeometryUse::WriteOrVerify}, plan, readsMarks)) return status;
    if (const int status = ecc.SetUp(session, plan.geometry)) return status;
    if (StopSignalled()) return session.StoppedBefore("the verify");
    NamedFile file(session.args.Operand());
    JobContext& job = session.Job();
    VerifyOptions options;
    options.bad = bad;
    options.wholeFile = true;
    options.map = map.For(plan);
    options.ecc = ecc.Use();
    const int status = session.Finish(RunVerify(job, plan, file, options), "page");
    return map.Finish(session, plan, "verify", status);
}

}  // namespace

extern const Command VERIFY_COMMAND = {
    "verify",
    "FILE",
    "compare the chip with FILE byte by byte",
    "Reads every page of the chip (or of the blocks asked for) and compares it\n"
    "with its record in FILE, data and spare area; lists each byte that differs\n"
    "(the first 1000, then a count). Any difference ends with status 1.\n"
    "\n"
    "--bad reads the chip as read does with the same mode, so that a dump made\n"
    "with a mode verifies with it: raw (default), pad or skip.\n"
    "--map FILE.svg draws each block as found: good, factory-marked, differing.\n"
    "--ecc SCHEME (or --ecc-layout FILE; see image ecc): a page whose\n"
    "difference the device's ECC corrects, its bit flips worn cells' and not\n"
    "the data's, is verified, with a line saying how many bits were corrected;\n"
    "a difference beyond the code's strength is a difference.\n",
    TAKES,
    Run,
};
