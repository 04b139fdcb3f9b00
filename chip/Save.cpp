#include <wx/filedlg.h>

#include "chip/ChipFile.h"
#include "ui/FerrikFrame.h"

namespace {

// A text the locale cannot represent is written as an empty value.
wxCharBuffer LocaleText(const wxString& text) {
    wxCharBuffer narrow = text.mb_str(wxConvLibc);
    if (narrow.data() == nullptr) return wxCharBuffer("");
    return narrow;
}

}  // namespace

void FerrikFrame::OnSave(wxCommandEvent& /*event*/) {
    // Proposing the ID string as the name means a file saved into its maker
    // directory is the one the next Detect of this chip finds.
    const wxString proposed = TxtNandId->GetValue();
    wxFileDialog dialog(this, _T("Save id nand file"), wxEmptyString, proposed, _T("file id (*)|*"),
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT, wxDefaultPosition, wxDefaultSize);
    if (dialog.ShowModal() != wxID_OK) return;

    const wxString path = dialog.GetPath();
    LogAppend(_T("\nSave of File = "));
    LogAppend(path);
    LogAppend(_T("\n"));

    const wxTextCtrl* const fields[CHIP_FILE_KEYS] = {TxtNameChip,   TxtNandId,    TxtRowMaxAddr,
                                                      TxtPageSize,   TxtSpareSize, TxtPages};
    wxCharBuffer texts[CHIP_FILE_KEYS];
    const char* values[CHIP_FILE_KEYS];
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) {
        texts[key] = LocaleText(fields[key]->GetValue());
        values[key] = texts[key].data();
    }

    // A path the locale cannot represent becomes empty, and opening it fails.
    const wxCharBuffer narrowPath = LocaleText(path);
    if (!WriteChipFile(narrowPath.data(), values)) {
        LogRedThenBlue(_T("Error create id file \n"));
    }
}
