#include "support/EraseJobs.h"

#include <gtest/gtest.h>

#include "jobs/Erase.h"
#include "ui/FerrikFrame.h"
#include "support/WxTest.h"

namespace ferrik_test {

namespace {
EraseStandIn* activeStandIn = nullptr;
EraseBlockCommand chipCommand = nullptr;

int32_t StandInErase(int cePin, int32_t row, int32_t rowLimit) {
    EraseStandIn& s = *activeStandIn;
    s.rowsAsked.push_back(row);
    if (s.timeoutRows.count(row)) return ERR_RB_L;
    return chipCommand(cePin, row, rowLimit);
}
}  // namespace

void ForgetEraseRuns() {
    pagesPerBlock = 0;
    for (int32_t& entry : badBlocks) entry = 0;
    badBlocksWritten = 0;
}

void SetGeometry(FerrikFrame* frame, const std::string& pageSize, const std::string& spareSize,
                 const std::string& rowMaxText, const std::string& pages) {
    frame->TxtPageSize->SetValue(wxString::FromUTF8(pageSize.c_str()));
    frame->TxtSpareSize->SetValue(wxString::FromUTF8(spareSize.c_str()));
    frame->TxtRowMaxAddr->SetValue(wxString::FromUTF8(rowMaxText.c_str()));
    frame->TxtPages->SetValue(wxString::FromUTF8(pages.c_str()));
}

void SetGeometry(FerrikFrame* frame, const sim::ChipPreset& preset) {
    const sim::ChipGeometry& g = preset.geometry;
    SetGeometry(frame, std::to_string(g.pageSize), std::to_string(g.spareSize),
                std::to_string(g.pagesPerBlock * g.blocks - 1), std::to_string(g.pagesPerBlock));
}

std::vector<uint32_t> RowsOf(const sim::SimNandChip& chip, sim::ChipOp::Kind kind) {
    std::vector<uint32_t> rows;
    for (const sim::ChipOp& op : chip.Ops())
        if (op.kind == kind) rows.push_back(op.row);
    return rows;
}

wxColour ColourInForce(FerrikFrame* frame) {
    const long at = frame->TxtLog->GetLastPosition();
    frame->LogAppend(wxT("#"));
    return LogColourAt(frame, at);
}

EraseStandIn::EraseStandIn() {
    activeStandIn = this;
    chipCommand = eraseBlockCommand;
    eraseBlockCommand = StandInErase;
}

EraseStandIn::~EraseStandIn() {
    eraseBlockCommand = chipCommand;
    activeStandIn = nullptr;
}

}  // namespace ferrik_test
