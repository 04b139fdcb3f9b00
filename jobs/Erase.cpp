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

Outcome RunErase(JobContext& job, const Geometry& geometry, EraseRecord& record, const RowRange& asked) {
    JobLog log(job.log);
    record.pagesPerBlock = static_cast<int16_t>(geometry.pagesPerBlock);
    Geometry checked = geometry;
    checked.pagesPerBlock = record.pagesPerBlock;
    if (!AcceptGeometry(log, checked, GeometryUse::Erase)) return {JobStatus::Refused};
    const int perBlock = record.pagesPerBlock;
    const int32_t rowMax = geometry.rowMax;
    RowRange rows;
    if (!RowsOnChip(asked, rowMax, rows)) {
        log.RedThenBlue("Error, the range lies beyond the chip\n");
        return {JobStatus::Refused};
    }
    if (!ChipAnswers(log, job.chip, rowMax)) return {JobStatus::NoAnswer};

    ProgressScope progress(job.progress, "<<Begin Erace NAND>>", "Erasing...", rowMax,
                           (rows.last - rows.first) / perBlock + 1, 0);
    log.Put("\nStart Erace NAND\n");
    log.Red();

    int writeIndex = 0;
    int timeouts = 0;
    int timeoutsInARow = 0;
    bool failed = false;
    for (int64_t r = FirstEraseRow(rows.first, perBlock); r <= rows.last;
         r = NextEraseRow(r, rows.first, perBlock)) {
        const int32_t row = static_cast<int32_t>(r);
        const int32_t result = job.chip.EraseBlock(row, rowMax);
        if (result == ERR_RB_L) {
            log.Put("R/B, break low, ERR_RB_L\n");
            ++timeouts;
            if (++timeoutsInARow >= TIMEOUTS_IN_A_ROW_TO_STOP) {
                log.Put("Error, chip does not answer, erase stopped\n");
                log.Blue();
                return {JobStatus::NoAnswer, row / perBlock};
            }
        } else {
            timeoutsInARow = 0;
        }
        if (result == NAND_STATUS_FAIL) {
            failed = true;
            const int32_t block = row / perBlock;
            log.Put("Error Erace bad Block [");
            log.Number("%d", block);
            log.Put("]\n");
            record.badBlocks[writeIndex] = block;
            if (writeIndex + 1 > record.badBlocksWritten) record.badBlocksWritten = writeIndex + 1;
            writeIndex = (writeIndex + 1) % BAD_BLOCK_SLOTS;
        }
        job.progress.Update(row);
        job.progress.Tick((r - rows.first) / perBlock + 1);
        if (job.progress.StopRequested() && r + perBlock <= rows.last) {
            log.Blue();
            return {JobStatus::Interrupted, row / perBlock + 1};
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
