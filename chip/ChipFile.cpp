#include "chip/ChipFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "chip/FreshFile.h"

const char* const chipFileKeyText[CHIP_FILE_KEYS] = {"Name=", "ID=", "Row=", "Page=", "Spare=", "Block="};

namespace {

// The key must match at the reader's position (nothing is skipped before
// it); the value skips leading whitespace; the trailing line feed eats any
// run of whitespace, none included, so CR LF, blank lines and a missing last
// line end all read alike. The width keeps every scan inside the buffer.
const char* const readerFormat[CHIP_FILE_KEYS] = {
    "Name=%19s\n", "ID=%19s\n", "Row=%19s\n", "Page=%19s\n", "Spare=%19s\n", "Block=%19s\n",
};

// Save ends the file with the last character of the Block value.
const char* const writerFormat[CHIP_FILE_KEYS] = {
    "Name=%s\n", "ID=%s\n", "Row=%s\n", "Page=%s\n", "Spare=%s\n", "Block=%s",
};

static_assert(CHIP_VALUE_MAX == 19, "the reader formats carry the value width");

struct MakerDirectoryRow {
    const char* maker;
    const char* directory;
};

// In the order the names are compared.
const MakerDirectoryRow makerDirectories[] = {
    {"Samsung", "ICs/Samsung/"},
    {"AMD", "ICs/AMD/"},
    {"Fujitsu", "ICs/Fujitsu/"},
    {"Hynix", "ICs/Hynix/"},
    {"Macronix", "ICs/Macronix/"},
    {"Micron", "ICs/Micron/"},
    {"National Semiconductors", "ICs/National Semiconductors/"},
    {"Renesas", "ICs/Renesas/"},
    {"ST Micro", "ICs/ST Micro/"},
    {"Toshiba", "ICs/Toshiba/"},
    {"Unknown Nand", "ICs/Unknown Nand/"},
};

}  // namespace

// Only a regular file that begins with the first key is a chip file: a folder of
// that name would fail every scan, and an empty or foreign file would empty
// every field, the ID just read included. The open never waits, so a named
// pipe there cannot hang the job.
FILE* OpenChipFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info{};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
    const char* firstKey = chipFileKeyText[KEY_NAME];
    const size_t keyLength = std::strlen(firstKey);
    char head[8] = {};
    if (std::fread(head, 1, keyLength, file) != keyLength || std::memcmp(head, firstKey, keyLength) != 0) {
        std::fclose(file);
        return nullptr;
    }
    std::rewind(file);
    return file;
}

void ReadChipFile(FILE* file, ChipFieldSetter setField, void* context) {
    // One buffer for all six keys: a key that does not match leaves it as the
    // previous key left it.
    char value[CHIP_VALUE_MAX + 1] = {};
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) {
        // Whatever the scan matched, the field gets the buffer: a key that
        // is not where the reader stands costs only its own field.
        const int scanned = std::fscanf(file, readerFormat[key], value);
        static_cast<void>(scanned);
        setField(context, key, value);
    }
}

bool WriteChipFile(const char* path, const char* const values[CHIP_FILE_KEYS]) {
    // Written beside the path and renamed over it once whole: a full disk or
    // a size limit leaves the old chip file as it was, never cut or gone.
    // A link at the path is replaced, never written through: a chip file
    // belongs in ICs/, not wherever a link there leads. Only a regular file
    // is replaced: a named pipe would block until a reader came, and a
    // device is no file that the next Detect could read.
    FreshFile fresh;
    if (!fresh.Create(path, FreshFile::Links::Replace)) return false;
    const int fd = dup(fresh.Fd());
    FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (file == nullptr) {
        if (fd >= 0) close(fd);
        return false;
    }
    bool whole = true;
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) {
        if (std::fprintf(file, writerFormat[key], values[key]) < 0) whole = false;
    }
    if (std::ferror(file)) whole = false;
    // The lines sit in the stream's buffer until the close: a full disk shows
    // only there.
    if (std::fclose(file) != 0) whole = false;
    return whole && fresh.Commit();
}

std::string IdStringPiece(int index, uint8_t byte) {
    if (byte == 0) return index < 4 ? "00" : "0";
    char digits[4];
    std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(byte));
    return digits;
}

std::string IdString(const uint8_t id[5]) {
    std::string text;
    for (int i = 0; i < 5; ++i) text += IdStringPiece(i, id[i]);
    return text;
}

const char* MakerDirectory(const char* makerName) {
    for (const MakerDirectoryRow& row : makerDirectories) {
        if (std::strcmp(makerName, row.maker) == 0) return row.directory;
    }
    // NandReadId names every byte it does not know "Unknown Nand".
    return "ICs/Unknown Nand/";
}
