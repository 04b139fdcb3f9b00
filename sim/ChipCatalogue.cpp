// The chips the simulated socket can hold: every chip of the chip table,
// named by its part number, and one small made-up chip for fast tests.
#include "sim/SimNand.h"

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

const ChipPreset* FindPreset(const std::string& part) {
    for (const ChipPreset& preset : Catalogue())
        if (preset.part == part) return &preset;
    return nullptr;
}

const ChipPreset& DefaultPreset() { return *FindPreset("K9F1G08U0B"); }

const ChipPreset& TinyPreset() { return *FindPreset("SIM-TINY"); }

}  // namespace sim
