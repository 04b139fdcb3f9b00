#include <cstdint>

#include "jobs/DumpJobs.h"
#include "jobs/Walk.h"

namespace {

// What erase does with the blocks of the walk: one erase command a block,
// two for block 0 when the walk starts there. With one page per block each
// block's only row takes the command: every block is erased.
class BlockEraser final : public WalkVisitor {
public:
    BlockEraser(JobContext& job, JobLog& log, const JobPlan& plan, EraseRecord& record, const EraseOptions& options)
        : job_(job), log_(log), plan_(plan), record_(record), options_(options) {}

    Step Block(const BlockSpan& span, bool marked) override {
        block_ = static_cast<int32_t>(span.block);
        if (!marked) return Step::Go;
        if (options_.includeBad) {
            log_.Numbered("Erasing factory-marked block [", block_, "]\n");
            return Step::Go;
        }
        // The walk has said it is skipped.
        RecordBadBlock();
        return Step::Passed;
    }

    Step Visit(int64_t row) override {
        const int32_t result = job_.chip.EraseBlock(static_cast<int32_t>(row), plan_.geometry.rowMax);
        if (result == ERR_RB_L) return Step::TimedOut;
        if (result != NAND_STATUS_FAIL) return Step::Go;
        failed = true;
        // Block 0 takes two erase commands: it fails once.
        if (block_ != lastFailed_) job_.result.failedBlocks.Add(block_);
        lastFailed_ = block_;
        if (options_.map) options_.map->Note(block_, BlockState::Failed);
        log_.Numbered("Error Erace bad Block [", block_, "]\n");
        RecordBadBlock();
        if (!options_.markBad) return Step::Failed;
        // Marked now, the block is left alone from here on, block 0's second
        // command included.
        if (WriteBlockMark(job_.chip, plan_.geometry, block_) == NAND_OK) {
            log_.Numbered("Marked bad block [", block_, "]\n");
        } else {
            log_.Numbered("Error, could not mark bad block [", block_, "]\n");
        }
        return Step::Passed;
    }

    bool failed = false;

private:
    void RecordBadBlock() {
        record_.badBlocks[writeIndex_] = block_;
        if (writeIndex_ + 1 > record_.badBlocksWritten) record_.badBlocksWritten = writeIndex_ + 1;
        writeIndex_ = (writeIndex_ + 1) % BAD_BLOCK_SLOTS;
    }

    JobContext& job_;
    JobLog& log_;
    const JobPlan& plan_;
    EraseRecord& record_;
    const EraseOptions& options_;
    int32_t block_ = 0;
    int32_t lastFailed_ = -1;
    int writeIndex_ = 0;
};

}  // namespace

Outcome RunErase(JobContext& job, const JobPlan& plan, EraseRecord& record, const EraseOptions& options) {
    JobLog log(job.log);
    const Geometry& geometry = plan.geometry;
    record.pagesPerBlock = geometry.pagesPerBlock;
    if (!ChipAnswers(log, job.chip, geometry.rowMax)) return {JobStatus::NoAnswer};
    if (options.includeBad)
        log.RedThenBlue("Warning, factory-marked bad blocks are erased too: their marks will be lost for good\n");

    const int perBlock = geometry.pagesPerBlock;
    ProgressScope progress(job.progress, "<<Begin Erace NAND>>", "Erasing...", geometry.rowMax,
                           (plan.rows.last - plan.rows.first) / perBlock + 1, 0);
    log.Put("\nStart Erace NAND\n");
    log.Red();

    // Every block's mark is read before its erase, even when marked blocks
    // are to be erased too: the log then names each mark that is lost.
    WalkRules rules;
    rules.blockPages = perBlock;
    rules.readMarks = true;
    rules.bad = options.includeBad ? BadBlockMode::Raw : BadBlockMode::Skip;
    rules.visits = Visits::EraseRows;
    rules.updateEvery = 1;
    // A chip that leaves R/B# low through two whole erase budgets in a row
    // has stopped answering; each further block would cost another 2^32
    // polls.
    rules.timeOuts.inARowToStop = 2;
    rules.timeOuts.stopLine = "Error, chip does not answer, erase stopped\n";
    BlockEraser eraser(job, log, plan, record, options);
    ChipWalk walk(job, log, geometry, plan.rows, rules, options.map);
    const Outcome walked = walk.Run(eraser);
    if (walked.status != JobStatus::Done) return walked;

    // Bad blocks are a result of the erase; a block the chip never finished
    // erasing is not, so the run does not end as a success.
    if (walk.TimeOuts() != 0) {
        log.Put("Error, erase commands timed out: ");
        log.Number("%d", walk.TimeOuts());
        log.Put("\n");
        log.Blue();
        return {JobStatus::ChipFailed};
    }
    log.Blue();
    log.Put("Erace Ok\n");
    return {eraser.failed ? JobStatus::ChipFailed : JobStatus::Done};
}
