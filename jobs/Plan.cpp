#include "jobs/Plan.h"

#include "jobs/BadBlocks.h"
#include "jobs/JobLog.h"

#include <cstdio>

#include "chip/ChipFile.h"
#include "jobs/Identify.h"

namespace {

// A chip file's values as they stand in it. A key the file lacks keeps the
// value a fresh window shows.
class FileValues final : public ChipFields {
public:
    void Set(int key, const char* value) override { values_[key] = value; }
    std::string Get(int key) const override { return values_[key]; }

private:
    std::string values_[CHIP_FILE_KEYS] = {"No Name", "FFFFFFFFFF", "65535", "2048", "64", "64"};
};

void SetValue(void* context, int key, const char* value) { static_cast<ChipFields*>(context)->Set(key, value); }

// The values of a chip file, by the one parse rule.
void TakeValues(const ChipFields& values, const std::string& path, GeometryFound& found) {
    found.from = GeometryFound::From::ChipFile;
    found.source = "the chip file " + path;
    found.chipId = values.Get(KEY_ID);
    found.geometry.pageSize = ParseNumber(values.Get(KEY_PAGE).c_str());
    found.geometry.spareSize = ParseNumber(values.Get(KEY_SPARE).c_str());
    found.geometry.rowMax = ParseNumber(values.Get(KEY_ROW).c_str());
    found.geometry.pagesPerBlock = ParseNumber(values.Get(KEY_BLOCK).c_str());
    found.pagesPerBlockKnown = true;
    found.chipName = values.Get(KEY_NAME);
}

// Detect's log, when only its values are wanted.
class NoLog final : public LogSink {
public:
    void SetColour(LogColour) override {}
    void Append(const char*) override {}
};

}  // namespace

bool GeometryFromChipFile(const std::string& path, GeometryFound& found) {
    FILE* file = OpenChipFile(path);
    if (file == nullptr) return false;
    FileValues values;
    ReadChipFile(file, SetValue, &values);
    std::fclose(file);
    TakeValues(values, path, found);
    return true;
}

void GeometryFromChip(LogSink& sink, BusPort& bus, const char* databaseRoot, GeometryFound& found) {
    JobLog log(sink);
    NoLog quiet;
    FileValues values;
    const DetectResult detected = RunDetect(quiet, bus, values, databaseRoot);
    if (NoChipAnswersId(log, detected.probes[0].id)) {
        found.from = GeometryFound::From::NoChip;
        return;
    }
    if (detected.chipFileFound) {
        TakeValues(values, detected.chipFilePath, found);
        return;
    }
    const PageReading reading = ReadParameterPage(bus, CE0);
    if (!reading.present || reading.timedOut || !reading.page.Usable()) {
        found.from = GeometryFound::From::Nothing;
        found.lookedFor = std::string(MakerDirectory(detected.probes[0].maker)) + detected.idString;
        if (databaseRoot != nullptr && *databaseRoot != '\0')
            found.lookedFor += std::string(" nor ") + databaseRoot + "/" + found.lookedFor;
        found.pageTimedOut = reading.present && reading.timedOut;
        found.pageUnusable = reading.present && !reading.timedOut;
        return;
    }
    // What the window cannot do: the chip names its own geometry.
    const Geometry g = PageGeometry(reading.page);
    found.from = GeometryFound::From::ParameterPage;
    found.source = std::string("the chip's ") + StandardName(reading.page.standard) + " parameter page";
    found.geometry = g;
    found.pagesPerBlockKnown = true;
    log.Put(std::string("Geometry from the chip's ") + StandardName(reading.page.standard) +
            " parameter page, there being no chip file " + detected.chipFilePath + ": page " +
            std::to_string(g.pageSize) + ", spare " + std::to_string(g.spareSize) + ", " +
            std::to_string(g.pagesPerBlock) + " pages per block, row max " + std::to_string(g.rowMax) + "\n");
}

void TakeGiven(const GeometryGiven& given, GeometryFound& found) {
    Geometry& g = found.geometry;
    g.pageSize = given.pageSize.value_or(g.pageSize);
    g.spareSize = given.spareSize.value_or(g.spareSize);
    g.rowMax = given.rowMax.value_or(g.rowMax);
    g.pagesPerBlock = given.pagesPerBlock.value_or(g.pagesPerBlock);
    found.pagesPerBlockKnown = found.pagesPerBlockKnown || given.pagesPerBlock.has_value();
}

std::vector<std::string> GivenDisagreements(const GeometryGiven& given, const Geometry& facts,
                                             const std::string& where) {
    const struct {
        const char* option;
        const std::optional<int32_t>& value;
        int32_t fact;
    } values[] = {{"--page", given.pageSize, facts.pageSize},
                  {"--spare", given.spareSize, facts.spareSize},
                  {"--row-max", given.rowMax, facts.rowMax},
                  {"--pages-per-block", given.pagesPerBlock, facts.pagesPerBlock}};
    std::vector<std::string> lines;
    for (const auto& v : values)
        if (v.value && *v.value != v.fact)
            lines.push_back(std::string(v.option) + " " + std::to_string(*v.value) + ", but " +
                            std::to_string(v.fact) + " in " + where);
    return lines;
}

bool NoChipAnswersId(JobLog& log, const uint8_t id[5]) {
    for (int i = 0; i < 5; ++i)
        if (id[i] != 0xFF) return false;
    log.RedThenBlue("Error, no chip answers on CE0: its ID reads all 0xFF\n");
    return true;
}

const char* MakePlan(const Geometry& g, std::initializer_list<GeometryUse> uses, bool readsMarks,
                     const BlocksAsked& asked, JobPlan& plan) {
    // Whatever the job: a block size no chip has is a misreading.
    if (g.pagesPerBlock > LARGEST_PAGES_PER_BLOCK) return "Error, Pages per block > 0xFFFF\n";
    for (const GeometryUse use : uses)
        if (const char* refusal = GeometryRefusal(g, use)) return refusal;
    if (readsMarks)
        if (const char* refusal = MarkGeometryRefusal(g)) return refusal;
    plan.geometry = g;
    plan.rows = RowRange{0, g.rowMax};
    if (!asked.Given()) return nullptr;
    if (g.pagesPerBlock <= 0) return "Error, Pages per block <= 0\n";
    const int64_t perBlock = g.pagesPerBlock;
    const int64_t first = asked.firstBlock.value_or(0) * perBlock;
    const int64_t last = asked.blocks ? first + *asked.blocks * perBlock - 1 : g.rowMax;
    if (first < 0 || last < first || last > g.rowMax) return "Error, the range lies beyond the chip\n";
    plan.rows = RowRange{first, last};
    return nullptr;
}

bool AcceptPlan(JobLog& log, const Geometry& geometry, std::initializer_list<GeometryUse> uses, bool readsMarks,
                const BlocksAsked& asked, JobPlan& plan) {
    const char* refusal = MakePlan(geometry, uses, readsMarks, asked, plan);
    if (refusal) log.RedThenBlue(refusal);
    return refusal == nullptr;
}
