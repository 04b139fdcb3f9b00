#include <wx/progdlg.h>

#include "jobs/JobPrologue.h"
#include "ui/FerrikFrame.h"

namespace {

// A chip that has timed out this many programs in a row does not answer;
// going on would only spend the full ready budget on every page left.
constexpr int TIMEOUTS_BEFORE_GIVING_UP = 8;

bool AllErased(const uint8_t* bytes, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        if (bytes[i] != 0xFF) return false;
    }
    return true;
}

}  // namespace

void FerrikFrame::OnWrite(wxCommandEvent& /*event*/) {
    if (!CheckJobGeometry(*this, WRITE_JOB)) return;
    if (!ChipAnswersOnCe0(*this)) return;
    DumpFile file;
    if (!OpenDumpFile(*this, WRITE_JOB, file)) return;
    LogAppend("\nStart Write Page \n");
    LogRed();
    wxProgressDialog progress("<<Begin Write NAND>>", "Writing...", rowMax, nullptr, wxPD_APP_MODAL | wxPD_AUTO_HIDE);

    uint8_t page[PAGE_BUFFER_BYTES];
    int32_t failedPages = 0;
    int timeoutsInARow = 0;
    const int32_t startMs = NandBus::NowMs();
    for (int64_t k = 0; k <= rowMax; ++k) {
        if (!ReadDumpRecord(*this, file, page, k)) {
            file.Close();
            return;
        }
        // An erased page already holds all 0xFF: programming it would only
        // spend bus time and a program cycle of the block.
        if (AllErased(page, pageTotal)) continue;
        const int16_t result =
            nandBus.NandProgramPage(CE0, static_cast<uint32_t>(k), static_cast<uint32_t>(rowMax), pageTotal, page);
        if (result == NAND_OK) {
            timeoutsInARow = 0;
            if (k % 2048 == 1) progress.Update(static_cast<int>(k), wxEmptyString);
        } else if (result == NAND_STATUS_FAIL) {
            timeoutsInARow = 0;
            ++failedPages;
            LogAppend("Error programm page [");
            LogNumber("%d", static_cast<long>(k / 64));
            LogAppend("] \n");
        } else {
            ++failedPages;
            LogAppend("R/B, break low, ERR_RB_L \n");
            if (++timeoutsInARow == TIMEOUTS_BEFORE_GIVING_UP) {
                LogAppend("Error, the chip does not answer (R/B# stays low), write stopped\n");
                LogBlue();
                file.Close();
                return;
            }
        }
    }
    LogEndTime(*this, NandBus::ElapsedMs(startMs), true);
    if (failedPages == 0) {
        LogBlue();
        LogAppend("Programm Page OK\n");
    } else {
        LogAppend("Error, ");
        LogNumber("%d", failedPages);
        LogAppend(" pages failed to program\n");
        LogBlue();
    }
    file.Close();
}
