#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jobs/DumpJobs.h"
#include "jobs/Walk.h"

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

// What read dump does with the pages and blocks of the walk.
class DumpReader final : public DumpVisitor {
public:
    DumpReader(JobContext& job, JobLog& log, const JobPlan& plan, const ReadOptions& options, DumpFile& file)
        : DumpVisitor(job, log, plan, file), options_(options), passes_(options.passes < 1 ? 1 : options.passes),
          page_(PAGE_BUFFER_BYTES) {}

    Step Block(const BlockSpan& span, bool marked) override {
        if (!marked || options_.bad != BadBlockMode::Pad) return Step::Go;
        // The block's place in the dump is kept, erased.
        std::memset(page_.data(), 0xFF, static_cast<size_t>(pageTotal_));
        for (int64_t p = span.first; p <= span.last; ++p)
            if (!Append(p)) return Step::Stop;
        return Step::Passed;
    }

    Step Visit(int64_t k) override {
        int16_t status;
        if (passes_ == 1) {
            status = chip_.ReadPage(static_cast<uint32_t>(k), rowLimit_, pageTotal_, page_.data());
        } else {
            PageReads result;
            status = ReadSettled(chip_, static_cast<uint32_t>(k), rowLimit_, pageTotal_, passes_, page_.data(),
                                 reads_, result);
            if (status == NAND_OK && result.differingBytes != 0) Unstable(k, result);
        }
        if (status != NAND_OK) return Step::TimedOut;
        // A full disk or an I/O error leaves a dump that is not the chip.
        return Append(k) ? Step::Go : Step::Stop;
    }

    int64_t unstablePages = 0;
    int64_t unsettledPages = 0;

private:
    bool Append(int64_t k) {
        if (file_.Append(page_.data(), static_cast<size_t>(pageTotal_))) return true;
        const int error = errno;
        file_.Abandon();
        LogDumpWriteError(log_, error);
        ending = {JobStatus::FileError, k};
        return false;
    }

    void Unstable(int64_t k, const PageReads& result) {
        ++unstablePages;
        result_.unstablePages.Add(k);
        if (!result.anyTwoAlike) ++result_.unsettledPages;
        log_.Page("Unstable page [", k, "]: ");
        log_.Number("%d", result.differingBytes);
        log_.Put(result.differingBytes == 1 ? " byte differed in " : " bytes differed in ");
        log_.Number("%d", result.reads);
        log_.Put(result.anyTwoAlike ? " reads\n" : " reads, no two alike\n");
        if (!result.anyTwoAlike) ++unsettledPages;
    }

    const ReadOptions& options_;
    const int passes_;
    std::vector<uint8_t> page_;
    std::vector<uint8_t> reads_;
};

}  // namespace

Outcome RunReadDump(JobContext& job, const JobPlan& plan, PathChooser& chooser, const ReadOptions& options) {
    JobLog log(job.log, plan.layout);
    const Geometry& geometry = plan.geometry;
    if (!ChipAnswers(log, job.chip, geometry.rowMax)) return {JobStatus::NoAnswer};
    DumpFile file;
    const JobStatus opened = OpenDumpFile(log, chooser, FileUse::SaveDump, file);
    if (opened != JobStatus::Done) return {opened};

    ProgressScope progress(job.progress, "<<Begin Read Dump>>", "Reading...", geometry.rowMax,
                           plan.rows.last - plan.rows.first + 1, geometry.PageTotal());
    log.Put("\nStart Read Pages\n");
    log.Red();
    WalkRules rules;
    rules.blockPages = geometry.pagesPerBlock;
    rules.bad = options.bad;
    rules.readMarks = options.bad != BadBlockMode::Raw || options.map != nullptr;
    // An R/B# failure leaves the log red; an interrupt's line is red too.
    rules.timeOuts.blueOnStop = false;
    rules.blueOnInterrupt = false;
    DumpReader reader(job, log, plan, options, file);
    const int32_t startMs = NandBus::NowMs();
    const Outcome walked = ChipWalk(job, log, geometry, plan.rows, rules, options.map).Run(reader);
    if (walked.status == JobStatus::Interrupted) {
        // The old file stays as it was: a dump of part of the chip is not the
        // dump asked for. What was read is kept beside it, under a name that
        // says so.
        std::string kept;
        if (!file.KeepPartial(kept)) {
            LogDumpWriteError(log, errno);
            return {JobStatus::FileError, walked.stoppedAt};
        }
        log.Put("Pages " + std::to_string(plan.rows.first) + " to " + std::to_string(walked.stoppedAt - 1) +
                " kept in " + kept + ", the file asked for left as it was\n");
        log.Blue();
        return walked;
    }
    if (walked.status != JobStatus::Done) return walked;
    const int32_t elapsedMs = NandBus::ElapsedMs(startMs);
    // The last records may still sit in the stdio buffer: only a clean close
    // proves that the dump is whole.
    if (!file.Commit()) {
        LogDumpWriteError(log, errno);
        return {JobStatus::FileError};
    }
    if (reader.unstablePages != 0) {
        log.Number("%d", static_cast<long>(reader.unstablePages));
        log.Put(reader.unstablePages == 1 ? " page read differently between reads, "
                                          : " pages read differently between reads, ");
        if (reader.unsettledPages == 0) {
            log.Put("each byte kept as most reads gave it\n");
        } else {
            log.Number("%d", static_cast<long>(reader.unsettledPages));
            log.Put(" of them never the same twice\n");
        }
    }
    log.EndTime(elapsedMs, false);
    log.Blue();
    if (reader.unsettledPages != 0) {
        // Every byte of such a page is a vote among reads that all differ:
        // the dump is complete but not to be trusted.
        log.Put("Read Dump done, but pages never read the same twice\n");
        return {JobStatus::ChipFailed};
    }
    log.Put("Read Dump OK \n");
    return {JobStatus::Done};
}
