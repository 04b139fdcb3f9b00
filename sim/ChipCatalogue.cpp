// The chips the simulated socket can hold: every chip of the chip table,
// named by its part number, and one small made-up chip for fast tests.
#include "sim/SimNand.h"

#include <algorithm>
#include <cstring>

namespace sim {

// Built on first use: the program asks for its chips while statics are
// still being constructed.
const std::vector<ChipPreset>& Catalogue() {
    // clang-format off
    static const std::vector<ChipPreset> catalogue = {
        //  part              ID bytes                      page  spare  pages/block  blocks
        {"K9F1G08U0B",      {0xEC, 0xF1, 0x00, 0x95, 0x40}, {2048, 64, 64, 1024}},
        {"K9F1G08U0C",      {0xEC, 0xF1, 0x00, 0x95, 0x40}, {2048, 64, 64, 1024}},
        {"K9F1G08U0D",      {0xEC, 0xF1, 0x00, 0x15, 0x40}, {2048, 64, 64, 1024}},
        {"K9F1G08U0E",      {0xEC, 0xF1, 0x00, 0x95, 0x41}, {2048, 64, 64, 1024}},
        {"K9F2G08U0B",      {0xEC, 0xDA, 0x10, 0x95, 0x44}, {2048, 64, 64, 2048}},
        {"K9F2G08U0C",      {0xEC, 0xDA, 0x10, 0x95, 0x44}, {2048, 64, 64, 2048}},
        {"K9F4G08U0A",      {0xEC, 0xDC, 0x10, 0x95, 0x54}, {2048, 64, 64, 4096}},
        {"K9F4G08U0B",      {0xEC, 0xDC, 0x10, 0x95, 0x54}, {2048, 64, 64, 4096}},
        {"K9F4G08U0D",      {0xEC, 0xDC, 0x10, 0x95, 0x54}, {2048, 64, 64, 4096}},
        {"K9K8G08U0A",      {0xEC, 0xD3, 0x51, 0x95, 0x58}, {2048, 64, 64, 8192}},
        {"HY27UF082G2B",    {0xAD, 0xDA, 0x10, 0x95, 0x44}, {2048, 64, 64, 2048}},
        {"HY27UF084G2B",    {0xAD, 0xDC, 0x10, 0x95, 0x54}, {2048, 64, 64, 4096}},
        {"H27U2G8F2C",      {0xAD, 0xDA, 0x90, 0x95, 0x44}, {2048, 64, 64, 2048}},
        {"H27U4G8F2D",      {0xAD, 0xDC, 0x90, 0x95, 0x54}, {2048, 64, 64, 4096}},
        {"H27U4G8F2E",      {0xAD, 0xDC, 0x90, 0x95, 0x56}, {2048, 64, 64, 4096}},
        {"MT29F1G08ABADA",  {0x2C, 0xF1, 0x80, 0x95, 0x02}, {2048, 64, 64, 1024}},
        {"MT29F1G08ABAEA",  {0x2C, 0xF1, 0x80, 0x95, 0x04}, {2048, 64, 64, 1024}},
        {"MT29F2G08ABAEA",  {0x2C, 0xDA, 0x90, 0x95, 0x06}, {2048, 64, 64, 2048}},
        {"MT29F4G08ABADA",  {0x2C, 0xDC, 0x90, 0x95, 0x56}, {2048, 64, 64, 4096}},
        {"MT29F4G08ABAEA",  {0x2C, 0xDC, 0x90, 0xA6, 0x54}, {4096, 224, 64, 2048}},
        {"MT29F8G08ABACA",  {0x2C, 0xD3, 0x90, 0xA6, 0x64}, {4096, 224, 64, 4096}},
        {"TC58NVG0S3E",     {0x98, 0xD1, 0x90, 0x15, 0x76}, {2048, 64, 64, 1024}},
        {"TC58NVG0S3H",     {0x98, 0xF1, 0x80, 0x15, 0x72}, {2048, 128, 64, 1024}},
        {"TC58NVG1S3E",     {0x98, 0xDA, 0x90, 0x15, 0x76}, {2048, 64, 64, 2048}},
        {"TC58NVG1S3H",     {0x98, 0xDA, 0x90, 0x15, 0x76}, {2048, 128, 64, 2048}},
        {"TC58NVG2S3E",     {0x98, 0xDC, 0x90, 0x15, 0x76}, {2048, 64, 64, 4096}},
        {"TC58NVG2S0H",     {0x98, 0xDC, 0x90, 0x26, 0x76}, {4096, 256, 64, 2048}},
        {"TC58NVG3S0F",     {0x98, 0xD3, 0x90, 0x26, 0x76}, {4096, 232, 64, 4096}},
        {"TH58NVG2S3H",     {0x98, 0xDC, 0x91, 0x15, 0x76}, {2048, 128, 64, 4096}},
        {"MX30LF1G08AA",    {0xC2, 0xF1, 0x80, 0x1D, 0xC2}, {2048, 64, 64, 1024}},
        {"MX30LF1G18AC",    {0xC2, 0xF1, 0x80, 0x95, 0x02}, {2048, 64, 64, 1024}},
        {"MX30LF2G18AC",    {0xC2, 0xDA, 0x90, 0x95, 0x06}, {2048, 64, 64, 2048}},
        {"MX30LF4G18AC",    {0xC2, 0xDC, 0x90, 0x95, 0x56}, {2048, 64, 64, 4096}},
        {"NAND02GW3B2D",    {0x20, 0xDA, 0x10, 0x95, 0x44}, {2048, 64, 64, 2048}},
        {"NAND04GW3B2D",    {0x20, 0xDC, 0x10, 0x95, 0x54}, {2048, 64, 64, 4096}},
        {"S34ML01G1",       {0x01, 0xF1, 0x00, 0x1D, 0x01}, {2048, 64, 64, 1024}},
        {"S34ML02G1",       {0x01, 0xDA, 0x90, 0x95, 0x44}, {2048, 64, 64, 2048}},
        {"S34ML04G1",       {0x01, 0xDC, 0x90, 0x95, 0x54}, {2048, 64, 64, 4096}},
        {"S34ML02G2",       {0x01, 0xDA, 0x90, 0x95, 0x46}, {2048, 128, 64, 2048}},
        {"S34ML04G2",       {0x01, 0xDC, 0x90, 0x95, 0x56}, {2048, 128, 64, 4096}},
        // Not a real part: 256 + 8 bytes a page, 8 pages a block, 16 blocks, so
        // 128 pages and a single row address byte. The maker byte is Samsung's
        // so that detection names a maker; no real chip has this ID.
        {"SIM-TINY",        {0xEC, 0x01, 0x00, 0x15, 0x00}, {256, 8, 8, 16}},
    };
    // clang-format on
    return catalogue;
}

namespace {

// Chips of several LUNs, apart from the chip table's chips of one.
const std::vector<ChipPreset>& LunPresets() {
    // Not a real part: an ONFI chip (Micron's maker byte) of two LUNs of 12
    // blocks, 8 pages a block: row address LUN | block (4 bits) | page
    // (3 bits), so rows 96-127 and 224-255 address nothing.
    static const std::vector<ChipPreset> presets = {
        {"SIM-TINY-2LUN", {0x2C, 0x02, 0x00, 0x15, 0x00}, {256, 8, 8, 12, 2}},
    };
    return presets;
}

}  // namespace

const ChipPreset* FindPreset(const std::string& part) {
    for (const std::vector<ChipPreset>* list : {&Catalogue(), &LunPresets()})
        for (const ChipPreset& preset : *list)
            if (preset.part == part) return &preset;
    return nullptr;
}

const ChipPreset& DefaultPreset() { return *FindPreset("K9F1G08U0B"); }

const ChipPreset& TinyPreset() { return *FindPreset("SIM-TINY"); }

const MultiDiePart* FindMultiDiePart(const std::string& part) {
    // Two K9K8G08U0A dies, CE0 and CE1, each answering READ ID as the single
    // die does.
    static const MultiDiePart parts[] = {{"K9WAG08U1A", "K9K8G08U0A", 2}};
    for (const MultiDiePart& p : parts)
        if (part == p.part) return &p;
    return nullptr;
}

bool MakerHasOnfiPage(uint8_t makerCode) { return makerCode == 0x2C || makerCode == 0x01 || makerCode == 0xC2; }

namespace {

constexpr size_t kOnfiCopy = 256;

void Put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    Put16(at, value);
    Put16(at + 2, value >> 16);
}

// Space padded, as the standard asks of its text fields.
void PutText(uint8_t* at, size_t width, const std::string& text) {
    std::memset(at, ' ', width);
    std::memcpy(at, text.data(), std::min(width, text.size()));
}

// The standard's CRC-16: polynomial 8005h, 4F4Eh to start with, bits taken
// most significant first, nothing reflected, nothing XORed at the end. Kept
// apart from the program's own decoder so the two check each other.
uint16_t Crc16(const uint8_t* bytes, size_t length) {
    uint16_t crc = 0x4F4E;
    for (size_t i = 0; i < length; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool in = ((bytes[i] >> bit) & 1u) != ((crc >> 15) & 1u);
            crc = static_cast<uint16_t>(crc << 1);
            if (in) crc ^= 0x8005;
        }
    }
    return crc;
}

const char* OnfiMakerText(uint8_t makerCode) {
    switch (makerCode) {
        case 0x2C: return "MICRON";
        case 0x01: return "SPANSION";
        case 0xC2: return "MACRONIX";
        default: return "";
    }
}

}  // namespace

std::vector<uint8_t> OnfiParameterPage(const ChipPreset& preset) {
    const ChipGeometry& g = preset.geometry;
    uint8_t page[kOnfiCopy] = {};
    std::memcpy(page, "ONFI", 4);
    Put16(page + 4, 1u << 1);  // revision 1.0
    PutText(page + 32, 12, OnfiMakerText(preset.id[0]));
    PutText(page + 44, 20, preset.part);
    page[64] = preset.id[0];
    Put32(page + 80, static_cast<uint32_t>(g.pageSize));
    Put16(page + 84, static_cast<uint32_t>(g.spareSize));
    Put32(page + 86, 512);
    Put16(page + 90, static_cast<uint32_t>(g.spareSize * 512 / g.pageSize));
    Put32(page + 92, static_cast<uint32_t>(g.pagesPerBlock));
    Put32(page + 96, static_cast<uint32_t>(g.blocks));  // per LUN
    page[100] = static_cast<uint8_t>(g.luns);
    const int rowBytes = RowAddressBytesOf(g);
    page[101] = static_cast<uint8_t>(2 << 4 | rowBytes);  // column cycles high, row cycles low
    page[102] = 1;                                        // bits per cell
    Put16(page + 103, static_cast<uint32_t>(g.blocks / 50));
    page[105] = 1;  // block endurance 1 x 10^5
    page[106] = 5;
    page[107] = 1;  // guaranteed good blocks at the start
    page[110] = 4;  // partial programs per page
    // ECC bits per 512 bytes: chosen from the spare room, as these parts'
    // datasheets roughly go (16 bytes per 512: 1 bit; more: 4 bits).
    page[112] = g.spareSize * 512 / g.pageSize > 16 ? 4 : 1;
    page[128] = 10;           // I/O capacitance, pF
    Put16(page + 129, 0x1F);  // timing modes 0 to 4
    Put16(page + 133, 600);   // tPROG max, us
    Put16(page + 135, 3000);  // tBERS max, us
    Put16(page + 137, 25);    // tR max, us
    Put16(page + 139, 100);   // tCCS min, ns
    Put16(page + 254, Crc16(page, 254));
    std::vector<uint8_t> copies;
    for (int copy = 0; copy < 3; ++copy) copies.insert(copies.end(), page, page + kOnfiCopy);
    return copies;
}

}  // namespace sim
