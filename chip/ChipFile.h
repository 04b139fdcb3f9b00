// Chip parameter files: six "Key=value" lines that hold the texts of the six
// chip fields of the window, found under "ICs/<maker>/<ID string>".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The six keys in file order; the index is the one the reader and writer use.
enum ChipFileKey : int {
    KEY_NAME = 0,   // TXT_NAME_CHIP_
    KEY_ID = 1,     // TXT_NAND_ID_
    KEY_ROW = 2,    // TXT_ROW_MAX_ADDR_
    KEY_PAGE = 3,   // TXT_PAGE_SIZE_
    KEY_SPARE = 4,  // TXT_SPARE_SIZE_
    KEY_BLOCK = 5,  // TXT_PAGES_
    CHIP_FILE_KEYS = 6,
};

// Key text of each line, e.g. "Name=".
extern const char* const chipFileKeyText[CHIP_FILE_KEYS];

// The longest value of each key that the window's field holds, in key
// order: a chip file with a longer one does not load into the window whole.
inline constexpr size_t CHIP_FIELD_LENGTHS[CHIP_FILE_KEYS] = {16, 10, 8, 5, 3, 3};

// The longest value the reader takes in one scan; a longer word is taken in
// pieces of this size, and the rest stands where the next key is expected.
inline constexpr int CHIP_VALUE_MAX = 19;

// Called right after each key's scan with the reader's one value buffer: the
// value just read, or whatever the buffer held before when the scan failed
// (empty before the first successful scan).
using ChipFieldSetter = void (*)(void* context, int key, const char* value);

// Opens the chip file at path to read, or returns nullptr when there is none
// there.
FILE* OpenChipFile(const std::string& path);

// Reads the six keys in file order from an open file, one formatted scan each,
// and hands each value to setField before the next key is read. It never
// looks at the scan results and reads nothing after the sixth key.
void ReadChipFile(FILE* file, ChipFieldSetter setField, void* context);

// Writes the six lines, the last one without a line end, into a fresh file
// that then replaces the one at path (a link there is replaced, not
// followed). False when the file cannot be created, or was not written whole
// (a write or the close failed); the old file then stays as it was.
bool WriteChipFile(const char* path, const char* const values[CHIP_FILE_KEYS]);

// The ID string of five ID bytes: bytes 0 to 3 in "%X" form, except that a
// zero byte gives "00"; byte 4 in "%X" form only, so a zero there gives "0".
std::string IdString(const uint8_t id[5]);
// The digits one ID byte adds to the ID string (index 0 to 4).
std::string IdStringPiece(int index, uint8_t byte);

// "ICs/<maker name>/" for each of the eleven maker names, relative to the
// working directory.
const char* MakerDirectory(const char* makerName);
