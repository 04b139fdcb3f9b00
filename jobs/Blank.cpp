#include <algorithm>
#include <cstdint>
#include <vector>

#include "jobs/DumpJobs.h"

namespace {

// The progress dialog moves once every 1024 pages: a dialog update costs as
// much as reading many pages over the bus.
constexpr int PAGES_PER_PROGRESS_STEP = 1024;

int CountNotErased(const uint8_t* bytes, int32_t length) {
    int count = 0;
    for (int32_t i = 0; i < length; ++i) count += bytes[i] != 0xFF;
    return count;
}

}  // namespace

Outcome RunBlankCheck(JobContext& job, const Geometry& geometry, const EraseRecord& record,
                      const BlankOptions& options) {
    JobLog log(job.log);
    const int32_t rowMax = geometry.rowMax;
    RowRange rows;
    const JobStatus ready =
        CheckBeforeChip(log, job.chip, geometry, GeometryUse::BlankCheck, options.skipMarked, options.rows, rows);
    if (ready != JobStatus::Done) return {ready};

    const int32_t pageTotal = static_cast<int32_t>(geometry.PageTotal());
    // The block size and the bad-block list come from the last erase run; with
    // none since start-up there is no block size, and every page is read.
    const int32_t perBlock = record.pagesPerBlock;
    const bool skipBadBlocks = perBlock > 0;
    // Marks are found by the geometry's own block size.
    const int32_t markBlock = options.skipMarked ? geometry.pagesPerBlock : 0;
    const int32_t mapBlock = geometry.pagesPerBlock > 0 ? geometry.pagesPerBlock : perBlock;
    auto note = [&](int64_t p, BlockState state) {
        if (options.map && mapBlock > 0) options.map->Note(p / mapBlock, state);
    };

    std::vector<uint8_t> page(PAGE_BUFFER_BYTES);
    ProgressScope progress(job.progress, "<<Begin Check BLANK>>", "Blanking...", rowMax,
                           rows.last - rows.first + 1, pageTotal);
    log.Put("Start check blank\n");
    log.Red();
    if (!skipBadBlocks && markBlock == 0) log.Put("No block size from an erase run, no bad block skipped\n");
    const int32_t startMs = NandBus::NowMs();

    bool dirty = false;
    int listPosition = 0;
    // Entries below the range's first block are behind the walk already.
    if (skipBadBlocks) {
        while (listPosition < record.badBlocksWritten && record.badBlocks[listPosition] < rows.first / perBlock)
            ++listPosition;
    }
    for (int64_t p = rows.first; p <= rows.last; ++p) {
        if (skipBadBlocks) {
            // The walk meets every block at its first page, and a single erase
            // run lists the bad blocks in ascending order.
            while (listPosition < record.badBlocksWritten && record.badBlocks[listPosition] == p / perBlock) {
                log.Put("Skip bad block [");
                log.Number("%d", static_cast<long>(p / perBlock));
                log.Put("]");
                log.Put("\n");
                ++listPosition;
                p += perBlock;
                // No skip line for a block that lies beyond the walk.
                if (p > rows.last) break;
            }
            if (p > rows.last) break;
        }
        if (markBlock > 0 && (p % markBlock == 0 || p == rows.first)) {
            const int64_t block = p / markBlock;
            const MarkCheck mark = ReadBlockMark(job.chip, geometry, block);
            if (mark == MarkCheck::NoAnswer) {
                log.Put("R/B, break low, ERR_RB_L\n");
                log.Blue();
                return {JobStatus::NoAnswer, p};
            }
            if (mark == MarkCheck::Marked) {
                note(p, BlockState::Marked);
                log.Put("Skip bad block [");
                log.Number("%d", static_cast<long>(block));
                log.Put("]");
                log.Put("\n");
                p = (block + 1) * markBlock - 1;  // the loop moves on to the next block
                job.progress.Tick(std::min(p, rows.last) - rows.first + 1);
                continue;
            }
        }
        const int16_t result = job.chip.ReadPage(static_cast<uint32_t>(p), static_cast<uint32_t>(rowMax), pageTotal,
                                                 page.data());
        if (result == ERR_RB_L) {
            log.Put("R/B, break low, ERR_RB_L\n");
            log.Blue();
            return {JobStatus::NoAnswer, p};
        }
        if (result == NAND_OK) {
            if (CountNotErased(page.data(), pageTotal) != 0) {
                dirty = true;
                note(p, BlockState::NotBlank);
                log.Put("Error, check blank in page [");
                log.Number("%d", static_cast<long>(p));
                log.Put("]");
                log.Put("\n");
            }
            note(p, BlockState::Good);
            if (p % PAGES_PER_PROGRESS_STEP == 1) job.progress.Update(static_cast<int32_t>(p));
        }
        job.progress.Tick(p - rows.first + 1);
        if (job.progress.StopRequested() && p < rows.last) {
            log.Blue();
            return {JobStatus::Interrupted, p + 1};
        }
    }

    log.Blue();
    log.EndTime(NandBus::ElapsedMs(startMs), true);
    log.Put("Check blank end\n");
    return {dirty ? JobStatus::ChipFailed : JobStatus::Done};
}
