// Knowing what is in the socket beyond the window's Detect: the chip's
// parameter page, its ID bytes decoded, the geometry taken from the best of
// them, a chip file written from it, and a check of the wiring.
#pragma once

#include <string>
#include <vector>

#include "chip/ParameterPage.h"
#include "jobs/Geometry.h"
#include "jobs/Job.h"
#include "jobs/Jobs.h"

// What READ PARAMETER PAGE of one chip gave.
struct PageReading {
    bool present = false;   // READ ID 20h said "ONFI" or 40h said "JEDEC", and the page was read
    bool timedOut = false;  // R/B# stayed low while the chip loaded the page
    ParameterPage page;     // meaningful when present and not timed out
};

// READ ID 20h; "ONFI" there reads the page at 00h. Else READ ID 40h; "JEDEC"
// there reads it at 40h. A chip with neither is not asked for a page.
PageReading ReadParameterPage(BusPort& bus, int cePin);

// Where the geometry in use comes from, best first.
enum class GeometrySource { ChipFile, ParameterPage, IdBytes, None };
// "chip file", "parameter page", "id bytes", "none".
const char* GeometrySourceName(GeometrySource source);

// The geometry of a usable page: row max is the highest page number.
Geometry PageGeometry(const ParameterPage& page);

struct GeometryChoice {
    GeometrySource source = GeometrySource::None;
    Geometry geometry;
    // One line per value two sources give differently, e.g. "spare 64 in the
    // chip file, 128 in the parameter page".
    std::vector<std::string> disagreements;
};

// The chip file first, then a usable parameter page, then decoded ID bytes;
// a null pointer is a source that has nothing to give.
GeometryChoice ChooseGeometry(const Geometry* chipFile, const ParameterPage* page, const IdGeometry* id);

// Everything detect learns of the CE0 chip beyond the window's Detect.
struct ChipIdentity {
    bool chipFileFound = false;
    std::string chipFileName;
    Geometry chipFile;  // the chip file's values as the fields parse them
    PageReading reading;
    IdGeometry idGeometry;
    GeometryChoice choice;
    int pageCe = 0;  // the chip enable whose parameter page was read
    // The targets of the CE0 chip by Linux's rule (the first two ID bytes
    // equal CE0's), each with the LUNs its parameter page gives (0: none
    // given), and the chip enables where another chip answers.
    std::vector<int> targets;
    std::vector<int> targetLuns;
    std::vector<int> otherChips;
};

// Reads the parameter page of the chip on chip enable pageCe (0-3) and
// decodes the CE0 chip's ID bytes, and finds the targets; detect is what
// RunDetect found and fields what it loaded.
// The geometry a chip file's fields give, by the one parse rule.
Geometry GeometryOf(const ChipFields& fields);

ChipIdentity IdentifyChip(BusPort& bus, const DetectResult& detect, const ChipFields& fields, int pageCe = 0);

// The lines after Detect's: the chip file, the parameter page, the ID bytes
// decoded, the geometry in use and every disagreement.
void LogIdentity(LogSink& sink, const DetectResult& detect, const ChipIdentity& identity);

// A size in the largest unit that holds it whole: "2 GiB", "33 KiB".
std::string SizeText(uint64_t bytes);

// "ONFI" or "JEDEC".
const char* StandardName(PageStandard standard);

// Writes the chip file the window's Detect looks for first
// (ICs/<maker>/<ID string> under the working directory) in Save's format from
// the geometry in use, creating the maker's folder. An existing file is
// replaced only when replace is set. The Name is the chip file's when the
// geometry comes from one, else the parameter page's model, else the ID
// string. A guess from the ID bytes is not saved.
Outcome SaveIdentity(LogSink& sink, const DetectResult& detect, const ChipIdentity& identity, bool replace);

// The wiring check of one chip, one line per check, writing nothing to the
// array.
struct WiringReport {
    int checks = 0;
    int passed = 0;
    bool AllPassed() const { return checks == passed; }
};
// cePin: the chip enable of the chip checked.
WiringReport RunWiringCheck(LogSink& sink, BusPort& bus, int cePin = CE0);

// The data-line part of the wiring check alone, every chip deselected: the
// Pi reads back what it drives. Each fault in plain words, "; " between
// them; empty when every line is good.
std::string DataLineFaults(BusPort& bus);
