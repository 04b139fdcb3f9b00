// What a chip says of itself: the ONFI or JEDEC parameter page that READ
// PARAMETER PAGE gives, and the classic reading of the READ ID bytes of older
// large-page parts. Plain functions over bytes already read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class PageStandard { Onfi, Jedec };

// Bytes of one copy of the page; the chip gives at least three copies in a row.
inline constexpr size_t ONFI_PAGE_BYTES = 256;
inline constexpr size_t JEDEC_PAGE_BYTES = 512;
// What is read of the page: three JEDEC copies, or six ONFI ones.
inline constexpr size_t PARAMETER_PAGE_READ_BYTES = 1536;

// The CRC-16 both standards put in the last two bytes of a copy: polynomial
// 8005h, started at 4F4Eh, bits taken most significant first, no reflection,
// no final XOR.
uint16_t ParameterPageCrc(const uint8_t* bytes, size_t length);

struct ParameterPage {
    PageStandard standard = PageStandard::Onfi;
    bool crcPassed = false;  // false: every copy failed its CRC, nothing below is set
    int copiesTried = 0;     // copies looked at
    int copy = 0;            // the copy that passed, from 1
    uint16_t revisionBits = 0;
    std::string revision;    // "1.0", "2.3", ...
    std::string maker;       // trimmed, anything but printable ASCII as '?'
    std::string model;
    uint32_t pageSize = 0;
    uint32_t spareSize = 0;
    uint32_t pagesPerBlock = 0;
    uint32_t blocksPerLun = 0;
    uint32_t luns = 0;
    uint64_t blocks = 0;     // all LUNs
    uint64_t rowMax = 0;     // the highest page number, all LUNs (saturates)
    int eccBits = 0;         // bits to correct per codeword; FFh: in the extended page
    bool bus16 = false;
    // Why the values cannot be used (a good CRC over absurd values, a 16-bit
    // part), or empty.
    std::string unusable;

    bool Usable() const { return crcPassed && unusable.empty(); }
};

// Decodes the bytes READ PARAMETER PAGE gave: the first copy with a good CRC
// and its standard's signature is taken, the next one tried when a copy fails.
ParameterPage DecodeParameterPage(const uint8_t* bytes, size_t length, PageStandard standard);

// The model as a chip file's Name: trimmed, inner blanks as '-', cut to
// maxLength; empty when nothing is left.
std::string ModelAsName(const std::string& model, size_t maxLength);

// The classic decoding of the ID bytes: page, spare and block size from ID
// byte 3, the chip's size from the device code (byte 1) of 3.3 V x8 parts.
// Makers with 6-byte IDs and MLC parts use the bits otherwise, so the result
// is only ever a guess.
struct IdGeometry {
    bool decoded = false;  // false: the device code is not one the table knows, or a 16-bit part
    bool bus16 = false;    // byte 3 bit 6
    bool mlc = false;      // byte 2 says more than one bit per cell
    int32_t pageSize = 0;
    int32_t spareSize = 0;
    int32_t pagesPerBlock = 0;
    int32_t blocks = 0;
    int64_t rowMax = 0;
};
IdGeometry DecodeIdBytes(const uint8_t id[5]);
