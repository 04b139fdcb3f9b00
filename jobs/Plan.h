// A job's plan: the geometry accepted for what the job does with it and the
// rows it walks, every one on the chip. Both front ends make one before a
// chip job; the job takes it as settled and checks nothing of it again.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "jobs/Geometry.h"
#include "jobs/Job.h"
#include "jobs/JobLog.h"
#include "jobs/Targets.h"

struct JobPlan {
    // With several targets or LUNs, row max is the last row of the range
    // they make together (see jobs/Targets.h), and blocks count across them.
    Geometry geometry;
    RowRange rows;  // first to last, inclusive
    ChipLayout layout;
};

// The blocks a front end asks for: from firstBlock on (block 0 when not
// given), `blocks` of them (up to the chip's end when not given).
struct BlocksAsked {
    std::optional<int64_t> firstBlock;
    std::optional<int64_t> blocks;
    bool Given() const { return firstBlock.has_value() || blocks.has_value(); }
};

// The values a front end gives; each replaces what the source says.
struct GeometryGiven {
    std::optional<int32_t> pageSize;
    std::optional<int32_t> spareSize;
    std::optional<int32_t> rowMax;
    std::optional<int32_t> pagesPerBlock;
};

// What a parameter page says of a target's LUNs, beside its linear geometry.
struct LunsFound {
    int32_t luns = 1;
    int64_t blocksPerLun = 0;
};

// The geometry of a chip job before its checks, and where it came from.
struct GeometryFound {
    enum class From { Given, ChipFile, ParameterPage, Nothing, NoChip };
    From from = From::Given;
    Geometry geometry;  // the source's values, then the ones given over them
    bool pagesPerBlockKnown = false;
    std::string chipName;   // the chip file's Name, empty without one
    std::string chipId;     // the chip file's ID, empty without one
    std::string source;     // ChipFile, ParameterPage: "the chip file P", "the chip's ONFI parameter page"
    std::string lookedFor;  // Nothing: the chip file that was looked for
    bool pageTimedOut = false;  // Nothing: R/B# stayed low while the page loaded
    bool pageUnusable = false;  // Nothing: the chip has a page, but not one to go by
    // The LUNs of the parameter page, when its geometry is the one found (or
    // agrees with the chip file's); one LUN otherwise.
    LunsFound luns;
    // ChipFile: the parameter page tells another row count than the chip
    // file; the line that says so, empty when they agree.
    std::string disagreement;
};

// The chip file at path, its values as they stand in it (no field of the
// window cuts them). False when path is no chip file.
bool GeometryFromChipFile(const std::string& path, GeometryFound& found);
// What the chip on cePin says: the chip file Detect finds by its ID (under
// ./ICs, then databaseRoot/ICs), else its own parameter page, told in the log
// in a line of its own. The parameter page's LUNs are taken with a chip
// file's geometry when the two agree on the rows; when they do not, the
// chip file's one linear range stands and `disagreement` says why. NoChip,
// logged, when its ID reads all 0xFF; Nothing when neither source has the
// geometry.
void GeometryFromChip(LogSink& sink, BusPort& bus, const char* databaseRoot, GeometryFound& found,
                      int cePin = CE0);
// The values given, over what was found.
void TakeGiven(const GeometryGiven& given, GeometryFound& found);

// One line per value given that differs from the same value in `facts`,
// which come from `where`: "--pages-per-block 4, but 8 in the chip file P".
std::vector<std::string> GivenDisagreements(const GeometryGiven& given, const Geometry& facts, const std::string& where);

// An ID of all 0xFF is the bus floating at its pull-ups: no chip drives it.
// Logs that no chip answers (on the chip enable of cePin) and returns true
// then.
bool NoChipAnswersId(JobLog& log, const uint8_t id[5], int cePin = CE0);

// Checks the geometry (one target's) for each use, then what reading the
// factory marks needs (readsMarks), then the targets and LUNs of dies (its
// targets, luns and blocksPerLun), then the range, whose blocks count across
// the targets. nullptr with the plan made, or the refusal line, worded as the
// window words it.
const char* MakePlan(const Geometry& geometry, std::initializer_list<GeometryUse> uses, bool readsMarks,
                     const BlocksAsked& asked, JobPlan& plan, const ChipLayout& dies = ChipLayout{});

// The same, the refusal logged in red, then blue. False when refused.
bool AcceptPlan(JobLog& log, const Geometry& geometry, std::initializer_list<GeometryUse> uses, bool readsMarks,
                const BlocksAsked& asked, JobPlan& plan, const ChipLayout& dies = ChipLayout{});
