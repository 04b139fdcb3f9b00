#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jobs/DumpJobs.h"
#include "jobs/EccPages.h"
#include "jobs/Walk.h"

namespace {

// Every listed difference costs a dozen appends to the log pane (about
// 1.8 ms each line); an erased chip against a full dump would list for days.
constexpr uint64_t LISTED_DIFFERENCES = 1000;

void LogByte(JobLog& log, uint8_t value) { log.Number(value <= 0x0F ? "0x0%X" : "0x%X", value); }

// The address is the byte's offset in the dump file, which passes 4 GiB on
// the largest chips.
void LogMismatch(JobLog& log, int64_t k, uint64_t address, uint8_t chipByte, uint8_t fileByte) {
    log.Page("Error, verify in page [", k, "], ");
    log.Put("address = ");
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(address));
    log.Put(text);
    log.Put(", nand[");
    LogByte(log, chipByte);
    log.Put("], ");
    log.Put("file[");
    LogByte(log, fileByte);
    log.Put("]");
    log.Put("\n");
}

// What verify does with the pages and blocks of the walk.
class PageComparer final : public DumpVisitor {
public:
    PageComparer(JobContext& job, JobLog& log, const JobPlan& plan, const VerifyOptions& options, DumpFile& file)
        : DumpVisitor(job, log, plan, file), options_(options), chipPage_(PAGE_BUFFER_BYTES),
          filePage_(PAGE_BUFFER_BYTES) {}

    Step Block(const BlockSpan& span, bool marked) override {
        // The block in hand is marked and compared as erased.
        padding_ = marked && options_.bad == BadBlockMode::Pad;
        if (!marked || options_.bad != BadBlockMode::Keep) return Step::Go;
        // A write in keep mode left the block as it was: its records are
        // passed over, offsets kept.
        for (int64_t p = span.first; p <= span.last; ++p)
            if (!ReadRecord(filePage_.data(), p)) return Step::Stop;
        log_.Block("Keep bad block [", span.block, "]: not compared\n");
        return Step::Passed;
    }

    Step Visit(int64_t k) override {
        // In skip mode the file holds the good blocks only, one after
        // another, and may end before the chip does (a write in skip mode
        // stops there).
        if (options_.bad == BadBlockMode::Skip && FileDone()) return Step::Finished;
        if (padding_) {
            std::memset(chipPage_.data(), 0xFF, static_cast<size_t>(pageTotal_));
        } else if (chip_.ReadPage(static_cast<uint32_t>(k), rowLimit_, pageTotal_, chipPage_.data()) != NAND_OK) {
            return Step::TimedOut;
        }
        const int64_t record = record_;
        if (!ReadRecord(filePage_.data(), k)) return Step::Stop;
        if (std::memcmp(chipPage_.data(), filePage_.data(), static_cast<size_t>(pageTotal_)) == 0) return Step::Go;
        if (options_.ecc != nullptr && CorrectsTo(k)) return Step::Go;
        if (options_.map && perBlock_ > 0) options_.map->Note(k / perBlock_, BlockState::Differs);
        ++result_.differingPages;
        const uint64_t recordOffset = static_cast<uint64_t>(record) * static_cast<uint64_t>(pageTotal_);
        for (int32_t i = 0; i < pageTotal_; ++i) {
            if (chipPage_[i] == filePage_[i]) continue;
            ++differences;
            result_.AddDifference(k, recordOffset + static_cast<uint64_t>(i), filePage_[i], chipPage_[i]);
            if (differences <= LISTED_DIFFERENCES) {
                LogMismatch(log_, k, recordOffset + static_cast<uint64_t>(i), chipPage_[i], filePage_[i]);
            } else if (differences == LISTED_DIFFERENCES + 1) {
                log_.Put("Error, more than 1000 differences: the rest are counted but not listed\n");
            }
        }
        return Step::Go;
    }

    uint64_t differences = 0;

private:
    // Whether the ECC, correcting the chip's page, gives the file's record:
    // then the page reads back as written on the device, and is verified.
    bool CorrectsTo(int64_t k) {
        const size_t n = static_cast<size_t>(pageTotal_);
        corrected_.assign(chipPage_.begin(), chipPage_.begin() + static_cast<std::ptrdiff_t>(n));
        EccUse& use = *options_.ecc;
        const EccPageFinding finding = CheckPageEcc(*use.ecc, corrected_.data(), true, steps_);
        const bool verified = finding.Passes() && std::memcmp(corrected_.data(), filePage_.data(), n) == 0;
        // A page the ECC passes but that still differs is a plain difference.
        if (verified || !finding.Passes()) CountFinding(use.counts, result_, k, finding);
        if (verified) {
            log_.Put("ECC page [" + std::to_string(k) + "]: " + DescribeFinding(finding) + ", verified\n");
        } else if (!finding.Passes()) {
            log_.Put("ECC page [" + std::to_string(k) + "]: " + DescribeFinding(finding) + "\n");
        }
        return verified;
    }

    const VerifyOptions& options_;
    bool padding_ = false;
    std::vector<uint8_t> chipPage_;
    std::vector<uint8_t> filePage_;
    std::vector<uint8_t> corrected_;
    std::vector<EccStep> steps_;
};

}  // namespace

Outcome RunVerify(JobContext& job, const JobPlan& plan, PathChooser& chooser, const VerifyOptions& options) {
    JobLog log(job.log, plan.layout);
    const Geometry& geometry = plan.geometry;
    DumpFile file;
    const JobStatus opened = StartFileJob(log, job, plan, chooser, FileUse::VerifyAgainst, file);
    if (opened != JobStatus::Done) return {opened};
    ProgressScope progress(job.progress, "<<Begin Verify NAND>>", "Verifying...", plan);
    log.Put("Start verify\n");
    log.Red();

    const WalkRules rules = DumpWalkRules(geometry, options.bad, options.map);
    PageComparer comparer(job, log, plan, options, file);
    const int32_t startMs = NandBus::NowMs();
    const Outcome walked = ChipWalk(job, log, geometry, plan.rows, rules, options.map).Run(comparer);
    if (walked.status != JobStatus::Done) return walked;
    const int32_t elapsedMs = NandBus::ElapsedMs(startMs);
    // A record never compared is no record found good.
    bool uncompared = false;
    if (options.wholeFile && comparer.RecordsTaken() < comparer.FileRecords()) {
        LogRecordsLeft(log, comparer.FileRecords() - comparer.RecordsTaken(), comparer.RecordsTaken(),
                       "were not compared: the range ends before the file");
        log.Red();
        uncompared = true;
    } else if (options.wholeFile && comparer.RecordsTaken() == 0) {
        log.RedThenBlue("Error, no record of the file was compared\n");
        log.Red();
        uncompared = true;
    }
    if (comparer.differences > LISTED_DIFFERENCES) {
        log.Put("Error, ");
        log.Count(comparer.differences);
        log.Put(" bytes differ in all\n");
    }
    if (options.ecc != nullptr) LogEccSummary(log, *options.ecc, false);
    log.Blue();
    log.EndTime(elapsedMs, true);
    log.Put("Verify end\n");
    return {comparer.differences != 0 || uncompared ? JobStatus::ChipFailed : JobStatus::Done};
}
