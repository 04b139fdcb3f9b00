// Starting the ferrik executable as a user would, and watching it end.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "support/NoCopies.h"

namespace ferrik_test {

struct Exited {
    bool finished = false;  // false: still running at the deadline (then killed)
    int status = -1;        // exit status, or 128 + signal
    std::string output;     // standard output, and standard error unless kept apart
    std::string errors;     // standard error, when kept apart
};

// Which streams a child's output is collected from.
enum class Streams { Together, Apart };

// What a started program may not do that the tests (run as root) may.
struct ChildLimits {
    // Without CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH, for good: file modes
    // stop it as they stop a user.
    bool fileModesEnforced = false;
    // No file may grow beyond this (0: no limit): a write past it fails with
    // EFBIG, as one on a full disk fails with ENOSPC. SIGXFSZ is ignored,
    // unless sizeSignal leaves it to end the program, as a shell does.
    rlim_t fileSizeLimit = 0;
    bool sizeSignal = false;
};

class Child {
public:
    // Starts argv[0] with the environment changes given (value nullptr: unset),
    // in the directory cwd (empty: the current one), with the signals a shell
    // leaves a program it starts in the foreground.
    Child(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, const char*>>& env,
          const std::string& cwd = "", const ChildLimits& limits = {}, Streams streams = Streams::Together);
    ~Child();
    pid_t Pid() const { return pid_; }
    // Waits up to `seconds` until the output so far holds `text`; false when
    // the output ended or the time ran out first.
    bool WaitForOutput(const std::string& text, double seconds);
    // Waits up to seconds for the child to end; kills it when it does not.
    Exited Wait(double seconds);

private:
    // Reads what the child wrote, waiting up to `ms` for something to come.
    void Collect(int ms);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool outClosed_ = false;
    bool errClosed_ = true;  // until there is a stream of its own
    std::string output_;
    std::string errors_;
};

// Runs a program to its end (at most `seconds`), as Child and Wait do.
Exited RunProgram(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, const char*>>& env,
           double seconds, const std::string& cwd = "", const ChildLimits& limits = {},
           Streams streams = Streams::Together);

// Runs ferrik-cli (argv[0]) to its end in `cwd` on the simulated chips
// `chips` (FERRIK_SIM_CHIPS), whose content lives in `images` and which carry
// `faults`, with no colour in its log; `more` changes the environment further.
Exited RunOnSimChips(const std::vector<std::string>& argv, const char* chips, const std::string& images,
                     const char* faults, double seconds, const std::string& cwd,
                     const std::vector<std::pair<std::string, const char*>>& more = {});

// A fresh directory under /tmp, removed with its files by the destructor.
class TempDir : NoCopies {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);

}  // namespace ferrik_test
