// SPDX-License-Identifier: MIT
#include "jobs/BuildInfo.h"

#include "FerrikRevision.h"

const char FERRIK_RELEASE[] = FERRIK_VERSION;

std::string VersionLine(const char* program) {
#ifdef FERRIK_GPIO_PI
    const char* flavour = "Pi build";
#else
    const char* flavour = "simulated build";
#endif
    std::string line = std::string(program) + " " + FERRIK_RELEASE + " (" + flavour;
    const std::string revision = FERRIK_REVISION;
    if (!revision.empty()) line += ", source " + revision;
    return line + ")";
}
