#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "jobs/DumpJobs.h"

namespace {

// Every listed difference costs a dozen appends to the log pane (about
// 1.8 ms each line); an erased chip against a full dump would list for days.
constexpr uint64_t LISTED_DIFFERENCES = 1000;

void LogByte(JobLog& log, uint8_t value) { log.Number(value <= 0x0F ? "0x0%X" : "0x%X", value); }

void LogMismatch(JobLog& log, int64_t k, int64_t record, int32_t pageTotal, int32_t i, uint8_t chipByte,
                 uint8_t fileByte) {
    log.Put("Error, verify in page [");
    log.Number("%d", static_cast<long>(k));
    log.Put("], ");
    log.Put("address = ");
    // The address is the byte's offset in the dump file, which passes 4 GiB
    // on the largest chips.
    const unsigned long long address = static_cast<unsigned long long>(record) *
                                           static_cast<unsigned long long>(pageTotal) +
                                       static_cast<unsigned>(i);
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", address);
    log.Put(text);
    log.Put(", nand[");
    LogByte(log, chipByte);
    log.Put("], ");
    log.Put("file[");
    LogByte(log, fileByte);
    log.Put("]");
    log.Put("\n");
}

}  // namespace

Outcome RunVerify(JobContext& job, const Geometry& geometry, PathChooser& chooser, const VerifyOptions& options) {
    JobLog log(job.log);
    const bool readMarks = options.bad != BadBlockMode::Raw || options.map != nullptr;
    RowRange rows;
    const JobStatus ready =
        CheckBeforeChip(log, job.chip, geometry, GeometryUse::WriteOrVerify, readMarks, options.rows, rows);
    if (ready != JobStatus::Done) return {ready};
    DumpFile file;
    const JobStatus opened = OpenDumpFile(log, chooser, VERIFY_JOB, file);
    if (opened != JobStatus::Done) return {opened};
    const int32_t pageTotal = static_cast<int32_t>(geometry.PageTotal());
    const uint32_t rowLimit = static_cast<uint32_t>(geometry.rowMax);
    ProgressScope progress(job.progress, "<<Begin Verify NAND>>", "Verifying...", geometry.rowMax,
                           rows.last - rows.first + 1, pageTotal);
    log.Put("Start verify\n");
    log.Red();

    std::vector<uint8_t> chipPage(PAGE_BUFFER_BYTES);
    std::vector<uint8_t> filePage(PAGE_BUFFER_BYTES);
    uint64_t differences = 0;
    const int32_t perBlock = geometry.pagesPerBlock;
    // In skip mode the file holds the good blocks only, one after another,
    // and may end before the chip does (a write in skip mode stops there).
    const bool skipMode = options.bad == BadBlockMode::Skip;
    const int64_t fileRecords = (file.Size() + pageTotal - 1) / pageTotal;
    int64_t record = 0;
    bool padding = false;  // the block in hand is marked and compared as erased
    const int32_t startMs = NandBus::NowMs();
    for (int64_t k = rows.first; k <= rows.last; ++k) {
        if (readMarks && (k % perBlock == 0 || k == rows.first)) {
            const int64_t block = k / perBlock;
            const MarkCheck mark = ReadBlockMark(job.chip, geometry, block);
            if (mark == MarkCheck::NoAnswer) {
                log.Put("R/B, break low, ERR_RB_L\n");
                log.Blue();
                return {JobStatus::NoAnswer, k};
            }
            const bool marked = mark == MarkCheck::Marked;
            if (options.map) options.map->Note(block, marked ? BlockState::Marked : BlockState::Good);
            padding = marked && options.bad == BadBlockMode::Pad;
            if (marked && skipMode) {
                log.Put("Skip bad block [");
                log.Number("%d", static_cast<long>(block));
                log.Put("]\n");
                k = std::min<int64_t>((block + 1) * perBlock - 1, rows.last);
                job.progress.Tick(k - rows.first + 1);
                continue;
            }
            if (padding) {
                log.Put("Pad bad block [");
                log.Number("%d", static_cast<long>(block));
                log.Put("]\n");
            }
            if (marked && options.bad == BadBlockMode::Keep) {
                // A write in keep mode left the block as it was: its records
                // are passed over, offsets kept.
                const int64_t last = std::min<int64_t>((block + 1) * perBlock - 1, rows.last);
                for (int64_t p = k; p <= last; ++p, ++record)
                    if (!ReadDumpRecord(log, file, pageTotal, filePage.data(), record)) return {JobStatus::FileError, p};
                log.Put("Keep bad block [");
                log.Number("%d", static_cast<long>(block));
                log.Put("]: not compared\n");
                k = last;
                job.progress.Tick(k - rows.first + 1);
                continue;
            }
        }
        if (skipMode && record == fileRecords) break;  // the whole file is checked
        if (padding) {
            std::memset(chipPage.data(), 0xFF, static_cast<size_t>(pageTotal));
        } else if (job.chip.ReadPage(static_cast<uint32_t>(k), rowLimit, pageTotal, chipPage.data()) != NAND_OK) {
            log.Put("R/B, break low, ERR_RB_L\n");
            log.Blue();
            return {JobStatus::NoAnswer, k};
        }
        if (!ReadDumpRecord(log, file, pageTotal, filePage.data(), record)) return {JobStatus::FileError, k};
        if (std::memcmp(chipPage.data(), filePage.data(), static_cast<size_t>(pageTotal)) != 0) {
            if (options.map && perBlock > 0) options.map->Note(k / perBlock, BlockState::Differs);
            for (int32_t i = 0; i < pageTotal; ++i) {
                if (chipPage[i] == filePage[i]) continue;
                ++differences;
                if (differences <= LISTED_DIFFERENCES) {
                    LogMismatch(log, k, record, pageTotal, i, chipPage[i], filePage[i]);
                } else if (differences == LISTED_DIFFERENCES + 1) {
                    log.Put("Error, more than 1000 differences: the rest are counted but not listed\n");
                }
            }
        }
        ++record;
        if (k % 1024 == 1) job.progress.Update(static_cast<int32_t>(k));
        job.progress.Tick(k - rows.first + 1);
        if (job.progress.StopRequested() && k < rows.last) {
            log.Blue();
            return {JobStatus::Interrupted, k + 1};
        }
    }
    const int32_t elapsedMs = NandBus::ElapsedMs(startMs);
    if (differences > LISTED_DIFFERENCES) {
        log.Put("Error, ");
        log.Count(differences);
        log.Put(" bytes differ in all\n");
    }
    log.Blue();
    log.EndTime(elapsedMs, true);
    log.Put("Verify end\n");
    return {differences != 0 ? JobStatus::ChipFailed : JobStatus::Done};
}
