#include "jobs/Erase.h"

#include <wx/progdlg.h>

#include <cstdint>

#include "jobs/JobPrologue.h"
#include "ui/FerrikFrame.h"

int32_t badBlocksWritten = 0;

namespace {

int32_t EraseOnChip(int cePin, int32_t row, int32_t rowLimit) {
    return nandBus.NandEraseBlock(cePin, row, rowLimit);
}

// A chip that leaves R/B# low through two whole erase budgets in a row has
// stopped answering; each further block would cost another 2^32 polls.
constexpr int kTimeoutsInARowToStop = 2;

// The rows that receive an erase command: row 0, then the second page of
// every block, rows 1, P + 1, 2P + 1, ... The chip ignores the page bits of an
// erase address, so block 0 is erased twice and every other block once. With
// one page per block no row but 0 has the remainder 1.
int64_t NextEraseRow(int64_t row, int perBlock) {
    if (row == 0) return perBlock > 1 ? 1 : INT64_MAX;
    return row + perBlock;
}

}  // namespace

EraseBlockCommand eraseBlockCommand = EraseOnChip;

void FerrikFrame::OnErase(wxCommandEvent& /*event*/) {
    pagesPerBlock = static_cast<int16_t>(ParseField(TxtPages));
    rowMax = ParseField(TxtRowMaxAddr);
    if (rowMax == 0) {
        LogRedThenBlue(wxT("Error, Page size = 0 or row max size = 0\n"));
        return;
    }
    // A negative row max visits no row: ending that with "Erace Ok" would
    // report an erase that never happened.
    if (rowMax < 0) {
        LogRedThenBlue(wxT("Error, row max size < 0\n"));
        return;
    }
    // Block numbers are rows divided by the pages per block.
    if (pagesPerBlock <= 0) {
        LogRedThenBlue(wxT("Error, Pages per block <= 0\n"));
        return;
    }
    if (!ChipAnswersOnCe0(*this)) return;

    wxProgressDialog progress(wxT("<<Begin Erace NAND>>"), wxT("Erasing..."), rowMax, nullptr,
                              wxPD_APP_MODAL | wxPD_AUTO_HIDE);
    LogAppend(wxT("\nStart Erace NAND\n"));
    LogRed();

    int writeIndex = 0;
    int timeouts = 0;
    int timeoutsInARow = 0;
    for (int64_t r = 0; r <= rowMax; r = NextEraseRow(r, pagesPerBlock)) {
        const int32_t row = static_cast<int32_t>(r);
        const int32_t result = eraseBlockCommand(CE0, row, rowMax);
        if (result == ERR_RB_L) {
            LogAppend(wxT("R/B, break low, ERR_RB_L\n"));
            ++timeouts;
            if (++timeoutsInARow >= kTimeoutsInARowToStop) {
                LogAppend(wxT("Error, chip does not answer, erase stopped\n"));
                LogBlue();
                return;
            }
        } else {
            timeoutsInARow = 0;
        }
        if (result == NAND_STATUS_FAIL) {
            const int32_t block = row / pagesPerBlock;
            LogAppend(wxT("Error Erace bad Block ["));
            LogNumber("%d", block);
            LogAppend(wxT("]\n"));
            badBlocks[writeIndex] = block;
            if (writeIndex + 1 > badBlocksWritten) badBlocksWritten = writeIndex + 1;
            writeIndex = (writeIndex + 1) % BAD_BLOCK_SLOTS;
        }
        progress.Update(row, wxEmptyString);
    }

    // Bad blocks are a result of the erase; a block the chip never finished
    // erasing is not, so the run does not end as a success.
    if (timeouts != 0) {
        LogAppend(wxT("Error, erase commands timed out: "));
        LogNumber("%d", timeouts);
        LogAppend(wxT("\n"));
        LogBlue();
        return;
    }
    LogBlue();
    LogAppend(wxT("Erace Ok\n"));
}
