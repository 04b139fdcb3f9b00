// The application object: opens the main window.
#pragma once

#include <wx/app.h>

class FerrikApp : public wxApp {
public:
    bool OnInit() override;
};

wxDECLARE_APP(FerrikApp);
