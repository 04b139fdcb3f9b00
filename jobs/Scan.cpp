#include <cinttypes>
#include <cstdio>

#include "jobs/DumpJobs.h"
#include "jobs/Walk.h"

BlockPlace PlaceOf(const Geometry& geometry, int64_t block) {
    const int64_t first = block * geometry.pagesPerBlock;
    int64_t last = first + geometry.pagesPerBlock - 1;
    if (last > geometry.rowMax) last = geometry.rowMax;
    return {first, last, static_cast<uint64_t>(first) * static_cast<uint64_t>(geometry.PageTotal())};
}

namespace {

// What the scan makes of each block's mark.
class MarkLister final : public WalkVisitor {
public:
    MarkLister(JobLog& log, const Geometry& geometry) : log_(log), geometry_(geometry) {}

    Step Block(const BlockSpan& span, bool marked) override {
        ++blocks;
        if (!marked) return Step::Go;
        ++markedBlocks;
        const BlockPlace place = PlaceOf(geometry_, span.block);
        char line[128];
        std::snprintf(line, sizeof line, "Bad block [%" PRId64 "]: pages %" PRId64 " to %" PRId64
                      ", dump offset 0x%" PRIX64 "\n",
                      span.block, place.firstPage, place.lastPage, place.offset);
        log_.Put(line);
        return Step::Go;
    }
    Step Visit(int64_t) override { return Step::Go; }

    int64_t blocks = 0;  // blocks whose mark was read
    int64_t markedBlocks = 0;

private:
    JobLog& log_;
    const Geometry& geometry_;
};

}  // namespace

Outcome RunScan(JobContext& job, const JobPlan& plan, const ScanOptions& options) {
    JobLog log(job.log);
    const Geometry& geometry = plan.geometry;
    if (!ChipAnswers(log, job.chip, geometry.rowMax)) return {JobStatus::NoAnswer};
    const int32_t perBlock = geometry.pagesPerBlock;
    ProgressScope progress(job.progress, "<<Begin Scan NAND>>", "Scanning...", geometry.rowMax,
                           plan.rows.last / perBlock - plan.rows.first / perBlock + 1, 0);
    log.Put("Start scan bad blocks\n");
    log.Red();
    WalkRules rules;
    rules.blockPages = perBlock;
    rules.readMarks = true;
    rules.visits = Visits::None;
    MarkLister lister(log, geometry);
    const Outcome walked = ChipWalk(job, log, geometry, plan.rows, rules, options.map).Run(lister);
    if (walked.status != JobStatus::Done) return walked;
    log.Blue();
    log.Count(static_cast<uint64_t>(lister.markedBlocks));
    log.Put(lister.markedBlocks == 1 ? " bad block of " : " bad blocks of ");
    log.Count(static_cast<uint64_t>(lister.blocks));
    log.Put("\n");
    return {JobStatus::Done};
}
