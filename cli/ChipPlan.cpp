#include "cli/ChipPlan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "chip/ChipFile.h"
#include "chip/ParameterPage.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Session.h"
#include "jobs/JobLog.h"
#include "jobs/Identify.h"

namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Where every refusal of the bus check points: the command that looks at
// each line in turn.
constexpr char SEE_CHECK[] = "Nothing was done: ferrik-cli check looks at each line of the wiring\n";

std::string SpacedHex(const uint8_t id[5]) {
    std::string text;
    char piece[4];
    for (int i = 0; i < 5; ++i) {
        std::snprintf(piece, sizeof piece, i == 0 ? "%02X" : " %02X", static_cast<unsigned>(id[i]));
        text += piece;
    }
    return text;
}

// A chip file's ID names these bytes: as Detect writes it (IdString), or
// with every byte two digits.
bool IdNames(const std::string& text, const uint8_t id[5]) {
    std::string padded = SpacedHex(id), upper;
    padded.erase(std::remove(padded.begin(), padded.end(), ' '), padded.end());
    for (const char c : text) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper == IdString(id) || upper == padded;
}

// Before a chip command's first page command, what makes a dump of garbage
// look like one of the chip: a data line that is stuck or shorted (every
// chip deselected, the Pi reads back what it drives), then an ID that no chip
// gives (five bytes alike, 00h and FFh included) or that is not the chip
// file's. 0 with the ID in id, or the exit status after the refusal's
// lines. An ID naming no maker this program knows is only a warning: rare
// makers exist.
int CheckBusBeforeJob(Session& session, const GeometryFound& chipOption, uint8_t id[5], int cePin) {
    JobLog log(session.log);
    BusPort& bus = session.Bus();
    const std::string dataFaults = DataLineFaults(bus);
    const char* maker = dataFaults.empty() ? bus.ReadId(cePin, id) : nullptr;
    const bool alike = IdOfNoChip(id);
    if (!dataFaults.empty()) {
        log.RedThenBlue("Error, a data line is wrong: " + dataFaults + "\n");
    } else if (alike && id[0] == 0xFF) {
        NoChipAnswersId(log, id, cePin);
    } else if (alike) {
        log.RedThenBlue("Error, the chip on CE" + std::to_string(ChipEnableOfPin(cePin)) + " gives the ID " + SpacedHex(id) +
                        ", five bytes alike: no chip answers that way\n");
    } else if (!chipOption.chipId.empty() && !IdNames(chipOption.chipId, id)) {
        log.RedThenBlue("Error, the chip on CE" + std::to_string(ChipEnableOfPin(cePin)) + " gives the ID " + IdString(id) + ", but " + chipOption.source +
                        " is for " + chipOption.chipId + "\n");
    } else {
        if (std::strcmp(maker, "Unknown Nand") == 0)
            log.RedThenBlue("Warning, the maker code " + SpacedHex(id).substr(0, 2) +
                            "h is not one this program knows: a new maker, or a wrong data line "
                            "(ferrik-cli check)\n");
        return 0;
    }
    log.RedThenBlue(SEE_CHECK);
    return EXIT_NO_CHIP;
}

// The commands that erase or program: a geometry that is not the chip's
// would put their erases and the factory marks' reads in the wrong places.
bool ChangesTheChip(const Command& command) {
    for (const char* name : {"erase", "write", "program"})
        if (std::strcmp(command.name, name) == 0) return true;
    return false;
}

// The values given against what the chip file or the parameter page says
// (facts: refused before a command that changes the chip, unless
// --force-geometry) and against the ID bytes' decoding (a guess: a warning).
// 0, or the exit status of the refusal.
int CheckGivenAgainstChip(Session& session, const GeometryGiven& given, const GeometryFound& found,
                          const uint8_t id[5]) {
    const bool refuse = ChangesTheChip(session.command) && !session.args.Has("--force-geometry");
    std::vector<std::string> facts;
    if (found.from == GeometryFound::From::ChipFile || found.from == GeometryFound::From::ParameterPage)
        facts = GivenDisagreements(given, found.geometry, found.source);
    for (const std::string& line : facts) session.Say((refuse ? "" : "warning: ") + line);
    if (refuse && !facts.empty())
        return session.UsageError(std::string(session.command.name) +
                                  " refused: it would erase or program, and find the factory marks, by "
                                  "values that are not the chip's (--force-geometry to go on all the same)");
    const IdGeometry decoded = DecodeIdBytes(id);
    if (decoded.decoded) {
        Geometry guess;
        guess.pageSize = decoded.pageSize;
        guess.spareSize = decoded.spareSize;
        guess.rowMax = static_cast<int32_t>(decoded.rowMax);
        guess.pagesPerBlock = decoded.pagesPerBlock;
        for (const std::string& line : GivenDisagreements(given, guess, "the ID bytes' decoding (a guess)"))
            session.Say("warning: " + line);
    }
    return 0;
}

// Detect's lines, when the values given leave nothing for the chip to tell.
class NoLog final : public LogSink {
public:
    void SetColour(LogColour) override {}
    void Append(const char*) override {}
};

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

int TakeChipEnables(const Session& session, ChipEnablesAsked& asked) {
    asked = ChipEnablesAsked{};
    if (!session.args.Has("--ce")) {
        asked.listed = {0};
        return 0;
    }
    const std::string& text = session.args.Text("--ce");
    if (text == "all") {
        asked.all = true;
        return 0;
    }
    bool seen[4] = {};
    bool good = !text.empty() && text.back() != ',';
    for (size_t i = 0; good && i < text.size(); i += 2) {
        good = text[i] >= '0' && text[i] <= '3' && !seen[text[i] - '0'] && (i + 1 == text.size() || text[i + 1] == ',');
        if (good) seen[text[i] - '0'] = true;
    }
    if (!good)
        return session.UsageError("--ce: \"" + text + "\" is not a chip enable 0 to 3, a list such as 0,1, or all");
    for (int ce = 0; ce < 4; ++ce)
        if (seen[ce]) asked.listed.push_back(ce);
    return 0;
}

int ChooseChipEnables(const Session& session, const ChipEnablesAsked& asked, const std::vector<int>& found,
                      std::vector<int>& chosen) {
    chosen = asked.all ? found : asked.listed;
    if (chosen.empty()) chosen = {0};
    if (chosen.size() == 1) return 0;
    for (const int ce : chosen)
        if (std::find(found.begin(), found.end(), ce) == found.end())
            return session.UsageError("--ce " + session.args.Text("--ce") + ": CE" + std::to_string(ce) +
                                      " is not a target of the CE0 chip (its ID's first two bytes differ): "
                                      "one file holds the targets of one chip");
    return 0;
}

std::vector<int> FindTargets(BusPort& bus) {
    uint8_t ids[4][5];
    for (int ce = 0; ce < 4; ++ce) bus.ReadId(ChipEnablePin(ce), ids[ce]);
    return TargetsByRule(ids);
}

void SayOtherTargets(LogSink& sink, const std::vector<int>& found) {
    if (found.size() < 2) return;
    JobLog log(sink);
    log.RedThenBlue(std::to_string(found.size()) + " targets found (" + ChipEnableList(found) +
                    "): this run covers CE0 only; --ce all takes " +
                    (found.size() == 2 ? std::string("both") : "all " + std::to_string(found.size())) + "\n");
}

namespace {

// --first-block and --blocks; --page, --spare, --row-max and
// --pages-per-block.
void TakeGeometryOptions(const Args& args, BlocksAsked& asked, GeometryGiven& given) {
    if (args.Has("--first-block")) asked.firstBlock = args.Number("--first-block");
    if (args.Has("--blocks")) asked.blocks = args.Number("--blocks");
    auto take = [&](std::optional<int32_t>& value, const char* name) {
        if (args.Has(name)) value = static_cast<int32_t>(args.Number(name));
    };
    take(given.pageSize, "--page");
    take(given.spareSize, "--spare");
    take(given.rowMax, "--row-max");
    take(given.pagesPerBlock, "--pages-per-block");
}

// The LUNs say how many rows there are, unless --row-max says so too.
void TakeRowsOfLuns(const Args& args, int32_t pagesPerBlock, GeometryGiven& given) {
    if (!args.Has("--luns") || given.rowMax || pagesPerBlock <= 0) return;
    const int64_t rows = args.Number("--luns") * args.Number("--blocks-per-lun") * pagesPerBlock;
    if (rows - 1 <= INT32_MAX) given.rowMax = static_cast<int32_t>(rows - 1);
}

// What the jobs need beyond the page size and the row max. Erase finds each
// block's factory mark in the spare area, after the page's data; the other
// jobs need the spare's size.
struct ValuesNeeded {
    bool spare = false;
    bool block = false;
};

ValuesNeeded NeededBy(std::initializer_list<GeometryUse> uses, bool byBlocks) {
    ValuesNeeded need;
    need.block = byBlocks;
    for (const GeometryUse use : uses) {
        need.spare = need.spare || use != GeometryUse::Erase;
        need.block = need.block || use == GeometryUse::Erase;
    }
    return need;
}

// No chip file and no parameter page to use: the values the job needs and
// that were not given, in a usage error.
int RefuseMissingValues(const Session& session, const ValuesNeeded& need, const GeometryFound& found,
                        const std::string& chipOn) {
    std::string missing;
    for (const char* option : {"--page", "--spare", "--row-max", "--pages-per-block"}) {
        const std::string name = option;
        if (session.args.Has(option) || (name == "--spare" && !need.spare) ||
            (name == "--pages-per-block" && !need.block))
            continue;
        missing += (missing.empty() ? "" : ", ") + name;
    }
    const std::string pageState = found.pageTimedOut   ? ", and R/B# stayed low while it loaded its parameter page"
                                  : found.pageUnusable ? ", and its parameter page cannot be used (see detect)"
                                                       : "";
    return session.UsageError("missing " + missing + ": no chip file " + found.lookedFor + " for " + chipOn +
                              pageState + " (give the values, or --chip FILE)");
}

}  // namespace

int PlanChipJob(Session& session, std::initializer_list<GeometryUse> uses, ChipPlan& plan, bool readsMarks) {
    const Args& args = session.args;
    ChipEnablesAsked chipEnables;
    if (const int status = TakeChipEnables(session, chipEnables)) return status;
    if (args.Has("--luns") != args.Has("--blocks-per-lun"))
        return session.UsageError("--luns and --blocks-per-lun go together");
    BlocksAsked asked;
    GeometryGiven given;
    TakeGeometryOptions(args, asked, given);
    TakeRowsOfLuns(args, given.pagesPerBlock.value_or(0), given);
    const ValuesNeeded need = NeededBy(uses, asked.Given() || readsMarks);
    const bool givenSuffice = given.rowMax && given.pageSize && (!need.spare || given.spareSize) &&
                              (!need.block || given.pagesPerBlock);

    GeometryFound found;
    if (args.Has("--chip")) {
        if (const int status = ReadChipOption(session, found)) return status;
    }
    if (const int status = session.StartBus()) return status;
    // The chip enables are settled before the geometry, which is the first
    // one's: its ID names its chip file.
    const std::vector<int> targetsFound = FindTargets(session.Bus());
    std::vector<int> targets;
    if (const int status = ChooseChipEnables(session, chipEnables, targetsFound, targets)) return status;
    if (!args.Has("--ce")) SayOtherTargets(session.log, targetsFound);
    const int firstPin = ChipEnablePin(targets.front());
    const std::string chipOn = targets.size() > 1 ? "the chips on " + ChipEnableList(targets)
                                                  : "the chip on CE" + std::to_string(targets.front());
    uint8_t id[5] = {};
    if (const int status = CheckBusBeforeJob(session, found, id, firstPin)) return status;
    if (!args.Has("--chip")) {
        // Asked even when the values given are all the job needs: what the
        // chip says of itself is what they are checked against.
        const std::string database = InstalledChipDatabase();
        NoLog quiet;
        GeometryFromChip(givenSuffice ? static_cast<LogSink&>(quiet) : session.log, session.Bus(), database.c_str(),
                         found, firstPin);
        if (found.from == GeometryFound::From::NoChip) return EXIT_NO_CHIP;
        if (found.from == GeometryFound::From::Nothing && !givenSuffice)
            return RefuseMissingValues(session, need, found, chipOn);
    }
    if (const int status = CheckGivenAgainstChip(session, given, found, id)) return status;
    JobLog log(session.log);
    if (!found.disagreement.empty())
        log.RedThenBlue("Disagreement: " + found.disagreement + ": the chip file's rows are walked as one range\n");
    ChipLayout dies;
    dies.targets = targets;
    if (args.Has("--luns")) {
        found.luns = {static_cast<int32_t>(args.Number("--luns")), args.Number("--blocks-per-lun")};
        TakeRowsOfLuns(args, found.geometry.pagesPerBlock, given);
    }
    dies.luns = found.luns.luns;
    dies.blocksPerLun = found.luns.blocksPerLun;
    TakeGiven(given, found);
    plan.chipName = found.chipName.empty()  ? chipOn
                    : targets.size() > 1 ? found.chipName + " (" + ChipEnableList(targets) + ")"
                                         : found.chipName;
    plan.pagesPerBlockKnown = found.pagesPerBlockKnown;
    if (!AcceptPlan(log, found.geometry, uses, readsMarks, asked, plan, dies)) return EXIT_USAGE;
    session.plan = plan;
    session.FollowLayout(plan.layout);
    return 0;
}
