#include "support/EraseJobs.h"

#include <gtest/gtest.h>

#include "ui/FerrikFrame.h"
#include "support/WxTest.h"

namespace ferrik_test {

namespace {

// Answers ERR_RB_L for the chosen rows and passes everything else to the
// chip the window had.
class StandInChip final : public ChipPort {
public:
    StandInChip(EraseStandIn& standIn, ChipPort& chip) : standIn_(standIn), chip_(chip) {}
    int16_t ReadPage(uint32_t row, uint32_t rowLimit, int32_t length, uint8_t* buf) override {
        return chip_.ReadPage(row, rowLimit, length, buf);
    }
    int16_t ProgramPage(uint32_t row, uint32_t rowLimit, int32_t length, const uint8_t* data) override {
        return chip_.ProgramPage(row, rowLimit, length, data);
    }
    int32_t EraseBlock(int32_t row, int32_t rowLimit) override {
        standIn_.rowsAsked.push_back(row);
        if (standIn_.timeoutRows.count(row)) return ERR_RB_L;
        return chip_.EraseBlock(row, rowLimit);
    }
    bool LastWaitSawBusy() const override { return chip_.LastWaitSawBusy(); }
    void UseChipEnable(int cePin) override { chip_.UseChipEnable(cePin); }

private:
    EraseStandIn& standIn_;
    ChipPort& chip_;
};

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

EraseStandIn::EraseStandIn(FerrikFrame* frame)
    : frame_(frame), standIn_(new StandInChip(*this, frame->JobChip())) {
    frame_->UseJobChip(standIn_.get());
}

EraseStandIn::~EraseStandIn() { frame_->UseJobChip(nullptr); }

}  // namespace ferrik_test
