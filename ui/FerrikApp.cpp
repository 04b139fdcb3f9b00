#include "ui/FerrikApp.h"

#include <wx/image.h>

#include "ui/FerrikFrame.h"

wxAppConsole* wxCreateApp() {
    wxAppConsole::CheckBuildOptions(WX_BUILD_OPTIONS_SIGNATURE, "your program");
    return new FerrikApp;
}

// Stores wxCreateApp as the toolkit's application factory before main runs.
static wxAppInitializer ferrikAppInitializer(wxCreateApp);

FerrikApp& wxGetApp() { return *static_cast<FerrikApp*>(wxApp::GetInstance()); }

bool FerrikApp::OnInit() {
    wxInitAllImageHandlers();
    FerrikFrame* frame = new FerrikFrame(nullptr, -1);
    frame->Show();
    SetTopWindow(frame);
    return true;
}

int main(int argc, char** argv) { return wxEntry(argc, argv); }
