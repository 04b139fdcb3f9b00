#include <cstdint>

#include "jobs/DumpJobs.h"

namespace {

// A chip that leaves R/B# low through two whole erase budgets in a row has
// stopped answering; each further block would cost another 2^32 polls.
constexpr int TIMEOUTS_IN_A_ROW_TO_STOP = 2;

// The rows that receive an erase command over the whole chip: row 0, then
// the second page of every block, rows 1, P + 1, 2P + 1, ... The chip ignores
// the page bits of an erase address, so block 0 is erased twice and every
// other block once. With one page per block no row but 0 has the remainder 1.
// A range that starts past block 0 starts at its first block's second page.
int64_t FirstEraseRow(int64_t first, int perBlock) {
    if (first == 0) return 0;
    return perBlock > 1 ? first + 1 : first;
}

int64_t NextEraseRow(int64_t row, int64_t first, int perBlock) {
    if (row == 0 && first == 0) return perBlock > 1 ? 1 : INT64_MAX;
    return row + perBlock;
}

}  // namespace

Outcome RunErase(JobContext& job, const Geometry& geometry, EraseRecord& record, const EraseOptions& options) {
    JobLog log(job.log);
    record.pagesPerBlock = static_cast<int16_t>(geometry.pagesPerBlock);
    Geometry checked = geometry;
    checked.pagesPerBlock = record.pagesPerBlock;
    const int perBlock = record.pagesPerBlock;
    const int32_t rowMax = geometry.rowMax;
    // Every block's mark is read before its erase, even when marked blocks
    // are to be erased too: the log then names each mark that is lost.
    RowRange rows;
    const JobStatus ready = CheckBeforeChip(log, job.chip, checked, GeometryUse::Erase, true, options.rows, rows);
    if (ready != JobStatus::Done) return {ready};
    if (options.includeBad)
        log.RedThenBlue("Warning, factory-marked bad blocks are erased too: their marks will be lost for good\n");

    ProgressScope progress(job.progress, "<<Begin Erace NAND>>", "Erasing...", rowMax,
                           (rows.last - rows.first) / perBlock + 1, 0);
    log.Put("\nStart Erace NAND\n");
    log.Red();

    int writeIndex = 0;
    auto recordBadBlock = [&](int32_t block) {
        record.badBlocks[writeIndex] = block;
        if (writeIndex + 1 > record.badBlocksWritten) record.badBlocksWritten = writeIndex + 1;
        writeIndex = (writeIndex + 1) % BAD_BLOCK_SLOTS;
    };
    auto note = [&](int64_t block, BlockState state) {
        if (options.map) options.map->Note(block, state);
    };
    int timeouts = 0;
    int timeoutsInARow = 0;
    bool failed = false;
    // Block 0 gets two erase commands; its mark is read before the first,
    // and a block left alone for its mark is left alone for both.
    int64_t checkedBlock = -1;
    bool checkedBlockSkipped = false;
    for (int64_t r = FirstEraseRow(rows.first, perBlock); r <= rows.last;
         r = NextEraseRow(r, rows.first, perBlock)) {
        const int32_t row = static_cast<int32_t>(r);
        const int32_t block = row / perBlock;
        int32_t result = NAND_OK;
        bool skip = false;
        if (block == checkedBlock) {
            skip = checkedBlockSkipped;
        } else {
            const MarkCheck mark = ReadBlockMark(job.chip, checked, block);
            checkedBlock = block;
            if (mark == MarkCheck::NoAnswer) {
                // A mark that cannot be read may be there: the block stays.
                result = ERR_RB_L;
                skip = true;
                checkedBlock = -1;
            } else if (mark == MarkCheck::Marked) {
                note(block, BlockState::Marked);
                if (options.includeBad) {
                    log.Put("Erasing factory-marked block [");
                    log.Number("%d", block);
                    log.Put("]\n");
                } else {
                    log.Put("Skip bad block [");
                    log.Number("%d", block);
                    log.Put("]\n");
                    recordBadBlock(block);
                    skip = true;
                }
            }
            checkedBlockSkipped = skip;
        }
        if (!skip) {
            note(block, BlockState::Good);
            result = job.chip.EraseBlock(row, rowMax);
        }
        if (result == ERR_RB_L) {
            log.Put("R/B, break low, ERR_RB_L\n");
            ++timeouts;
            if (++timeoutsInARow >= TIMEOUTS_IN_A_ROW_TO_STOP) {
                log.Put("Error, chip does not answer, erase stopped\n");
                log.Blue();
                return {JobStatus::NoAnswer, block};
            }
        } else if (!skip) {
            timeoutsInARow = 0;
        }
        if (result == NAND_STATUS_FAIL) {
            failed = true;
            note(block, BlockState::Failed);
            log.Put("Error Erace bad Block [");
            log.Number("%d", block);
            log.Put("]\n");
            recordBadBlock(block);
            if (options.markBad) {
                // Marked now, the block is left alone from here on, block
                // 0's second command included.
                checkedBlockSkipped = true;
                if (WriteBlockMark(job.chip, checked, block) == NAND_OK) {
                    log.Put("Marked bad block [");
                    log.Number("%d", block);
                    log.Put("]\n");
                } else {
                    log.Put("Error, could not mark bad block [");
                    log.Number("%d", block);
                    log.Put("]\n");
                }
            }
        }
        job.progress.Update(row);
        job.progress.Tick((r - rows.first) / perBlock + 1);
        if (job.progress.StopRequested() && r + perBlock <= rows.last) {
            log.Blue();
            return {JobStatus::Interrupted, block + 1};
        }
    }

    // Bad blocks are a result of the erase; a block the chip never finished
    // erasing is not, so the run does not end as a success.
    if (timeouts != 0) {
        log.Put("Error, erase commands timed out: ");
        log.Number("%d", timeouts);
        log.Put("\n");
        log.Blue();
        return {JobStatus::ChipFailed};
    }
    log.Blue();
    log.Put("Erace Ok\n");
    return {failed ? JobStatus::ChipFailed : JobStatus::Done};
}
