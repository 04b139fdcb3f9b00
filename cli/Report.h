// What ferrik-cli prints for programs and browsers: JSON objects, and the
// one rule by which a name from a chip (or a chip file) is shown, whatever
// bytes it holds.
#pragma once

#include <cstdint>
#include <string>

#include "jobs/Identify.h"
#include "jobs/Jobs.h"
#include "jobs/Targets.h"

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

// The scan as one JSON object.
// With several targets or LUNs each bad block also names its chip enable,
// LUN and its block in that LUN ("ce", "lun", "lun_block").
std::string ScanJson(const std::string& chipName, const Geometry& geometry, const ScanResult& result,
                     const ChipLayout& layout = ChipLayout{});

// One JSON object: probes, chip_file, parameter_page, id_decoded, geometry,
// disagreements.
std::string IdentityJson(const DetectResult& detect, const ChipIdentity& identity);
