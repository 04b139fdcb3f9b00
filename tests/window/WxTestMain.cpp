// main of the window tests: a real wx application, initialised once, with
// the tests run outside its event loop.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/WxTest.h"

namespace {

class TestApp : public wxApp {
public:
    // The base class would parse GoogleTest's own flags and refuse them.
    bool OnInit() override { return true; }
};

void AssertToFailure(const wxString& file, int line, const wxString& func, const wxString& cond,
                     const wxString& msg) {
    ADD_FAILURE_AT(file.utf8_str().data(), line)
        << "wx assertion in " << func.utf8_str().data() << ": " << cond.utf8_str().data() << " "
        << msg.utf8_str().data();
}

}  // namespace

int main(int argc, char** argv) {
    // GoogleTest takes its flags out of argv; a restart needs them back.
    std::vector<char*> originalArgv(argv, argv + argc + 1);
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery lists the tests without a display; GoogleTest has
    // already taken the flag out of argv, so ask it for its own setting.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        std::fprintf(stderr, "window tests need an X display (run them under xvfb-run)\n");
        return 77;
    }
    ferrik_test::DropRealtimePrivilege();
    wxSetAssertHandler(AssertToFailure);
    wxApp::SetInstance(new TestApp);
    int wxArgc = 1;
    char* wxArgv[] = {argv[0], nullptr};
    if (!wxEntryStart(wxArgc, wxArgv)) {
        // Seen rarely when many test processes open the same virtual display
        // at once: the toolkit's first connection fails. A fresh process
        // started a moment later connects; try that twice before failing.
        const char* tries = std::getenv("FERRIK_TEST_WX_RETRY");
        const int tried = tries != nullptr ? std::atoi(tries) : 0;
        std::fprintf(stderr, "wx could not start (try %d)\n", tried + 1);
        if (tried < 2) {
            const std::string next = std::to_string(tried + 1);
            setenv("FERRIK_TEST_WX_RETRY", next.c_str(), 1);
            usleep(200000);
            execv("/proc/self/exe", originalArgv.data());
        }
        return 1;
    }
    wxTheApp->CallOnInit();
    const int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
