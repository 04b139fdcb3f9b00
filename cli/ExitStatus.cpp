#include "cli/ExitStatus.h"

int ExitStatusOf(JobStatus status) {
    switch (status) {
        case JobStatus::Done: return EXIT_DONE;
        case JobStatus::ChipFailed: return EXIT_CHIP_FAILED;
        // The command line names its files itself: a job never meets a
        // cancelled choice, and one would mean nothing was done as asked.
        case JobStatus::Cancelled:
        case JobStatus::Refused: return EXIT_USAGE;
        case JobStatus::FileError: return EXIT_FILE;
        case JobStatus::NoAnswer: return EXIT_NO_CHIP;
        case JobStatus::Interrupted: return EXIT_INTERRUPTED;
    }
    return EXIT_CHIP_FAILED;
}

const char* ExitStatusName(int status) {
    switch (status) {
        case EXIT_DONE: return "done";
        case EXIT_CHIP_FAILED: return "chip-failed";
        case EXIT_USAGE: return "usage";
        case EXIT_FILE: return "file-error";
        case EXIT_NO_CHIP: return "no-chip";
        case EXIT_INTERRUPTED: return "interrupted";
        case EXIT_NO_GPIO: return "no-gpio";
    }
    return "unknown";
}

const char EXIT_STATUS_HELP[] =
    "Exit status:\n"
    "  0    all done, and the chip and the file came out clean\n"
    "  1    the chip did not do all that was asked (a failed program or erase),\n"
    "       or the check found differences (verify) or pages that are not blank;\n"
    "       --ecc (read, image ecc): a page the ECC cannot correct; image ecc\n"
    "       --guess: no scheme fits\n"
    "  2    a usage error, or values refused (geometry, range)\n"
    "  3    a file could not be opened, read or written whole, or standard\n"
    "       output could not be written (the result is lost)\n"
    "  4    no chip answers on CE0, a data line or the ID says the wiring is\n"
    "       wrong, R/B# time-outs stopped the job, or another process (ferrik\n"
    "       or ferrik-cli) is using the bus\n"
    "  130  interrupted (Ctrl-C, SIGTERM or another signal that would end the\n"
    "       program): the page or block in hand was finished, the bus parked;\n"
    "       an interrupted read leaves FILE as it was and keeps what it read in\n"
    "       FILE.partial\n"
    "  255  (Pi build) the GPIO block could not be opened or mapped: the line\n"
    "       printed says why (join the gpio group, run as root, or a kernel\n"
    "       setting; /dev/gpiomem0 on a Pi 5)\n";
