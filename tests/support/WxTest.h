// Helpers for tests that drive the real main window.
#pragma once

#include <wx/colour.h>
#include <wx/filedlg.h>
#include <wx/modalhook.h>
#include <wx/string.h>

#include <string>
#include <vector>

class FerrikFrame;

namespace ferrik_test {

// Root may switch the GUI thread to SCHED_FIFO; tests run without that right
// so that a spinning job cannot starve the X server, and take it back only to
// check the granted case.
void DropRealtimePrivilege();
void RestoreRealtimePrivilege();

// A fresh main window, shown, and destroyed again by Close.
FerrikFrame* OpenFrame();
void CloseFrame(FerrikFrame* frame);

// Presses a button as a click does: a wxEVT_BUTTON from the button itself.
void Click(FerrikFrame* frame, long id);

std::string LogText(FerrikFrame* frame);
// Clicks the button and returns what its job added to the log; `from` gets
// where that text begins in the whole log, for ColourOf.
std::string ClickForLog(FerrikFrame* frame, long id, size_t& from);
// Colour of the log character at pos (0-based), as the pane shows it.
wxColour LogColourAt(FerrikFrame* frame, long pos);
// Colour of the first character of the first occurrence of text in the log,
// searched from `from`; invalid colour when the text is not there.
wxColour ColourOf(FerrikFrame* frame, const std::string& text, size_t from = 0);

// Answers the file dialogs that jobs open, in order: a path answers OK with
// that path, an empty string cancels. A dialog with no answer left is
// cancelled and counted as unexpected.
class FileDialogAnswers : public wxModalDialogHook {
public:
    explicit FileDialogAnswers(std::vector<std::string> answers);
    ~FileDialogAnswers() override;
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;

    int Shown() const { return shown_; }
    int Unexpected() const { return unexpected_; }
    // Message, default file name, wildcard and style of each dialog shown.
    std::vector<std::string> messages;
    std::vector<std::string> defaultNames;
    std::vector<std::string> wildcards;
    std::vector<long> styles;

private:
    std::vector<std::string> answers_;
    size_t next_ = 0;
    int shown_ = 0;
    int unexpected_ = 0;
};

}  // namespace ferrik_test
