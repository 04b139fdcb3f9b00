// The job core's side of the table: what a job needs from its front end (a
// log, a progress display, a chip, a way to choose the dump file) and what it
// hands back (an outcome). The window and the command line each provide their
// own; nothing here knows either of them.
#pragma once

#include <cstdint>
#include <string>

#include "bus/NandBus.h"
#include "jobs/Result.h"

// The colours of the log. A front end keeps the colour in force between
// pieces and between jobs: a piece is drawn in whatever was set last.
enum class LogColour { Red, Blue, Green };

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void SetColour(LogColour colour) = 0;
    // One piece of text, UTF-8, in the colour in force.
    virtual void Append(const char* text) = 0;
};

// The progress display of one job. Begin and End bracket a job's walk over
// the chip; Update is called at the window's own cadence (a dialog update
// costs as much as many page reads), Tick after every page or block so that
// a front end can keep its own pace. StopRequested is asked between pages:
// a job that sees it finishes the page in hand and stops cleanly.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // maximum: the window's dialog maximum (the last row); units: pages or
    // blocks the walk will visit; unitBytes: bytes moved per unit (0 for erase).
    virtual void Begin(const char* title, const char* message, int32_t maximum, int64_t units,
                       int64_t unitBytes) = 0;
    virtual void Update(int32_t value) = 0;
    virtual void Tick(int64_t unitsDone) { (void)unitsDone; }
    virtual bool StopRequested() { return false; }
    virtual void End() = 0;
};

// The chip a job works on: the page and block commands on one chip enable.
// Tests and benchmarks wrap or replace it.
class ChipPort {
public:
    virtual ~ChipPort() = default;
    virtual int16_t ReadPage(uint32_t row, uint32_t rowLimit, int32_t length, uint8_t* buf) = 0;
    virtual int16_t ProgramPage(uint32_t row, uint32_t rowLimit, int32_t length, const uint8_t* data) = 0;
    virtual int32_t EraseBlock(int32_t row, int32_t rowLimit) = 0;
    // Whether the last command's wait saw R/B# low (see NandBus).
    virtual bool LastWaitSawBusy() const = 0;
    // length bytes of a page from column on. A chip that cannot start at a
    // column reads the page from its first byte up to them.
    virtual int16_t ReadBytes(uint32_t row, uint32_t rowLimit, uint32_t column, int32_t length, uint8_t* buf);
};

// The chip on CE0 of the program-wide bus.
class BusChip final : public ChipPort {
public:
    int16_t ReadPage(uint32_t row, uint32_t rowLimit, int32_t length, uint8_t* buf) override {
        return nandBus.NandReadPage(CE0, row, rowLimit, length, buf);
    }
    int16_t ProgramPage(uint32_t row, uint32_t rowLimit, int32_t length, const uint8_t* data) override {
        return nandBus.NandProgramPage(CE0, row, rowLimit, length, data);
    }
    int32_t EraseBlock(int32_t row, int32_t rowLimit) override {
        return nandBus.NandEraseBlock(CE0, row, rowLimit);
    }
    bool LastWaitSawBusy() const override { return nandBus.LastWaitSawBusy(); }
    int16_t ReadBytes(uint32_t row, uint32_t rowLimit, uint32_t column, int32_t length, uint8_t* buf) override {
        return nandBus.NandReadColumn(CE0, row, rowLimit, column, length, buf);
    }
};

// The bus as Detect, identify and the wiring check see it: the ID,
// parameter-page, reset and status commands on any chip enable, and the lines
// themselves. Tests and benchmarks wrap or replace it.
class BusPort {
public:
    virtual ~BusPort() = default;
    // READ ID 00h: five bytes, and the maker's name.
    virtual const char* ReadId(int cePin, uint8_t id[5]) = 0;
    // READ ID at another address (20h "ONFI", 40h "JEDEC").
    virtual void ReadIdAt(int cePin, uint8_t address, uint8_t* out, int count) = 0;
    virtual int16_t ReadParameterPage(int cePin, uint8_t address, int32_t length, uint8_t* buf) = 0;
    // RESET; false when R/B# did not come back high.
    virtual bool Reset(int cePin) = 0;
    virtual bool LastWaitSawBusy() const = 0;
    virtual uint8_t ReadStatus(int cePin) = 0;
    virtual void SetWriteProtect(bool protect) = 0;
    virtual bool ReadyLineHigh() = 0;
    // What the data lines read back while the Pi drives value, no chip selected.
    virtual uint8_t DataLoopback(uint8_t value) = 0;
};

// The program-wide bus.
class WholeBus final : public BusPort {
public:
    const char* ReadId(int cePin, uint8_t id[5]) override { return nandBus.NandReadId(id, cePin); }
    void ReadIdAt(int cePin, uint8_t address, uint8_t* out, int count) override {
        nandBus.NandReadIdAt(address, out, count, cePin);
    }
    int16_t ReadParameterPage(int cePin, uint8_t address, int32_t length, uint8_t* buf) override {
        return nandBus.NandReadParameterPage(cePin, address, length, buf);
    }
    bool Reset(int cePin) override { return nandBus.NandReset(cePin); }
    bool LastWaitSawBusy() const override { return nandBus.LastWaitSawBusy(); }
    uint8_t ReadStatus(int cePin) override { return nandBus.NandReadStatusByte(cePin); }
    void SetWriteProtect(bool protect) override { nandBus.SetWriteProtect(protect); }
    bool ReadyLineHigh() override { return nandBus.ReadyLineHigh(); }
    uint8_t DataLoopback(uint8_t value) override { return nandBus.DataLoopback(value); }
};

// What a job left behind, for a front end's exit status.
enum class JobStatus {
    Done,         // all asked was done and came out clean
    Cancelled,    // the user chose no file: nothing was done or logged
    Refused,      // the values were refused before any chip access
    ChipFailed,   // the chip did not do all that was asked, or the check found differences
    FileError,    // the dump file could not be opened, read or written whole
    NoAnswer,     // no chip answers on CE0, or R/B# time-outs stopped the job
    Interrupted,  // the front end asked the job to stop
};

struct Outcome {
    JobStatus status = JobStatus::Done;
    // The row (or block, for erase) a stopped job had not yet begun.
    int64_t stoppedAt = -1;
};

// The rows a job walks, first to last inclusive, and the file records that go
// with them: record 0 is the first row. A plan (jobs/Plan.h) makes them.
struct RowRange {
    int64_t first = 0;
    int64_t last = -1;
};

// What the front end gives every job, and what the job counts in it.
struct JobContext {
    LogSink& log;
    ProgressSink& progress;
    ChipPort& chip;
    JobResult result{};
};

// What erase runs leave for the blank check: the pages per block of the last
// run and the bad blocks it recorded. The front end owns it, for as long as
// it keeps its state between jobs.
inline constexpr int BAD_BLOCK_SLOTS = 2048;
struct EraseRecord {
    int32_t& pagesPerBlock;
    int32_t* badBlocks;         // BAD_BLOCK_SLOTS entries
    int32_t& badBlocksWritten;  // leading entries some run has written
};
