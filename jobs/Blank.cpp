#include <wx/progdlg.h>

#include <cstdint>
#include <vector>

#include "jobs/Erase.h"
#include "jobs/JobPrologue.h"
#include "ui/FerrikFrame.h"

namespace {

constexpr int32_t kLargestPageTotal = 0xFFFE;
constexpr int kPageBufferBytes = 65536;

// The progress dialog moves once every 1024 pages: a dialog update costs as
// much as reading many pages over the bus.
constexpr int kPagesPerProgressStep = 1024;

int CountNotErased(const uint8_t* bytes, int32_t length) {
    int count = 0;
    for (int32_t i = 0; i < length; ++i) count += bytes[i] != 0xFF;
    return count;
}

}  // namespace

void FerrikFrame::OnBlank(wxCommandEvent& /*event*/) {
    const int64_t total = static_cast<int64_t>(ParseField(TxtPageSize)) + ParseField(TxtSpareSize);
    pageTotal = static_cast<int32_t>(total);
    rowMax = ParseField(TxtRowMaxAddr);
    if (pageTotal == 0 || rowMax == 0) {
        LogRedThenBlue(wxT("Error, Page size = 0 or row max size = 0\n"));
        return;
    }
    if (pageTotal > kLargestPageTotal) {
        LogRedThenBlue(wxT("Error, Page size > 0xFFFF\n"));
        return;
    }
    // A negative page total would read past the page buffer, and a negative
    // row max would be the progress dialog's maximum, on which it asserts.
    if (pageTotal < 0 || rowMax < 0) {
        LogRedThenBlue(wxT("Error, Page size < 0 or row max size < 0\n"));
        return;
    }
    if (!ChipAnswersOnCe0(*this)) return;

    // The block size and the bad-block list come from the last erase run; with
    // none since start-up there is no block size, and every page is read.
    const int32_t perBlock = pagesPerBlock;
    const bool skipBadBlocks = perBlock > 0;

    std::vector<uint8_t> page(kPageBufferBytes);
    wxProgressDialog progress(wxT("<<Begin Check BLANK>>"), wxT("Blanking..."), rowMax, nullptr,
                              wxPD_APP_MODAL | wxPD_AUTO_HIDE);
    LogAppend(wxT("Start check blank\n"));
    LogRed();
    if (!skipBadBlocks) LogAppend(wxT("No block size from an erase run, no bad block skipped\n"));
    const int32_t startMs = NandBus::NowMs();

    int listPosition = 0;
    for (int64_t p = 0; p <= rowMax; ++p) {
        if (skipBadBlocks) {
            // The walk meets every block at its first page, and a single erase
            // run lists the bad blocks in ascending order.
            while (listPosition < badBlocksWritten && badBlocks[listPosition] == p / perBlock) {
                LogAppend(wxT("Skip bad block ["));
                LogNumber("%d", static_cast<long>(p / perBlock));
                LogAppend(wxT("]"));
                LogAppend(wxT("\n"));
                ++listPosition;
                p += perBlock;
                // No skip line for a block that lies beyond the chip.
                if (p > rowMax) break;
            }
            if (p > rowMax) break;
        }
        const int16_t result =
            nandBus.NandReadPage(CE0, static_cast<uint32_t>(p), static_cast<uint32_t>(rowMax), pageTotal, page.data());
        if (result == ERR_RB_L) {
            LogAppend(wxT("R/B, break low, ERR_RB_L\n"));
            LogBlue();
            return;
        }
        if (result == NAND_OK) {
            if (CountNotErased(page.data(), pageTotal) != 0) {
                LogAppend(wxT("Error, check blank in page ["));
                LogNumber("%d", static_cast<long>(p));
                LogAppend(wxT("]"));
                LogAppend(wxT("\n"));
            }
            if (p % kPagesPerProgressStep == 1) progress.Update(static_cast<int>(p), wxEmptyString);
        }
    }

    LogBlue();
    LogEndTime(*this, NandBus::ElapsedMs(startMs), true);
    LogAppend(wxT("Check blank end\n"));
}
