// A job's plan: the geometry accepted for what the job does with it and the
// rows it walks, every one on the chip. Both front ends make one before a
// chip job; the job takes it as settled and checks nothing of it again.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>

#include "jobs/Geometry.h"
#include "jobs/Job.h"

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

// Checks the geometry for each use, then what reading the factory marks
// needs (readsMarks), then the range. nullptr with the plan made, or the
// refusal line, worded as the window words it.
const char* MakePlan(const Geometry& geometry, std::initializer_list<GeometryUse> uses, bool readsMarks,
                     const BlocksAsked& asked, JobPlan& plan);

// The same, the refusal logged in red, then blue. False when refused.
class JobLog;
bool AcceptPlan(JobLog& log, const Geometry& geometry, std::initializer_list<GeometryUse> uses, bool readsMarks,
                const BlocksAsked& asked, JobPlan& plan);
