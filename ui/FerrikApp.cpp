#include "ui/FerrikApp.h"

#include <wx/image.h>

#include <cstdio>
#include <cstring>

#include "jobs/BuildInfo.h"
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

// --version is answered before the toolkit starts: no display is needed for
// it. The bus was mapped during static initialisation (ui/FerrikFrame.cpp);
// a mapping that failed ends any other start here, before the toolkit starts.
int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\n", VersionLine("ferrik").c_str());
        return 0;
    }
    if (nandBus.StartError() != GpioMapError::None) {
        std::printf("%s\n", GpioMapMessage(nandBus.StartError()));
        std::fflush(stdout);
        return 255;
    }
    return wxEntry(argc, argv);
}
