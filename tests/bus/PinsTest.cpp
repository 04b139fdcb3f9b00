#include <gtest/gtest.h>

#include <vector>

#include "bus/NandBus.h"
#include "sim/SimGpio.h"

using sim::PinFunction;
using sim::SimAccess;
using sim::SimGpio;

namespace {

class Pins : public ::testing::Test {
protected:
    void SetUp() override {
        gpio.Plug(nullptr);
        gpio.PowerOn();
        nandBus.BusInit();
    }
    // The register accesses that `step` makes.
    template <typename Step>
    std::vector<SimAccess> AccessesOf(Step step) {
        gpio.StartRecording();
        step();
        return gpio.StopRecording();
    }
    SimGpio& gpio = SimGpio::Instance();
};

// The accesses that make GPIO n an output: two read-modify-write cycles.
void ExpectMakeOutput(const std::vector<SimAccess>& a, size_t& i, unsigned pin) {
    const unsigned reg = pin / 10;
    const unsigned shift = 3 * (pin % 10);
    ASSERT_LT(i + 4, a.size() + 1);
    EXPECT_FALSE(a[i].write);
    EXPECT_EQ(a[i].reg, reg);
    EXPECT_TRUE(a[i + 1].write);
    EXPECT_EQ(a[i + 1].reg, reg);
    EXPECT_EQ(a[i + 1].value, a[i].value & ~(7u << shift));
    EXPECT_FALSE(a[i + 2].write);
    EXPECT_EQ(a[i + 2].reg, reg);
    EXPECT_TRUE(a[i + 3].write);
    EXPECT_EQ(a[i + 3].value, a[i + 2].value | (1u << shift)) << "pin " << pin;
    i += 4;
}

void ExpectMakeInput(const std::vector<SimAccess>& a, size_t& i, unsigned pin) {
    const unsigned shift = 3 * (pin % 10);
    ASSERT_LT(i + 2, a.size() + 1);
    EXPECT_FALSE(a[i].write);
    EXPECT_EQ(a[i].reg, pin / 10);
    EXPECT_TRUE(a[i + 1].write);
    EXPECT_EQ(a[i + 1].value, a[i].value & ~(7u << shift)) << "pin " << pin;
    i += 2;
}

void ExpectDrive(const std::vector<SimAccess>& a, size_t& i, unsigned pin, bool high) {
    ASSERT_LT(i, a.size());
    EXPECT_EQ(a[i], (SimAccess{true, high ? unsigned(GPSET0) : unsigned(GPCLR0), 1u << pin})) << "pin " << pin;
    ++i;
}

}  // namespace

TEST_F(Pins, BusInitLeavesEveryPinInItsIdleState) {
    const uint32_t levels = gpio.PeekLevels();
    for (unsigned pin : {7u, 8u, 9u, 11u, 14u, 15u, 4u}) EXPECT_TRUE((levels >> pin) & 1u) << pin;
    for (unsigned pin : {2u, 3u, 17u, 27u, 22u, 5u, 6u, 13u, 19u, 26u, 12u, 16u, 18u, 20u, 21u, 23u, 24u, 25u})
        EXPECT_FALSE((levels >> pin) & 1u) << pin;
    for (unsigned pin = 2; pin <= 27; ++pin) {
        if (pin == 10) continue;
        EXPECT_EQ(gpio.Function(pin), PinFunction::Output) << pin;
    }
    EXPECT_EQ(gpio.Function(10), PinFunction::Input);
    EXPECT_EQ(gpio.Function(0), PinFunction::Alt0);
    EXPECT_EQ(gpio.Function(1), PinFunction::Alt0);
    EXPECT_EQ(dataPinsInput, 0);
}

TEST_F(Pins, BusInitMakesExactlyTheRequiredAccessesInOrder) {
    gpio.PowerOn();
    const std::vector<SimAccess> a = AccessesOf([] { nandBus.BusInit(); });
    size_t i = 0;
    for (unsigned ce : {9u, 11u, 8u, 7u}) {
        ExpectMakeOutput(a, i, ce);
        ExpectDrive(a, i, ce, true);
    }
    for (unsigned pin : {26u, 19u, 13u, 6u, 5u, 22u, 27u, 17u}) ExpectMakeOutput(a, i, pin);
    for (unsigned pin : {21u, 20u, 16u, 12u, 25u, 24u, 23u, 18u}) ExpectMakeOutput(a, i, pin);
    for (unsigned pin : {18u, 23u, 24u, 25u, 12u, 16u, 20u, 21u, 17u, 27u, 22u, 5u, 6u, 13u, 19u, 26u})
        ExpectDrive(a, i, pin, false);
    ExpectMakeInput(a, i, 10);
    ExpectMakeOutput(a, i, 2);
    ExpectDrive(a, i, 2, false);
    ExpectMakeOutput(a, i, 3);
    ExpectDrive(a, i, 3, false);
    ExpectMakeOutput(a, i, 14);
    ExpectDrive(a, i, 14, true);
    ExpectMakeOutput(a, i, 15);
    ExpectDrive(a, i, 15, true);
    ExpectMakeOutput(a, i, 4);
    ExpectDrive(a, i, 4, true);
    EXPECT_EQ(i, a.size());
    EXPECT_EQ(a.size(), 4u * 5 + 16 * 4 + 16 + 2 + 5 * 5u);
}

TEST_F(Pins, BusReleaseParksEveryBusPinAsALowOutputAndLeavesGpio0And1Alone) {
    nandBus.DataPinsToInput();
    const std::vector<SimAccess> a = AccessesOf([] { nandBus.BusRelease(); });
    size_t i = 0;
    for (unsigned pin : {9u, 11u, 8u, 7u, 2u, 3u, 14u, 15u, 4u, 10u}) {
        ExpectMakeOutput(a, i, pin);
        ExpectDrive(a, i, pin, false);
    }
    for (unsigned pin : {26u, 19u, 13u, 6u, 5u, 22u, 27u, 17u, 21u, 20u, 16u, 12u, 25u, 24u, 23u, 18u})
        ExpectMakeOutput(a, i, pin);
    for (unsigned pin : {18u, 23u, 24u, 25u, 12u, 16u, 20u, 21u, 17u, 27u, 22u, 5u, 6u, 13u, 19u, 26u})
        ExpectDrive(a, i, pin, false);
    EXPECT_EQ(i, a.size());
    EXPECT_EQ(dataPinsInput, 0);

    const uint32_t levels = gpio.PeekLevels();
    for (unsigned pin = 2; pin <= 27; ++pin) {
        EXPECT_EQ(gpio.Function(pin), PinFunction::Output) << pin;
        EXPECT_FALSE((levels >> pin) & 1u) << pin;
    }
    EXPECT_EQ(gpio.Function(0), PinFunction::Alt0);
    EXPECT_EQ(gpio.Function(1), PinFunction::Alt0);
}

TEST_F(Pins, DirectionSwitchesTouchOnlyTheDataPinsFunctionFields) {
    // Give every other pin a function of its own, as another program might.
    for (unsigned pin = 0; pin < 30; ++pin) {
        if ((DATA_PIN_MASK >> pin) & 1u) continue;
        gpio.SetFunctionRaw(pin, (pin % 7) + 1);
    }
    uint32_t before[3];
    for (unsigned r = 0; r < 3; ++r) before[r] = gpio.Read(r);
    nandBus.DataPinsToInput();
    EXPECT_EQ(dataPinsInput, 1);
    for (unsigned pin : {5u, 6u, 13u, 17u, 19u, 22u, 26u, 27u}) EXPECT_EQ(gpio.Function(pin), PinFunction::Input);
    nandBus.DataPinsToOutput();
    EXPECT_EQ(dataPinsInput, 0);
    for (unsigned r = 0; r < 3; ++r) {
        uint32_t keep = 0xFFFFFFFFu;
        for (unsigned pin = r * 10; pin < r * 10 + 10; ++pin)
            if ((DATA_PIN_MASK >> pin) & 1u) keep &= ~(7u << (3 * (pin % 10)));
        EXPECT_EQ(gpio.Read(r) & keep, before[r] & keep) << "GPFSEL" << r;
    }
}

TEST_F(Pins, DataPinsResumeTheirLastLevelWhenTheyTurnBackToOutputs) {
    nandBus.BusWriteByte(0xA5);
    nandBus.DataPinsToInput();
    const std::vector<SimAccess> a = AccessesOf([] { nandBus.DataPinsToOutput(); });
    for (const SimAccess& access : a) EXPECT_TRUE(access.reg == GPFSEL0 || access.reg == GPFSEL1 || access.reg == GPFSEL2);
    EXPECT_EQ(a.size(), 8u * 4);
    const uint32_t levels = gpio.PeekLevels();
    EXPECT_EQ(levels & DATA_PIN_MASK, (1u << 17) | (1u << 22) | (1u << 13) | (1u << 26));
}

TEST_F(Pins, AByteWithOnlyBit7SetDrivesGpio17HighAndTheOtherDataPinsLow) {
    nandBus.BusWriteByte(0xFF);
    const std::vector<SimAccess> a = AccessesOf([] { nandBus.BusWriteByte(0x80); });
    ASSERT_EQ(a.size(), 8u);
    const unsigned pins[8] = {17, 27, 22, 5, 6, 13, 19, 26};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(a[i], (SimAccess{true, i == 0 ? unsigned(GPSET0) : unsigned(GPCLR0), 1u << pins[i]}));
    const uint32_t levels = gpio.PeekLevels();
    EXPECT_EQ(levels & DATA_PIN_MASK, 1u << 17);
}
