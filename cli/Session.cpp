#include "cli/Session.h"

#include <cstdio>

#include "bus/BusLock.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "jobs/JobLog.h"

// A block that cannot be mapped ends the command as it ends the window: its
// one line where the log goes, and status 255.
int Session::StartBus() {
    std::string refusal;
    if (!TakeBusLock(refusal)) {
        Say(refusal);
        return EXIT_NO_CHIP;
    }
    const GpioMapError error = nandBus.Start();
    if (error != GpioMapError::None) {
        std::fprintf(log.Stream(), "%s\n", GpioMapMessage(error));
        std::fflush(log.Stream());
        return EXIT_NO_GPIO;
    }
    if (GpioIsRp1()) Say(kPi5Line);
    return 0;
}

void Session::Say(const std::string& line) const {
    progress.StepAside();
    std::fflush(stdout);
    std::fprintf(stderr, "ferrik-cli: %s\n", line.c_str());
}

int Session::UsageError(const std::string& line) const {
    progress.StepAside();
    std::fflush(stdout);
    return ::UsageError(line, command.name);
}

int Session::Finish(const Outcome& outcome, const char* unit) {
    if (outcome.status == JobStatus::Interrupted) {
        JobLog line(log);
        line.Red();
        line.Put("Interrupted: stopped before ");
        line.Put(unit);
        line.Put(" ");
        line.Number("%d", static_cast<long>(outcome.stoppedAt));
        line.Put("\n");
        line.Blue();
    }
    return ExitStatusOf(outcome.status);
}

int Session::StoppedBefore(const char* what) {
    JobLog line(log);
    line.Red();
    line.Put("Interrupted: stopped before ");
    line.Put(what);
    line.Put("\n");
    line.Blue();
    return EXIT_INTERRUPTED;
}

void NamedFile::NotCreated(const std::string& path, const std::string& why) {
    std::fflush(stdout);
    std::fprintf(stderr, "ferrik-cli: cannot write %s: %s\n", path.c_str(), why.c_str());
}
