// The command line as a whole: finds the command, answers --help and
// --version, checks the arguments, runs the command on `chip` and returns the
// process's exit status.
#pragma once

#include <string>

#include "jobs/Job.h"

struct Command;

int RunCommandLine(int argc, char** argv, ChipPort& chip);

// "ferrik-cli read FILE [OPTION...]"
std::string Usage(const Command& command);

// The help's prose, which the manual page shares: what the program does, and
// how the geometry and range of a chip command are found.
extern const char HELP_ABOUT[];
extern const char HELP_GEOMETRY[];

// A usage error: "ferrik-cli: " and the line on standard error, then the
// line that points to the help (of the command helpFor, when it is given).
// Returns the exit status of a usage error.
int UsageError(const std::string& line, const char* helpFor);
