#include "jobs/Geometry.h"

#include <cstdlib>

int32_t ParseNumber(const char* text) {
    // strtol saturates at LONG_MIN/LONG_MAX; the low 32 bits of that are what
    // every job has always seen, on either word size.
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(std::strtol(text, nullptr, 10))));
}

const char* GeometryRefusal(const Geometry& g, GeometryUse use) {
    const int64_t total = g.PageTotal();
    switch (use) {
        case GeometryUse::Erase:
            if (g.rowMax == 0) return "Error, Page size = 0 or row max size = 0\n";
            // A negative row max visits no row: ending that with "Erace Ok"
            // would report an erase that never happened.
            if (g.rowMax < 0) return "Error, row max size < 0\n";
            // Block numbers are rows divided by the pages per block.
            if (g.pagesPerBlock <= 0) return "Error, Pages per block <= 0\n";
            return nullptr;
        case GeometryUse::ReadDump:
            if (g.pageSize == 0) return "Error, Page size = 0\n";
            [[fallthrough]];
        case GeometryUse::BlankCheck:
        case GeometryUse::WriteOrVerify:
            if (total == 0 || g.rowMax == 0) return "Error, Page size = 0 or row max size = 0\n";
            if (total > LARGEST_PAGE_TOTAL) return "Error, Page size > 0xFFFF\n";
            // A negative length would reach the bus and the file calls as a
            // huge count (a blank check would call pages blank that it never
            // read in full), and a negative row max the progress dialog as
            // its maximum, on which it asserts.
            if (g.pageSize < 0 || g.spareSize < 0 || total < 0 || g.rowMax < 0)
                return use == GeometryUse::BlankCheck ? "Error, Page size < 0 or row max size < 0\n"
                                                      : "Error, Page size, spare size or row max size < 0\n";
            return nullptr;
    }
    return nullptr;
}
