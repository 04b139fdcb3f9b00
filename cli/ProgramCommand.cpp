// program FILE: erase, write and verify in one run, stopping at the first
// stage that does not come out clean.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "cli/BadBlockOptions.h"
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/EccOption.h"
#include "cli/ExitStatus.h"
#include "cli/Session.h"
#include "cli/Stop.h"
#include "jobs/DumpFile.h"
#include "jobs/DumpJobs.h"
#include "jobs/JobLog.h"

namespace {

const char* const TAKES[] = {"geometry", "--force-geometry", "range", "--bad", "--map", "--ecc", "--ecc-layout", "--json", "--quiet", nullptr};

// Before the erase: a file that cannot be read, that ends before the last
// page or goes on past it, would leave the chip erased and half written, or
// written with part of an image meant for another chip.
int CheckFileHoldsEveryRecord(Session& session, const std::string& path, const ChipPlan& plan, BadBlockMode bad) {
    JobLog log(session.log);
    DumpFile file;
    if (!file.OpenToRead(path)) {
        const int error = errno;
        log.RedThenBlue(("Error open file " + path + ": " + std::strerror(error) + ", nothing erased\n").c_str());
        return EXIT_FILE;
    }
    if (bad == BadBlockMode::Skip) {
        // The file goes into the good blocks only, however many records it
        // holds: whether they hold it is asked of the chip's marks.
        JobContext& job = session.Job();
        const Outcome fits = CheckSkipWriteFits(job, plan, file.Size());
        if (fits.status != JobStatus::Done) {
            log.Put("Nothing erased\n");
            return ExitStatusOf(fits.status);
        }
        return EXIT_DONE;
    }
    const RowRange& rows = plan.rows;
    const int64_t records = rows.last - rows.first + 1;
    const int64_t recordBytes = plan.geometry.PageTotal();
    struct stat info {};
    if (fstat(fileno(file.Get()), &info) != 0 || info.st_size / recordBytes < records) {
        log.RedThenBlue(("Error, the file holds only " + std::to_string(info.st_size / recordBytes) +
                         " whole records of the " + std::to_string(records) + " to program, nothing erased\n")
                            .c_str());
        return EXIT_FILE;
    }
    const int64_t fileRecords = (info.st_size + recordBytes - 1) / recordBytes;
    if (fileRecords > records) {
        LogRecordsLeft(log, fileRecords - records, records, "have no page in the range: nothing erased");
        return EXIT_CHIP_FAILED;
    }
    return EXIT_DONE;
}

// Erase, write and verify, each only when the one before came out clean.
int RunStages(Session& session, const ChipPlan& plan, BadBlockMode bad, BlockMap* map, EccUse* ecc) {
    const std::string& path = session.args.Operand();
    NamedFile file(path);
    JobContext& job = session.Job();

    if (StopSignalled()) return session.StoppedBefore("the erase");
    EraseOptions erase;
    erase.map = map;
    const Outcome erased = RunErase(job, plan, session.Record(), erase);
    if (erased.status != JobStatus::Done) return session.Finish(erased, "block");

    if (StopSignalled()) return session.StoppedBefore("the write");
    WriteOptions write;
    write.bad = bad;
    write.map = map;
    write.wholeFile = true;
    const Outcome written = RunWrite(job, plan, file, write);
    if (written.status != JobStatus::Done) return session.Finish(written, "page");

    if (StopSignalled()) return session.StoppedBefore("the verify");
    // The verify reads the chip as the write left it: a kept block is not
    // compared, a skipped one not read.
    VerifyOptions verify;
    verify.bad = bad;
    verify.map = map;
    verify.wholeFile = true;
    verify.ecc = ecc;
    return session.Finish(RunVerify(job, plan, file, verify), "page");
}

int Run(Session& session) {
    BadBlockMode bad;
    if (const int status = TakeBadBlockMode(session, BadBlockJob::Write, bad)) return status;
    ChipEcc ecc;
    if (const int status = ecc.Take(session)) return status;
    MapOutput map;
    if (const int status = map.Open(session)) return status;
    ChipPlan plan;
    // The erase reads the blocks' marks whatever the mode.
    if (const int status = PlanChipJob(session, {GeometryUse::Erase, GeometryUse::WriteOrVerify}, plan, true))
        return status;
    if (const int status = ecc.SetUp(session, plan.geometry)) return status;
    const std::string& path = session.args.Operand();
    if (const int status = CheckFileHoldsEveryRecord(session, path, plan, bad)) return status;
    const int status = RunStages(session, plan, bad, map.For(plan), ecc.Use());
    return map.Finish(session, plan, "program", status);
}

}  // namespace

extern const Command PROGRAM_COMMAND = {
    "program",
    "FILE",
    "erase, write FILE and verify; stop at the first stage that fails",
    "Erases the chip (or the blocks asked for), programs it from FILE and\n"
    "compares it with FILE: erase, write and verify in one run. A stage that\n"
    "does not come out clean (a block that fails to erase, a page that fails to\n"
    "program) ends the run with its status before the next begins. FILE must\n"
    "hold a record for every page before anything is erased.\n"
    "\n"
    "Blocks their maker marked bad are never erased. --bad takes write's modes,\n"
    "raw (default), keep or skip, and the verify follows the write: a kept block\n"
    "is not compared, a skipped one not read. With raw a marked block is\n"
    "programmed over what it held, and the verify finds it differs. With skip,\n"
    "FILE may be shorter than the chip; the good blocks must hold it before\n"
    "anything is erased.\n"
    "--map FILE.svg draws each block as the three stages found it: good,\n"
    "factory-marked, failed to erase or program, differing from FILE.\n"
    "--ecc SCHEME (or --ecc-layout FILE) verifies as verify does with it: a page\n"
    "whose difference the device's ECC corrects is verified.\n",
    TAKES,
    Run,
};
