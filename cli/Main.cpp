// ferrik-cli's entry. The bus maps the GPIO block only once a command has
// accepted its arguments: help, the version and a usage error never touch
// it. Every way out of a command comes back here, where the bus is parked
// as the window parks it at its exit: every pin a low output, WP# too.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/CommandLine.h"
#include "cli/ExitStatus.h"

NandBus nandBus{NandBus::StartLater{}};

int main(int argc, char** argv) {
    // A reader at the other end of a pipe sees each line as the job writes it.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    BusChip chip;
    int status = RunCommandLine(argc, argv, chip);
    nandBus.Park();
    // A result that never reached its reader (a full disk, a closed pipe)
    // is no success: the status says the output is lost, not that all went
    // well. A failure the command found itself keeps its own status.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        std::fprintf(stderr, "ferrik-cli: standard output could not be written%s%s: what the command reported is lost\n",
                     error != 0 ? ": " : "", error != 0 ? std::strerror(error) : "");
        if (status == EXIT_DONE) status = EXIT_FILE;
    }
    return status;
}
