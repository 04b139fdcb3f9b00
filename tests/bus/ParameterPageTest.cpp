// The parameter page decoder and the ID byte decoding, over hand-made pages:
// each row is what a chip (or a bad contact) could give.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "chip/ParameterPage.h"
#include "sim/SimNand.h"

namespace {

struct Fields {
    const char* signature = "ONFI";
    uint16_t revision = 1u << 3;  // 2.1
    uint16_t features = 0;
    const char* maker = "MICRON";
    const char* model = "MT29F4G08ABAEAWP";
    uint32_t page = 4096;
    uint16_t spare = 224;
    uint32_t pagesPerBlock = 64;
    uint32_t blocks = 2048;
    uint8_t luns = 1;
    uint8_t ecc = 4;
};

void Put(std::vector<uint8_t>& at, size_t offset, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// One copy with its CRC; JEDEC keeps its ECC bits at 144 and its CRC at 510.
std::vector<uint8_t> Copy(const Fields& f) {
    const bool jedec = std::strcmp(f.signature, "JESD") == 0;
    std::vector<uint8_t> copy(jedec ? 512 : 256, 0);
    std::memcpy(copy.data(), f.signature, 4);
    Put(copy, 4, f.revision, 2);
    Put(copy, 6, f.features, 2);
    std::memset(copy.data() + 32, ' ', 32);
    std::memcpy(copy.data() + 32, f.maker, std::strlen(f.maker));
    std::memcpy(copy.data() + 44, f.model, std::strlen(f.model));
    Put(copy, 80, f.page, 4);
    Put(copy, 84, f.spare, 2);
    Put(copy, 92, f.pagesPerBlock, 4);
    Put(copy, 96, f.blocks, 4);
    copy[100] = f.luns;
    copy[jedec ? 144 : 112] = f.ecc;
    Put(copy, copy.size() - 2, ParameterPageCrc(copy.data(), copy.size() - 2), 2);
    return copy;
}

std::vector<uint8_t> Copies(const Fields& f, int count, const std::function<void(int, std::vector<uint8_t>&)>& spoil = {}) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> copy = Copy(f);
        if (spoil) spoil(i, copy);
        bytes.insert(bytes.end(), copy.begin(), copy.end());
    }
    return bytes;
}

Fields With(std::function<void(Fields&)> change) {
    Fields f;
    change(f);
    return f;
}

}  // namespace

TEST(ParameterPage, TheCrcIsTheStandardsSixteenBitsStartedAt4F4E) {
    // Worked out by hand, bit by bit, over the usual nine check digits.
    EXPECT_EQ(ParameterPageCrc(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x2771);
    // The simulated parts' pages carry a CRC of the simulator's own reckoning.
    const std::vector<uint8_t> simulated = sim::OnfiParameterPage(*sim::FindPreset("MT29F1G08ABADA"));
    const ParameterPage page = DecodeParameterPage(simulated.data(), simulated.size(), PageStandard::Onfi);
    EXPECT_TRUE(page.Usable());
    EXPECT_EQ(page.model, "MT29F1G08ABADA");
    EXPECT_EQ(page.rowMax, 65535u);
}

TEST(ParameterPage, DecodesTheFirstGoodCopyAndRefusesWhatCannotBeUsed) {
    const auto flipInFirst = [](int copy, std::vector<uint8_t>& bytes) {
        if (copy == 0) bytes[85] ^= 0x01;  // spare 224 would read 480
    };
    const auto flipInAll = [](int, std::vector<uint8_t>& bytes) { bytes[200] ^= 0x10; };
    struct Row {
        const char* what;
        std::vector<uint8_t> bytes;
        PageStandard standard;
        bool crcPassed;
        int copy;
        const char* revision;
        uint32_t page, spare, pagesPerBlock;
        uint64_t rowMax;
        int ecc;
        const char* unusable;  // a piece of the reason, "" when usable
    };
    const Row rows[] = {
        {"three good ONFI copies", Copies(Fields{}, 3), PageStandard::Onfi, true, 1, "2.1", 4096, 224, 64, 131071, 4, ""},
        {"first copy corrupted", Copies(Fields{}, 3, flipInFirst), PageStandard::Onfi, true, 2, "2.1", 4096, 224, 64,
         131071, 4, ""},
        {"every copy corrupted", Copies(Fields{}, 3, flipInAll), PageStandard::Onfi, false, 0, "", 0, 0, 0, 0, 0, ""},
        {"a good CRC without the signature", Copies(With([](Fields& f) { f.signature = "ONFJ"; }), 3),
         PageStandard::Onfi, false, 0, "", 0, 0, 0, 0, 0, ""},
        {"JEDEC, two LUNs, first copy cut short", [] {
             std::vector<uint8_t> b = Copies(With([](Fields& f) {
                                                 f.signature = "JESD";
                                                 f.revision = 1u << 2;
                                                 f.page = 8192;
                                                 f.spare = 448;
                                                 f.pagesPerBlock = 256;
                                                 f.blocks = 1024;
                                                 f.luns = 2;
                                                 f.ecc = 40;
                                             }),
                                             3);
             b[511] ^= 0xFF;
             return b;
         }(),
         PageStandard::Jedec, true, 2, "1.0", 8192, 448, 256, 524287, 40, ""},
        {"page size 0", Copies(With([](Fields& f) { f.page = 0; }), 3), PageStandard::Onfi, true, 1, "2.1", 0, 224,
         64, 131071, 4, "page size 0"},
        {"page and spare beyond the buffers", Copies(With([](Fields& f) { f.page = 65536; f.spare = 0; }), 3),
         PageStandard::Onfi, true, 1, "2.1", 65536, 0, 64, 131071, 4, "above 65534"},
        {"no pages per block", Copies(With([](Fields& f) { f.pagesPerBlock = 0; }), 3), PageStandard::Onfi, true, 1,
         "2.1", 4096, 224, 0, 0, 4, "0 pages per block"},
        {"row max above 2^31", Copies(With([](Fields& f) { f.pagesPerBlock = 0x8000; f.blocks = 0x10000; f.luns = 255; }), 3),
         PageStandard::Onfi, true, 1, "2.1", 4096, 224, 0x8000, 0x7F7FFFFFFFull, 4, "above 2^31"},
        // 2^31 would read as a negative block size once it is a geometry.
        {"pages per block above 65535", Copies(With([](Fields& f) { f.pagesPerBlock = 0x80000000u; f.blocks = 1; }), 3),
         PageStandard::Onfi, true, 1, "2.1", 4096, 224, 0x80000000u, 0x7FFFFFFF, 4, "2147483648 pages per block, above 65535"},
        {"a 16-bit part", Copies(With([](Fields& f) { f.features = 1; f.revision = 1u << 1; }), 3), PageStandard::Onfi,
         true, 1, "1.0", 4096, 224, 64, 131071, 4, "16-bit"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ParameterPage page = DecodeParameterPage(row.bytes.data(), row.bytes.size(), row.standard);
        EXPECT_EQ(page.crcPassed, row.crcPassed);
        EXPECT_EQ(page.copiesTried, row.crcPassed ? row.copy : static_cast<int>(row.bytes.size() / 256));
        if (!row.crcPassed) {
            EXPECT_FALSE(page.Usable());
            continue;
        }
        EXPECT_EQ(page.copy, row.copy);
        EXPECT_EQ(page.revision, row.revision);
        EXPECT_EQ(page.maker, "MICRON");
        EXPECT_EQ(page.model, "MT29F4G08ABAEAWP");
        EXPECT_EQ(page.pageSize, row.page);
        EXPECT_EQ(page.spareSize, row.spare);
        EXPECT_EQ(page.pagesPerBlock, row.pagesPerBlock);
        EXPECT_EQ(page.rowMax, row.rowMax);
        EXPECT_EQ(page.eccBits, row.ecc);
        EXPECT_EQ(page.Usable(), *row.unusable == '\0') << page.unusable;
        EXPECT_NE(page.unusable.find(row.unusable), std::string::npos) << page.unusable;
    }
}

TEST(ParameterPage, IdBytesGiveAGuessOnlyForKnownX8DeviceCodes) {
    struct Row {
        uint8_t id[5];
        bool decoded, bus16;
        int32_t page, spare, pagesPerBlock, blocks;
        int64_t rowMax;
    };
    const Row rows[] = {
        {{0xEC, 0xF1, 0x00, 0x95, 0x40}, true, false, 2048, 64, 64, 1024, 65535},
        // The part has 224 spare bytes: the classic bits can only say 128.
        {{0x2C, 0xDC, 0x90, 0xA6, 0x54}, true, false, 4096, 128, 64, 2048, 131071},
        {{0x98, 0xD3, 0x90, 0x26, 0x76}, true, false, 4096, 128, 64, 4096, 262143},
        // A x16 part: byte 3 bit 6 set, a device code of its own.
        {{0xEC, 0xC1, 0x00, 0xD5, 0x40}, false, true, 2048, 64, 64, 0, 0},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, false, true, 8192, 256, 64, 0, 0},
        {{0xEC, 0x75, 0xA5, 0xBD, 0x00}, false, false, 2048, 64, 256, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::vector<int>(row.id, row.id + 5)));
        const IdGeometry g = DecodeIdBytes(row.id);
        EXPECT_EQ(g.decoded, row.decoded);
        EXPECT_EQ(g.bus16, row.bus16);
        EXPECT_EQ(g.pageSize, row.page);
        EXPECT_EQ(g.spareSize, row.spare);
        EXPECT_EQ(g.pagesPerBlock, row.pagesPerBlock);
        EXPECT_EQ(g.blocks, row.blocks);
        EXPECT_EQ(g.rowMax, row.rowMax);
    }
}
