#include <vector>

#include "jobs/DumpJobs.h"

namespace {

// A chip that has timed out this many programs in a row does not answer;
// going on would only spend the full ready budget on every page left.
constexpr int TIMEOUTS_BEFORE_GIVING_UP = 8;

bool AllErased(const uint8_t* bytes, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        if (bytes[i] != 0xFF) return false;
    }
    return true;
}

}  // namespace

Outcome RunWrite(JobContext& job, const Geometry& geometry, PathChooser& chooser, const RowRange& asked) {
    JobLog log(job.log);
    if (!AcceptGeometry(log, geometry, GeometryUse::WriteOrVerify)) return {JobStatus::Refused};
    RowRange rows;
    if (!RowsOnChip(asked, geometry.rowMax, rows)) {
        log.RedThenBlue("Error, the range lies beyond the chip\n");
        return {JobStatus::Refused};
    }
    if (!ChipAnswers(log, job.chip, geometry.rowMax)) return {JobStatus::NoAnswer};
    DumpFile file;
    const JobStatus opened = OpenDumpFile(log, chooser, WRITE_JOB, file);
    if (opened != JobStatus::Done) return {opened};
    log.Put("\nStart Write Page \n");
    log.Red();
    const int32_t pageTotal = static_cast<int32_t>(geometry.PageTotal());
    const uint32_t rowLimit = static_cast<uint32_t>(geometry.rowMax);
    ProgressScope progress(job.progress, "<<Begin Write NAND>>", "Writing...", geometry.rowMax,
                           rows.last - rows.first + 1, pageTotal);

    std::vector<uint8_t> page(PAGE_BUFFER_BYTES);
    int32_t failedPages = 0;
    int timeoutsInARow = 0;
    const int32_t startMs = NandBus::NowMs();
    for (int64_t k = rows.first; k <= rows.last; ++k) {
        if (!ReadDumpRecord(log, file, pageTotal, page.data(), k - rows.first)) return {JobStatus::FileError, k};
        // An erased page already holds all 0xFF: programming it would only
        // spend bus time and a program cycle of the block.
        if (!AllErased(page.data(), pageTotal)) {
            const int16_t result = job.chip.ProgramPage(static_cast<uint32_t>(k), rowLimit, pageTotal, page.data());
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
