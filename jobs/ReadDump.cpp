#include <wx/progdlg.h>

#include <cerrno>
#include <cstdio>

#include "jobs/JobPrologue.h"
#include "ui/FerrikFrame.h"

void FerrikFrame::OnRead(wxCommandEvent& /*event*/) {
    if (!CheckJobGeometry(*this, READ_DUMP_JOB)) return;
    if (!ChipAnswersOnCe0(*this)) return;
    DumpFile file;
    if (!OpenDumpFile(*this, READ_DUMP_JOB, file)) return;
    wxProgressDialog progress("<<Begin Read Dump>>", "Reading...", rowMax, nullptr, wxPD_APP_MODAL | wxPD_AUTO_HIDE);
    LogAppend("\nStart Read Pages\n");
    LogRed();

    uint8_t page[PAGE_BUFFER_BYTES];
    const size_t recordBytes = static_cast<size_t>(pageTotal);
    const int32_t startMs = NandBus::NowMs();
    for (int64_t k = 0; k <= rowMax; ++k) {
        if (nandBus.NandReadPage(CE0, static_cast<uint32_t>(k), static_cast<uint32_t>(rowMax), pageTotal, page) !=
            NAND_OK) {
            LogAppend("R/B, break low, ERR_RB_L\n");
            file.Close();
            return;
        }
        // A full disk or an I/O error leaves a dump that is not the chip.
        if (std::fwrite(page, 1, recordBytes, file.Get()) != recordBytes) {
            const int error = errno;
            file.Close();
            LogDumpWriteError(*this, error);
            return;
        }
        if (k % 1024 == 1) progress.Update(static_cast<int>(k), wxEmptyString);
    }
    const int32_t elapsedMs = NandBus::ElapsedMs(startMs);
    // The last records may still sit in the stdio buffer: only a clean close
    // proves that the dump is whole.
    errno = 0;
    if (!file.Close()) {
        LogDumpWriteError(*this, errno);
        return;
    }
    LogEndTime(*this, elapsedMs, false);
    LogBlue();
    LogAppend("Read Dump OK \n");
}
