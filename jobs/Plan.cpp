#include "jobs/Plan.h"

#include "jobs/BadBlocks.h"
#include "jobs/JobLog.h"

const char* MakePlan(const Geometry& g, std::initializer_list<GeometryUse> uses, bool readsMarks,
                     const BlocksAsked& asked, JobPlan& plan) {
    for (const GeometryUse use : uses)
        if (const char* refusal = GeometryRefusal(g, use)) return refusal;
    if (readsMarks)
        if (const char* refusal = MarkGeometryRefusal(g)) return refusal;
    plan.geometry = g;
    plan.rows = RowRange{0, g.rowMax};
    if (!asked.Given()) return nullptr;
    if (g.pagesPerBlock <= 0) return "Error, Pages per block <= 0\n";
    const int64_t perBlock = g.pagesPerBlock;
    const int64_t first = asked.firstBlock.value_or(0) * perBlock;
    const int64_t last = asked.blocks ? first + *asked.blocks * perBlock - 1 : g.rowMax;
    if (first < 0 || last < first || last > g.rowMax) return "Error, the range lies beyond the chip\n";
    plan.rows = RowRange{first, last};
    return nullptr;
}

bool AcceptPlan(JobLog& log, const Geometry& geometry, std::initializer_list<GeometryUse> uses, bool readsMarks,
                const BlocksAsked& asked, JobPlan& plan) {
    const char* refusal = MakePlan(geometry, uses, readsMarks, asked, plan);
    if (refusal) log.RedThenBlue(refusal);
    return refusal == nullptr;
}
