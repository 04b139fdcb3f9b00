// The ferrik executable itself: started, closed as a user closes it, and the
// state it leaves the bus in at exit.
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest's names collide with.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>

#include "support/Process.h"

using namespace ferrik_test;

namespace {

const char* const kTitle = "Ferrik_v.0.0.1";

long WindowPid(Display* display, Window w) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == 0) return -1;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data != nullptr) {
        if (count == 1 && format == 32) pid = *reinterpret_cast<long*>(data);
        XFree(data);
    }
    return pid;
}

// Other tests may show a main window with the same title on the same display
// at the same time: only the one that belongs to our child counts.
Window FindByTitle(Display* display, Window w, const char* title, long pid) {
    char* name = nullptr;
    if (XFetchName(display, w, &name) && name != nullptr) {
        const bool match = std::strcmp(name, title) == 0;
        XFree(name);
        if (match && WindowPid(display, w) == pid) return w;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, w, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && found == 0; ++i) found = FindByTitle(display, children[i], title, pid);
        if (children != nullptr) XFree(children);
    }
    return found;
}

// What a window manager sends when the user clicks the close box.
// Windows of other programs on the same display come and go during the
// search: a window that vanished between listing and asking is no error.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

bool CloseLikeAWindowManager(long pid, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    // A display busy with the other test stages may refuse a connection for
    // a moment: ask again until the deadline.
    Display* display = XOpenDisplay(nullptr);
    while (display == nullptr && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        display = XOpenDisplay(nullptr);
    }
    if (display == nullptr) return false;
    XErrorHandler previous = XSetErrorHandler(IgnoreXError);
    Window window = 0;
    while (window == 0 && std::chrono::steady_clock::now() < deadline) {
        window = FindByTitle(display, DefaultRootWindow(display), kTitle, pid);
        if (window == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (window != 0) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return window != 0;
}

// Function and level of GPIO 0-31 from the simulated block's exit report.
struct PinState {
    std::string function;
    int level = -1;
};

std::vector<PinState> ParseReport(const std::string& text) {
    std::vector<PinState> pins(32);
    std::istringstream in(text);
    unsigned pin;
    std::string function;
    int level;
    while (in >> pin >> function >> level) {
        if (pin < 32) pins[pin] = {function, level};
    }
    return pins;
}

void ExpectParked(const std::string& report) {
    ASSERT_FALSE(report.empty()) << "no exit report was written";
    const std::vector<PinState> pins = ParseReport(report);
    for (unsigned pin = 2; pin <= 27; ++pin) {
        EXPECT_EQ(pins[pin].function, "output") << "GPIO " << pin;
        EXPECT_EQ(pins[pin].level, 0) << "GPIO " << pin;
    }
    EXPECT_EQ(pins[0].function, "alt0");
    EXPECT_EQ(pins[1].function, "alt0");
}

bool HaveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

}  // namespace

TEST(Program, ClosedByTheWindowManagerExitsZeroWithTheBusParked) {
    if (!HaveDisplay()) GTEST_SKIP() << "needs an X display";
    TempDir dir;
    const std::string report = dir.File("pins");
    Child ferrik({FERRIK_BINARY}, {{"FERRIK_SIM_REPORT", report.c_str()}}, dir.Path());
    ASSERT_TRUE(CloseLikeAWindowManager(ferrik.Pid(), 30)) << "the main window never appeared";
    const Exited exited = ferrik.Wait(30);
    ASSERT_TRUE(exited.finished) << exited.output;
    EXPECT_EQ(exited.status, 0) << exited.output;
    ExpectParked(ReadFile(report));
}

TEST(Program, WithoutADisplayExitsWithTheToolkitsStatusAndStillParksTheBus) {
    TempDir dir;
    const std::string report = dir.File("pins");
    const Exited exited =
        RunProgram({FERRIK_BINARY}, {{"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}, {"FERRIK_SIM_REPORT", report.c_str()}},
            30, dir.Path());
    ASSERT_TRUE(exited.finished);
    EXPECT_EQ(exited.status, 255) << exited.output;
    ExpectParked(ReadFile(report));
}
