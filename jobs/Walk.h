// The one walk over the chip. Every chip job goes through the rows of its
// range block by block here: the factory marks and what the bad-block mode
// makes of a marked block, the chip-map notes, the R/B# time-outs and their
// lines, the progress cadence and the stop requests. A job only says what it
// does with one page (or one erase row), and with a block when it needs to.
//
// A new capability is a visitor (or a visitor wrapping another) of this walk,
// never another loop over the chip; a different row mapping (several dies or
// chip enables) is a different BlockSpans.
#pragma once

#include <cstdint>
#include <vector>

#include "jobs/BadBlocks.h"
#include "jobs/JobLog.h"

// The rows of one block that lie inside the range.
struct BlockSpan {
    int64_t block = 0;
    int64_t first = 0;
    int64_t last = -1;
};

// The blocks a range touches. Without a block size the whole range is one
// span, block 0.
class BlockSpans {
public:
    BlockSpans(const RowRange& rows, int32_t blockPages);
    int64_t FirstBlock() const { return firstBlock_; }
    int64_t LastBlock() const { return lastBlock_; }
    BlockSpan Span(int64_t block) const;

private:
    RowRange rows_;
    int32_t blockPages_;
    int64_t firstBlock_;
    int64_t lastBlock_;
};

// What a visitor made of a block or a page.
enum class Step {
    Go,        // dealt with: the walk goes on (into the block's pages, for a block)
    Quiet,     // a page dealt with that moves no progress step (an erased record left out)
    Failed,    // the chip failed the page and the visitor said so: no time-out
    TimedOut,  // R/B# stayed low: the walk says so and counts it
    Passed,    // a block dealt with whole: its pages are not visited
    Finished,  // the job's work ends here, before the range does
    Stop,      // the visitor ends the job; the outcome is in `ending`
};

class WalkVisitor {
public:
    virtual ~WalkVisitor() = default;
    // At a block's first row, before its mark is read.
    virtual Step EnterBlock(const BlockSpan&) { return Step::Go; }
    // After its mark is read (marked is false when the walk reads none). A
    // marked block has had its map note, and in pad or skip mode its line.
    virtual Step Block(const BlockSpan&, bool marked) { (void)marked; return Step::Go; }
    // One row the walk visits: a page, or an erase row.
    virtual Step Visit(int64_t row) = 0;

    Outcome ending;  // with Step::Stop
};

// How the walk meets R/B# time-outs: the line for each, and after how many in
// a row it stops, with a line of its own.
struct TimeOutRule {
    const char* line = "R/B, break low, ERR_RB_L\n";
    int inARowToStop = 1;
    const char* stopLine = nullptr;
    bool blueOnStop = true;
};

// The rows a block's walk visits.
enum class Visits {
    Pages,      // every row of the span
    EraseRows,  // the rows that take an erase command
    None,       // the block itself is the work (its mark)
};

struct WalkRules {
    int32_t blockPages = 0;  // the block size the marks and the map go by; 0: no blocks
    BadBlockMode bad = BadBlockMode::Raw;
    bool readMarks = false;                    // read each block's mark at its first row
    const std::vector<bool>* known = nullptr;  // or take them, one a block from the range's first
    bool noteGood = true;                      // a block whose mark reads clean is noted good
    Visits visits = Visits::Pages;
    // Update(row) for a row whose remainder by this is 1, once it came out
    // Go; 1: after every row visited, however it came out.
    int32_t updateEvery = 1024;
    TimeOutRule timeOuts;
    bool blueOnInterrupt = true;  // a stop request ends the walk in blue
};

// The window's cadence: the progress dialog moves once every 1024 pages (a
// dialog update costs as much as many page reads); its write moves at half
// that rate.
inline constexpr int32_t PAGES_PER_UPDATE = 1024;

class ChipWalk {
public:
    ChipWalk(JobContext& job, JobLog& log, const Geometry& geometry, const RowRange& rows, const WalkRules& rules,
             BlockMap* map)
        : job_(job), log_(log), geometry_(geometry), rows_(rows), rules_(rules), map_(map) {}

    // Done at the range's end (or a visitor's Finished); else how it ended,
    // its lines logged. Counts what it went through in the job's result.
    Outcome Run(WalkVisitor& visitor);
    // The time-outs met so far.
    int TimeOuts() const { return timeOuts_; }

private:
    Outcome Blocks(WalkVisitor& visitor);
    // A block's entry, mark and visitor's word: Go into its rows, Passed, or
    // Stop with `end` set.
    Step OpenBlock(WalkVisitor& visitor, const BlockSpan& span, size_t index, Outcome& end);
    // The rows of a block; false with `end` set when the walk ends in it.
    bool VisitRows(WalkVisitor& visitor, const BlockSpan& span, Outcome& end);
    // True when the time-out ends the walk.
    bool TimeOut();
    bool UpdateDue(int64_t row, Step step) const;

    JobContext& job_;
    JobLog& log_;
    const Geometry& geometry_;
    RowRange rows_;
    WalkRules rules_;
    BlockMap* map_;
    int timeOuts_ = 0;
    int inARow_ = 0;
};
