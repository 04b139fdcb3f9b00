#include <sys/stat.h>

#include <cstdio>

#include "chip/ChipFile.h"
#include "ui/FerrikFrame.h"

namespace {

// Appends ID byte i of a probe: "0x%X, " for bytes 0 to 3, "0x%X" for byte 4.
void LogIdByte(FerrikFrame* frame, int i, uint8_t byte) {
    char byteText[8];
    std::snprintf(byteText, sizeof byteText, i < 4 ? "0x%X, " : "0x%X", static_cast<unsigned>(byte));
    frame->LogAppend(wxString(byteText, wxConvLibc));
}

// The chip fields in the order of the file's keys.
struct ChipFields {
    wxTextCtrl* field[CHIP_FILE_KEYS];
};

void SetChipField(void* context, int key, const char* value) {
    // A value the locale cannot convert sets the field empty; so does one
    // longer than the field allows.
    static_cast<ChipFields*>(context)->field[key]->SetValue(wxString(value, wxConvLibc));
}

}  // namespace

void FerrikFrame::OnDetect(wxCommandEvent& /*event*/) {
    uint8_t id[5] = {};

    // Only the chip on CE0 names the maker and the file; CE1 to CE3 are
    // reported as they answer.
    const char* maker = nandBus.NandReadId(id, CE0);
    LogBlue();
    LogAppend(_T("Manufacturer: = "));
    LogRedThenBlue(wxString(maker, wxConvLibc));
    LogAppend(_T("\n"));

    TxtNandId->Clear();
    LogAppend(_T("CE0 = "));
    for (int i = 0; i < 5; ++i) {
        LogIdByte(this, i, id[i]);
        TxtNandId->AppendText(wxString(IdStringPiece(i, id[i]).c_str(), wxConvLibc));
    }
    LogAppend(_T("\n"));

    const struct {
        int cePin;
        const char* label;
        const char* end;
    } others[] = {{CE1, "CE1 = ", "\n"}, {CE2, "CE2 = ", "\n"}, {CE3, "CE3 = ", "\n\n"}};
    for (const auto& probe : others) {
        nandBus.NandReadId(id, probe.cePin);
        LogAppend(wxString(probe.label, wxConvLibc));
        for (int i = 0; i < 5; ++i) LogIdByte(this, i, id[i]);
        LogAppend(wxString(probe.end, wxConvLibc));
    }

    const wxString path = wxString(MakerDirectory(maker), wxConvLibc) + TxtNandId->GetValue();
    const wxCharBuffer narrowPath = path.mb_str(wxConvLibc);
    FILE* file = std::fopen(narrowPath.data() != nullptr ? narrowPath.data() : "", "rb");
    // A folder of that name opens too, but every scan of it fails and would
    // empty all six fields: it is no chip file.
    struct stat info{};
    if (file != nullptr && (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))) {
        std::fclose(file);
        file = nullptr;
    }
    if (file == nullptr) {
        LogRedThenBlue(_T("Warning, no find <cfg> file in >> ICs... \n"));
        return;
    }

    ChipFields fields = {{TxtNameChip, TxtNandId, TxtRowMaxAddr, TxtPageSize, TxtSpareSize, TxtPages}};
    ReadChipFile(file, SetChipField, &fields);

    // Each line shows what its field took, which for a value longer than the
    // field is not the file's value.
    LogAppend(_T("Found parametrs:\n"));
    LogRed();
    LogAppend(_T("Name nand = "));
    LogAppend(TxtNameChip->GetValue());
    LogAppend(_T("\n"));
    LogAppend(_T("ID nand = "));
    LogAppend(TxtNandId->GetValue());
    LogAppend(_T("\n"));
    LogAppend(_T("Row max size = "));
    LogAppend(TxtRowMaxAddr->GetValue());
    LogAppend(_T("\n"));
    LogAppend(_T("Page size = "));
    LogAppend(TxtPageSize->GetValue());
    LogAppend(_T("\n"));
    LogAppend(_T("Spare size = "));
    LogAppend(TxtSpareSize->GetValue());
    LogAppend(_T("\n"));
    LogAppend(_T("1 Block = "));
    LogAppend(TxtPages->GetValue());
    LogAppend(_T(" Pages"));
    LogAppend(_T("\n"));
    LogBlue();
    std::fclose(file);
}
