// What the jobs share: the chip probe, the dump-file choice and opening, the
// reading of records, and the progress bracket.
#pragma once

#include <cstdint>

#include "jobs/DumpFile.h"
#include "jobs/JobLog.h"
#include "jobs/Jobs.h"
#include "jobs/Walk.h"

// Before a chip job's first dialog: one page read of row 0 with no data
// cycles. A chip pulls R/B# low after every READ confirm, so a read that
// never sees it low means nothing answers (an empty socket, a dead chip) and
// every page would read the bus's floating 0xFF. Then it logs the refusal in
// red, followed by blue, and returns false. A chip whose R/B# stays low does
// answer: the job goes on and meets it page by page.
bool ChipAnswers(JobLog& log, ChipPort& chip, int32_t rowMax);

// Asks for the dump file, logs its path and opens it. Cancelled when no file
// was chosen (nothing logged), FileError when it could not be opened
// (logged), Done when it is open.
JobStatus OpenDumpFile(JobLog& log, PathChooser& chooser, FileUse use, DumpFile& file);

// The opening of a job over a dump file: the chip must answer before the
// file is asked for. NoAnswer, or what OpenDumpFile returns.
JobStatus StartFileJob(JobLog& log, JobContext& job, const JobPlan& plan, PathChooser& chooser, FileUse use,
                       DumpFile& file);

// The walk of a job over a dump file: the plan's blocks, each block's mark
// read where the bad-block mode or the chip map needs it.
inline WalkRules DumpWalkRules(const Geometry& geometry, BadBlockMode bad, const BlockMap* map) {
    WalkRules rules;
    rules.blockPages = geometry.pagesPerBlock;
    rules.bad = bad;
    rules.readMarks = bad != BadBlockMode::Raw || map != nullptr;
    return rules;
}

// Reads record k (pageTotal bytes) into buf. When the file does not hold it
// whole, logs in red how many whole records it held, sets blue and returns
// false: no byte that did not come from the file is ever used.
bool ReadDumpRecord(JobLog& log, DumpFile& file, int32_t pageTotal, uint8_t* buf, int64_t k);

// Logs that the dump file could not be written whole (red, then blue).
void LogDumpWriteError(JobLog& log, int error);

// Logs, red then blue, that records of the file found no page: "Error,
// <count> records of the file, from record <first> on, <rest>\n".
void LogRecordsLeft(JobLog& log, int64_t count, int64_t first, const char* rest);

// Bytes of a page that read 0xFF, as an erased cell does.
int32_t CountErased(const uint8_t* bytes, int32_t count);

// What the visitors of the dump-file jobs share: the chip, the log, the
// file and the record in hand.
class DumpVisitor : public WalkVisitor {
protected:
    DumpVisitor(JobContext& job, JobLog& log, const JobPlan& plan, DumpFile& file)
        : chip_(job.chip), result_(job.result), log_(log), file_(file),
          rowLimit_(static_cast<uint32_t>(plan.geometry.rowMax)),
          pageTotal_(static_cast<int32_t>(plan.geometry.PageTotal())),
          perBlock_(plan.geometry.pagesPerBlock),
          fileRecords_((file.Size() + pageTotal_ - 1) / pageTotal_) {}

    // The file's next record into buf; false, the job's ending set, when
    // the file does not hold it whole (row: where the walk was).
    bool ReadRecord(uint8_t* buf, int64_t row) {
        if (ReadDumpRecord(log_, file_, pageTotal_, buf, record_++)) return true;
        ending = {JobStatus::FileError, row};
        return false;
    }
    // In skip mode the file holds the good blocks only and may end before
    // the chip does.
    bool FileDone() const { return record_ == fileRecords_; }

public:
    // Records taken from the file so far, and those it holds (a record cut
    // short by the file's end counts).
    int64_t RecordsTaken() const { return record_; }
    int64_t FileRecords() const { return fileRecords_; }

protected:

    ChipPort& chip_;
    JobResult& result_;
    JobLog& log_;
    DumpFile& file_;
    const uint32_t rowLimit_;
    const int32_t pageTotal_;
    const int32_t perBlock_;
    const int64_t fileRecords_;
    int64_t record_ = 0;
};

// Begin on construction, End on every way out.
class ProgressScope {
public:
    ProgressScope(ProgressSink& sink, const char* title, const char* message, int32_t maximum, int64_t units,
                  int64_t unitBytes)
        : sink_(sink) {
        sink_.Begin(title, message, maximum, units, unitBytes);
    }
    // A page job's: one unit a page of the plan's range, of page and spare
    // bytes.
    ProgressScope(ProgressSink& sink, const char* title, const char* message, const JobPlan& plan)
        : ProgressScope(sink, title, message, plan.geometry.rowMax, plan.rows.last - plan.rows.first + 1,
                        plan.geometry.PageTotal()) {}
    ~ProgressScope() { sink_.End(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    ProgressSink& sink_;
};
