// ferrik-cli's entry. The bus maps the GPIO block only once a command has
// accepted its arguments: help, the version and a usage error never touch
// it. Every way out of a command comes back here, where the bus is parked
// as the window parks it at its exit: every pin a low output, WP# too.
#include <cstdio>

#include "cli/CommandLine.h"

NandBus nandBus{NandBus::StartLater{}};

int main(int argc, char** argv) {
    // A reader at the other end of a pipe sees each line as the job writes it.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    BusChip chip;
    const int status = RunCommandLine(argc, argv, chip);
    nandBus.Park();
    return status;
}
