// The real main window in a wx application of its own, for the benchmark
// programs that click its buttons outside any event loop.
#pragma once

#include <wx/string.h>

#include <string>

class FerrikFrame;
class wxFileDialog;

namespace bench {

// wx assertions seen since start-up; each is also printed on stderr.
int WxAssertCount();

// Starts wx, creates the window at normal scheduling and shows it. Null when
// wx cannot start (no X display); `program` names the caller in the message.
FerrikFrame* OpenBenchWindow(const char* program, char* argv0);

// Picks path in a file dialog as a user's click does, and waits until GTK,
// which applies it asynchronously, reports it back.
void PickPath(wxFileDialog* dialog, const wxString& path);

// The log pane's whole text.
std::string LogText(FerrikFrame* frame);

// Shuts wx down again.
void CloseBenchWindow();

}  // namespace bench
