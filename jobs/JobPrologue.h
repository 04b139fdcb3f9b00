// What Read dump, Write and Verify share: the geometry checks, the dump-file
// dialog and the opening of the file, the reading of records, and the pieces
// of their closing lines.
#pragma once

#include <wx/string.h>

#include <cstdint>
#include <cstdio>
#include <memory>

class FerrikFrame;

// Bytes of each page buffer: room for the largest accepted page plus spare.
inline constexpr int PAGE_BUFFER_BYTES = 65536;

// The job's values for the shared steps.
struct DumpJob {
    bool refuseZeroPageSize;   // read dump checks the page size by itself
    const char* dialogMessage;
    const char* defaultName;
    long dialogStyle;
    const char* pathLabel;
    bool newlineAfterPath;
    const char* openMode;
    const char* openFailure;
    bool openFailureInRed;     // verify frames its open failure in red and blue
};

extern const DumpJob READ_DUMP_JOB;
extern const DumpJob WRITE_JOB;
extern const DumpJob VERIFY_JOB;

// A dump file that is closed on every way out of a job.
class DumpFile {
public:
    DumpFile() = default;
    ~DumpFile() { Close(); }
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    bool Open(const wxString& path, const char* mode);
    std::FILE* Get() const { return file_; }
    // Closes the file; false when buffered bytes could not be written out.
    bool Close();

private:
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
};

// Parses the geometry fields into pageTotal and rowMax and checks them; a
// refused geometry is logged in red, followed by blue. True when it is good.
bool CheckJobGeometry(FerrikFrame& frame, const DumpJob& job);

// Before a chip job's first dialog: one page read of row 0 with no data
// cycles on CE0. A chip pulls R/B# low after every READ confirm, so a read
// that never sees it low means nothing answers there (an empty socket, a
// dead chip) and every page would read the bus's floating 0xFF. Then it logs
// the refusal in red, followed by blue, and returns false. A chip whose R/B#
// stays low does answer: the job goes on and meets it page by page.
bool ChipAnswersOnCe0(FerrikFrame& frame);

// Asks for the dump file, logs its path and opens it. False when the dialog
// was cancelled (nothing logged) or the file could not be opened (logged).
bool OpenDumpFile(FerrikFrame& frame, const DumpJob& job, DumpFile& file);

// Reads record k (pageTotal bytes) into buf. When the file does not hold it
// whole, logs in red how many whole records it held, sets blue and returns
// false: no byte that did not come from the file is ever used.
bool ReadDumpRecord(FerrikFrame& frame, DumpFile& file, uint8_t* buf, int64_t k);

// Logs that the dump file could not be written whole (red, then blue).
void LogDumpWriteError(FerrikFrame& frame, int error);

// "End time = ", the milliseconds, then " ms\n" or " ms" and "\n" apart.
void LogEndTime(FerrikFrame& frame, int32_t elapsedMs, bool newlineApart);

// A count that may exceed 32 bits, as a piece of its own ("%llu").
void LogCount(FerrikFrame& frame, uint64_t count);
