// The command line as a whole: finds the command, answers --help and
// --version, checks the arguments, runs the command on `chip` and returns the
// process's exit status.
#pragma once

#include "jobs/Job.h"

int RunCommandLine(int argc, char** argv, ChipPort& chip);
