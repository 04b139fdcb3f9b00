// What the jobs share: the chip probe, the dump-file choice and opening, the
// reading of records, and the progress bracket.
#pragma once

#include <cstdint>

#include "jobs/DumpFile.h"
#include "jobs/JobLog.h"
#include "jobs/Jobs.h"

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

// Reads record k (pageTotal bytes) into buf. When the file does not hold it
// whole, logs in red how many whole records it held, sets blue and returns
// false: no byte that did not come from the file is ever used.
bool ReadDumpRecord(JobLog& log, DumpFile& file, int32_t pageTotal, uint8_t* buf, int64_t k);

// Logs that the dump file could not be written whole (red, then blue).
void LogDumpWriteError(JobLog& log, int error);

// Begin on construction, End on every way out.
class ProgressScope {
public:
    ProgressScope(ProgressSink& sink, const char* title, const char* message, int32_t maximum, int64_t units,
                  int64_t unitBytes)
        : sink_(sink) {
        sink_.Begin(title, message, maximum, units, unitBytes);
    }
    ~ProgressScope() { sink_.End(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    ProgressSink& sink_;
};
