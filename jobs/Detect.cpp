#include <cstdio>
#include <cstring>

#include "chip/ChipFile.h"
#include "jobs/JobLog.h"
#include "jobs/Jobs.h"

namespace {

// Appends ID byte i of a probe: "0x%X, " for bytes 0 to 3, "0x%X" for byte 4.
void LogIdByte(JobLog& log, int i, uint8_t byte) {
    char byteText[8];
    std::snprintf(byteText, sizeof byteText, i < 4 ? "0x%X, " : "0x%X", static_cast<unsigned>(byte));
    log.Put(byteText);
}

void SetChipField(void* context, int key, const char* value) { static_cast<ChipFields*>(context)->Set(key, value); }

}  // namespace

FILE* FindChipFile(const ChipProbe& probe, const std::string& idString, const char* databaseRoot,
                   std::string& path) {
    path = std::string(MakerDirectory(probe.maker)) + idString;
    FILE* file = OpenChipFile(path);
    if (file == nullptr && databaseRoot != nullptr && *databaseRoot != '\0') {
        const std::string installed = std::string(databaseRoot) + "/" + path;
        file = OpenChipFile(installed);
        if (file != nullptr) path = installed;
    }
    return file;
}

DetectResult RunDetect(LogSink& sink, BusPort& bus, ChipFields& fields, const char* databaseRoot) {
    JobLog log(sink);
    DetectResult result;
    const ChipProbe order[4] = {{"CE0 = ", CE0, {}, nullptr},
                                {"CE1 = ", CE1, {}, nullptr},
                                {"CE2 = ", CE2, {}, nullptr},
                                {"CE3 = ", CE3, {}, nullptr}};
    for (int i = 0; i < 4; ++i) result.probes[i] = order[i];

    // Only the chip on CE0 names the maker and the file; CE1 to CE3 are
    // reported as they answer.
    ChipProbe& first = result.probes[0];
    first.maker = bus.ReadId(CE0, first.id);
    log.Blue();
    log.Put("Manufacturer: = ");
    log.RedThenBlue(first.maker);
    log.Put("\n");

    result.idString = IdString(first.id);
    fields.Set(KEY_ID, result.idString.c_str());
    log.Put(first.label);
    for (int i = 0; i < 5; ++i) LogIdByte(log, i, first.id[i]);
    log.Put("\n");

    for (int p = 1; p < 4; ++p) {
        ChipProbe& probe = result.probes[p];
        probe.maker = bus.ReadId(probe.cePin, probe.id);
        log.Put(probe.label);
        for (int i = 0; i < 5; ++i) LogIdByte(log, i, probe.id[i]);
        log.Put(p < 3 ? "\n" : "\n\n");
    }

    FILE* file = FindChipFile(first, fields.Get(KEY_ID), databaseRoot, result.chipFilePath);
    if (file == nullptr) {
        log.RedThenBlue("Warning, no find <cfg> file in >> ICs... \n");
        return result;
    }
    result.chipFileFound = true;
    ReadChipFile(file, SetChipField, &fields);
    std::fclose(file);

    // Each line shows what its field took, which for a value longer than the
    // field is not the file's value.
    const char* labels[CHIP_FILE_KEYS] = {"Name nand = ",  "ID nand = ",    "Row max size = ",
                                          "Page size = ",  "Spare size = ", "1 Block = "};
    log.Put("Found parametrs:\n");
    log.Red();
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) {
        log.Put(labels[key]);
        log.Put(fields.Get(key));
        if (key == KEY_BLOCK) log.Put(" Pages");
        log.Put("\n");
    }
    log.Blue();
    return result;
}
