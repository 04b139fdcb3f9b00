// The byte loops of page program and page read, access by access: every
// byte value leaves as eight single-pin writes (IO7 first) and a WE# pulse,
// and comes back from four accesses per read cycle, the direction of the
// data pins changing once, on the first RE# cycle.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bus/NandBus.h"
#include "sim/SimGpio.h"
#include "support/SimChip.h"

using ferrik_test::ExpectNoViolations;
using ferrik_test::InsertFreshChip;
using sim::SimAccess;

namespace {

constexpr unsigned kIo7ToIo0[8] = {17, 27, 22, 5, 6, 13, 19, 26};

SimAccess Store(unsigned reg, unsigned pin) { return {true, reg, 1u << pin}; }

// Index of the last access equal to a, or the size when there is none.
size_t LastIndexOf(const std::vector<SimAccess>& record, const SimAccess& a) {
    for (size_t i = record.size(); i-- > 0;)
        if (record[i] == a) return i;
    return record.size();
}

std::vector<uint8_t> EveryByteValue(size_t length) {
    std::vector<uint8_t> data(length);
    for (size_t i = 0; i < length; ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);  // 37 is odd: all 256 values
    return data;
}

class ByteLoops : public ::testing::Test {
protected:
    void TearDown() override { ExpectNoViolations(); }
    sim::SimGpio& gpio = sim::SimGpio::Instance();
};

}  // namespace

TEST_F(ByteLoops, ProgramWritesEachByteAsEightSinglePinWritesAndOneWePulse) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    const uint32_t rowMax = static_cast<uint32_t>(chip.Pages() - 1);
    const std::vector<uint8_t> data = EveryByteValue(static_cast<size_t>(chip.PageBytes()));

    gpio.StartRecording();
    ASSERT_EQ(nandBus.NandProgramPage(CE0, 3, rowMax, static_cast<int32_t>(data.size()), data.data()), NAND_OK);
    const std::vector<SimAccess> record = gpio.StopRecording();

    // The data phase follows the end of the address phase (ALE low).
    size_t i = LastIndexOf(record, Store(GPCLR0, PIN_ALE)) + 1;
    ASSERT_LE(i + data.size() * 10, record.size());
    for (size_t k = 0; k < data.size(); ++k) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool high = (data[k] >> (7 - bit)) & 1u;
            ASSERT_EQ(record[i], Store(high ? GPSET0 : GPCLR0, kIo7ToIo0[bit])) << "byte " << k << " bit " << 7 - bit;
            ++i;
        }
        ASSERT_EQ(record[i++], Store(GPCLR0, PIN_WE)) << "byte " << k;
        ASSERT_EQ(record[i++], Store(GPSET0, PIN_WE)) << "byte " << k;
    }
    EXPECT_EQ(record[i], Store(GPSET0, PIN_CLE)) << "the confirm command follows the last byte";
    EXPECT_EQ(chip.Page(3), data);
}

TEST_F(ByteLoops, ReadTurnsThePinsOnceThenTakesFourAccessesPerByte) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    const uint32_t rowMax = static_cast<uint32_t>(chip.Pages() - 1);
    const std::vector<uint8_t> data = EveryByteValue(static_cast<size_t>(chip.PageBytes()));
    chip.SetPage(5, data);
    std::vector<uint8_t> buf(data.size());

    gpio.StartRecording();
    ASSERT_EQ(nandBus.NandReadPage(CE0, 5, rowMax, static_cast<int32_t>(buf.size()), buf.data()), NAND_OK);
    const std::vector<SimAccess> record = gpio.StopRecording();
    EXPECT_EQ(buf, data);

    size_t i = 0;
    while (i < record.size() && !(record[i] == Store(GPCLR0, PIN_RE))) ++i;
    ASSERT_LT(i, record.size());
    for (size_t k = 0; k < buf.size(); ++k) {
        ASSERT_EQ(record[i++], Store(GPCLR0, PIN_RE)) << "byte " << k;
        if (k == 0) {
            // The data pins become inputs after RE# has fallen: one
            // read-modify-write of a function register per pin.
            for (int pin = 0; pin < 8; ++pin) {
                EXPECT_FALSE(record[i].write);
                EXPECT_LE(record[i].reg, unsigned{GPFSEL2});
                EXPECT_TRUE(record[i + 1].write);
                EXPECT_EQ(record[i + 1].reg, record[i].reg);
                i += 2;
            }
        }
        ASSERT_FALSE(record[i].write) << "byte " << k;
        ASSERT_EQ(record[i++].reg, unsigned{GPLEV0}) << "byte " << k;
        ASSERT_FALSE(record[i].write) << "byte " << k;
        ASSERT_EQ(record[i++].reg, unsigned{GPLEV0}) << "byte " << k;
        ASSERT_EQ(record[i++], Store(GPSET0, PIN_RE)) << "byte " << k;
    }
    ASSERT_EQ(i + 1, record.size()) << "only CE# high follows the last byte";
    EXPECT_EQ(record[i], Store(GPSET0, CE0));
}
