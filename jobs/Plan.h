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

struct JobPlan {
    Geometry geometry;
    RowRange rows;  // first to last, inclusive
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
};

// The chip file at path, its values as they stand in it (no field of the
// window cuts them). False when path is no chip file.
bool GeometryFromChipFile(const std::string& path, GeometryFound& found);
// What the chip says: the chip file Detect finds by its ID (under ./ICs,
// then databaseRoot/ICs), else its own parameter page, told in the log in a
// line of its own. NoChip, logged, when its ID reads all 0xFF; Nothing when
// neither source has the geometry.
void GeometryFromChip(LogSink& sink, BusPort& bus, const char* databaseRoot, GeometryFound& found);
// The values given, over what was found.
void TakeGiven(const GeometryGiven& given, GeometryFound& found);

// One line per value given that differs from the same value in `facts`,
// which come from `where`: "--pages-per-block 4, but 8 in the chip file P".
std::vector<std::string> GivenDisagreements(const GeometryGiven& given, const Geometry& facts, const std::string& where);

// An ID of all 0xFF is the bus floating at its pull-ups: no chip drives it.
// Logs that no chip answers and returns true then.
bool NoChipAnswersId(JobLog& log, const uint8_t id[5]);

// Checks the geometry for each use, then what reading the factory marks
// needs (readsMarks), then the range. nullptr with the plan made, or the
// refusal line, worded as the window words it.
const char* MakePlan(const Geometry& geometry, std::initializer_list<GeometryUse> uses, bool readsMarks,
                     const BlocksAsked& asked, JobPlan& plan);

// The same, the refusal logged in red, then blue. False when refused.
bool AcceptPlan(JobLog& log, const Geometry& geometry, std::initializer_list<GeometryUse> uses, bool readsMarks,
                const BlocksAsked& asked, JobPlan& plan);
