#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jobs/DumpJobs.h"
#include "jobs/EccPages.h"
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
        // What a factory-marked block holds is the maker's, not the device's
        // ECC: its pages go into a raw dump unchecked.
        markedBlock_ = marked;
        if (marked && ecc_ != nullptr && options_.bad == BadBlockMode::Raw) ++ecc_->counts.markedBlocks;
        if (!marked || options_.bad != BadBlockMode::Pad) return Step::Go;
        // The block's place in the dump is kept, erased.
        std::memset(page_.data(), 0xFF, static_cast<size_t>(pageTotal_));
        for (int64_t p = span.first; p <= span.last; ++p)
            if (!Append(p)) return Step::Stop;
        return Step::Passed;
    }

    Step Visit(int64_t k) override {
        int16_t status;
        PageReads result;
        if (passes_ == 1) {
            status = chip_.ReadPage(static_cast<uint32_t>(k), rowLimit_, pageTotal_, page_.data());
        } else {
            status = ReadSettled(chip_, static_cast<uint32_t>(k), rowLimit_, pageTotal_, passes_, page_.data(),
                                 reads_, result);
        }
        if (status != NAND_OK) return Step::TimedOut;
        if (ecc_ != nullptr && !markedBlock_) {
            CheckEcc(k, result);
        } else if (result.differingBytes != 0) {
            Unstable(k, result, 0);
        }
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

    // taken: the read the ECC chose (from 1), or 0 when each byte is the
    // one most reads gave.
    void Unstable(int64_t k, const PageReads& result, int taken) {
        ++unstablePages;
        result_.unstablePages.Add(k);
        log_.Page("Unstable page [", k, "]: ");
        log_.Number("%d", result.differingBytes);
        log_.Put(result.differingBytes == 1 ? " byte differed in " : " bytes differed in ");
        log_.Number("%d", result.reads);
        if (taken != 0) {
            log_.Numbered(" reads, read ", taken, " taken: the ECC passes it\n");
            return;
        }
        log_.Put(result.anyTwoAlike ? " reads\n" : " reads, no two alike\n");
        // A page the ECC decided is settled, in the result as in the log.
        if (!result.anyTwoAlike) ++unsettledPages, ++result_.unsettledPages;
    }

    // Of reads that differ, the one the ECC likes best, when it passes it,
    // rather than the vote of each byte: a vote can mix a weak cell's two
    // values into a page no read gave. 0 when none passes, else the read
    // (from 1), copied into the page.
    int ChooseRead(const PageReads& result) {
        const size_t n = static_cast<size_t>(pageTotal_);
        std::vector<uint8_t>& copy = eccCopy_;
        copy.resize(n);
        int best = -1;
        EccPageFinding bestFinding;
        for (int r = 0; r < result.reads; ++r) {
            std::memcpy(copy.data(), &reads_[n * static_cast<size_t>(r)], n);
            const EccPageFinding finding = CheckPageEcc(*ecc_->ecc, copy.data(), false, steps_);
            if (best < 0 || finding.BetterThan(bestFinding)) {
                best = r;
                bestFinding = finding;
            }
        }
        if (!bestFinding.Passes()) return 0;
        std::memcpy(page_.data(), &reads_[n * static_cast<size_t>(best)], n);
        ++ecc_->counts.chosenReads;
        return best + 1;
    }

    // The page in hand checked (and corrected in place when the dump is to
    // hold it so), counted, and told when the ECC had work with it.
    void CheckEcc(int64_t k, const PageReads& result) {
        if (result.differingBytes != 0) Unstable(k, result, ChooseRead(result));
        const EccPageFinding finding = CheckPageEcc(*ecc_->ecc, page_.data(), ecc_->fix, steps_);
        CountFinding(ecc_->counts, result_, k, finding);
        if (finding.Mended() || !finding.Passes())
            log_.Put("ECC page [" + std::to_string(k) + "]: " + DescribeFinding(finding) + "\n");
    }

    const ReadOptions& options_;
    const int passes_;
    EccUse* const ecc_ = options_.ecc;
    bool markedBlock_ = false;
    std::vector<uint8_t> page_;
    std::vector<uint8_t> reads_;
    std::vector<uint8_t> eccCopy_;
    std::vector<EccStep> steps_;
};

}  // namespace

Outcome RunReadDump(JobContext& job, const JobPlan& plan, PathChooser& chooser, const ReadOptions& options) {
    JobLog log(job.log, plan.layout);
    const Geometry& geometry = plan.geometry;
    DumpFile file;
    const JobStatus opened = StartFileJob(log, job, plan, chooser, FileUse::SaveDump, file);
    if (opened != JobStatus::Done) return {opened};
    ProgressScope progress(job.progress, "<<Begin Read Dump>>", "Reading...", plan);
    log.Put("\nStart Read Pages\n");
    log.Red();
    WalkRules rules = DumpWalkRules(geometry, options.bad, options.map);
    // The ECC leaves factory-marked blocks unchecked, where their marks can
    // be read and hold no ECC byte.
    const bool eccMarks = options.ecc != nullptr && MarkGeometryRefusal(geometry) == nullptr &&
                          !options.ecc->ecc->HoldsEcc(0);
    rules.readMarks = rules.readMarks || eccMarks;
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
        const int64_t unstable = reader.unstablePages;
        const int64_t chosen = options.ecc != nullptr ? options.ecc->counts.chosenReads : 0;
        std::string line = std::to_string(unstable) +
                           (unstable == 1 ? " page read differently between reads" : " pages read differently between reads");
        if (chosen != 0) line += ", " + std::to_string(chosen) + " taken from a read the ECC passes";
        if (reader.unsettledPages != 0) {
            line += ", " + std::to_string(reader.unsettledPages) + " of them never the same twice";
        } else if (chosen < unstable) {
            line += chosen != 0 ? ", of the others each byte kept as most reads gave it"
                                : ", each byte kept as most reads gave it";
        }
        log.Put(line + "\n");
    }
    if (options.ecc != nullptr) {
        LogEccSummary(log, *options.ecc, true);
        const EccCounts& counts = options.ecc->counts;
        if (counts.correctedPages + counts.erasedFlipPages != 0)
            log.Put(options.ecc->fix ? "The dump holds those pages as the ECC corrected them\n"
                                     : "The dump holds those pages as read\n");
    }
    log.EndTime(elapsedMs, false);
    log.Blue();
    if (reader.unsettledPages != 0) {
        // Every byte of such a page is a vote among reads that all differ:
        // the dump is complete but not to be trusted.
        log.Put("Read Dump done, but pages never read the same twice\n");
        return {JobStatus::ChipFailed};
    }
    if (options.ecc != nullptr && options.ecc->counts.uncorrectablePages != 0) {
        // The dump is whole, but the device would not read those pages.
        log.Put("Read Dump done, but the ECC cannot correct ");
        log.Count(static_cast<uint64_t>(options.ecc->counts.uncorrectablePages));
        log.Put(options.ecc->counts.uncorrectablePages == 1 ? " page\n" : " pages\n");
        return {JobStatus::ChipFailed};
    }
    log.Put("Read Dump OK \n");
    return {JobStatus::Done};
}
