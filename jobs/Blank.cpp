#include <algorithm>
#include <cstdint>
#include <vector>

#include "jobs/DumpJobs.h"
#include "jobs/Walk.h"

namespace {

// What the blank check does with the pages and blocks of the walk.
class BlankChecker final : public WalkVisitor {
public:
    BlankChecker(JobContext& job, JobLog& log, const JobPlan& plan, const EraseRecord& record,
                 const BlankOptions& options)
        : job_(job), log_(log), record_(record),
          rowLimit_(static_cast<uint32_t>(plan.geometry.rowMax)),
          pageTotal_(static_cast<int32_t>(plan.geometry.PageTotal())),
          mapBlock_(plan.geometry.pagesPerBlock > 0 ? plan.geometry.pagesPerBlock : record.pagesPerBlock),
          map_(options.map), page_(PAGE_BUFFER_BYTES) {
        // Entries below the range's first block are behind the walk already.
        if (record_.pagesPerBlock > 0)
            while (listPosition_ < record_.badBlocksWritten &&
                   record_.badBlocks[listPosition_] < plan.rows.first / record_.pagesPerBlock)
                ++listPosition_;
    }

    Step EnterBlock(const BlockSpan& span) override {
        // The block size and the bad-block list come from the last erase
        // run, which lists the bad blocks in ascending order.
        if (record_.pagesPerBlock <= 0) return Step::Go;
        const int64_t block = span.first / record_.pagesPerBlock;
        if (listPosition_ >= record_.badBlocksWritten || record_.badBlocks[listPosition_] != block) return Step::Go;
        log_.Block("Skip bad block [", block, "]\n");
        ++listPosition_;
        return Step::Passed;
    }

    Step Visit(int64_t p) override {
        const int16_t result = job_.chip.ReadPage(static_cast<uint32_t>(p), rowLimit_, pageTotal_, page_.data());
        if (result == ERR_RB_L) return Step::TimedOut;
        if (result != NAND_OK) return Step::Quiet;
        if (CountErased(page_.data(), pageTotal_) != pageTotal_) {
            dirty = true;
            // Each byte as a difference from erased, at its offset in a dump
            // of the whole chip.
            ++job_.result.differingPages;
            for (int32_t i = 0; i < pageTotal_; ++i)
                if (page_[i] != 0xFF)
                    job_.result.AddDifference(p, static_cast<uint64_t>(p) * static_cast<uint64_t>(pageTotal_) +
                                                     static_cast<uint64_t>(i),
                                              0xFF, page_[i]);
            Note(p, BlockState::NotBlank);
            log_.Page("Error, check blank in page [", p, "]\n");
        }
        Note(p, BlockState::Good);
        return Step::Go;
    }

    bool dirty = false;

private:
    void Note(int64_t p, BlockState state) {
        if (map_ && mapBlock_ > 0) map_->Note(p / mapBlock_, state);
    }

    JobContext& job_;
    JobLog& log_;
    const EraseRecord& record_;
    const uint32_t rowLimit_;
    const int32_t pageTotal_;
    const int32_t mapBlock_;
    BlockMap* map_;
    int listPosition_ = 0;
    std::vector<uint8_t> page_;
};

}  // namespace

Outcome RunBlankCheck(JobContext& job, const JobPlan& plan, const EraseRecord& record, const BlankOptions& options) {
    JobLog log(job.log, plan.layout);
    const Geometry& geometry = plan.geometry;
    if (!ChipAnswers(log, job.chip, geometry.rowMax)) return {JobStatus::NoAnswer};

    // With no erase run since start-up there is no block size, and every
    // page is read; marks are found by the geometry's own block size.
    WalkRules rules;
    rules.readMarks = options.skipMarked;
    rules.blockPages = options.skipMarked ? geometry.pagesPerBlock : record.pagesPerBlock;
    rules.bad = BadBlockMode::Skip;
    rules.noteGood = false;  // a block is good once its pages read blank
    ProgressScope progress(job.progress, "<<Begin Check BLANK>>", "Blanking...", plan);
    log.Put("Start check blank\n");
    log.Red();
    if (record.pagesPerBlock <= 0 && !options.skipMarked) log.Put("No block size from an erase run, no bad block skipped\n");
    BlankChecker checker(job, log, plan, record, options);
    const int32_t startMs = NandBus::NowMs();
    const Outcome walked = ChipWalk(job, log, geometry, plan.rows, rules, options.map).Run(checker);
    if (walked.status != JobStatus::Done) return walked;
    log.Blue();
    log.EndTime(NandBus::ElapsedMs(startMs), true);
    log.Put("Check blank end\n");
    return {checker.dirty ? JobStatus::ChipFailed : JobStatus::Done};
}
