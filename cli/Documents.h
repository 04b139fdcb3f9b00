// SPDX-License-Identifier: MIT
// The manual page and the bash completion of ferrik-cli, written from the
// command and option tables the program runs on, so that neither can say
// anything else than --help does. The build runs `ferrik-cli --generate ...`
// (under the emulator in a cross build) and the packages install the result.
#pragma once

// ferrik-cli(1) in roff on standard output; `date` goes into its footer.
void PrintManualPage(const char* date);

// A bash completion script on standard output: the commands, each command's
// options, the values of options that take one of a few words, and file
// names where a command or an option takes a file.
void PrintBashCompletion();
