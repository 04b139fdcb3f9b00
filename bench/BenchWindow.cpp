#include "bench/BenchWindow.h"

#include <sched.h>
#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/init.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdio>

#include "ui/FerrikFrame.h"

namespace bench {
namespace {

int wxAsserts = 0;

void CountAssert(const wxString& file, int line, const wxString& /*func*/, const wxString& cond,
                 const wxString& msg) {
    ++wxAsserts;
    std::fprintf(stderr, "wx assertion at %s:%d: %s %s\n", file.utf8_str().data(), line, cond.utf8_str().data(),
                 msg.utf8_str().data());
}

// The base class would parse the benchmark's own options and refuse them.
class BenchApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

}  // namespace

int WxAssertCount() { return wxAsserts; }

FerrikFrame* OpenBenchWindow(const char* program, char* argv0) {
    wxSetAssertHandler(CountAssert);
    wxApp::SetInstance(new BenchApp);
    int wxArgc = 1;
    char* wxArgv[] = {argv0, nullptr};
    if (!wxEntryStart(wxArgc, wxArgv)) {
        std::fprintf(stderr, "%s: wx could not start (no X display?)\n", program);
        return nullptr;
    }
    wxTheApp->CallOnInit();

    FerrikFrame* frame = new FerrikFrame(nullptr, -1);
    // Run as root, the window puts this thread under SCHED_FIFO; a job
    // spinning there can starve the X server on a two-core machine.
    sched_param normal{};
    sched_setscheduler(0, SCHED_OTHER, &normal);
    frame->Show();
    wxTheApp->SetTopWindow(frame);
    wxYield();
    return frame;
}

void PickPath(wxFileDialog* dialog, const wxString& path) {
    dialog->SetPath(path);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (dialog->GetPath() != path && std::chrono::steady_clock::now() < deadline) {
        wxYield();
        wxMilliSleep(1);
    }
}

std::string LogText(FerrikFrame* frame) { return std::string(frame->TxtLog->GetValue().utf8_str().data()); }

void CloseBenchWindow() {
    wxTheApp->OnExit();
    wxEntryCleanup();
}

}  // namespace bench
