#include <cctype>
#include <string>

#include "chip/ChipFile.h"
#include "jobs/JobLog.h"
#include "jobs/Jobs.h"

namespace {

// The fields by the names their labels give them in the window.
const char* const FIELD_NAMES[CHIP_FILE_KEYS] = {"Name Chip", "Nand ID", "Row Max Addr",
                                                 "Page Size", "Spare",   "1 Block"};

// Detect reads each value as one word: a blank ends it, and an empty value
// lets the next key's text shift into its place.
bool ReadsBackWhole(const char* value) {
    if (value == nullptr || *value == '\0') return false;
    for (const char* c = value; *c != '\0'; ++c) {
        if (std::isspace(static_cast<unsigned char>(*c))) return false;
    }
    return true;
}

}  // namespace

Outcome RunSave(LogSink& sink, PathChooser& chooser, const char* const values[CHIP_FILE_KEYS]) {
    JobLog log(sink);
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) {
        if (ReadsBackWhole(values[key])) continue;
        log.Red();
        log.Put("Error, ");
        log.Put(FIELD_NAMES[key]);
        log.Put(" is empty or holds a blank or a character that cannot be saved: nothing saved\n");
        log.Blue();
        return {JobStatus::Refused};
    }
    std::string path;
    if (!chooser.Choose(FileUse::SaveChipFile, path)) return {JobStatus::Cancelled};
    log.Put("\nSave of File = ");
    log.Put(path);
    log.Put("\n");
    if (!WriteChipFile(path.c_str(), values)) {
        log.RedThenBlue("Error create id file \n");
        return {JobStatus::FileError};
    }
    return {JobStatus::Done};
}
