// Helpers for the erase and blank-check tests: the program-wide state those
// jobs share, a stand-in for the erase command, and what the chip was asked.
#pragma once

#include <wx/colour.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/SimNand.h"

class FerrikFrame;
class ChipPort;

namespace ferrik_test {

// Puts pagesPerBlock and the bad-block list back as they are at start-up,
// before any erase run.
void ForgetEraseRuns();

// Types the chip geometry into the window's fields.
void SetGeometry(FerrikFrame* frame, const std::string& pageSize, const std::string& spareSize,
                 const std::string& rowMax, const std::string& pagesPerBlock);
void SetGeometry(FerrikFrame* frame, const sim::ChipPreset& preset);

// The row of every operation of one kind that the chip carried out, in order.
std::vector<uint32_t> RowsOf(const sim::SimNandChip& chip, sim::ChipOp::Kind kind);

// Appends a mark to the log and returns its colour: the colour a job left in
// force for the next one.
wxColour ColourInForce(FerrikFrame* frame);

// While alive, the window's chip answers block erases with ERR_RB_L for the
// rows in timeoutRows without touching the bus, as a chip that never got
// ready would after 2^32 polls, and passes every other row to the chip.
// Records every row it was given.
class EraseStandIn {
public:
    explicit EraseStandIn(FerrikFrame* frame);
    ~EraseStandIn();
    std::set<int32_t> timeoutRows;
    std::vector<int32_t> rowsAsked;

private:
    FerrikFrame* frame_;
    std::unique_ptr<ChipPort> standIn_;
};

}  // namespace ferrik_test
