#include "cli/ChipPlan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "chip/ChipFile.h"
#include "cli/ExitStatus.h"
#include "cli/Session.h"
#include "jobs/DumpJobs.h"
#include "jobs/Identify.h"

namespace {

// Detect's log, when only its fields are wanted.
class NoLog final : public LogSink {
public:
    void SetColour(LogColour) override {}
    void Append(const char*) override {}
};

struct Value {
    bool known = false;
    int32_t value = 0;
};

void SetField(void* context, int key, const char* value) { static_cast<ChipFields*>(context)->Set(key, value); }

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The values of the chip fields, by the window's parse rule.
void TakeFields(const ChipFields& fields, Value& page, Value& spare, Value& row, Value& block) {
    page = {true, ParseNumber(fields.Get(KEY_PAGE).c_str())};
    spare = {true, ParseNumber(fields.Get(KEY_SPARE).c_str())};
    row = {true, ParseNumber(fields.Get(KEY_ROW).c_str())};
    block = {true, ParseNumber(fields.Get(KEY_BLOCK).c_str())};
}

}  // namespace

std::string InstalledChipDatabase() {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return std::string();
    std::string dir(exe, static_cast<size_t>(n));
    for (int up = 0; up < 3; ++up) {
        const size_t slash = dir.rfind('/');
        if (slash == std::string::npos || slash == 0) return std::string();
        dir.erase(slash);
        // Skips the program's own folder: bin/ or lib/ferrik/.
        if (up == 0) continue;
        const std::string root = dir + "/share/ferrik";
        if (IsFolder(root + "/ICs")) return root;
    }
    return std::string();
}

int ReadChipOption(const Session& session, TextChipFields& fields) {
    const std::string& path = session.args.Text("--chip");
    FILE* file = OpenChipFile(path);
    if (file == nullptr) {
        session.Say("--chip: " + path + " is not a chip file (no regular file beginning with \"" +
                    chipFileKeyText[KEY_NAME] + "\")");
        return EXIT_FILE;
    }
    ReadChipFile(file, SetField, &fields);
    std::fclose(file);
    return 0;
}

bool NoChipAnswersId(Session& session, const uint8_t id[5]) {
    for (int i = 0; i < 5; ++i)
        if (id[i] != 0xFF) return false;
    JobLog(session.log).RedThenBlue("Error, no chip answers on CE0: its ID reads all 0xFF\n");
    return true;
}

int PlanChipJob(Session& session, std::initializer_list<GeometryUse> uses, ChipPlan& plan, bool readsMarks) {
    const Args& args = session.args;
    const bool ranged = args.Has("--first-block") || args.Has("--blocks");
    bool needPage = false;
    bool needSpare = false;
    bool needBlock = ranged || readsMarks;
    for (const GeometryUse use : uses) {
        // Erase finds each block's factory mark in the spare area, after
        // the page's data.
        needPage = true;
        if (use == GeometryUse::Erase) needBlock = true;
        else needSpare = true;
    }
    const bool optionsSuffice = args.Has("--row-max") && (!needPage || args.Has("--page")) &&
                                (!needSpare || args.Has("--spare")) && (!needBlock || args.Has("--pages-per-block"));

    Value page, spare, row, block;
    TextChipFields fields;
    if (args.Has("--chip")) {
        if (const int status = ReadChipOption(session, fields)) return status;
        TakeFields(fields, page, spare, row, block);
        plan.chipName = fields.Get(KEY_NAME);
        if (const int status = session.StartBus()) return status;
    } else if (!optionsSuffice) {
        if (const int status = session.StartBus()) return status;
        NoLog quiet;
        const std::string database = InstalledChipDatabase();
        const DetectResult found = RunDetect(quiet, fields, database.c_str());
        if (NoChipAnswersId(session, found.probes[0].id)) return EXIT_NO_CHIP;
        const PageReading reading = found.chipFileFound ? PageReading{} : ReadParameterPage(CE0);
        const bool pageUsable = reading.present && !reading.timedOut && reading.page.Usable();
        if (found.chipFileFound) {
            TakeFields(fields, page, spare, row, block);
            plan.chipName = fields.Get(KEY_NAME);
        } else if (pageUsable) {
            // What the window cannot do: the chip names its own geometry.
            const Geometry g = PageGeometry(reading.page);
            page = {true, g.pageSize};
            spare = {true, g.spareSize};
            row = {true, g.rowMax};
            block = {true, g.pagesPerBlock};
            JobLog(session.log).Put(std::string("Geometry from the chip's ") +
                                    (reading.page.standard == PageStandard::Onfi ? "ONFI" : "JEDEC") +
                                    " parameter page, there being no chip file " + found.chipFilePath + ": page " +
                                    std::to_string(g.pageSize) + ", spare " + std::to_string(g.spareSize) + ", " +
                                    std::to_string(g.pagesPerBlock) + " pages per block, row max " +
                                    std::to_string(g.rowMax) + "\n");
        } else {
            std::string missing;
            auto name = [&](const char* option) {
                if (args.Has(option)) return;
                missing += missing.empty() ? "" : ", ";
                missing += option;
            };
            if (needPage) name("--page");
            if (needSpare) name("--spare");
            name("--row-max");
            if (needBlock) name("--pages-per-block");
            std::string looked = std::string(MakerDirectory(found.probes[0].maker)) + found.idString;
            if (!database.empty()) looked += " nor " + database + "/" + looked;
            const std::string pageState = !reading.present ? ""
                                          : reading.timedOut ? ", and R/B# stayed low while it loaded its parameter page"
                                                             : ", and its parameter page cannot be used (see detect)";
            return session.UsageError("missing " + missing + ": no chip file " + looked + " for the chip on CE0" +
                                      pageState + " (give the values, or --chip FILE)");
        }
    } else {
        if (const int status = session.StartBus()) return status;
    }
    auto option = [&](Value& value, const char* name) {
        if (args.Has(name)) value = {true, static_cast<int32_t>(args.Number(name))};
    };
    option(page, "--page");
    option(spare, "--spare");
    option(row, "--row-max");
    option(block, "--pages-per-block");
    if (plan.chipName.empty()) plan.chipName = "the chip on CE0";

    Geometry& g = plan.geometry;
    g.pageSize = page.value;
    g.spareSize = spare.value;
    g.rowMax = row.value;
    g.pagesPerBlock = block.value;
    plan.pagesPerBlockKnown = block.known;

    JobLog log(session.log);
    for (const GeometryUse use : uses)
        if (!AcceptGeometry(log, g, use)) return EXIT_USAGE;
    if (readsMarks) {
        if (const char* refusal = MarkGeometryRefusal(g)) {
            log.RedThenBlue(refusal);
            return EXIT_USAGE;
        }
    }

    plan.rows = RowRange{};
    if (ranged) {
        if (g.pagesPerBlock <= 0) {
            log.RedThenBlue("Error, Pages per block <= 0\n");
            return EXIT_USAGE;
        }
        const int64_t perBlock = g.pagesPerBlock;
        const int64_t first = args.Number("--first-block") * perBlock;
        const int64_t last = args.Has("--blocks") ? first + args.Number("--blocks") * perBlock - 1 : g.rowMax;
        // The core reads a range whose last row lies before its first as the
        // whole chip: one that starts past the chip must not come out so.
        if (first > g.rowMax || last > g.rowMax) {
            log.RedThenBlue("Error, the range lies beyond the chip\n");
            return EXIT_USAGE;
        }
        plan.rows = RowRange{first, last};
    }
    return 0;
}
