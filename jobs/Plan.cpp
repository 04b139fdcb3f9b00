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
    found.geometry = GeometryOf(values);
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

void GeometryFromChip(LogSink& sink, BusPort& bus, const char* databaseRoot, GeometryFound& found, int cePin) {
    JobLog log(sink);
    NoLog quiet;
    FileValues values;
    DetectResult detected = RunDetect(quiet, bus, values, databaseRoot);
    if (cePin != CE0) {
        // Another chip enable's chip, by its own ID.
        for (const ChipProbe& probe : detected.probes) {
            if (probe.cePin != cePin) continue;
            detected.probes[0] = probe;
            detected.idString = IdString(probe.id);
            values = FileValues();
            FILE* file = FindChipFile(probe, detected.idString, databaseRoot, detected.chipFilePath);
            detected.chipFileFound = file != nullptr;
            if (file != nullptr) {
                ReadChipFile(file, SetValue, &values);
                std::fclose(file);
            }
        }
    }
    if (NoChipAnswersId(log, detected.probes[0].id, cePin)) {
        found.from = GeometryFound::From::NoChip;
        return;
    }
    const PageReading reading = ReadParameterPage(bus, cePin);
    const bool pageUsable = reading.present && !reading.timedOut && reading.page.Usable();
    if (detected.chipFileFound) {
        TakeValues(values, detected.chipFilePath, found);
        if (!pageUsable || reading.page.luns <= 1) return;
        // A chip file describes one linear range; the page's LUNs say where
        // its rows lie on the chip, as long as both count the same rows.
        const Geometry g = PageGeometry(reading.page);
        if (g.rowMax == found.geometry.rowMax && g.pagesPerBlock == found.geometry.pagesPerBlock) {
            found.luns = {static_cast<int32_t>(reading.page.luns), static_cast<int64_t>(reading.page.blocksPerLun)};
            return;
        }
        found.disagreement = "row max " + std::to_string(found.geometry.rowMax) + ", " +
                             std::to_string(found.geometry.pagesPerBlock) + " pages per block in the chip file, " +
                             std::to_string(g.rowMax) + ", " + std::to_string(g.pagesPerBlock) +
                             " in the parameter page (" + std::to_string(reading.page.luns) + " LUNs of " +
                             std::to_string(reading.page.blocksPerLun) + " blocks)";
        return;
    }
    if (!pageUsable) {
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
    if (reading.page.luns > 1)
        found.luns = {static_cast<int32_t>(reading.page.luns), static_cast<int64_t>(reading.page.blocksPerLun)};
    log.Put(std::string("Geometry from the chip's ") + StandardName(reading.page.standard) +
            " parameter page, there being no chip file " + detected.chipFilePath + ": page " +
            std::to_string(g.pageSize) + ", spare " + std::to_string(g.spareSize) + ", " +
            std::to_string(g.pagesPerBlock) + " pages per block, row max " + std::to_string(g.rowMax) +
            (reading.page.luns > 1 ? ", " + std::to_string(reading.page.luns) + " LUNs of " +
                                         std::to_string(reading.page.blocksPerLun) + " blocks"
                                   : std::string()) +
            "\n");
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

bool NoChipAnswersId(JobLog& log, const uint8_t id[5], int cePin) {
    for (int i = 0; i < 5; ++i)
        if (id[i] != 0xFF) return false;
    log.RedThenBlue("Error, no chip answers on CE" + std::to_string(ChipEnableOfPin(cePin)) +
                    ": its ID reads all 0xFF\n");
    return true;
}

const char* MakePlan(const Geometry& target, std::initializer_list<GeometryUse> uses, bool readsMarks,
                     const BlocksAsked& asked, JobPlan& plan, const ChipLayout& dies) {
    // Whatever the job: a block size no chip has is a misreading.
    if (target.pagesPerBlock > LARGEST_PAGES_PER_BLOCK) return "Error, Pages per block > 0xFFFF\n";
    for (const GeometryUse use : uses)
        if (const char* refusal = GeometryRefusal(target, use)) return refusal;
    if (readsMarks)
        if (const char* refusal = MarkGeometryRefusal(target)) return refusal;
    Geometry g = target;
    plan.layout = dies;
    plan.layout.pagesPerBlock = g.pagesPerBlock;
    plan.layout.pagesPerTarget = int64_t{g.rowMax} + 1;
    if (dies.targets.size() > 1 || dies.luns > 1) {
        // Blocks count across the targets and LUNs: none may straddle two.
        if (g.pagesPerBlock <= 0) return "Error, Pages per block <= 0\n";
        if (plan.layout.pagesPerTarget % g.pagesPerBlock != 0)
            return "Error, row max + 1 is not a whole number of blocks: the targets or LUNs cannot be joined\n";
        if (dies.luns > 1 && dies.luns * dies.blocksPerLun * g.pagesPerBlock != plan.layout.pagesPerTarget)
            return "Error, LUNs x blocks per LUN x pages per block is not row max + 1\n";
        const int64_t rows = plan.layout.Rows();
        if (rows - 1 > INT32_MAX) return "Error, the targets together hold more than 2^31 rows\n";
        g.rowMax = static_cast<int32_t>(rows - 1);
    }
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
                const BlocksAsked& asked, JobPlan& plan, const ChipLayout& dies) {
    const char* refusal = MakePlan(geometry, uses, readsMarks, asked, plan, dies);
    if (refusal) log.RedThenBlue(refusal);
    return refusal == nullptr;
}
