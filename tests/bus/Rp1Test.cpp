// The bus on a Pi 5: the same bus code through the RP1 translation, against
// the simulated RP1 block and chip at their pins.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "bus/NandBus.h"
#include "bus/Rp1Gpio.h"
#include "sim/SimGpio.h"
#include "support/SimChip.h"

using sim::SimAccess;
using sim::SimBoard;
using sim::SimGpio;

namespace {

constexpr unsigned kBusPins[] = {CE0, CE1, CE2, CE3, PIN_CLE, PIN_ALE, PIN_WP, PIN_RB, PIN_RE, PIN_WE,
                                 5,   6,   13,  17,  19,      22,      26,     27,     18,     23,
                                 24,  25,  12,  16,  20,      21};

uint32_t BusMask() {
    uint32_t mask = 0;
    for (unsigned pin : kBusPins) mask |= 1u << pin;
    return mask;
}

class Rp1Bus : public ::testing::Test {
protected:
    void SetUp() override {
        gpio.SetBoard(SimBoard::Rp1);
        gpioLayout = GpioLayout::Rp1;
    }
    void TearDown() override {
        gpioLayout = GpioLayout::Bcm2835;
        gpio.SetBoard(SimBoard::Bcm2835);
        nandBus.BusInit();
    }

    // Every bus pin in the RIO block, its pad taking input and giving output,
    // the pull-up on R/B# alone; the pins the bus does not use untouched.
    void ExpectPinsTaken() {
        for (unsigned pin : kBusPins) {
            SCOPED_TRACE(pin);
            EXPECT_EQ(gpio.Rp1Ctrl(pin), rp1::FUNCSEL_SYS_RIO);
            const uint32_t pad = gpio.Rp1Pad(pin);
            EXPECT_TRUE(pad & rp1::PAD_INPUT_ENABLE);
            EXPECT_FALSE(pad & rp1::PAD_OUTPUT_DISABLE);
            EXPECT_EQ((pad & rp1::PAD_PULL_UP) != 0, pin == PIN_RB);
            EXPECT_EQ((pad & rp1::PAD_PULL_DOWN) != 0, pin != PIN_RB);
        }
        for (unsigned pin = 0; pin < 28; ++pin) {
            if (BusMask() >> pin & 1u) continue;
            SCOPED_TRACE(pin);
            EXPECT_NE(gpio.Rp1Ctrl(pin), rp1::FUNCSEL_SYS_RIO);
            EXPECT_TRUE(gpio.Rp1Pad(pin) & rp1::PAD_OUTPUT_DISABLE);
        }
        EXPECT_EQ(gpio.Rp1OutputEnable() & ~BusMask(), 0u);
    }

    SimGpio& gpio = SimGpio::Instance();
};

// The shortest time, in RP1 stores, that a pin stays low and stays high in
// the recorded accesses, and the fewest stores between its fall and a load.
struct PulseWidths {
    int low = 1 << 30;
    int high = 1 << 30;
    int beforeLoad = 1 << 30;
};

PulseWidths Widths(const std::vector<SimAccess>& accesses, unsigned pin) {
    PulseWidths w;
    bool level = true;
    int run = 0;
    bool counting = false;
    for (const SimAccess& a : accesses) {
        if (!a.write) {
            if (!level && counting) w.beforeLoad = std::min(w.beforeLoad, run);
            continue;
        }
        ++run;
        const bool touches = (a.value >> pin & 1u) != 0;
        bool next = level;
        if (touches && a.reg == rp1::OUT_SET) next = true;
        if (touches && a.reg == rp1::OUT_CLR) next = false;
        if (next == level) continue;
        if (counting) (level ? w.high : w.low) = std::min(level ? w.high : w.low, run - 1);
        level = next;
        run = 1;
        counting = true;
    }
    return w;
}

}  // namespace

TEST_F(Rp1Bus, StartGivesTheBusPinsToTheRioBlockAndParkLeavesThemLowOutputs) {
    nandBus.BusInit();
    ExpectPinsTaken();
    EXPECT_EQ(gpio.Rp1OutputEnable(), BusMask() & ~(1u << PIN_RB)) << "every bus pin but R/B# an output";

    nandBus.BusRelease();
    ExpectPinsTaken();
    EXPECT_EQ(gpio.Rp1OutputEnable(), BusMask()) << "every bus pin an output";
    EXPECT_EQ(gpio.Latch() & BusMask(), 0u) << "and low";
}

TEST_F(Rp1Bus, PagesRoundTripWithOneLoadPerByteAndPulsesOfThreeStoresLowAndTwoHigh) {
    const sim::ChipPreset& preset = sim::DefaultPreset();
    sim::SimNandChip& chip = ferrik_test::InsertFreshChip(preset);
    const uint32_t rowMax = static_cast<uint32_t>(chip.Pages() - 1);
    const int32_t page = chip.PageBytes();
    std::vector<uint8_t> data(static_cast<size_t>(page));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));

    gpio.StartRecording();
    ASSERT_EQ(nandBus.NandProgramPage(CE0, 5, rowMax, page, data.data()), NAND_OK);
    const PulseWidths we = Widths(gpio.StopRecording(), PIN_WE);
    EXPECT_GE(we.low, 3);
    EXPECT_GE(we.high, 2);

    std::vector<uint8_t> back(static_cast<size_t>(page));
    gpio.StartRecording();
    gpio.ResetCounters();
    ASSERT_EQ(nandBus.NandReadPage(CE0, 5, rowMax, page, back.data()), NAND_OK);
    const uint64_t loads = gpio.Reads();
    const PulseWidths re = Widths(gpio.StopRecording(), PIN_RE);
    EXPECT_EQ(back, data);
    EXPECT_LE(loads, static_cast<uint64_t>(page) + 8) << "one load a byte, a few for the command";
    EXPECT_GE(re.high, 2);
    EXPECT_GE(re.beforeLoad, 3) << "the levels are taken three stores after RE# falls";
    ferrik_test::ExpectNoViolations();
}
