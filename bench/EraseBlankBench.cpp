// Wall time of the erase job and the blank check over the whole default chip
// (2048 + 64 bytes a page, 65536 pages, 64 pages a block), as a user starts
// them: the real window, its buttons pressed in turn, the simulated chip that
// the program plugs in by default on CE0.
//
// Prints job.erase.seconds and job.blank.seconds, one `name = value` a line.
// Needs an X display; bench/parts/40-erase.sh provides one when there is none.
#include <sched.h>
#include <wx/app.h>
#include <wx/init.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "ui/FerrikFrame.h"

namespace {

int wxAsserts = 0;

void CountAssert(const wxString& file, int line, const wxString& /*func*/, const wxString& cond,
                 const wxString& msg) {
    ++wxAsserts;
    std::fprintf(stderr, "wx assertion at %s:%d: %s %s\n", file.utf8_str().data(), line, cond.utf8_str().data(),
                 msg.utf8_str().data());
}

class BenchApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

std::string LogText(FerrikFrame* frame) { return std::string(frame->TxtLog->GetValue().utf8_str().data()); }

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Presses the button and returns the seconds until its handler returned.
double Press(FerrikFrame* frame, long id) {
    wxWindow* button = frame->FindWindow(id);
    wxCommandEvent event(wxEVT_BUTTON, static_cast<int>(id));
    event.SetEventObject(button);
    const auto start = std::chrono::steady_clock::now();
    button->GetEventHandler()->ProcessEvent(event);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    wxSetAssertHandler(CountAssert);
    wxApp::SetInstance(new BenchApp);
    int wxArgc = 1;
    char* wxArgv[] = {argv[0], nullptr};
    (void)argc;
    if (!wxEntryStart(wxArgc, wxArgv)) {
        std::fprintf(stderr, "erase_blank_bench: wx could not start (no X display?)\n");
        return 1;
    }
    wxTheApp->CallOnInit();

    FerrikFrame* frame = new FerrikFrame(nullptr, -1);
    // Run as root, the window would put this thread under SCHED_FIFO; a job
    // spinning there can starve the X server on a two-core machine.
    sched_param normal{};
    sched_setscheduler(0, SCHED_OTHER, &normal);
    frame->Show();
    wxTheApp->SetTopWindow(frame);
    wxYield();

    const double eraseSeconds = Press(frame, FerrikFrame::BTN_ERACE_);
    const std::string afterErase = LogText(frame);
    const double blankSeconds = Press(frame, FerrikFrame::BTN_BLANK_);
    const std::string afterBlank = LogText(frame);

    int status = 0;
    if (!EndsWith(afterErase, "\nStart Erace NAND\nErace Ok\n")) {
        std::fprintf(stderr, "erase_blank_bench: the erase did not end clean:\n%s\n", afterErase.c_str());
        status = 1;
    }
    const std::string blankLog = afterBlank.substr(afterErase.size());
    if (blankLog.rfind("Start check blank\nEnd time = ", 0) != 0 || !EndsWith(blankLog, " ms\nCheck blank end\n")) {
        std::fprintf(stderr, "erase_blank_bench: the blank check did not end clean:\n%s\n", blankLog.c_str());
        status = 1;
    }
    if (wxAsserts != 0) status = 1;

    if (status == 0) {
        std::printf("job.erase.seconds = %.3f\n", eraseSeconds);
        std::printf("job.blank.seconds = %.3f\n", blankSeconds);
    }
    std::fflush(stdout);

    frame->Destroy();
    wxYield();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}
