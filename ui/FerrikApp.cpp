#include "ui/FerrikApp.h"

#include <wx/image.h>

#include <cstdio>

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

// The bus was mapped during static initialisation (ui/FerrikFrame.cpp); a
// mapping that failed ends the program here, before the toolkit starts.
int main(int argc, char** argv) {
    if (nandBus.StartError() != GpioMapError::None) {
        std::printf("%s\n", GpioMapMessage(nandBus.StartError()));
        std::fflush(stdout);
        return 255;
    }
    return wxEntry(argc, argv);
}
