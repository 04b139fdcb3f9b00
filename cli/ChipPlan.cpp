#include "cli/ChipPlan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "chip/ChipFile.h"
#include "cli/ExitStatus.h"
#include "cli/Session.h"
#include "jobs/JobLog.h"
#include "jobs/Identify.h"

namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

TextChipFields::TextChipFields() {
    const char* defaults[CHIP_FILE_KEYS] = {"No Name", "FFFFFFFFFF", "65535", "2048", "64", "64"};
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) values_[key] = defaults[key];
}

void TextChipFields::Set(int key, const char* value) {
    std::string text(value);
    bool convertible = true;
    for (unsigned char c : text) convertible = convertible && c < 0x80;
    values_[key] = convertible && text.size() <= CHIP_FIELD_LENGTHS[key] ? text : std::string();
}

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

int ReadChipOption(const Session& session, GeometryFound& found) {
    const std::string& path = session.args.Text("--chip");
    if (GeometryFromChipFile(path, found)) return 0;
    session.Say("--chip: " + path + " is not a chip file (no regular file beginning with \"" +
                chipFileKeyText[KEY_NAME] + "\")");
    return EXIT_FILE;
}

int PlanChipJob(Session& session, std::initializer_list<GeometryUse> uses, ChipPlan& plan, bool readsMarks) {
    const Args& args = session.args;
    BlocksAsked asked;
    if (args.Has("--first-block")) asked.firstBlock = args.Number("--first-block");
    if (args.Has("--blocks")) asked.blocks = args.Number("--blocks");
    GeometryGiven given;
    auto take = [&](std::optional<int32_t>& value, const char* name) {
        if (args.Has(name)) value = static_cast<int32_t>(args.Number(name));
    };
    take(given.pageSize, "--page");
    take(given.spareSize, "--spare");
    take(given.rowMax, "--row-max");
    take(given.pagesPerBlock, "--pages-per-block");
    // Erase finds each block's factory mark in the spare area, after the
    // page's data; the other jobs need the spare's size.
    bool needSpare = false;
    bool needBlock = asked.Given() || readsMarks;
    for (const GeometryUse use : uses) {
        needSpare = needSpare || use != GeometryUse::Erase;
        needBlock = needBlock || use == GeometryUse::Erase;
    }
    const bool givenSuffice = given.rowMax && given.pageSize && (!needSpare || given.spareSize) &&
                              (!needBlock || given.pagesPerBlock);

    GeometryFound found;
    if (args.Has("--chip")) {
        if (const int status = ReadChipOption(session, found)) return status;
    }
    if (const int status = session.StartBus()) return status;
    if (!args.Has("--chip") && !givenSuffice) {
        const std::string database = InstalledChipDatabase();
        GeometryFromChip(session.log, session.Bus(), database.c_str(), found);
        if (found.from == GeometryFound::From::NoChip) return EXIT_NO_CHIP;
        if (found.from == GeometryFound::From::Nothing) {
            std::string missing;
            for (const char* option : {"--page", "--spare", "--row-max", "--pages-per-block"}) {
                const std::string name = option;
                if (args.Has(option) || (name == "--spare" && !needSpare) ||
                    (name == "--pages-per-block" && !needBlock))
                    continue;
                missing += (missing.empty() ? "" : ", ") + name;
            }
            const std::string pageState =
                found.pageTimedOut   ? ", and R/B# stayed low while it loaded its parameter page"
                : found.pageUnusable ? ", and its parameter page cannot be used (see detect)"
                                     : "";
            return session.UsageError("missing " + missing + ": no chip file " + found.lookedFor +
                                      " for the chip on CE0" + pageState + " (give the values, or --chip FILE)");
        }
    }
    TakeGiven(given, found);
    plan.chipName = found.chipName.empty() ? "the chip on CE0" : found.chipName;
    plan.pagesPerBlockKnown = found.pagesPerBlockKnown;
    JobLog log(session.log);
    if (!AcceptPlan(log, found.geometry, uses, readsMarks, asked, plan)) return EXIT_USAGE;
    session.plan = plan;
    return 0;
}
