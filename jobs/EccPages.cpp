#include "jobs/EccPages.h"

namespace {

std::string Plural(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + (n == 1 ? one : many);
}

}  // namespace

bool EccPageFinding::BetterThan(const EccPageFinding& other) const {
    if (Passes() != other.Passes()) return Passes();
    if (!Passes()) return uncorrectableSteps < other.uncorrectableSteps;
    return correctedBits + erasedFlipBits < other.correctedBits + other.erasedFlipBits;
}

EccPageFinding CheckPageEcc(const PageEcc& ecc, uint8_t* record, bool fix, std::vector<EccStep>& steps) {
    EccPageFinding finding;
    finding.worst = ecc.Check(record, fix, steps);
    finding.steps = static_cast<int>(steps.size());
    for (const EccStep& step : steps) {
        if (step.state == EccStepState::Corrected) finding.correctedBits += step.bits;
        if (step.state == EccStepState::ErasedFlips) finding.erasedFlipBits += step.bits;
        if (step.state == EccStepState::Uncorrectable) ++finding.uncorrectableSteps;
    }
    return finding;
}

std::string DescribeFinding(const EccPageFinding& finding) {
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (finding.correctedBits) add(Plural(finding.correctedBits, " bit corrected", " bits corrected"));
    if (finding.erasedFlipBits) add("erased, " + Plural(finding.erasedFlipBits, " bit read as 0", " bits read as 0"));
    if (finding.uncorrectableSteps)
        add(std::to_string(finding.uncorrectableSteps) + " of " + Plural(finding.steps, " step", " steps") +
            " uncorrectable");
    return text;
}

void CountFinding(EccCounts& counts, JobResult& result, int64_t k, const EccPageFinding& finding) {
    ++counts.pages;
    if (finding.correctedBits) {
        ++counts.correctedPages;
        ++result.correctedPages;
    }
    counts.correctedBits += finding.correctedBits;
    result.correctedBits += static_cast<uint64_t>(finding.correctedBits);
    if (finding.erasedFlipBits) ++counts.erasedFlipPages;
    if (!finding.Passes()) {
        ++counts.uncorrectablePages;
        result.uncorrectablePages.Add(k);
    }
}

void LogEccSummary(JobLog& log, const EccUse& use, bool checkedEveryPage) {
    const EccCounts& c = use.counts;
    std::string line = "ECC " + use.ecc->Describe() + ": ";
    if (checkedEveryPage) line += Plural(c.pages, " page checked, ", " pages checked, ");
    line += std::to_string(c.correctedPages) + " with bits corrected (" + Plural(c.correctedBits, " bit), ", " bits), ");
    if (c.erasedFlipPages) line += std::to_string(c.erasedFlipPages) + " erased with bits read as 0, ";
    line += std::to_string(c.uncorrectablePages) + " uncorrectable";
    if (c.markedBlocks)
        line += "; " + Plural(c.markedBlocks, " factory-marked block", " factory-marked blocks") + " not checked";
    log.Put(line + "\n");
}
