// Factory bad-block marks and what the jobs do with the blocks that carry
// them.
//
// A large-page chip (8-bit bus) leaves its maker's test with every bad block
// marked: the first byte of the spare area of the block's first or second
// page is not 0xFF. The mark is the only record of those blocks; an erase
// that gets through wipes it for good, so the jobs read it first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/Geometry.h"
#include "jobs/Job.h"

// The byte a bad-block mark is written with.
inline constexpr uint8_t BAD_BLOCK_MARK = 0x00;

enum class MarkCheck { Good, Marked, NoAnswer };

// Reads the first spare byte of the block's first page, then, when that is
// 0xFF, of its second: one or two reads of a single byte.
MarkCheck ReadBlockMark(ChipPort& chip, const Geometry& geometry, int64_t block);

// The marks of every block that rows touch, the first block's first. NoAnswer
// when a read timed out, Good otherwise.
MarkCheck ReadMarks(ChipPort& chip, const Geometry& geometry, const RowRange& rows, std::vector<bool>& marked);
// The pages of rows that lie outside marked blocks.
int64_t GoodPages(const Geometry& geometry, const RowRange& rows, const std::vector<bool>& marked);

// Marks a block bad: 0x00 into the first spare byte of its first page, every
// other byte programmed as 0xFF, which leaves its cells as they are. The
// result code of the program command.
int16_t WriteBlockMark(ChipPort& chip, const Geometry& geometry, int64_t block);

// The refusal line for values with which no mark can be read (no block size,
// no page size to find the spare area by), or nullptr.
const char* MarkGeometryRefusal(const Geometry& geometry);

// What a dump job does with a marked block.
//   Raw   every page as the chip gives it (read, verify) or as the file holds
//         it (write).
//   Pad   read and verify: 0xFF for every byte of the block, offsets kept.
//   Keep  write: no page of the block programmed, offsets kept; verify (after
//         such a write): the block's records are not compared.
//   Skip  the block is left out: the file goes on with the next good block.
enum class BadBlockMode { Raw, Pad, Keep, Skip };

enum class BadBlockJob { Read, Write, Verify };

// A mode by its name, if the job has it.
bool ParseBadBlockMode(const std::string& name, BadBlockJob job, BadBlockMode& mode);
// The names a job takes, for a usage line: "raw, pad or skip".
const char* BadBlockModeNames(BadBlockJob job);

// What a run found in each block, for the chip map. A later finding replaces
// an earlier one only if it is graver.
enum class BlockState : uint8_t {
    Unchecked,  // outside the run
    Good,
    NotBlank,
    Differs,    // holds bytes other than the file's
    Failed,     // an erase or a program failed
    Marked,     // carries a factory mark
};

//
// It covers the blocks of one range, one square a block up to MOST_SQUARES
// of them; a longer range is drawn in groups of consecutive blocks, so that
// its memory and its picture stay bounded whatever the geometry says.
class BlockMap {
public:
    static constexpr int64_t MOST_SQUARES = 65536;

    BlockMap() = default;
    BlockMap(int64_t firstBlock, int64_t blocks) { Reset(firstBlock, blocks); }
    void Reset(int64_t firstBlock, int64_t blocks) {
        first_ = firstBlock;
        blocks_ = blocks > 0 ? blocks : 0;
        group_ = blocks_ <= MOST_SQUARES ? 1 : (blocks_ + MOST_SQUARES - 1) / MOST_SQUARES;
        states_.assign(static_cast<size_t>((blocks_ + group_ - 1) / group_), BlockState::Unchecked);
    }
    // block: a block of the chip; one outside the range is not drawn.
    void Note(int64_t block, BlockState state) {
        if (block < first_ || block - first_ >= blocks_) return;
        BlockState& s = states_[static_cast<size_t>((block - first_) / group_)];
        if (static_cast<int>(state) > static_cast<int>(s)) s = state;
    }
    int64_t FirstBlock() const { return first_; }
    int64_t Blocks() const { return blocks_; }
    // Blocks a square stands for (the last square may stand for fewer).
    int64_t Group() const { return group_; }
    int64_t Squares() const { return static_cast<int64_t>(states_.size()); }
    // The gravest state found in the square's blocks.
    BlockState State(int64_t square) const { return states_[static_cast<size_t>(square)]; }

private:
    int64_t first_ = 0;
    int64_t blocks_ = 0;
    int64_t group_ = 1;
    std::vector<BlockState> states_;
};

// The blocks of a geometry: rows 0 to rowMax in blocks of pagesPerBlock; a
// last block cut short counts.
int64_t BlocksOf(const Geometry& geometry);
