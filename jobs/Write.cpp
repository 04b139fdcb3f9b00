#include <algorithm>
#include <cstdio>
#include <vector>

#include "jobs/DumpJobs.h"

namespace {

// A chip that has timed out this many programs in a row does not answer;
// going on would only spend the full ready budget on every page left.
constexpr int TIMEOUTS_BEFORE_GIVING_UP = 8;

int32_t CountErased(const uint8_t* bytes, int32_t count) {
    int32_t erased = 0;
    for (int32_t i = 0; i < count; ++i) erased += bytes[i] == 0xFF;
    return erased;
}

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

bool AllErased(const uint8_t* bytes, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        if (bytes[i] != 0xFF) return false;
    }
    return true;
}

}  // namespace

Outcome CheckSkipWriteFits(JobContext& job, const Geometry& geometry, const RowRange& asked, int64_t fileBytes) {
    JobLog log(job.log);
    if (const char* refusal = MarkGeometryRefusal(geometry)) {
        log.RedThenBlue(refusal);
        return {JobStatus::Refused};
    }
    RowRange rows;
    if (!RowsOnChip(asked, geometry.rowMax, rows)) {
        log.RedThenBlue("Error, the range lies beyond the chip\n");
        return {JobStatus::Refused};
    }
    std::vector<bool> marked;
    if (ReadMarks(job.chip, geometry, rows, marked) == MarkCheck::NoAnswer) {
        log.RedThenBlue("R/B, break low, ERR_RB_L \n");
        return {JobStatus::NoAnswer, rows.first};
    }
    const int64_t pageTotal = geometry.PageTotal();
    if (!GoodPagesHold(log, (fileBytes + pageTotal - 1) / pageTotal, GoodPages(geometry, rows, marked)))
        return {JobStatus::ChipFailed};
    return {JobStatus::Done};
}

Outcome RunWrite(JobContext& job, const Geometry& geometry, PathChooser& chooser, const WriteOptions& options) {
    JobLog log(job.log);
    const bool readMarks = options.bad != BadBlockMode::Raw || options.map != nullptr;
    RowRange rows;
    const JobStatus ready =
        CheckBeforeChip(log, job.chip, geometry, GeometryUse::WriteOrVerify, readMarks, options.rows, rows);
    if (ready != JobStatus::Done) return {ready};
    DumpFile file;
    const JobStatus opened = OpenDumpFile(log, chooser, WRITE_JOB, file);
    if (opened != JobStatus::Done) return {opened};
    const int32_t pageTotal = static_cast<int32_t>(geometry.PageTotal());
    const uint32_t rowLimit = static_cast<uint32_t>(geometry.rowMax);
    const int32_t perBlock = geometry.pagesPerBlock;

    // The marks of the range, read before the first page is programmed: in
    // skip mode a chip with too few good blocks for the file is refused
    // while it is still as it was.
    std::vector<bool> marked;
    const int64_t firstBlock = readMarks ? rows.first / perBlock : 0;
    if (readMarks && ReadMarks(job.chip, geometry, rows, marked) == MarkCheck::NoAnswer) {
        log.RedThenBlue("R/B, break low, ERR_RB_L \n");
        return {JobStatus::NoAnswer, rows.first};
    }
    auto isMarked = [&](int64_t k) { return readMarks && marked[static_cast<size_t>(k / perBlock - firstBlock)]; };
    const bool skipMode = options.bad == BadBlockMode::Skip;
    const int64_t fileRecords = (file.Size() + pageTotal - 1) / pageTotal;
    if (skipMode && !GoodPagesHold(log, fileRecords, GoodPages(geometry, rows, marked))) return {JobStatus::ChipFailed};

    log.Put("\nStart Write Page \n");
    log.Red();
    ProgressScope progress(job.progress, "<<Begin Write NAND>>", "Writing...", geometry.rowMax,
                           rows.last - rows.first + 1, pageTotal);

    std::vector<uint8_t> page(PAGE_BUFFER_BYTES);
    int32_t failedPages = 0;
    int timeoutsInARow = 0;
    int64_t record = 0;
    const int32_t startMs = NandBus::NowMs();
    for (int64_t k = rows.first; k <= rows.last; ++k) {
        if (readMarks && (k % perBlock == 0 || k == rows.first)) {
            const int64_t block = k / perBlock;
            if (options.map) options.map->Note(block, isMarked(k) ? BlockState::Marked : BlockState::Good);
            if (isMarked(k) && options.bad != BadBlockMode::Raw) {
                const int64_t last = std::min<int64_t>((block + 1) * perBlock - 1, rows.last);
                if (skipMode) {
                    log.Put("Skip bad block [");
                    log.Number("%d", static_cast<long>(block));
                    log.Put("]\n");
                } else {
                    // Keep: the block's records are passed over, and what
                    // they held is counted so that nothing is lost unseen.
                    uint64_t leftOut = 0;
                    for (int64_t p = k; p <= last; ++p, ++record) {
                        if (!ReadDumpRecord(log, file, pageTotal, page.data(), record))
                            return {JobStatus::FileError, p};
                        leftOut += static_cast<uint64_t>(pageTotal - CountErased(page.data(), pageTotal));
                    }
                    log.Put("Keep bad block [");
                    log.Number("%d", static_cast<long>(block));
                    log.Put("]: ");
                    log.Count(leftOut);
                    log.Put(" bytes of the file that were not 0xFF left out\n");
                }
                k = last;
                job.progress.Tick(k - rows.first + 1);
                continue;
            }
        }
        if (skipMode && record == fileRecords) break;  // the whole file is on the chip
        if (!ReadDumpRecord(log, file, pageTotal, page.data(), record)) return {JobStatus::FileError, k};
        ++record;
        // An erased page already holds all 0xFF: programming it would only
        // spend bus time and a program cycle of the block.
        if (!AllErased(page.data(), pageTotal)) {
            const int16_t result = job.chip.ProgramPage(static_cast<uint32_t>(k), rowLimit, pageTotal, page.data());
            if (result != NAND_OK && options.map && perBlock > 0) options.map->Note(k / perBlock, BlockState::Failed);
            if (result == NAND_OK) {
                timeoutsInARow = 0;
                if (k % 2048 == 1) job.progress.Update(static_cast<int32_t>(k));
            } else if (result == NAND_STATUS_FAIL) {
                timeoutsInARow = 0;
                ++failedPages;
                log.Put("Error programm page [");
                log.Number("%d", static_cast<long>(k / 64));
                log.Put("] \n");
            } else {
                ++failedPages;
                log.Put("R/B, break low, ERR_RB_L \n");
                if (++timeoutsInARow == TIMEOUTS_BEFORE_GIVING_UP) {
                    log.Put("Error, the chip does not answer (R/B# stays low), write stopped\n");
                    log.Blue();
                    return {JobStatus::NoAnswer, k + 1};
                }
            }
        }
        job.progress.Tick(k - rows.first + 1);
        if (job.progress.StopRequested() && k < rows.last) {
            log.Blue();
            return {JobStatus::Interrupted, k + 1};
        }
    }
    log.EndTime(NandBus::ElapsedMs(startMs), true);
    if (failedPages == 0) {
        log.Blue();
        log.Put("Programm Page OK\n");
        return {JobStatus::Done};
    }
    log.Put("Error, ");
    log.Number("%d", failedPages);
    log.Put(" pages failed to program\n");
    log.Blue();
    return {JobStatus::ChipFailed};
}
