// The commands that work on the chip through a plan (scan, read, verify,
// write, erase, blank, program), one table: each is what it does between the
// steps they share, and its entry for the help. The shared path settles the
// options before the bus starts, makes the plan, honours a stop asked for
// before the job, and draws the --map after it.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <string>

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

// What a command's own part works with, settled by the shared path.
struct ChipRun {
    Session& session;
    const ChipPlan& plan;
    BadBlockMode bad;  // raw unless the command takes --bad and it says otherwise
    BlockMap* map;     // nullptr without --map
    EccUse* ecc;       // nullptr without --ecc or --ecc-layout
};

struct ChipJob {
    // The job's name: the map's title, and what a stop before it names
    // ("the blank check").
    const char* name;
    std::initializer_list<GeometryUse> uses;
    BadBlockJob badModes;  // the --bad modes it takes
    // Reads every block's mark whatever --bad says (a --map reads them too).
    bool readsMarks;
    // Runs stages of its own, each asking whether to stop before it.
    bool stopsItself;
    int (*run)(ChipRun& run);  // returns the exit status
};

int RunChipCommand(Session& session, const ChipJob& job) {
    // Every value that can be refused without the chip is refused before
    // the bus starts.
    BadBlockMode bad;
    if (const int status = TakeBadBlockMode(session, job.badModes, bad)) return status;
    MapOutput map;
    if (const int status = map.Open(session)) return status;
    ChipEcc ecc;
    if (const int status = ecc.Take(session)) return status;
    ChipPlan plan;
    const bool readsMarks = job.readsMarks || bad != BadBlockMode::Raw || session.args.Has("--map");
    if (const int status = PlanChipJob(session, job.uses, plan, readsMarks)) return status;
    if (const int status = ecc.SetUp(session, plan.geometry)) return status;
    if (!job.stopsItself && StopSignalled()) return session.StoppedBefore(("the " + std::string(job.name)).c_str());
    ChipRun run{session, plan, bad, map.For(plan), ecc.Use()};
    return map.Finish(session, plan, job.name, job.run(run));
}

template <const ChipJob& job>
int RunChip(Session& session) {
    return RunChipCommand(session, job);
}

// The options of a job as the command line gives them, for the command of
// that name and for program's stage alike.
WriteOptions WriteOptionsOf(const ChipRun& run) {
    WriteOptions options;
    options.bad = run.bad;
    options.map = run.map;
    options.wholeFile = true;
    return options;
}

VerifyOptions VerifyOptionsOf(const ChipRun& run) {
    VerifyOptions options;
    options.bad = run.bad;
    options.map = run.map;
    options.wholeFile = true;
    options.ecc = run.ecc;
    return options;
}

EraseOptions EraseOptionsOf(const ChipRun& run) {
    EraseOptions options;
    options.includeBad = run.session.args.Has("--include-bad");
    options.markBad = run.session.args.Has("--mark-bad");
    options.map = run.map;
    return options;
}

// scan: the factory bad-block marks of the chip, and nothing else.
const char* const SCAN_TAKES[] = {"geometry", "range", "targets", "--map", "--json", "--quiet", nullptr};

int Scan(ChipRun& run) {
    ScanOptions options;
    options.map = run.map;
    // Marked blocks are what a scan is for: it is done whatever it found,
    // unless every block is marked.
    return MarksPointToWiring(run.session, run.session.Finish(RunScan(run.session.Job(), run.plan, options), "block"));
}

const ChipJob SCAN_JOB = {"scan", {GeometryUse::WriteOrVerify}, BadBlockJob::Read, true, false, Scan};

// read FILE: the window's Read dump into a file named on the command line.
const char* const READ_TAKES[] = {"geometry", "range", "targets", "--passes", "--bad", "--ecc", "--ecc-layout",
                                  "--ecc-fix", "--json", "--quiet", nullptr};

int Read(ChipRun& run) {
    NamedFile file(run.session.args.Operand());
    ReadOptions options;
    options.passes = static_cast<int>(run.session.args.Number("--passes", 1));
    options.bad = run.bad;
    options.ecc = run.ecc;
    return run.session.Finish(RunReadDump(run.session.Job(), run.plan, file, options), "page");
}

const ChipJob READ_JOB = {"read", {GeometryUse::ReadDump}, BadBlockJob::Read, false, false, Read};

// verify FILE: the window's Verify against a file named on the command line.
const char* const VERIFY_TAKES[] = {"geometry", "range", "targets", "--bad", "--map", "--ecc", "--ecc-layout",
                                    "--json", "--quiet", nullptr};

int Verify(ChipRun& run) {
    NamedFile file(run.session.args.Operand());
    return run.session.Finish(RunVerify(run.session.Job(), run.plan, file, VerifyOptionsOf(run)), "page");
}

const ChipJob VERIFY_JOB = {"verify", {GeometryUse::WriteOrVerify}, BadBlockJob::Verify, false, false, Verify};

// write FILE: the window's Write from a file named on the command line.
const char* const WRITE_TAKES[] = {"geometry", "--force-geometry", "range", "targets", "--bad", "--json", "--quiet",
                                   nullptr};

int Write(ChipRun& run) {
    NamedFile file(run.session.args.Operand());
    return run.session.Finish(RunWrite(run.session.Job(), run.plan, file, WriteOptionsOf(run)), "page");
}

const ChipJob WRITE_JOB = {"write", {GeometryUse::WriteOrVerify}, BadBlockJob::Write, false, false, Write};

// erase: the window's Erace.
const char* const ERASE_TAKES[] = {"geometry", "--force-geometry", "range", "targets", "--include-bad", "--mark-bad",
                                   "--map", "--json", "--quiet", nullptr};

int Erase(ChipRun& run) {
    Session& session = run.session;
    const Outcome erased = RunErase(session.Job(), run.plan, session.Record(), EraseOptionsOf(run));
    return MarksPointToWiring(session, session.Finish(erased, "block"));
}

const ChipJob ERASE_JOB = {"erase", {GeometryUse::Erase}, BadBlockJob::Read, true, false, Erase};

// blank: the window's Blank check.
const char* const BLANK_TAKES[] = {"geometry", "range", "targets", "--map", "--json", "--quiet", nullptr};

int CheckBlank(ChipRun& run) {
    // No erase has run in this process: the blocks known bad are the ones
    // their maker marked, read from the chip block by block.
    EraseRecord& record = run.session.Record();
    record.pagesPerBlock = run.plan.geometry.pagesPerBlock;
    BlankOptions options;
    options.skipMarked = true;
    options.map = run.map;
    return run.session.Finish(RunBlankCheck(run.session.Job(), run.plan, record, options), "page");
}

const ChipJob BLANK_JOB = {"blank check", {GeometryUse::BlankCheck}, BadBlockJob::Read, true, false, CheckBlank};

// program FILE: erase, write and verify in one run, stopping at the first
// stage that does not come out clean.
const char* const PROGRAM_TAKES[] = {"geometry", "--force-geometry", "range", "targets", "--bad", "--map", "--ecc",
                                     "--ecc-layout", "--json", "--quiet", nullptr};

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
int Program(ChipRun& run) {
    Session& session = run.session;
    const std::string& path = session.args.Operand();
    if (const int status = CheckFileHoldsEveryRecord(session, path, run.plan, run.bad)) return status;
    NamedFile file(path);
    JobContext& job = session.Job();

    if (StopSignalled()) return session.StoppedBefore("the erase");
    const Outcome erased = RunErase(job, run.plan, session.Record(), EraseOptionsOf(run));
    if (erased.status != JobStatus::Done) return session.Finish(erased, "block");

    if (StopSignalled()) return session.StoppedBefore("the write");
    const Outcome written = RunWrite(job, run.plan, file, WriteOptionsOf(run));
    if (written.status != JobStatus::Done) return session.Finish(written, "page");

    if (StopSignalled()) return session.StoppedBefore("the verify");
    // The verify reads the chip as the write left it: a kept block is not
    // compared, a skipped one not read.
    return session.Finish(RunVerify(job, run.plan, file, VerifyOptionsOf(run)), "page");
}

// The erase reads the blocks' marks whatever the mode.
const ChipJob PROGRAM_JOB = {"program", {GeometryUse::Erase, GeometryUse::WriteOrVerify}, BadBlockJob::Write, true,
                             true, Program};

}  // namespace

extern const Command SCAN_COMMAND = {
    "scan",
    nullptr,
    "list the blocks their maker marked bad; read nothing else",
    "Reads each block's factory bad-block mark, the first spare byte of its first\n"
    "and second page (a block is marked when either is not 0xFF), and nothing\n"
    "else; writes nothing. Lists each marked block with its pages and its byte\n"
    "offset in a dump of the whole chip, then how many of the blocks are marked.\n"
    "Ends with status 0 whatever it finds, but when every block of two or more\n"
    "reads as marked: that points to the wiring, and the status is 1. --json\n"
    "prints the same in the result object (bad_count, bad_blocks). --map FILE.svg\n"
    "draws the chip, one square a block.\n",
    SCAN_TAKES,
    RunChip<SCAN_JOB>,
};

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
    READ_TAKES,
    RunChip<READ_JOB>,
};

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
    VERIFY_TAKES,
    RunChip<VERIFY_JOB>,
};

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
    WRITE_TAKES,
    RunChip<WRITE_JOB>,
};

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
    ERASE_TAKES,
    RunChip<ERASE_JOB>,
};

extern const Command BLANK_COMMAND = {
    "blank",
    nullptr,
    "check that every page reads as erased",
    "Reads every page of the chip (or of the blocks asked for), data and spare\n"
    "area, and lists each page that holds a byte other than 0xFF. Any such page\n"
    "ends with status 1. A block whose maker marked it bad (the first spare\n"
    "byte of its first or second page is not 0xFF) is not read: a line says it\n"
    "was skipped.\n"
    "\n"
    "--map FILE.svg draws each block as found: good, factory-marked, not blank.\n",
    BLANK_TAKES,
    RunChip<BLANK_JOB>,
};

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
    PROGRAM_TAKES,
    RunChip<PROGRAM_JOB>,
};
