#include "cli/Session.h"

#include <cstdio>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "jobs/JobLog.h"

void Session::StartBus() { nandBus.Start(); }

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
