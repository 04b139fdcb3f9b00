// The chip commands of nandBus against the simulated chip at its pins:
// address cycles, transfers, status, ready/busy budgets and the data pins'
// direction.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bus/NandBus.h"
#include "sim/SimGpio.h"
#include "sim/SimNand.h"
#include "support/SimChip.h"

using namespace ferrik_test;
using sim::Cycle;
using sim::CycleKind;

namespace {

// Sits between the GPIO block and the socket and counts GPLEV0 reads.
class PollCounter : public sim::SimSocket {
public:
    explicit PollCounter(sim::SimSocket& inner) : inner_(inner) {}
    void OnPiWrite(uint32_t levels, uint32_t outputs) override { inner_.OnPiWrite(levels, outputs); }
    sim::SocketDrive OnPiRead(uint32_t levels, uint32_t outputs) override {
        ++polls;
        return inner_.OnPiRead(levels, outputs);
    }
    uint64_t polls = 0;

private:
    sim::SimSocket& inner_;
};

std::vector<uint8_t> Pattern(size_t n, unsigned seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>((i * 37 + seed * 11 + (i >> 8)) & 0xFF);
    return bytes;
}

// The cycles of a command sequence, written compactly.
Cycle C(uint8_t v) { return {CycleKind::Command, v}; }
Cycle A(uint8_t v) { return {CycleKind::Address, v}; }

std::vector<Cycle> WithoutData(const std::vector<Cycle>& cycles) {
    std::vector<Cycle> out;
    for (const Cycle& c : cycles)
        if (c.kind == CycleKind::Command || c.kind == CycleKind::Address) out.push_back(c);
    return out;
}

void ExpectCycles(const std::vector<Cycle>& actual, const std::vector<Cycle>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].kind, expected[i].kind) << "cycle " << i;
        EXPECT_EQ(actual[i].value, expected[i].value) << "cycle " << i;
    }
}

// Every chip test ends by checking that the chip saw only a well-formed bus.
class BusCommands : public ::testing::Test {
protected:
    void TearDown() override {
        sim::SimGpio::Instance().Plug(&sim::Socket());
        ExpectNoViolations();
    }
    bool Ce0Low() const {
        const sim::SimGpio& gpio = sim::SimGpio::Instance();
        return gpio.IsOutput(CE0) && !((gpio.Latch() >> CE0) & 1u);
    }
    // GPFSEL writes made by f.
    template <typename F>
    int FunctionSelectWrites(F f) {
        sim::SimGpio& gpio = sim::SimGpio::Instance();
        gpio.StartRecording();
        f();
        int n = 0;
        for (const sim::SimAccess& a : gpio.StopRecording())
            if (a.write && a.reg <= GPFSEL2) ++n;
        return n;
    }
};

}  // namespace

TEST_F(BusCommands, ALimitOf0xFFFFSendsTwoRowBytesLowByteFirst) {
    sim::SimNandChip& chip = InsertFreshChip(sim::DefaultPreset());
    chip.RecordCycles(true);
    std::vector<uint8_t> buf(4);
    ASSERT_EQ(nandBus.NandReadPage(CE0, 0x1234, 0xFFFF, 0, buf.data()), NAND_OK);
    ASSERT_EQ(nandBus.NandProgramPage(CE0, 0xBEEF, 0xFFFF, 0, buf.data()), NAND_OK);
    ASSERT_EQ(nandBus.NandEraseBlock(CE0, 0x5678, 0xFFFF), NAND_OK);
    ExpectCycles(WithoutData(chip.Cycles()), {C(0x00), A(0x00), A(0x00), A(0x34), A(0x12), C(0x30),  //
                                              C(0x80), A(0x00), A(0x00), A(0xEF), A(0xBE), C(0x10), C(0x70),
                                              C(0x60), A(0x78), A(0x56), C(0xD0), C(0x70)});
    ASSERT_EQ(chip.Ops().size(), 5u);
    EXPECT_EQ(chip.Ops()[0].row, 0x1234u);
    EXPECT_EQ(chip.Ops()[1].row, 0xBEEFu);
    EXPECT_EQ(chip.Ops()[3].row, 0x5678u);
}

TEST_F(BusCommands, ALimitOf0x3FFFFSendsThreeRowBytesWhichAChipOf131072PagesTakes) {
    sim::SimNandChip& chip = InsertFreshChip(*sim::FindPreset("K9F2G08U0B"));
    ASSERT_EQ(chip.RowAddressBytes(), 3);
    chip.RecordCycles(true);
    std::vector<uint8_t> buf(4);
    ASSERT_EQ(nandBus.NandReadPage(CE0, 0x1ABCD, 0x3FFFF, 0, buf.data()), NAND_OK);
    ASSERT_EQ(nandBus.NandEraseBlock(CE0, 0x1ABCD, 0x3FFFF), NAND_OK);
    ExpectCycles(WithoutData(chip.Cycles()), {C(0x00), A(0x00), A(0x00), A(0xCD), A(0xAB), A(0x01), C(0x30),
                                              C(0x60), A(0xCD), A(0xAB), A(0x01), C(0xD0), C(0x70)});
    EXPECT_EQ(chip.Ops()[0].row, 0x1ABCDu);
}

TEST_F(BusCommands, AnAddressCountThatDoesNotFitTheChipIsRecordedAndMisreadAsARealChipWould) {
    sim::SimNandChip& chip = InsertFreshChip(sim::DefaultPreset());
    std::vector<uint8_t> buf(4);

    // 0x10000: one row byte; the chip's missing high byte reads as 0.
    ASSERT_EQ(nandBus.NandReadPage(CE0, 0x1234, 0x10000, 0, buf.data()), NAND_OK);
    ASSERT_EQ(chip.Violations().size(), 1u);
    EXPECT_NE(chip.Violations()[0].find("3 address bytes"), std::string::npos) << chip.Violations()[0];
    EXPECT_EQ(chip.Ops().back().row, 0x34u);
    chip.ClearViolations();

    const std::vector<uint8_t> data = Pattern(16, 2);
    ASSERT_EQ(nandBus.NandProgramPage(CE0, 0x1234, 0x10000, 16, data.data()), NAND_OK);
    ASSERT_EQ(chip.Violations().size(), 1u);
    EXPECT_EQ(chip.Ops().back().kind, sim::ChipOp::Status);
    EXPECT_EQ(chip.Ops()[chip.Ops().size() - 2].row, 0x34u);
    const std::vector<uint8_t> page = chip.Page(0x34);
    EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + 16), data);
    chip.ClearViolations();

    // 0x3FFFF: three row bytes to a chip that takes two; the third is ignored.
    ASSERT_EQ(nandBus.NandEraseBlock(CE0, 0x2FFC0, 0x3FFFF), NAND_OK);
    ASSERT_EQ(chip.Violations().size(), 1u);
    EXPECT_EQ(chip.Ops()[chip.Ops().size() - 2].row, 0xFFC0u);
    chip.ClearViolations();
}

TEST_F(BusCommands, ALimitOf0x100FFFFSendsTwoRowBytesWhichTheDefaultChipTakes) {
    sim::SimNandChip& chip = InsertFreshChip(sim::DefaultPreset());
    chip.RecordCycles(true);
    std::vector<uint8_t> buf(4);
    ASSERT_EQ(nandBus.NandReadPage(CE0, 0xFEDC, 0x100FFFF, 0, buf.data()), NAND_OK);
    ExpectCycles(WithoutData(chip.Cycles()), {C(0x00), A(0x00), A(0x00), A(0xDC), A(0xFE), C(0x30)});
    EXPECT_EQ(chip.Ops()[0].row, 0xFEDCu);
}

TEST_F(BusCommands, AReadOfLengthZeroSendsTheWholeSequenceAndNoReadCycle) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    chip.RecordCycles(true);
    uint8_t untouched = 0x5A;
    ASSERT_EQ(nandBus.NandReadPage(CE0, 3, 127, 0, &untouched), NAND_OK);
    EXPECT_EQ(untouched, 0x5A);
    ExpectCycles(chip.Cycles(), {C(0x00), A(0x00), A(0x00), A(0x03), C(0x30)});
    ASSERT_EQ(chip.Ops().size(), 1u);
    EXPECT_EQ(chip.Ops()[0].kind, sim::ChipOp::Read);
    EXPECT_EQ(chip.Ops()[0].length, 0u);
    EXPECT_EQ(dataPinsInput, 0);
    EXPECT_FALSE(Ce0Low());
}

TEST_F(BusCommands, AProgramOfLengthZeroConfirmsAtOnceAndLeavesThePageErased) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    chip.RecordCycles(true);
    ASSERT_EQ(nandBus.NandProgramPage(CE0, 3, 127, 0, nullptr), NAND_OK);
    const std::vector<Cycle>& cycles = chip.Cycles();
    ExpectCycles(WithoutData(cycles), {C(0x80), A(0x00), A(0x00), A(0x03), C(0x10), C(0x70)});
    EXPECT_EQ(cycles.back().kind, CycleKind::DataOut);  // the status byte
    EXPECT_EQ(chip.Ops()[0].kind, sim::ChipOp::Program);
    EXPECT_EQ(chip.Ops()[0].length, 0u);
    EXPECT_EQ(chip.Page(3), std::vector<uint8_t>(264, 0xFF));
}

TEST_F(BusCommands, OnlyStatusBit0DecidesTheResult) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    const std::vector<uint8_t> data = Pattern(264, 1);
    chip.SetStatusOverride(0x01);  // FAIL with the ready bit clear
    EXPECT_EQ(nandBus.NandProgramPage(CE0, 1, 127, 264, data.data()), NAND_STATUS_FAIL);
    EXPECT_EQ(nandBus.NandEraseBlock(CE0, 8, 127), NAND_STATUS_FAIL);
    chip.SetStatusOverride(0xE0);
    EXPECT_EQ(nandBus.NandProgramPage(CE0, 2, 127, 264, data.data()), NAND_OK);
    EXPECT_EQ(nandBus.NandEraseBlock(CE0, 16, 127), NAND_OK);
}

TEST_F(BusCommands, APageProgrammedAndReadBackIsWhatWasWrittenSpareIncluded) {
    sim::SimNandChip& chip = InsertFreshChip(sim::DefaultPreset());
    const std::vector<uint8_t> data = Pattern(2112, 7);
    ASSERT_EQ(nandBus.NandProgramPage(CE0, 0xFFFF, 0xFFFF, 2112, data.data()), NAND_OK);
    std::vector<uint8_t> back(2112, 0);
    ASSERT_EQ(nandBus.NandReadPage(CE0, 0xFFFF, 0xFFFF, 2112, back.data()), NAND_OK);
    EXPECT_EQ(back, data);
    EXPECT_EQ(chip.Page(0xFFFF), data);
    EXPECT_EQ(chip.Page(0xFFFE), std::vector<uint8_t>(2112, 0xFF));
    EXPECT_EQ(chip.Ops().back().length, 2112u);
}

TEST_F(BusCommands, AColumnReadSendsItsColumnLowByteFirstAndMovesOnlyTheBytesAsked) {
    sim::SimNandChip& chip = InsertFreshChip(sim::DefaultPreset());
    const std::vector<uint8_t> data = Pattern(2112, 3);
    chip.SetPage(0x1234, data);
    chip.RecordCycles(true);
    std::vector<uint8_t> bytes(3, 0);
    ASSERT_EQ(nandBus.NandReadColumn(CE0, 0x1234, 0xFFFF, 0x801, 3, bytes.data()), NAND_OK);
    EXPECT_EQ(bytes, std::vector<uint8_t>(data.begin() + 0x801, data.begin() + 0x804));
    ExpectCycles(WithoutData(chip.Cycles()), {C(0x00), A(0x01), A(0x08), A(0x34), A(0x12), C(0x30)});
    EXPECT_EQ(chip.Ops().back().column, 0x801u);
    EXPECT_EQ(chip.Ops().back().length, 3u);
}

TEST_F(BusCommands, ReadingAfterWritingSwitchesTheDataPinsOnceEachWay) {
    InsertFreshChip(sim::TinyPreset());
    const std::vector<uint8_t> data = Pattern(264, 3);
    std::vector<uint8_t> back(264);
    // Fresh from BusInit the pins are outputs: only the first read cycle
    // turns them, to inputs (one write each).
    EXPECT_EQ(FunctionSelectWrites([&] { nandBus.NandReadPage(CE0, 0, 127, 264, back.data()); }), 8);
    // From then on the command cycle turns them to outputs (two writes
    // each) and the first read cycle back, whatever the length.
    EXPECT_EQ(FunctionSelectWrites([&] { nandBus.NandReadPage(CE0, 0, 127, 264, back.data()); }), 16 + 8);
    EXPECT_EQ(FunctionSelectWrites([&] { nandBus.NandReadPage(CE0, 0, 127, 1, back.data()); }), 16 + 8);
    // Program after read: to outputs once for the whole sequence, to inputs
    // once for the status byte.
    EXPECT_EQ(FunctionSelectWrites([&] { nandBus.NandProgramPage(CE0, 0, 127, 264, data.data()); }), 16 + 8);
    EXPECT_EQ(dataPinsInput, 1);
    EXPECT_EQ(FunctionSelectWrites([&] { nandBus.NandReadPage(CE0, 0, 127, 0, back.data()); }), 16);
    EXPECT_EQ(dataPinsInput, 0);
}

TEST_F(BusCommands, ElapsedTimeSurvivesTheWrapOfTheMillisecondClock) {
    EXPECT_EQ(NandBus::ElapsedBetween(1048575900, 100), 200);
    EXPECT_EQ(NandBus::ElapsedBetween(100, 300), 200);
    EXPECT_EQ(NandBus::ElapsedBetween(5, 5), 0);
    const int32_t now = NandBus::NowMs();
    EXPECT_GE(now, 0);
    EXPECT_LT(now, 1048576000);
    EXPECT_GE(NandBus::ElapsedMs(now), 0);
}

TEST_F(BusCommands, ReadyStuckLowEndsAReadWithErrRbLAfterExactlyTheReadyBudgetDeselectingTheChip) {
    std::vector<uint8_t> buf(16, 0x5A);
    InsertFreshChip(sim::TinyPreset(), RbStuckLow());
    PollCounter counter(sim::Socket());
    sim::SimGpio::Instance().Plug(&counter);
    EXPECT_EQ(nandBus.NandReadPage(CE0, 1, 127, 16, buf.data()), ERR_RB_L);
    // One poll ends the busy phase (it sees low at once), then the whole
    // ready budget.
    EXPECT_EQ(counter.polls, 1u + 16777216u);
    EXPECT_FALSE(Ce0Low());
    EXPECT_EQ(buf, std::vector<uint8_t>(16, 0x5A));
    const sim::SimGpio& gpio = sim::SimGpio::Instance();
    EXPECT_FALSE((gpio.Latch() >> PIN_CLE) & 1u);
    EXPECT_FALSE((gpio.Latch() >> PIN_ALE) & 1u);
    EXPECT_TRUE((gpio.Latch() >> PIN_RE) & 1u);
    EXPECT_TRUE((gpio.Latch() >> PIN_WE) & 1u);
}

// Idle, between commands: every chip enable a high output, CLE and ALE low,
// RE# and WE# high. A chip left selected after a time-out would take the next
// command, meant for the chip on another chip enable, and drive the data
// lines against it.
TEST_F(BusCommands, EveryCommandLeavesTheBusIdleWhateverRbDoesSoThatTheNextChipAnswersAlone) {
    std::vector<uint8_t> buf(264, 0);
    const std::vector<uint8_t> data = Pattern(264, 4);
    struct Case {
        const char* command;
        bool waits;  // whether it waits for R/B#, and so can time out
        std::function<int()> run;
    };
    const Case cases[] = {
        {"read page", true, [&] { return nandBus.NandReadPage(CE0, 9, 127, 264, buf.data()); }},
        {"read column", true, [&] { return nandBus.NandReadColumn(CE0, 8, 127, 256, 1, buf.data()); }},
        {"program", true, [&] { return nandBus.NandProgramPage(CE0, 9, 127, 264, data.data()); }},
        {"erase", true, [&] { return nandBus.NandEraseBlock(CE0, 8, 127); }},
        {"parameter page", true, [&] { return nandBus.NandReadParameterPage(CE0, 0x00, 256, buf.data()); }},
        {"reset", true, [&] { return nandBus.NandReset(CE0) ? NAND_OK : ERR_RB_L; }},
        {"status", false, [&] { return nandBus.NandReadStatusByte(CE0), NAND_OK; }},
        {"read ID", false, [&] { return nandBus.NandReadId(buf.data(), CE0), NAND_OK; }},
        {"read ID at 20h", false, [&] { return nandBus.NandReadIdAt(0x20, buf.data(), 4, CE0), NAND_OK; }},
    };
    struct Fault {
        const char* name;
        sim::ChipFaults faults;
        int afterWait;  // the result of a command that waits
    };
    const Fault faults[] = {{"R/B# stuck low", RbStuckLow(), ERR_RB_L}, {"R/B# never low", RbNeverLow(), NAND_OK}};

    // An erase's waits are 2^32 polls each: every wait here is cut to 4096.
    nandBus.CapWaitBudgets(4096);
    const sim::ChipPreset& other = *sim::FindPreset("HY27UF082G2B");
    for (const Fault& fault : faults) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.command) + ", " + fault.name);
            InsertFreshChip(sim::TinyPreset(), fault.faults);
            sim::Socket().Insert(1, other);
            EXPECT_EQ(c.run(), c.waits ? fault.afterWait : NAND_OK);

            const sim::SimGpio& gpio = sim::SimGpio::Instance();
            for (unsigned ce : {CE0, CE1, CE2, CE3}) {
                EXPECT_TRUE(gpio.IsOutput(ce)) << "GPIO " << ce;
                EXPECT_TRUE((gpio.Latch() >> ce) & 1u) << "CE# on GPIO " << ce << " left low";
            }
            EXPECT_FALSE((gpio.Latch() >> PIN_CLE) & 1u);
            EXPECT_FALSE((gpio.Latch() >> PIN_ALE) & 1u);
            EXPECT_TRUE((gpio.Latch() >> PIN_RE) & 1u);
            EXPECT_TRUE((gpio.Latch() >> PIN_WE) & 1u);

            const size_t opsOnCe0 = sim::Socket().Chip(0)->Ops().size();
            uint8_t id[5] = {};
            nandBus.NandReadId(id, CE1);
            EXPECT_EQ(std::vector<uint8_t>(id, id + 5), std::vector<uint8_t>(other.id, other.id + 5));
            EXPECT_EQ(sim::Socket().Chip(0)->Ops().size(), opsOnCe0) << "the chip on CE0 took READ ID too";
            ExpectNoViolations();
        }
    }
    nandBus.CapWaitBudgets(0);
}

TEST_F(BusCommands, ReadyThatNeverGoesLowSpendsTheBusyBudgetThenSucceeds) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset(), RbNeverLow());
    PollCounter counter(sim::Socket());
    sim::SimGpio::Instance().Plug(&counter);
    const std::vector<uint8_t> data = Pattern(264, 5);

    std::vector<uint8_t> back(264);
    EXPECT_EQ(nandBus.NandReadPage(CE0, 9, 127, 264, back.data()), NAND_OK);
    // The data burst makes two GPLEV reads per byte.
    EXPECT_EQ(counter.polls, 0x100000u + 1 + 2 * 264);

    counter.polls = 0;
    EXPECT_EQ(nandBus.NandProgramPage(CE0, 9, 127, 264, data.data()), NAND_OK);
    EXPECT_EQ(counter.polls, 0x1000000u + 1 + 2);  // then the status byte
    EXPECT_EQ(chip.Page(9), data);
}

// Erase waits up to 2^32 polls in each phase: minutes of polling.
TEST_F(BusCommands, DISABLED_EraseWithReadyThatNeverGoesLowSpendsTwoToThe32Polls) {
    InsertFreshChip(sim::TinyPreset(), RbNeverLow());
    PollCounter counter(sim::Socket());
    sim::SimGpio::Instance().Plug(&counter);
    EXPECT_EQ(nandBus.NandEraseBlock(CE0, 0, 127), NAND_OK);
    EXPECT_EQ(counter.polls, (uint64_t{1} << 32) + 1 + 2);
}

TEST_F(BusCommands, ReadIdNamesTheMakerByTheFirstByte) {
    InsertFreshChip(sim::DefaultPreset());
    uint8_t id[5] = {};
    EXPECT_STREQ(nandBus.NandReadId(id, CE0), "Samsung");
    EXPECT_EQ(std::vector<uint8_t>(id, id + 5), (std::vector<uint8_t>{0xEC, 0xF1, 0x00, 0x95, 0x40}));
    EXPECT_EQ(dataPinsInput, 1);
    EXPECT_FALSE(Ce0Low());

    for (uint8_t maker : {uint8_t{0x00}, uint8_t{0xFF}}) {
        sim::ChipPreset odd = sim::TinyPreset();
        odd.part = "TEST-ODD-MAKER";
        odd.id[0] = maker;
        InsertFreshChip(odd);
        EXPECT_STREQ(nandBus.NandReadId(id, CE0), "Unknown Nand") << int(maker);
        EXPECT_EQ(id[0], maker);
    }
}

TEST_F(BusCommands, AnEmptySocketReadsAllOnes) {
    InsertFreshChip(sim::DefaultPreset());
    sim::Socket().RemoveAll();
    uint8_t id[5] = {};
    EXPECT_STREQ(nandBus.NandReadId(id, CE0), "Unknown Nand");
    EXPECT_EQ(std::vector<uint8_t>(id, id + 5), std::vector<uint8_t>(5, 0xFF));
    std::vector<uint8_t> page(64, 0);
    EXPECT_EQ(nandBus.NandReadPage(CE0, 0, 0xFFFF, 64, page.data()), NAND_OK);
    EXPECT_EQ(page, std::vector<uint8_t>(64, 0xFF));
}

TEST_F(BusCommands, EachChipEnableReachesItsOwnChip) {
    InsertFreshChip(sim::DefaultPreset());
    sim::Socket().Insert(1, *sim::FindPreset("HY27UF082G2B"));
    sim::Socket().Insert(3, sim::TinyPreset());
    uint8_t id[5] = {};
    EXPECT_STREQ(nandBus.NandReadId(id, CE0), "Samsung");
    EXPECT_STREQ(nandBus.NandReadId(id, CE1), "Hynix");
    EXPECT_EQ(id[1], 0xDA);
    EXPECT_STREQ(nandBus.NandReadId(id, CE2), "Unknown Nand");
    EXPECT_EQ(id[4], 0xFF);
    EXPECT_STREQ(nandBus.NandReadId(id, CE3), "Samsung");
    EXPECT_EQ(id[1], 0x01);

    // A program on CE3 changes only the chip on CE3.
    const std::vector<uint8_t> data = Pattern(264, 9);
    ASSERT_EQ(nandBus.NandProgramPage(CE3, 4, 127, 264, data.data()), NAND_OK);
    EXPECT_EQ(sim::Socket().Chip(3)->Page(4), data);
    EXPECT_EQ(sim::Socket().Chip(0)->Ops().size(), 1u);  // its READ ID only
}
