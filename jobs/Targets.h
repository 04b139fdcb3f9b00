// The dies a job works on. A part of several dies may give each its own chip
// enable (a target: it answers READ ID with the first two bytes CE0's chip
// gives), and one target may hold several LUNs. The jobs see one linear range
// of rows: every row of the first target, then of the next, in CE order, and
// within a target LUN 0's blocks, then LUN 1's, without gaps. The layout
// turns a row of that range into the chip enable and the row address the
// chip takes, which with several LUNs is LUN | block | page, each field as
// wide as its largest value needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/Job.h"

// The pin of chip enable 0-3, and the chip enable of a pin.
int ChipEnablePin(int ce);
int ChipEnableOfPin(int cePin);

// Where a row of the linear range lies.
struct RowPlace {
    int ce = 0;            // chip enable 0-3
    int32_t lun = 0;
    int64_t block = 0;     // within its LUN
    int64_t page = 0;      // within its LUN
    uint32_t address = 0;  // the row address the chip takes
};

struct ChipLayout {
    std::vector<int> targets{0};  // chip enables, ascending
    int32_t luns = 1;
    int64_t blocksPerLun = 0;     // with several LUNs
    int32_t pagesPerBlock = 0;
    int64_t pagesPerTarget = 0;   // rows of one target, every LUN's

    // One target, CE0, of one LUN: what the window works on.
    bool Plain() const { return targets.size() == 1 && targets[0] == 0 && luns == 1; }
    int64_t Rows() const { return pagesPerTarget * static_cast<int64_t>(targets.size()); }
    RowPlace Place(int64_t row) const;
    // The highest row address a command sends: it says how many address
    // cycles the row takes.
    uint32_t RowLimit() const;
    // " (CE1, block 6)" for a block of the range, " (CE0, LUN 1, page 5)" for a
    // row; empty for a plain layout, whose numbers are the chip's own.
    std::string BlockName(int64_t block) const;
    std::string PageName(int64_t row) const;
};

// An ID of five bytes alike is no chip's: all 0xFF on data lines nothing
// drives, all 0x00 on lines held low, one value on a stuck bus.
bool IdOfNoChip(const uint8_t id[5]);

// Linux's rule: chip enable k is a target of the CE0 chip when the first
// two bytes of its ID equal CE0's; ids are the four probes' bytes, CE0 first.
// Empty when nothing answers on CE0.
std::vector<int> TargetsByRule(const uint8_t ids[4][5]);
// "CE0, CE1".
std::string ChipEnableList(const std::vector<int>& targets);

// A chip port that takes the rows of a layout's linear range and sends each
// command to its target, at the row address the chip takes; the row limit a
// job passes (the range's) is replaced by the layout's own. Without a layout,
// or with CE0 alone of one LUN, it passes every command on as it is.
class TargetsChip final : public ChipPort {
public:
    explicit TargetsChip(ChipPort& chip) : chip_(chip) {}
    // The chip it was given goes back to CE0, where every other job expects it.
    ~TargetsChip() override { chip_.UseChipEnable(CE0); }
    TargetsChip(const TargetsChip&) = delete;
    TargetsChip& operator=(const TargetsChip&) = delete;

    void Follow(const ChipLayout& layout) { layout_ = layout; }

    int16_t ReadPage(uint32_t row, uint32_t rowLimit, int32_t length, uint8_t* buf) override;
    int16_t ProgramPage(uint32_t row, uint32_t rowLimit, int32_t length, const uint8_t* data) override;
    int32_t EraseBlock(int32_t row, int32_t rowLimit) override;
    bool LastWaitSawBusy() const override { return chip_.LastWaitSawBusy(); }
    int16_t ReadBytes(uint32_t row, uint32_t rowLimit, uint32_t column, int32_t length, uint8_t* buf) override;
    // The layout chooses the chip enable of every command.
    void UseChipEnable(int) override {}

private:
    // The chip enable chosen and the row and row limit the chip takes.
    void Aim(uint32_t& row, uint32_t& rowLimit);

    ChipPort& chip_;
    ChipLayout layout_;
};
