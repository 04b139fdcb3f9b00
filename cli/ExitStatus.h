// The exit status of ferrik-cli, taken from what the job core reports.
#pragma once

#include "jobs/Job.h"

enum ExitStatus : int {
    EXIT_DONE = 0,          // all done, and it came out clean
    EXIT_CHIP_FAILED = 1,   // the chip did not do all that was asked, or the check found differences
    EXIT_USAGE = 2,         // a usage error or refused values
    EXIT_FILE = 3,          // a file could not be opened, read or written whole
    EXIT_NO_CHIP = 4,       // no chip answers on CE0, R/B# time-outs stopped the job, or the bus is another's
    EXIT_INTERRUPTED = 130, // Ctrl-C or SIGTERM (128 + SIGINT, as a shell reports it)
    EXIT_NO_GPIO = 255,     // (Pi build) the GPIO block could not be opened or mapped
};

int ExitStatusOf(JobStatus status);
// The status's name in the --json object: "done", "chip-failed", ...
const char* ExitStatusName(int status);

// The table as the help text shows it, one status a line.
extern const char EXIT_STATUS_HELP[];
