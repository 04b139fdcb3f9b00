// SPDX-License-Identifier: MIT
// What this build of Ferrik is, for --version of both programs: the release,
// the GPIO it drives, and the source revision it was made from.
#pragma once

#include <string>

// The release, "0.2.0": the build's project version.
extern const char FERRIK_RELEASE[];

// "PROGRAM 0.2.0 (Pi build, source 1a2b3c4d5e6f)"; "simulated build" off the
// Pi; the source part only in a build from a git checkout, with "-modified"
// when the files differed from that commit.
std::string VersionLine(const char* program);
