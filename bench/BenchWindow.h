// The real main window in a wx application of its own, for the benchmark
// programs that click its buttons outside any event loop.
#pragma once

class FerrikFrame;

namespace bench {

// wx assertions seen since start-up; each is also printed on stderr.
int WxAssertCount();

// Starts wx, creates the window at normal scheduling and shows it. Null when
// wx cannot start (no X display); `program` names the caller in the message.
FerrikFrame* OpenBenchWindow(const char* program, char* argv0);

// Shuts wx down again.
void CloseBenchWindow();

}  // namespace bench
