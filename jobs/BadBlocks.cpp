#include "jobs/BadBlocks.h"

#include <cstring>
#include <vector>

#include "bus/NandBus.h"

int16_t ChipPort::ReadBytes(uint32_t row, uint32_t rowLimit, uint32_t column, int32_t length, uint8_t* buf) {
    std::vector<uint8_t> page(static_cast<size_t>(column) + static_cast<size_t>(length));
    const int16_t result = ReadPage(row, rowLimit, static_cast<int32_t>(page.size()), page.data());
    if (result == NAND_OK) std::memcpy(buf, page.data() + column, static_cast<size_t>(length));
    return result;
}

MarkCheck ReadBlockMark(ChipPort& chip, const Geometry& geometry, int64_t block) {
    const int64_t first = block * geometry.pagesPerBlock;
    const int pages = geometry.pagesPerBlock > 1 ? 2 : 1;
    for (int i = 0; i < pages && first + i <= geometry.rowMax; ++i) {
        uint8_t mark = 0xFF;
        if (chip.ReadBytes(static_cast<uint32_t>(first + i), static_cast<uint32_t>(geometry.rowMax),
                           static_cast<uint32_t>(geometry.pageSize), 1, &mark) != NAND_OK)
            return MarkCheck::NoAnswer;
        if (mark != 0xFF) return MarkCheck::Marked;
    }
    return MarkCheck::Good;
}

MarkCheck ReadMarks(ChipPort& chip, const Geometry& geometry, const RowRange& rows, std::vector<bool>& marked) {
    marked.clear();
    for (int64_t block = rows.first / geometry.pagesPerBlock; block <= rows.last / geometry.pagesPerBlock; ++block) {
        const MarkCheck mark = ReadBlockMark(chip, geometry, block);
        if (mark == MarkCheck::NoAnswer) return mark;
        marked.push_back(mark == MarkCheck::Marked);
    }
    return MarkCheck::Good;
}

int64_t GoodPages(const Geometry& geometry, const RowRange& rows, const std::vector<bool>& marked) {
    const int64_t firstBlock = rows.first / geometry.pagesPerBlock;
    int64_t good = 0;
    for (int64_t k = rows.first; k <= rows.last; ++k)
        good += !marked[static_cast<size_t>(k / geometry.pagesPerBlock - firstBlock)];
    return good;
}

int16_t WriteBlockMark(ChipPort& chip, const Geometry& geometry, int64_t block) {
    std::vector<uint8_t> page(static_cast<size_t>(geometry.pageSize) + 1, 0xFF);
    page.back() = BAD_BLOCK_MARK;
    return chip.ProgramPage(static_cast<uint32_t>(block * geometry.pagesPerBlock),
                            static_cast<uint32_t>(geometry.rowMax), static_cast<int32_t>(page.size()), page.data());
}

const char* MarkGeometryRefusal(const Geometry& geometry) {
    if (geometry.pagesPerBlock <= 0) return "Error, Pages per block <= 0\n";
    // The mark is found by its column, the page size; a column address has
    // two bytes.
    if (geometry.pageSize <= 0 || geometry.pageSize > 0xFFFF)
        return "Error, Page size <= 0, the bad-block marks cannot be found\n";
    return nullptr;
}

bool ParseBadBlockMode(const std::string& name, BadBlockJob job, BadBlockMode& mode) {
    if (name == "raw") {
        mode = BadBlockMode::Raw;
    } else if (name == "skip") {
        mode = BadBlockMode::Skip;
    } else if (name == "pad" && job != BadBlockJob::Write) {
        mode = BadBlockMode::Pad;
    } else if (name == "keep" && job == BadBlockJob::Write) {
        mode = BadBlockMode::Keep;
    } else {
        return false;
    }
    return true;
}

const char* BadBlockModeNames(BadBlockJob job) {
    return job == BadBlockJob::Write ? "raw, keep or skip" : "raw, pad or skip";
}

int64_t BlocksOf(const Geometry& geometry) {
    if (geometry.pagesPerBlock <= 0 || geometry.rowMax < 0) return 0;
    return (static_cast<int64_t>(geometry.rowMax) + geometry.pagesPerBlock) / geometry.pagesPerBlock;
}
