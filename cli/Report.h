// What ferrik-cli prints for programs and browsers: JSON objects, and the
// one rule by which a name from a chip (or a chip file) is shown, whatever
// bytes it holds.
#pragma once

#include <cstdint>
#include <string>

#include "jobs/Identify.h"
#include "jobs/Jobs.h"

// JSON text for a string: a control character or a byte outside ASCII is
// written as the code point of the same number, so that whatever a chip or
// a chip file holds the object stays valid JSON.
std::string JsonString(const std::string& text);

// Text with every control character, and every byte that is not part of a
// whole UTF-8 character, written as \xHH: what a terminal or an SVG file
// shows of a name, which never moves the cursor, rings or retitles a
// terminal, nor makes the file ill-formed.
std::string VisibleText(const std::string& text);
// The same for a piece of the log: its line ends (and tabs) are its own.
std::string VisibleLog(const char* text);

// The version of the --json object's keys: raised when a key changes its
// meaning or goes; new keys come without it.
inline constexpr int RESULT_SCHEMA = 1;

// What a chip command's --json object is made of.
struct ResultReport {
    const char* command;
    int status;                // the exit status
    const JobPlan* plan;       // nullptr when no plan was accepted
    const std::string* chip;   // the plan's chip name, with it
    const JobResult& result;
    std::string members;       // the command's own keys, JSON text ("\"checks\":7,...")
};
// The object, one line: the same keys for every chip command, then its own.
std::string ResultJson(const ResultReport& report);

// check's own keys: checks, checks_passed.
std::string WiringMembers(const WiringReport& report);

// detect's own keys: probes, chip_file, parameter_page, id_decoded,
// geometry, disagreements.
std::string IdentityMembers(const DetectResult& detect, const ChipIdentity& identity);
