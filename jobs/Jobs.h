// The jobs of the job core. Each takes a plan made and checked before it,
// works through the chip and reports piece by piece in its log; none shows
// anything itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jobs/BadBlocks.h"
#include "jobs/Geometry.h"
#include "jobs/Job.h"
#include "jobs/Plan.h"

struct EccUse;

// Bytes of each page buffer: room for the largest accepted page plus spare.
inline constexpr int PAGE_BUFFER_BYTES = 65536;

// The file a job asks its front end for. How the choice is offered (a
// dialog's wording, a proposed name) is the front end's.
enum class FileUse {
    SaveDump,       // read dump writes it
    WriteFrom,      // write reads it
    VerifyAgainst,  // verify reads it
    SaveChipFile,   // save writes the chip file
};

// Asks the user (or the command line) for the file of a job. False when
// none was chosen; the job then ends having logged nothing.
class PathChooser {
public:
    virtual ~PathChooser() = default;
    virtual bool Choose(FileUse use, std::string& path) = 0;
    // A dump file chosen that could not be created: `why` says why in plain
    // words. The window says no more than its log line; the command line
    // puts the log's line on a line of its own and says why beside it.
    virtual bool TellsWhyNotCreated() const { return false; }
    virtual void NotCreated(const std::string& path, const std::string& why) { (void)path, (void)why; }
};

struct ReadOptions {
    // Every page is read this many times; pages whose reads differ are read
    // again, up to MAX_READS in all, and each byte's most frequent value is
    // kept.
    int passes = 1;
    BadBlockMode bad = BadBlockMode::Raw;  // Raw, Pad or Skip
    BlockMap* map = nullptr;               // what the run found, when asked
    // Every page checked with the device's ECC as it is read; of reads that
    // differ, one the ECC passes is taken (jobs/EccPages.h).
    EccUse* ecc = nullptr;
};
inline constexpr int MAX_READS = 8;

struct WriteOptions {
    BadBlockMode bad = BadBlockMode::Raw;  // Raw, Keep or Skip
    BlockMap* map = nullptr;
    // Every record of the file must find its page: a file longer than the
    // range is refused before a page is programmed. Without it the rest of
    // the file is ignored, as the window does.
    bool wholeFile = false;
};

struct VerifyOptions {
    BadBlockMode bad = BadBlockMode::Raw;  // Raw, Pad or Skip, as the dump was read; Keep after such a write
    BlockMap* map = nullptr;
    // Every record of the file must be compared: records past the range's
    // end, or a run that compared none (an empty file in skip mode), fail
    // it. Without it the rest of the file is ignored, as the window does.
    bool wholeFile = false;
    // A page whose difference the device's ECC corrects is verified.
    EccUse* ecc = nullptr;
};

struct EraseOptions {
    bool includeBad = false;  // erase factory-marked blocks too, marks and all
    bool markBad = false;     // mark a block whose erase fails
    BlockMap* map = nullptr;
};

struct BlankOptions {
    bool skipMarked = false;  // read the marks and skip the marked blocks
    BlockMap* map = nullptr;
};

struct ScanOptions {
    BlockMap* map = nullptr;
};

Outcome RunReadDump(JobContext& job, const JobPlan& plan, PathChooser& chooser, const ReadOptions& options);
Outcome RunWrite(JobContext& job, const JobPlan& plan, PathChooser& chooser, const WriteOptions& options);
// Before a write in skip mode that is to follow an erase: whether the good
// blocks of the rows hold a file of fileBytes, told in the log when not.
Outcome CheckSkipWriteFits(JobContext& job, const JobPlan& plan, int64_t fileBytes);
Outcome RunVerify(JobContext& job, const JobPlan& plan, PathChooser& chooser, const VerifyOptions& options);
// The plan's geometry.pagesPerBlock goes into the record.
Outcome RunErase(JobContext& job, const JobPlan& plan, EraseRecord& record, const EraseOptions& options);
Outcome RunBlankCheck(JobContext& job, const JobPlan& plan, const EraseRecord& record, const BlankOptions& options);
// Reads every block's mark and nothing else; lists the marked blocks with
// their pages and their offset in a dump of this geometry. The job's result
// holds them (badBlocks) and the blocks whose mark was read.
Outcome RunScan(JobContext& job, const JobPlan& plan, const ScanOptions& options);

// Where a block lies: its pages and the offset of its first in a dump of
// the whole chip.
struct BlockPlace {
    int64_t firstPage;
    int64_t lastPage;
    uint64_t offset;
};
BlockPlace PlaceOf(const Geometry& geometry, int64_t block);

// The six chip fields of a front end, in chip file key order (KEY_NAME to
// KEY_BLOCK). A field takes a value the way the window's does: a text longer
// than the field, or one the locale cannot convert, leaves it empty.
class ChipFields {
public:
    virtual ~ChipFields() = default;
    virtual void Set(int key, const char* value) = 0;
    // What the field holds now, UTF-8.
    virtual std::string Get(int key) const = 0;
};

// What Detect found: the four probes and the chip file of the CE0 chip.
struct ChipProbe {
    const char* label;  // "CE0 = ", ...
    int cePin;
    uint8_t id[5];
    const char* maker;
};
struct DetectResult {
    ChipProbe probes[4];
    std::string idString;
    std::string chipFilePath;  // where the chip file was looked for
    bool chipFileFound = false;
};

// Reads the ID bytes behind CE0 to CE3, logs them, puts the CE0 chip's ID
// string into the ID field and loads the chip file of that ID, if there is
// one, into the fields. The chip file is looked for under ICs/ in the
// working directory, then, when databaseRoot is given, under
// databaseRoot/ICs/.
DetectResult RunDetect(LogSink& sink, BusPort& bus, ChipFields& fields, const char* databaseRoot = nullptr);

// Stores the fields as a chip file. A value that is missing (the front end
// could not convert it: nullptr), empty or holds whitespace is refused
// before the chooser is asked, with a red line naming the field: the file
// would not read back as the same fields.
Outcome RunSave(LogSink& sink, PathChooser& chooser, const char* const values[6]);
