#include <wx/progdlg.h>

#include <cstring>

#include "jobs/JobPrologue.h"
#include "ui/FerrikFrame.h"

namespace {

// Every listed difference costs a dozen appends to the log pane (about
// 1.8 ms each line); an erased chip against a full dump would list for days.
constexpr uint64_t LISTED_DIFFERENCES = 1000;

void LogByte(FerrikFrame& frame, uint8_t value) { frame.LogNumber(value <= 0x0F ? "0x0%X" : "0x%X", value); }

void LogMismatch(FerrikFrame& frame, int64_t k, int32_t i, uint8_t chipByte, uint8_t fileByte) {
    frame.LogAppend("Error, verify in page [");
    frame.LogNumber("%d", static_cast<long>(k));
    frame.LogAppend("], ");
    frame.LogAppend("address = ");
    // The address is the byte's offset in the dump file, which passes 4 GiB
    // on the largest chips.
    const unsigned long long address =
        static_cast<unsigned long long>(k) * static_cast<unsigned long long>(pageTotal) + static_cast<unsigned>(i);
    std::snprintf(numberText, sizeof numberText, "0x%llX", address);
    frame.LogAppend(wxString(numberText, wxConvLibc));
    frame.LogAppend(", nand[");
    LogByte(frame, chipByte);
    frame.LogAppend("], ");
    frame.LogAppend("file[");
    LogByte(frame, fileByte);
    frame.LogAppend("]");
    frame.LogAppend("\n");
}

}  // namespace

void FerrikFrame::OnVerify(wxCommandEvent& /*event*/) {
    if (!CheckJobGeometry(*this, VERIFY_JOB)) return;
    if (!ChipAnswersOnCe0(*this)) return;
    DumpFile file;
    if (!OpenDumpFile(*this, VERIFY_JOB, file)) return;
    wxProgressDialog progress("<<Begin Verify NAND>>", "Verifying...", rowMax, nullptr,
                              wxPD_APP_MODAL | wxPD_AUTO_HIDE);
    LogAppend("Start verify\n");
    LogRed();

    uint8_t chipPage[PAGE_BUFFER_BYTES];
    uint8_t filePage[PAGE_BUFFER_BYTES];
    uint64_t differences = 0;
    const int32_t startMs = NandBus::NowMs();
    for (int64_t k = 0; k <= rowMax; ++k) {
        if (nandBus.NandReadPage(CE0, static_cast<uint32_t>(k), static_cast<uint32_t>(rowMax), pageTotal,
                                 chipPage) != NAND_OK) {
            LogAppend("R/B, break low, ERR_RB_L\n");
            LogBlue();
            file.Close();
            return;
        }
        if (!ReadDumpRecord(*this, file, filePage, k)) {
            file.Close();
            return;
        }
        if (std::memcmp(chipPage, filePage, static_cast<size_t>(pageTotal)) != 0) {
            for (int32_t i = 0; i < pageTotal; ++i) {
                if (chipPage[i] == filePage[i]) continue;
                ++differences;
                if (differences <= LISTED_DIFFERENCES) {
                    LogMismatch(*this, k, i, chipPage[i], filePage[i]);
                } else if (differences == LISTED_DIFFERENCES + 1) {
                    LogAppend("Error, more than 1000 differences: the rest are counted but not listed\n");
                }
            }
        }
        if (k % 1024 == 1) progress.Update(static_cast<int>(k), wxEmptyString);
    }
    const int32_t elapsedMs = NandBus::ElapsedMs(startMs);
    if (differences > LISTED_DIFFERENCES) {
        LogAppend("Error, ");
        LogCount(*this, differences);
        LogAppend(" bytes differ in all\n");
    }
    LogBlue();
    LogEndTime(*this, elapsedMs, true);
    LogAppend("Verify end\n");
    file.Close();
}
