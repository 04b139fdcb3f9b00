#include "chip/ParameterPage.h"

#include <cstdio>
#include <cstring>

namespace {

uint32_t Get16(const uint8_t* at) { return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8; }
uint32_t Get32(const uint8_t* at) { return Get16(at) | Get16(at + 2) << 16; }

// A space-padded text field: NULs count as padding, and a byte that is no
// printable ASCII shows as '?', so that a broken page never puts a control
// character into a log line or a file name.
std::string Text(const uint8_t* at, size_t width) {
    std::string text;
    for (size_t i = 0; i < width; ++i) {
        const uint8_t c = at[i];
        text += c == 0 ? ' ' : (c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int HighestBit(uint32_t bits) {
    int highest = -1;
    for (int bit = 0; bit < 16; ++bit)
        if (bits & (1u << bit)) highest = bit;
    return highest;
}

std::string OnfiRevision(uint32_t bits) {
    static const char* const names[] = {nullptr, "1.0", "2.0", "2.1", "2.2", "2.3", "3.0", "3.1", "3.2", "4.0"};
    const int bit = HighestBit(bits & ~1u);
    if (bit < 1) return "unknown";
    if (bit > 9) return "newer than 4.0";
    return names[bit];
}

// Bit 1 marks a vendor's own layout before the standard's first revision.
std::string JedecRevision(uint32_t bits) {
    const int bit = HighestBit(bits & ~1u);
    if (bit < 1) return "unknown";
    if (bit == 1) return "vendor specific";
    if (bit == 2) return "1.0";
    return "newer than 1.0";
}

// The geometry fields sit at the same offsets in both standards.
void DecodeCopy(const uint8_t* p, ParameterPage& page) {
    const bool onfi = page.standard == PageStandard::Onfi;
    page.revisionBits = static_cast<uint16_t>(Get16(p + 4));
    page.revision = onfi ? OnfiRevision(page.revisionBits) : JedecRevision(page.revisionBits);
    page.bus16 = (Get16(p + 6) & 1u) != 0;
    page.maker = Text(p + 32, 12);
    page.model = Text(p + 44, 20);
    page.pageSize = Get32(p + 80);
    page.spareSize = Get16(p + 84);
    page.pagesPerBlock = Get32(p + 92);
    page.blocksPerLun = Get32(p + 96);
    page.luns = p[100];
    page.eccBits = onfi ? p[112] : p[144];
    page.blocks = static_cast<uint64_t>(page.blocksPerLun) * page.luns;
    // Up to 2^32 x 2^32 x 255 pages: saturate rather than wrap into a small,
    // harmless-looking number.
    const uint64_t perLun = static_cast<uint64_t>(page.pagesPerBlock) * page.blocksPerLun;
    const uint64_t pages = page.luns != 0 && perLun > UINT64_MAX / page.luns ? UINT64_MAX : perLun * page.luns;
    page.rowMax = pages == 0 ? 0 : pages - 1;

    char why[96] = "";
    if (page.pageSize == 0)
        std::snprintf(why, sizeof why, "page size 0");
    else if (static_cast<uint64_t>(page.pageSize) + page.spareSize > 65534)
        std::snprintf(why, sizeof why, "page and spare of %llu bytes, above 65534",
                      static_cast<unsigned long long>(page.pageSize) + page.spareSize);
    else if (page.pagesPerBlock == 0)
        std::snprintf(why, sizeof why, "0 pages per block");
    else if (page.pagesPerBlock > 0xFFFF)
        std::snprintf(why, sizeof why, "%u pages per block, above 65535", page.pagesPerBlock);
    else if (page.blocksPerLun == 0 || page.luns == 0)
        std::snprintf(why, sizeof why, "no blocks (%u blocks, %u LUNs)", page.blocksPerLun, page.luns);
    else if (page.rowMax > 0x7FFFFFFFu)
        std::snprintf(why, sizeof why, "row max %llu, above 2^31 - 1", static_cast<unsigned long long>(page.rowMax));
    else if (page.bus16)
        std::snprintf(why, sizeof why, "a 16-bit part: this program drives an 8-bit bus only");
    page.unusable = why;
}

}  // namespace

uint16_t ParameterPageCrc(const uint8_t* bytes, size_t length) {
    uint16_t crc = 0x4F4E;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}

ParameterPage DecodeParameterPage(const uint8_t* bytes, size_t length, PageStandard standard) {
    ParameterPage page;
    page.standard = standard;
    const bool onfi = standard == PageStandard::Onfi;
    const size_t size = onfi ? ONFI_PAGE_BYTES : JEDEC_PAGE_BYTES;
    const char* signature = onfi ? "ONFI" : "JESD";
    for (size_t start = 0; start + size <= length; start += size) {
        const uint8_t* copy = bytes + start;
        ++page.copiesTried;
        if (ParameterPageCrc(copy, size - 2) != Get16(copy + size - 2)) continue;
        if (std::memcmp(copy, signature, 4) != 0) continue;
        page.crcPassed = true;
        page.copy = page.copiesTried;
        DecodeCopy(copy, page);
        break;
    }
    return page;
}

std::string ModelAsName(const std::string& model, size_t maxLength) {
    const size_t first = model.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    std::string name = model.substr(first, model.find_last_not_of(" \t") - first + 1);
    for (char& c : name)
        if (c == ' ' || c == '\t') c = '-';
    return name.substr(0, maxLength);
}

IdGeometry DecodeIdBytes(const uint8_t id[5]) {
    // Chip size in MiB by device code, 3.3 V x8 parts.
    static const struct {
        uint8_t code;
        int32_t mebibytes;
    } sizes[] = {{0xF1, 128}, {0xD1, 128}, {0xDA, 256}, {0xDC, 512}, {0xD3, 1024}, {0xD5, 2048}, {0xD7, 4096}};
    IdGeometry g;
    const uint8_t b3 = id[3];
    g.bus16 = (b3 & 0x40) != 0;
    g.mlc = (id[2] & 0x0C) != 0;
    g.pageSize = 1024 << (b3 & 3);
    g.spareSize = (8 << ((b3 >> 2) & 1)) * (g.pageSize / 512);
    const int32_t blockBytes = (64 * 1024) << ((b3 >> 4) & 3);
    g.pagesPerBlock = blockBytes / g.pageSize;
    int32_t mebibytes = 0;
    for (const auto& size : sizes)
        if (size.code == id[1]) mebibytes = size.mebibytes;
    if (mebibytes == 0 || g.bus16) return g;
    const int64_t chipBytes = static_cast<int64_t>(mebibytes) << 20;
    g.blocks = static_cast<int32_t>(chipBytes / blockBytes);
    g.rowMax = chipBytes / g.pageSize - 1;
    g.decoded = true;
    return g;
}
