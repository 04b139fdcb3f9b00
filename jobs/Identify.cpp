#include "jobs/Identify.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "chip/ChipFile.h"
#include "jobs/JobLog.h"
#include "jobs/Targets.h"

namespace {

std::string Decimal(uint64_t value) { return std::to_string(value); }

Geometry IdBytesGeometry(const IdGeometry& id) {
    Geometry g;
    g.pageSize = id.pageSize;
    g.spareSize = id.spareSize;
    g.rowMax = static_cast<int32_t>(id.rowMax);
    g.pagesPerBlock = id.pagesPerBlock;
    return g;
}

}  // namespace

const char* StandardName(PageStandard standard) { return standard == PageStandard::Onfi ? "ONFI" : "JEDEC"; }

PageReading ReadParameterPage(BusPort& bus, int cePin) {
    PageReading reading;
    uint8_t signature[5] = {};
    PageStandard standard = PageStandard::Onfi;
    uint8_t address = 0x00;
    bus.ReadIdAt(cePin, ID_ADDRESS_ONFI, signature, 4);
    if (std::memcmp(signature, "ONFI", 4) != 0) {
        bus.ReadIdAt(cePin, ID_ADDRESS_JEDEC, signature, 5);
        if (std::memcmp(signature, "JEDEC", 5) != 0) return reading;
        standard = PageStandard::Jedec;
        address = 0x40;
    }
    reading.present = true;
    reading.page.standard = standard;
    uint8_t bytes[PARAMETER_PAGE_READ_BYTES];
    if (bus.ReadParameterPage(cePin, address, static_cast<int32_t>(sizeof bytes), bytes) != NAND_OK) {
        reading.timedOut = true;
        return reading;
    }
    reading.page = DecodeParameterPage(bytes, sizeof bytes, standard);
    return reading;
}

const char* GeometrySourceName(GeometrySource source) {
    switch (source) {
        case GeometrySource::ChipFile: return "chip file";
        case GeometrySource::ParameterPage: return "parameter page";
        case GeometrySource::IdBytes: return "id bytes";
        default: return "none";
    }
}

Geometry PageGeometry(const ParameterPage& page) {
    Geometry g;
    g.pageSize = static_cast<int32_t>(page.pageSize);
    g.spareSize = static_cast<int32_t>(page.spareSize);
    g.rowMax = static_cast<int32_t>(page.rowMax);
    g.pagesPerBlock = static_cast<int32_t>(page.pagesPerBlock);
    return g;
}

GeometryChoice ChooseGeometry(const Geometry* chipFile, const ParameterPage* page, const IdGeometry* id) {
    struct Source {
        GeometrySource source;
        const char* where;
        Geometry geometry;
    };
    std::vector<Source> sources;
    if (chipFile != nullptr) sources.push_back({GeometrySource::ChipFile, "in the chip file", *chipFile});
    if (page != nullptr && page->Usable())
        sources.push_back({GeometrySource::ParameterPage, "in the parameter page", PageGeometry(*page)});
    if (id != nullptr && id->decoded)
        sources.push_back({GeometrySource::IdBytes, "in the ID bytes (a guess)", IdBytesGeometry(*id)});

    GeometryChoice choice;
    if (sources.empty()) return choice;
    choice.source = sources[0].source;
    choice.geometry = sources[0].geometry;
    static const struct {
        const char* name;
        int32_t Geometry::*value;
    } fields[] = {{"page", &Geometry::pageSize},
                  {"spare", &Geometry::spareSize},
                  {"pages per block", &Geometry::pagesPerBlock},
                  {"row max", &Geometry::rowMax}};
    for (size_t a = 0; a < sources.size(); ++a) {
        for (size_t b = a + 1; b < sources.size(); ++b) {
            for (const auto& field : fields) {
                const int32_t first = sources[a].geometry.*field.value;
                const int32_t second = sources[b].geometry.*field.value;
                if (first == second) continue;
                choice.disagreements.push_back(std::string(field.name) + " " + std::to_string(first) + " " +
                                               sources[a].where + ", " + std::to_string(second) + " " +
                                               sources[b].where);
            }
        }
    }
    return choice;
}

Geometry GeometryOf(const ChipFields& fields) {
    Geometry g;
    g.pageSize = ParseNumber(fields.Get(KEY_PAGE).c_str());
    g.spareSize = ParseNumber(fields.Get(KEY_SPARE).c_str());
    g.rowMax = ParseNumber(fields.Get(KEY_ROW).c_str());
    g.pagesPerBlock = ParseNumber(fields.Get(KEY_BLOCK).c_str());
    return g;
}

ChipIdentity IdentifyChip(BusPort& bus, const DetectResult& detect, const ChipFields& fields, int pageCe) {
    ChipIdentity identity;
    identity.chipFileFound = detect.chipFileFound;
    if (detect.chipFileFound) {
        identity.chipFileName = fields.Get(KEY_NAME);
        identity.chipFile = GeometryOf(fields);
    }
    identity.pageCe = pageCe;
    identity.reading = ReadParameterPage(bus, ChipEnablePin(pageCe));
    identity.idGeometry = DecodeIdBytes(detect.probes[0].id);
    uint8_t ids[4][5];
    for (int ce = 0; ce < 4; ++ce) std::memcpy(ids[ce], detect.probes[ce].id, 5);
    identity.targets = TargetsByRule(ids);
    for (const int ce : identity.targets) {
        const PageReading reading = ce == pageCe ? identity.reading : ReadParameterPage(bus, ChipEnablePin(ce));
        const bool usable = reading.present && !reading.timedOut && reading.page.Usable();
        identity.targetLuns.push_back(usable ? static_cast<int>(reading.page.luns) : 0);
    }
    for (int ce = 1; ce < 4; ++ce) {
        bool answers = false;
        for (const uint8_t byte : ids[ce]) answers = answers || byte != 0xFF;
        if (answers && std::find(identity.targets.begin(), identity.targets.end(), ce) == identity.targets.end())
            identity.otherChips.push_back(ce);
    }
    const bool pageRead = identity.reading.present && !identity.reading.timedOut;
    identity.choice = ChooseGeometry(identity.chipFileFound ? &identity.chipFile : nullptr,
                                     pageRead ? &identity.reading.page : nullptr, &identity.idGeometry);
    return identity;
}

std::string SizeText(uint64_t bytes) {
    static const char* const units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (unit < 4 && bytes >= 1024 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++unit;
    }
    return std::to_string(bytes) + " " + units[unit];
}

namespace {

// The targets of the CE0 chip and the other chips, with the size they hold
// together by the geometry in use.
void LogTargets(JobLog& log, const DetectResult& detect, const ChipIdentity& identity) {
    if (identity.targets.empty()) return;
    const size_t n = identity.targets.size();
    std::string line = "Targets: " + std::to_string(n) + " (" + ChipEnableList(identity.targets) + ")";
    if (identity.choice.source != GeometrySource::None) {
        const Geometry& g = identity.choice.geometry;
        const uint64_t each = (static_cast<uint64_t>(g.rowMax) + 1) * static_cast<uint64_t>(g.pageSize);
        line += n == 1 ? ", " + SizeText(each) + " of data"
                       : ", " + std::to_string(n) + " x " + SizeText(each) + " = " + SizeText(each * n) +
                             " of data in all";
    }
    bool lunsGiven = false;
    for (const int luns : identity.targetLuns) lunsGiven = lunsGiven || luns > 1;
    if (lunsGiven) {
        line += ", LUNs";
        for (size_t i = 0; i < n; ++i)
            line += (i == 0 ? " " : ", ") + std::to_string(identity.targetLuns[i]);
    }
    log.Put(line + (n > 1 ? " (--ce all takes them all)\n" : "\n"));
    for (const int ce : identity.otherChips) {
        const uint8_t* id = detect.probes[ce].id;
        char bytes[24];
        std::snprintf(bytes, sizeof bytes, "%02X %02X %02X %02X %02X", id[0], id[1], id[2], id[3], id[4]);
        log.Put("CE" + std::to_string(ce) + ": another chip (ID " + bytes + "), not a target of the CE0 chip\n");
    }
}

}  // namespace

void LogIdentity(LogSink& sink, const DetectResult& detect, const ChipIdentity& identity) {
    JobLog log(sink);
    log.Blue();
    log.Put("\nChip file: ");
    log.Put(identity.chipFileFound ? detect.chipFilePath : "none at " + detect.chipFilePath);
    log.Put("\n");

    const PageReading& reading = identity.reading;
    const ParameterPage& page = reading.page;
    log.Put(identity.pageCe == 0 ? std::string("Parameter page: ")
                                 : "Parameter page of CE" + std::to_string(identity.pageCe) + ": ");
    if (!reading.present) {
        log.Put("none (no ONFI signature at READ ID 20h, no JEDEC signature at 40h)\n");
    } else if (reading.timedOut) {
        log.Put(StandardName(page.standard));
        log.RedThenBlue(", R/B# stayed low while the chip loaded the page: not used\n");
    } else if (!page.crcPassed) {
        log.Put(StandardName(page.standard));
        log.RedThenBlue(", no copy in the " + std::to_string(PARAMETER_PAGE_READ_BYTES) +
                        " bytes read passes its CRC: not used\n");
    } else {
        log.Put(std::string(StandardName(page.standard)) + " " + page.revision + ", copy " +
                std::to_string(page.copy) + " passed its CRC\n");
        log.Put("  maker " + page.maker + ", model " + page.model + "\n");
        log.Put("  page " + Decimal(page.pageSize) + ", spare " + Decimal(page.spareSize) + ", " +
                Decimal(page.pagesPerBlock) + " pages per block, " + Decimal(page.blocksPerLun) + " blocks x " +
                Decimal(page.luns) + " LUN, row max " + Decimal(page.rowMax) + ", ECC " +
                std::to_string(page.eccBits) + " bits" +
                (page.eccBits == 0xFF ? " (the extended parameter page tells)" : "") + "\n");
        if (!page.unusable.empty()) log.RedThenBlue("  not used: " + page.unusable + "\n");
    }

    const IdGeometry& id = identity.idGeometry;
    log.Put("ID bytes decoded (a guess): ");
    char device[8];
    std::snprintf(device, sizeof device, "%02Xh", static_cast<unsigned>(detect.probes[0].id[1]));
    if (id.bus16) {
        log.RedThenBlue("a 16-bit part (ID byte 3 bit 6): this program drives an 8-bit bus only\n");
    } else if (!id.decoded) {
        log.Put(std::string("none, device code ") + device + " is not a 3.3 V x8 size the classic decoding knows\n");
    } else {
        log.Put("page " + std::to_string(id.pageSize) + ", spare " + std::to_string(id.spareSize) + ", " +
                std::to_string(id.pagesPerBlock) + " pages per block, " + std::to_string(id.blocks) +
                " blocks, row max " + std::to_string(id.rowMax) +
                (id.mlc ? " (ID byte 2 says more than one bit per cell: even less sure)" : "") + "\n");
    }

    const GeometryChoice& choice = identity.choice;
    log.Put("Geometry in use: ");
    if (choice.source == GeometrySource::None) {
        log.RedThenBlue("none (no chip file, no usable parameter page, no decoded ID bytes)\n");
    } else {
        const Geometry& g = choice.geometry;
        log.Put("page " + std::to_string(g.pageSize) + ", spare " + std::to_string(g.spareSize) + ", " +
                std::to_string(g.pagesPerBlock) + " pages per block, row max " + std::to_string(g.rowMax) +
                ", from the " + (choice.source == GeometrySource::IdBytes ? std::string("ID bytes (a guess)")
                                                                         : GeometrySourceName(choice.source)) +
                "\n");
    }
    for (const std::string& line : choice.disagreements) log.RedThenBlue("Disagreement: " + line + "\n");
    LogTargets(log, detect, identity);
}

Outcome SaveIdentity(LogSink& sink, const DetectResult& detect, const ChipIdentity& identity, bool replace) {
    JobLog log(sink);
    const GeometryChoice& choice = identity.choice;
    if (choice.source == GeometrySource::None) {
        log.RedThenBlue("Error, no geometry to save: no chip file, no usable parameter page, no decoded ID bytes\n");
        return {JobStatus::Refused};
    }
    // Once in a chip file, a guess would load in the window as a fact, with
    // nothing to say it may be wrong: a wrong spare size spoils every dump.
    if (choice.source == GeometrySource::IdBytes) {
        log.RedThenBlue("Error, the geometry in use is only a guess from the ID bytes: nothing saved (type the "
                        "datasheet's values into the window and press Save)\n");
        return {JobStatus::Refused};
    }
    // A chip file written again keeps its name.
    std::string name;
    const ParameterPage& page = identity.reading.page;
    if (choice.source == GeometrySource::ChipFile)
        name = identity.chipFileName;
    else
        name = ModelAsName(page.model, CHIP_FIELD_LENGTHS[KEY_NAME]);
    if (name.empty()) name = detect.idString;

    const Geometry& g = choice.geometry;
    const std::string values[CHIP_FILE_KEYS] = {name,
                                                detect.idString,
                                                std::to_string(g.rowMax),
                                                std::to_string(g.pageSize),
                                                std::to_string(g.spareSize),
                                                std::to_string(g.pagesPerBlock)};
    // The window's Detect empties a field whose value is longer than the
    // field: such a file would load as a broken geometry.
    static const char* const labels[CHIP_FILE_KEYS] = {"Name", "ID", "Row", "Page", "Spare", "Block"};
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) {
        if (values[key].size() <= CHIP_FIELD_LENGTHS[key]) continue;
        log.RedThenBlue("Error, " + std::string(labels[key]) + " " + values[key] + " is longer than the window's " +
                        std::to_string(CHIP_FIELD_LENGTHS[key]) + " characters: nothing saved\n");
        return {JobStatus::Refused};
    }

    // Where the window's Detect looks first, whichever file this Detect found.
    const std::string folder = MakerDirectory(detect.probes[0].maker);
    const std::string path = folder + detect.idString;
    struct stat info {};
    if (!replace && lstat(path.c_str(), &info) == 0) {
        log.RedThenBlue("Error, " + path + " is already there: not replaced\n");
        return {JobStatus::Refused};
    }
    log.Put("\nSave of File = " + path + "\n");
    // ICs/ and the maker's folder, as Detect looks for them.
    bool folders = true;
    for (size_t slash = folder.find('/'); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
        if (mkdir(folder.substr(0, slash).c_str(), 0777) != 0 && errno != EEXIST) folders = false;
    }
    const char* texts[CHIP_FILE_KEYS];
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) texts[key] = values[key].c_str();
    if (!folders || !WriteChipFile(path.c_str(), texts)) {
        log.RedThenBlue("Error create id file \n");
        return {JobStatus::FileError};
    }
    log.Put("Name=" + name + " Row=" + values[KEY_ROW] + " Page=" + values[KEY_PAGE] + " Spare=" +
            values[KEY_SPARE] + " Block=" + values[KEY_BLOCK] + ", from the " + GeometrySourceName(choice.source) +
            "\n");
    return {JobStatus::Done};
}
