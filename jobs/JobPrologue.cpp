#include "jobs/JobPrologue.h"

#include <wx/filedlg.h>

#include <cerrno>
#include <cstring>

#include "ui/FerrikFrame.h"

const DumpJob READ_DUMP_JOB = {
    true,
    "Save bin file",
    "name_dump",
    wxFD_SAVE | wxFD_OVERWRITE_PROMPT,
    "\nSave in File = ",
    false,
    "wb",
    "Error create file \n",
    false,
};

const DumpJob WRITE_JOB = {
    false,
    "Open bin file",
    "",
    wxFD_OPEN | wxFD_FILE_MUST_EXIST,
    "\nOpen file for write = ",
    true,
    "rb",
    "Error open file\n",
    false,
};

const DumpJob VERIFY_JOB = {
    false,
    "Open bin file",
    "",
    wxFD_OPEN | wxFD_FILE_MUST_EXIST,
    "\nOpen File for verify = ",
    true,
    "rb",
    "Error open file\n",
    true,
};

namespace {

// The stdio buffer of a dump file. The default one (4 KiB) costs a system
// call every two pages; with this one a whole-chip dump spends about half as
// long in file calls, and a read of one about a quarter.
constexpr size_t FILE_BUFFER_BYTES = 1 << 20;

}  // namespace

bool DumpFile::Open(const wxString& path, const char* mode) {
    Close();
    // A path the locale cannot represent becomes an empty name, which fails.
    const wxCharBuffer narrow = path.mb_str(wxConvLibc);
    const char* name = narrow.data() != nullptr ? narrow.data() : "";
    file_ = fopen64(name, mode);
    if (file_ == nullptr) return false;
    if (!buffer_) buffer_.reset(new char[FILE_BUFFER_BYTES]);
    std::setvbuf(file_, buffer_.get(), _IOFBF, FILE_BUFFER_BYTES);
    return true;
}

bool DumpFile::Close() {
    if (file_ == nullptr) return true;
    const int result = std::fclose(file_);
    file_ = nullptr;
    return result == 0;
}

bool CheckJobGeometry(FerrikFrame& frame, const DumpJob& job) {
    const int32_t pageSize = FerrikFrame::ParseField(frame.TxtPageSize);
    if (job.refuseZeroPageSize && pageSize == 0) {
        frame.LogRedThenBlue("Error, Page size = 0\n");
        return false;
    }
    const int32_t spareSize = FerrikFrame::ParseField(frame.TxtSpareSize);
    pageTotal = pageSize + spareSize;
    rowMax = FerrikFrame::ParseField(frame.TxtRowMaxAddr);
    if (pageTotal == 0 || rowMax == 0) {
        frame.LogRedThenBlue("Error, Page size = 0 or row max size = 0\n");
        return false;
    }
    if (pageTotal >= 0xFFFF) {
        frame.LogRedThenBlue("Error, Page size > 0xFFFF\n");
        return false;
    }
    // A negative length would reach the bus and the file calls as a huge
    // count, and a negative row max the progress dialog as its maximum.
    if (pageSize < 0 || spareSize < 0 || pageTotal < 0 || rowMax < 0) {
        frame.LogRedThenBlue("Error, Page size, spare size or row max size < 0\n");
        return false;
    }
    return true;
}

bool ChipAnswersOnCe0(FerrikFrame& frame) {
    uint8_t none = 0;
    nandBus.NandReadPage(CE0, 0, static_cast<uint32_t>(rowMax), 0, &none);
    if (nandBus.LastWaitSawBusy()) return true;
    frame.LogRedThenBlue("Error, no chip answers on CE0: R/B# never went low\n");
    return false;
}

bool OpenDumpFile(FerrikFrame& frame, const DumpJob& job, DumpFile& file) {
    wxString path;
    {
        wxFileDialog dialog(&frame, job.dialogMessage, wxEmptyString, job.defaultName, "bin files (*.bin)|*.bin",
                            job.dialogStyle, wxDefaultPosition, wxDefaultSize);
        if (dialog.ShowModal() != wxID_OK) return false;
        path = dialog.GetPath();
    }
    frame.LogAppend(job.pathLabel);
    frame.LogAppend(path);
    if (job.newlineAfterPath) frame.LogAppend("\n");
    if (file.Open(path, job.openMode)) return true;
    if (job.openFailureInRed) {
        frame.LogRedThenBlue(job.openFailure);
    } else {
        frame.LogAppend(job.openFailure);
    }
    return false;
}

bool ReadDumpRecord(FerrikFrame& frame, DumpFile& file, uint8_t* buf, int64_t k) {
    const size_t wanted = static_cast<size_t>(pageTotal);
    if (std::fread(buf, 1, wanted, file.Get()) == wanted) return true;
    frame.LogRed();
    if (std::ferror(file.Get())) {
        frame.LogAppend("Error read file after ");
        frame.LogNumber("%d", static_cast<long>(k));
        frame.LogAppend(" whole records\n");
    } else {
        frame.LogAppend("Error, the file holds only ");
        frame.LogNumber("%d", static_cast<long>(k));
        frame.LogAppend(" whole records\n");
    }
    frame.LogBlue();
    return false;
}

void LogDumpWriteError(FerrikFrame& frame, int error) {
    frame.LogRed();
    frame.LogAppend("Error write file, the dump is incomplete: ");
    frame.LogAppend(wxString(std::strerror(error), wxConvLibc));
    frame.LogAppend("\n");
    frame.LogBlue();
}

void LogEndTime(FerrikFrame& frame, int32_t elapsedMs, bool newlineApart) {
    frame.LogAppend("End time = ");
    frame.LogNumber("%d", elapsedMs);
    if (newlineApart) {
        frame.LogAppend(" ms");
        frame.LogAppend("\n");
    } else {
        frame.LogAppend(" ms\n");
    }
}

void LogCount(FerrikFrame& frame, uint64_t count) {
    std::snprintf(numberText, sizeof numberText, "%llu", static_cast<unsigned long long>(count));
    frame.LogAppend(wxString(numberText, wxConvLibc));
}
