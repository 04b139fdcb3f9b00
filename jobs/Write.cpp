#include <algorithm>
#include <cstdio>
#include <vector>

#include "jobs/DumpJobs.h"
#include "jobs/Walk.h"

namespace {

bool GoodPagesHold(JobLog& log, int64_t records, int64_t goodPages) {
    if (records <= goodPages) return true;
    log.Red();
    log.Put("Error, the chip runs out of good blocks before the file ends: the file holds ");
    log.Count(static_cast<uint64_t>(records));
    log.Put(" pages, the good blocks ");
    log.Count(static_cast<uint64_t>(goodPages));
    log.Put("\n");
    log.Blue();
    return false;
}

// What write does with the pages and blocks of the walk.
class PageWriter final : public DumpVisitor {
public:
    PageWriter(JobContext& job, JobLog& log, const JobPlan& plan, const WriteOptions& options, DumpFile& file)
        : DumpVisitor(job, log, plan, file), options_(options), page_(PAGE_BUFFER_BYTES) {}

    Step Block(const BlockSpan& span, bool marked) override {
        if (!marked || options_.bad != BadBlockMode::Keep) return Step::Go;
        // Keep: the block's records are passed over, and what they held is
        // counted so that nothing is lost unseen.
        uint64_t leftOut = 0;
        for (int64_t p = span.first; p <= span.last; ++p) {
            if (!ReadRecord(page_.data(), p)) return Step::Stop;
            leftOut += static_cast<uint64_t>(pageTotal_ - CountErased(page_.data(), pageTotal_));
        }
        log_.Block("Keep bad block [", span.block, "]: ");
        log_.Count(leftOut);
        log_.Put(" bytes of the file that were not 0xFF left out\n");
        return Step::Passed;
    }

    Step Visit(int64_t k) override {
        // In skip mode the whole file may be on the chip before its end.
        if (options_.bad == BadBlockMode::Skip && FileDone()) return Step::Finished;
        if (!ReadRecord(page_.data(), k)) return Step::Stop;
        // An erased page already holds all 0xFF: programming it would only
        // spend bus time and a program cycle of the block.
        if (CountErased(page_.data(), pageTotal_) == pageTotal_) return Step::Quiet;
        const int16_t result = chip_.ProgramPage(static_cast<uint32_t>(k), rowLimit_, pageTotal_, page_.data());
        if (result == NAND_OK) return Step::Go;
        if (options_.map && perBlock_ > 0) options_.map->Note(k / perBlock_, BlockState::Failed);
        ++failedPages;
        result_.failedPages.Add(k);
        if (result != NAND_STATUS_FAIL) return Step::TimedOut;
        log_.Page("Error programm page [", k, "] \n");
        return Step::Failed;
    }

    int32_t failedPages = 0;

private:
    const WriteOptions& options_;
    std::vector<uint8_t> page_;
};

}  // namespace

Outcome CheckSkipWriteFits(JobContext& job, const JobPlan& plan, int64_t fileBytes) {
    JobLog log(job.log, plan.layout);
    std::vector<bool> marked;
    if (ReadMarks(job.chip, plan.geometry, plan.rows, marked) == MarkCheck::NoAnswer) {
        log.RedThenBlue("R/B, break low, ERR_RB_L \n");
        return {JobStatus::NoAnswer, plan.rows.first};
    }
    const int64_t pageTotal = plan.geometry.PageTotal();
    if (!GoodPagesHold(log, (fileBytes + pageTotal - 1) / pageTotal, GoodPages(plan.geometry, plan.rows, marked)))
        return {JobStatus::ChipFailed};
    return {JobStatus::Done};
}

Outcome RunWrite(JobContext& job, const JobPlan& plan, PathChooser& chooser, const WriteOptions& options) {
    JobLog log(job.log, plan.layout);
    const Geometry& geometry = plan.geometry;
    const RowRange& rows = plan.rows;
    DumpFile file;
    const JobStatus opened = StartFileJob(log, job, plan, chooser, FileUse::WriteFrom, file);
    if (opened != JobStatus::Done) return {opened};

    WalkRules rules = DumpWalkRules(geometry, options.bad, options.map);
    // The marks of the range, read before the first page is programmed (the
    // walk takes them as known): in skip mode a chip with too few good
    // blocks for the file is refused while it is still as it was.
    std::vector<bool> marked;
    if (rules.readMarks) {
        if (ReadMarks(job.chip, geometry, rows, marked) == MarkCheck::NoAnswer) {
            log.RedThenBlue("R/B, break low, ERR_RB_L \n");
            return {JobStatus::NoAnswer, rows.first};
        }
        rules.known = &marked;
    }
    const int64_t pageTotal = geometry.PageTotal();
    const int64_t fileRecords = (file.Size() + pageTotal - 1) / pageTotal;
    const int64_t rangeRows = rows.last - rows.first + 1;
    if (options.wholeFile && options.bad != BadBlockMode::Skip && fileRecords > rangeRows) {
        LogRecordsLeft(log, fileRecords - rangeRows, rangeRows, "have no page in the range: nothing written");
        return {JobStatus::ChipFailed};
    }
    if (options.bad == BadBlockMode::Skip &&
        !GoodPagesHold(log, (file.Size() + pageTotal - 1) / pageTotal, GoodPages(geometry, rows, marked)))
        return {JobStatus::ChipFailed};

    log.Put("\nStart Write Page \n");
    log.Red();
    ProgressScope progress(job.progress, "<<Begin Write NAND>>", "Writing...", plan);
    rules.updateEvery = 2 * PAGES_PER_UPDATE;
    // A chip that has timed out this many programs in a row does not answer;
    // going on would only spend the full ready budget on every page left.
    rules.timeOuts = {"R/B, break low, ERR_RB_L \n", 8,
                      "Error, the chip does not answer (R/B# stays low), write stopped\n", true};
    PageWriter writer(job, log, plan, options, file);
    const int32_t startMs = NandBus::NowMs();
    const Outcome walked = ChipWalk(job, log, geometry, rows, rules, options.map).Run(writer);
    if (walked.status != JobStatus::Done) return walked;
    log.EndTime(NandBus::ElapsedMs(startMs), true);
    if (writer.failedPages == 0) {
        log.Blue();
        log.Put("Programm Page OK\n");
        return {JobStatus::Done};
    }
    log.Put("Error, ");
    log.Number("%d", writer.failedPages);
    log.Put(" pages failed to program\n");
    log.Blue();
    return {JobStatus::ChipFailed};
}
