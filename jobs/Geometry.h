// The chip geometry a job works with, the one rule that turns a field's text
// into a number, and the checks each job makes before it touches the chip.
#pragma once

#include <cstdint>

struct Geometry {
    int32_t pageSize = 0;
    int32_t spareSize = 0;
    int32_t rowMax = 0;         // the highest row (page) address
    int32_t pagesPerBlock = 0;  // 1 to LARGEST_PAGES_PER_BLOCK where a job goes by blocks

    // Page plus spare, the length of a record; 64 bits so that no two
    // values can wrap into an accepted one.
    int64_t PageTotal() const { return static_cast<int64_t>(pageSize) + spareSize; }
};

// Text to number: strtol base 10 (leading blanks, a sign, digits, and the
// first other character ends it), kept to its low 32 bits; a text with no
// number is 0.
int32_t ParseNumber(const char* text);

// The largest page total a job accepts: the page buffers hold 65536 bytes.
inline constexpr int64_t LARGEST_PAGE_TOTAL = 0xFFFE;
// The most pages a block may have. No chip comes near it, and a block
// number times it, plus a row within the block, stays well inside 64 bits.
inline constexpr int32_t LARGEST_PAGES_PER_BLOCK = 0xFFFF;

enum class GeometryUse {
    ReadDump,       // also refuses a page size of 0 by itself
    WriteOrVerify,
    BlankCheck,
    Erase,          // row max and pages per block only
};

// The refusal line for values a job cannot work with, or nullptr when they
// are good. Each job has kept its own wording.
const char* GeometryRefusal(const Geometry& geometry, GeometryUse use);
