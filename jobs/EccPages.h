// The device's ECC in the chip jobs that read pages: read checks every page
// as the walk reads it, verify mends a page that differs from its record
// before calling it a difference. What they found is counted here, where a
// front end's summary reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/Ecc.h"
#include "jobs/JobLog.h"
#include "jobs/Result.h"

struct EccCounts {
    int64_t pages = 0;               // pages checked
    int64_t correctedPages = 0;      // pages with a step corrected
    int64_t correctedBits = 0;       // the bits corrected in them
    int64_t erasedFlipPages = 0;     // erased pages with a few bits read as 0
    int64_t uncorrectablePages = 0;  // pages with a step beyond the code
    int64_t chosenReads = 0;         // pages whose reads differed, taken from one the ECC passes
    int64_t markedBlocks = 0;        // factory-marked blocks left unchecked
};

// The ECC a chip job uses and what it found; the front end owns it.
struct EccUse {
    const PageEcc* ecc = nullptr;
    bool fix = false;  // read: the dump holds the pages as the ECC corrected them
    EccCounts counts;
};

// What the ECC made of one page record.
struct EccPageFinding {
    EccStepState worst = EccStepState::Clean;
    int correctedBits = 0;
    int erasedFlipBits = 0;
    int uncorrectableSteps = 0;
    int steps = 0;

    // A page the ECC passes: every step clean, erased or corrected.
    bool Passes() const { return uncorrectableSteps == 0; }
    // A page whose reading needed the code: bits corrected or read as 0.
    bool Mended() const { return correctedBits + erasedFlipBits != 0; }
    // What a read prefers: clean first, then the fewest bits mended; a page
    // that fails the ECC last.
    bool BetterThan(const EccPageFinding& other) const;
};

// Checks a record with the ECC (putting it right in place with fix).
EccPageFinding CheckPageEcc(const PageEcc& ecc, uint8_t* record, bool fix, std::vector<EccStep>& steps);

// "8 bits corrected", "erased, 2 bits read as 0", "1 of 4 steps uncorrectable",
// joined with ", "; empty for a clean or erased page.
std::string DescribeFinding(const EccPageFinding& finding);

// Adds page k's finding to the counts and to the job's result.
void CountFinding(EccCounts& counts, JobResult& result, int64_t k, const EccPageFinding& finding);

// The line after the walk: "ECC bch8 (...): 128 pages checked, 2 corrected
// (11 bits), ..." for read; verify tells only the pages the ECC mended or
// could not.
void LogEccSummary(JobLog& log, const EccUse& use, bool checkedEveryPage);
