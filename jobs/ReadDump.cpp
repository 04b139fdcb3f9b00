#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jobs/DumpJobs.h"

namespace {

// What several reads of one page came to.
struct PageReads {
    int reads = 0;
    int differingBytes = 0;  // positions where not every read agreed
    bool anyTwoAlike = false;
};

// Reads a page `passes` times, and up to MAX_READS times while the reads
// disagree; leaves each byte's most frequent value in page. A weak cell
// that flips now and then is outvoted; a page that never reads the same
// twice is reported, and its dump is not to be trusted.
int16_t ReadSettled(ChipPort& chip, uint32_t row, uint32_t rowLimit, int32_t length, int passes, uint8_t* page,
                    std::vector<uint8_t>& reads, PageReads& result) {
    const size_t n = static_cast<size_t>(length);
    reads.resize(n * MAX_READS);
    result = PageReads{};
    bool allAlike = true;
    for (int r = 0; r < MAX_READS; ++r) {
        if (r >= passes && allAlike) break;
        uint8_t* copy = &reads[n * static_cast<size_t>(r)];
        const int16_t status = chip.ReadPage(row, rowLimit, length, copy);
        if (status != NAND_OK) return status;
        ++result.reads;
        if (r > 0 && std::memcmp(copy, reads.data(), n) != 0) allAlike = false;
    }
    if (allAlike) {
        std::memcpy(page, reads.data(), n);
        result.anyTwoAlike = result.reads > 1;
        return NAND_OK;
    }
    for (int a = 0; a < result.reads && !result.anyTwoAlike; ++a)
        for (int b = a + 1; b < result.reads; ++b)
            if (std::memcmp(&reads[n * a], &reads[n * b], n) == 0) {
                result.anyTwoAlike = true;
                break;
            }
    for (size_t i = 0; i < n; ++i) {
        int bestCount = 0;
        uint8_t best = reads[i];
        bool differs = false;
        for (int a = 0; a < result.reads; ++a) {
            const uint8_t value = reads[n * a + i];
            if (value != reads[i]) differs = true;
            int count = 0;
            for (int b = 0; b < result.reads; ++b) count += reads[n * b + i] == value;
            if (count > bestCount) {
                bestCount = count;
                best = value;
            }
        }
        page[i] = best;
        result.differingBytes += differs;
    }
    return NAND_OK;
}

}  // namespace

Outcome RunReadDump(JobContext& job, const Geometry& geometry, PathChooser& chooser, const ReadOptions& options) {
    JobLog log(job.log);
    const bool readMarks = options.bad != BadBlockMode::Raw || options.map != nullptr;
    RowRange rows;
    const JobStatus ready =
        CheckBeforeChip(log, job.chip, geometry, GeometryUse::ReadDump, readMarks, options.rows, rows);
    if (ready != JobStatus::Done) return {ready};
    DumpFile file;
    const JobStatus opened = OpenDumpFile(log, chooser, READ_DUMP_JOB, file);
    if (opened != JobStatus::Done) return {opened};

    const int32_t pageTotal = static_cast<int32_t>(geometry.PageTotal());
    const uint32_t rowLimit = static_cast<uint32_t>(geometry.rowMax);
    ProgressScope progress(job.progress, "<<Begin Read Dump>>", "Reading...", geometry.rowMax,
                           rows.last - rows.first + 1, pageTotal);
    log.Put("\nStart Read Pages\n");
    log.Red();

    std::vector<uint8_t> page(PAGE_BUFFER_BYTES);
    std::vector<uint8_t> reads;
    const size_t recordBytes = static_cast<size_t>(pageTotal);
    const int passes = options.passes < 1 ? 1 : options.passes;
    int64_t unstablePages = 0;
    int64_t unsettledPages = 0;
    const int32_t perBlock = geometry.pagesPerBlock;
    const int32_t startMs = NandBus::NowMs();
    for (int64_t k = rows.first; k <= rows.last; ++k) {
        if (readMarks && (k % perBlock == 0 || k == rows.first)) {
            const int64_t block = k / perBlock;
            const MarkCheck mark = ReadBlockMark(job.chip, geometry, block);
            if (mark == MarkCheck::NoAnswer) {
                log.Put("R/B, break low, ERR_RB_L\n");
                file.Abandon();
                return {JobStatus::NoAnswer, k};
            }
            if (options.map) options.map->Note(block, mark == MarkCheck::Marked ? BlockState::Marked : BlockState::Good);
            if (mark == MarkCheck::Marked && options.bad != BadBlockMode::Raw) {
                const int64_t last = std::min<int64_t>((block + 1) * perBlock - 1, rows.last);
                const bool pad = options.bad == BadBlockMode::Pad;
                log.Put(pad ? "Pad bad block [" : "Skip bad block [");
                log.Number("%d", static_cast<long>(block));
                log.Put("]\n");
                if (pad) {
                    // The block's place in the dump is kept, erased.
                    std::memset(page.data(), 0xFF, recordBytes);
                    for (int64_t p = k; p <= last; ++p) {
                        if (!file.Append(page.data(), recordBytes)) {
                            const int error = errno;
                            file.Abandon();
                            LogDumpWriteError(log, error);
                            return {JobStatus::FileError, p};
                        }
                    }
                }
                k = last;
                job.progress.Tick(k - rows.first + 1);
                continue;
            }
        }
        int16_t status;
        if (passes == 1) {
            status = job.chip.ReadPage(static_cast<uint32_t>(k), rowLimit, pageTotal, page.data());
        } else {
            PageReads result;
            status = ReadSettled(job.chip, static_cast<uint32_t>(k), rowLimit, pageTotal, passes, page.data(), reads,
                                 result);
            if (status == NAND_OK && result.differingBytes != 0) {
                ++unstablePages;
                log.Put("Unstable page [");
                log.Number("%d", static_cast<long>(k));
                log.Put("]: ");
                log.Number("%d", result.differingBytes);
                log.Put(result.differingBytes == 1 ? " byte differed in " : " bytes differed in ");
                log.Number("%d", result.reads);
                log.Put(result.anyTwoAlike ? " reads\n" : " reads, no two alike\n");
                if (!result.anyTwoAlike) ++unsettledPages;
            }
        }
        if (status != NAND_OK) {
            log.Put("R/B, break low, ERR_RB_L\n");
            file.Abandon();
            return {JobStatus::NoAnswer, k};
        }
        // A full disk or an I/O error leaves a dump that is not the chip.
        if (!file.Append(page.data(), recordBytes)) {
            const int error = errno;
            file.Abandon();
            LogDumpWriteError(log, error);
            return {JobStatus::FileError, k};
        }
        if (k % 1024 == 1) job.progress.Update(static_cast<int32_t>(k));
        job.progress.Tick(k - rows.first + 1);
        if (job.progress.StopRequested() && k < rows.last) {
            // The old file stays as it was: a dump of part of the chip is
            // not the dump asked for. What was read is kept beside it, under
            // a name that says so.
            std::string kept;
            if (!file.KeepPartial(kept)) {
                LogDumpWriteError(log, errno);
                return {JobStatus::FileError, k + 1};
            }
            log.Put("Pages " + std::to_string(rows.first) + " to " + std::to_string(k) + " kept in " + kept +
                    ", the file asked for left as it was\n");
            log.Blue();
            return {JobStatus::Interrupted, k + 1};
        }
    }
    const int32_t elapsedMs = NandBus::ElapsedMs(startMs);
    // The last records may still sit in the stdio buffer: only a clean close
    // proves that the dump is whole.
    if (!file.Commit()) {
        LogDumpWriteError(log, errno);
        return {JobStatus::FileError};
    }
    if (unstablePages != 0) {
        log.Number("%d", static_cast<long>(unstablePages));
        log.Put(unstablePages == 1 ? " page read differently between reads, " : " pages read differently between reads, ");
        if (unsettledPages == 0) {
            log.Put("each byte kept as most reads gave it\n");
        } else {
            log.Number("%d", static_cast<long>(unsettledPages));
            log.Put(" of them never the same twice\n");
        }
    }
    log.EndTime(elapsedMs, false);
    log.Blue();
    if (unsettledPages != 0) {
        // Every byte of such a page is a vote among reads that all differ:
        // the dump is complete but not to be trusted.
        log.Put("Read Dump done, but pages never read the same twice\n");
        return {JobStatus::ChipFailed};
    }
    log.Put("Read Dump OK \n");
    return {JobStatus::Done};
}
