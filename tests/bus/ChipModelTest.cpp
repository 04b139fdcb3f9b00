// The simulated chip itself: NAND semantics, faults, ready/busy, and the
// protocol violations it catches when the bus misbehaves. Driven at its pins
// through nandBus's bus cycles and, where the bus code would never go wrong,
// by hand through the register seam.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "bus/NandBus.h"
#include "sim/SimGpio.h"
#include "sim/SimNand.h"
#include "support/SimChip.h"

using namespace ferrik_test;

namespace {

// Faults named field by field, whatever else the chip learns to get wrong.
template <typename Set>
sim::ChipFaults Faults(Set set) {
    sim::ChipFaults f;
    set(f);
    return f;
}

constexpr uint32_t kTinyLimit = 127;
constexpr int kTinyPage = 264;

std::vector<uint8_t> Filled(size_t n, uint8_t value) { return std::vector<uint8_t>(n, value); }

void Drive(unsigned pin, bool high) { GpioWrite(high ? GPSET0 : GPCLR0, 1u << pin); }

bool ReadyPin() { return (GpioRead(GPLEV0) >> PIN_RB) & 1u; }

bool HasViolation(const std::string& fragment) {
    for (const std::string& line : sim::Socket().AllViolations())
        if (line.find(fragment) != std::string::npos) return true;
    return false;
}

// Every test leaves a clean record: violations a test provokes on purpose
// are checked and cleared by the test itself.
class ChipModel : public ::testing::Test {
protected:
    void SetUp() override { chip = &InsertFreshChip(sim::TinyPreset()); }
    void TearDown() override { ExpectNoViolations(); }

    std::vector<uint8_t> Read(uint32_t row, int length = kTinyPage) {
        std::vector<uint8_t> bytes(static_cast<size_t>(length));
        EXPECT_EQ(nandBus.NandReadPage(CE0, row, kTinyLimit, length, bytes.data()), NAND_OK);
        return bytes;
    }
    int Program(uint32_t row, const std::vector<uint8_t>& data) {
        return nandBus.NandProgramPage(CE0, row, kTinyLimit, static_cast<int32_t>(data.size()), data.data());
    }
    int Erase(uint32_t row) { return nandBus.NandEraseBlock(CE0, static_cast<int32_t>(row), kTinyLimit); }
    // READ STATUS by hand, the whole byte.
    uint8_t Status() {
        Drive(CE0, false);
        nandBus.BusCommand(0x70);
        const uint8_t status = nandBus.BusReadByte();
        Drive(CE0, true);
        return status;
    }

    sim::SimNandChip* chip = nullptr;
};

}  // namespace

TEST_F(ChipModel, ProgrammingOnlyClearsBits) {
    ASSERT_EQ(Program(5, Filled(kTinyPage, 0xF0)), NAND_OK);
    ASSERT_EQ(Program(5, Filled(kTinyPage, 0x3C)), NAND_OK);
    EXPECT_EQ(Read(5), Filled(kTinyPage, 0x30));
}

TEST_F(ChipModel, BytesNotSentStayAsTheyWere) {
    ASSERT_EQ(Program(6, Filled(10, 0x00)), NAND_OK);
    std::vector<uint8_t> expected = Filled(kTinyPage, 0xFF);
    for (int i = 0; i < 10; ++i) expected[static_cast<size_t>(i)] = 0x00;
    EXPECT_EQ(Read(6), expected);
}

TEST_F(ChipModel, AProgramFromAColumnStartsThere) {
    Drive(CE0, false);
    nandBus.BusCommand(0x80);
    nandBus.BusAddress(0x05);  // column 5
    nandBus.BusAddress(0x00);
    nandBus.BusAddress(0x07);  // row 7
    for (uint8_t b : {0x11, 0x22, 0x33}) {
        nandBus.BusWriteByte(b);
        nandBus.PulseWE();
    }
    nandBus.BusCommand(0x10);
    ASSERT_TRUE(nandBus.WaitReady(100, 100));
    EXPECT_EQ(nandBus.ReadStatus(), 0);
    Drive(CE0, true);

    std::vector<uint8_t> expected = Filled(kTinyPage, 0xFF);
    expected[5] = 0x11;
    expected[6] = 0x22;
    expected[7] = 0x33;
    EXPECT_EQ(chip->Page(7), expected);
    EXPECT_EQ(chip->Ops()[0].column, 5u);
    EXPECT_EQ(chip->Ops()[0].length, 3u);
}

TEST_F(ChipModel, EraseEmptiesTheWholeBlockWhateverPageTheRowNames) {
    for (uint32_t row = 0; row < 24; ++row) ASSERT_EQ(Program(row, Filled(kTinyPage, 0x00)), NAND_OK);
    ASSERT_EQ(Erase(13), NAND_OK);  // block 1, page 5
    for (uint32_t row = 0; row < 24; ++row) {
        const bool inBlock1 = row >= 8 && row < 16;
        EXPECT_EQ(chip->Page(static_cast<int>(row)), Filled(kTinyPage, inBlock1 ? 0xFF : 0x00)) << "row " << row;
    }
    EXPECT_EQ(chip->Ops().back().kind, sim::ChipOp::Status);
    EXPECT_EQ(chip->Ops()[chip->Ops().size() - 2].kind, sim::ChipOp::Erase);
    EXPECT_EQ(chip->Ops()[chip->Ops().size() - 2].row, 13u);
}

TEST_F(ChipModel, RowsBeyondTheChipWrapAround) {
    // 128 pages: row 0x85 is row 5 to this chip.
    ASSERT_EQ(nandBus.NandProgramPage(CE0, 0x85, 0xFF, 4, Filled(4, 0x42).data()), NAND_OK);
    EXPECT_EQ(chip->Page(5)[0], 0x42);
    EXPECT_EQ(chip->Ops()[0].row, 5u);
}

TEST_F(ChipModel, WriteProtectionRefusesProgramAndEraseAndShowsInStatus) {
    ASSERT_EQ(Program(1, Filled(kTinyPage, 0x0F)), NAND_OK);
    EXPECT_EQ(Status() & 0x80, 0x80);

    Drive(PIN_WP, false);
    EXPECT_EQ(Program(2, Filled(kTinyPage, 0x00)), NAND_STATUS_FAIL);
    EXPECT_EQ(Erase(0), NAND_STATUS_FAIL);
    EXPECT_EQ(Status() & 0x80, 0);
    Drive(PIN_WP, true);

    EXPECT_EQ(chip->Page(1), Filled(kTinyPage, 0x0F));
    EXPECT_EQ(chip->Page(2), Filled(kTinyPage, 0xFF));
    ASSERT_EQ(chip->Violations().size(), 2u);
    EXPECT_NE(chip->Violations()[0].find("write protected"), std::string::npos) << chip->Violations()[0];
    EXPECT_NE(chip->Violations()[1].find("write protected"), std::string::npos) << chip->Violations()[1];
    chip->ClearViolations();
    EXPECT_EQ(Status(), 0xE1);  // ready, writable, the refusal still failed
}

TEST_F(ChipModel, StatusShowsReadyWritableAndTheLastResult) {
    EXPECT_EQ(Status(), 0xE0);
    chip->Faults().programFailPages.insert(3);
    EXPECT_EQ(Program(3, Filled(4, 0)), NAND_STATUS_FAIL);
    EXPECT_EQ(Status(), 0xE1);
    EXPECT_EQ(Program(4, Filled(4, 0)), NAND_OK);
    EXPECT_EQ(Status(), 0xE0);
}

TEST_F(ChipModel, AnEraseFailBlockReportsFailAndKeepsItsContent) {
    chip = &InsertFreshChip(sim::TinyPreset(), Faults([](sim::ChipFaults& f) { f.eraseFailBlocks = {2}; }));
    ASSERT_EQ(Program(17, Filled(kTinyPage, 0x55)), NAND_OK);
    EXPECT_EQ(Erase(16), NAND_STATUS_FAIL);
    EXPECT_EQ(chip->Page(17), Filled(kTinyPage, 0x55));
    EXPECT_EQ(Erase(24), NAND_OK);  // the next block is sound
}

TEST_F(ChipModel, AProgramFailPageReportsFailAndKeepsItsContent) {
    chip = &InsertFreshChip(sim::TinyPreset(), Faults([](sim::ChipFaults& f) { f.programFailPages = {9}; }));
    EXPECT_EQ(Program(9, Filled(kTinyPage, 0x00)), NAND_STATUS_FAIL);
    EXPECT_EQ(chip->Page(9), Filled(kTinyPage, 0xFF));
    EXPECT_EQ(Program(10, Filled(kTinyPage, 0x00)), NAND_OK);
    EXPECT_EQ(chip->Page(10), Filled(kTinyPage, 0x00));
}

TEST_F(ChipModel, AFactoryBadBlockCarriesItsMarkAndRefusesEraseAndProgram) {
    chip = &InsertFreshChip(sim::TinyPreset(), Faults([](sim::ChipFaults& f) { f.badBlocks = {3}; }));
    std::vector<uint8_t> marked = Filled(kTinyPage, 0xFF);
    marked[256] = 0x00;  // spare byte 0 of the block's first page
    EXPECT_EQ(Read(24), marked);
    EXPECT_EQ(Read(25), Filled(kTinyPage, 0xFF));
    EXPECT_EQ(Read(16), Filled(kTinyPage, 0xFF));
    EXPECT_EQ(Erase(24), NAND_STATUS_FAIL);
    EXPECT_EQ(Program(26, Filled(kTinyPage, 0x00)), NAND_STATUS_FAIL);
    EXPECT_EQ(Read(24), marked);
    EXPECT_EQ(Read(26), Filled(kTinyPage, 0xFF));
}

TEST_F(ChipModel, ReadyStaysLowForTheConfiguredPollsAfterEachConfirm) {
    chip->SetBusyPolls(3);
    Drive(CE0, false);
    nandBus.BusCommand(0x00);
    for (uint8_t a : {0, 0, 1}) nandBus.BusAddress(a);
    EXPECT_TRUE(ReadyPin());
    nandBus.BusCommand(0x30);
    EXPECT_FALSE(ReadyPin());
    EXPECT_FALSE(ReadyPin());
    EXPECT_FALSE(ReadyPin());
    EXPECT_TRUE(ReadyPin());
    Drive(CE0, true);

    // Deselected chips still pull R/B# low while busy.
    ASSERT_EQ(Erase(0), NAND_OK);
    Drive(CE0, false);
    nandBus.BusCommand(0x60);
    nandBus.BusAddress(8);
    nandBus.BusCommand(0xD0);
    Drive(CE0, true);
    EXPECT_FALSE(ReadyPin());
    EXPECT_TRUE(nandBus.WaitReady(10, 10));
    EXPECT_TRUE(ReadyPin());
}

TEST_F(ChipModel, ReadyIsWiredAndAcrossTheChips) {
    sim::SimNandChip& second = sim::Socket().Insert(1, sim::TinyPreset());
    second.SetBusyPolls(5);
    Drive(CE1, false);
    nandBus.BusCommand(0x60);
    nandBus.BusAddress(0);
    nandBus.BusCommand(0xD0);
    Drive(CE1, true);
    EXPECT_FALSE(ReadyPin());  // CE0's chip is ready; CE1's pulls the line
    EXPECT_TRUE(nandBus.WaitReady(10, 10));
}

TEST_F(ChipModel, StuckLowAndNeverLowReadyLines) {
    chip->Faults().busyStuckLow = true;
    EXPECT_FALSE(ReadyPin());
    chip->Faults().busyStuckLow = false;
    EXPECT_TRUE(ReadyPin());
    chip->Faults().busyNever = true;
    Drive(CE0, false);
    nandBus.BusCommand(0x60);
    nandBus.BusAddress(0);
    nandBus.BusCommand(0xD0);
    EXPECT_TRUE(ReadyPin());
    EXPECT_TRUE(ReadyPin());
    EXPECT_TRUE(ReadyPin());
    EXPECT_EQ(nandBus.ReadStatus(), 0);
    Drive(CE0, true);
}

TEST_F(ChipModel, ReadIdRepeatsItsFiveBytes) {
    Drive(CE0, false);
    nandBus.BusCommand(0x90);
    nandBus.BusAddress(0x00);
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 12; ++i) bytes.push_back(nandBus.BusReadByte());
    Drive(CE0, true);
    const uint8_t* id = sim::TinyPreset().id;
    for (size_t i = 0; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], id[i % 5]) << "byte " << i;
}

TEST_F(ChipModel, ACommandWhileBusyIsAViolationButStatusAndResetAreNot) {
    chip->SetBusyPolls(100);
    Drive(CE0, false);
    nandBus.BusCommand(0x60);
    nandBus.BusAddress(0);
    nandBus.BusCommand(0xD0);
    nandBus.BusCommand(0x70);
    EXPECT_EQ(nandBus.BusReadByte() & 0x40, 0);  // busy shows in status bit 6
    EXPECT_TRUE(chip->Violations().empty());
    nandBus.BusCommand(0x00);
    Drive(CE0, true);
    EXPECT_TRUE(HasViolation("command 00h while busy"));
    sim::Socket().ClearViolations();
    EXPECT_TRUE(nandBus.WaitReady(200, 200));
}

TEST_F(ChipModel, AReadWhileThePiStillDrivesTheDataPinsIsCaught) {
    Drive(CE0, false);
    nandBus.BusCommand(0x70);  // the data pins are outputs now
    Drive(PIN_RE, false);
    (void)GpioRead(GPLEV0);
    Drive(PIN_RE, true);
    Drive(CE0, true);
    EXPECT_TRUE(HasViolation("data pins are still Pi outputs")) << ::testing::PrintToString(sim::Socket().AllViolations());
    sim::Socket().ClearViolations();
}

TEST_F(ChipModel, ALatchWithCleAndAleBothHighIsCaught) {
    Drive(CE0, false);
    Drive(PIN_CLE, true);
    nandBus.BusAddress(0x00);  // ALE up, WE# pulse, ALE down, CLE still high
    Drive(PIN_CLE, false);
    Drive(CE0, true);
    EXPECT_TRUE(HasViolation("CLE and ALE both high"));
    sim::Socket().ClearViolations();
    EXPECT_TRUE(chip->Ops().empty());
}

TEST_F(ChipModel, ReadEnableWithNothingToGiveIsCaught) {
    Drive(CE0, false);
    const uint8_t b = nandBus.BusReadByte();
    Drive(CE0, true);
    EXPECT_EQ(b, 0xFF);  // nothing drives the bus
    EXPECT_TRUE(HasViolation("RE# low with nothing to give"));
    sim::Socket().ClearViolations();
}

TEST_F(ChipModel, ReadingBeforeThePageHasLoadedIsCaught) {
    Drive(CE0, false);
    nandBus.BusCommand(0x00);
    for (uint8_t a : {0, 0, 1}) nandBus.BusAddress(a);
    nandBus.BusCommand(0x30);
    (void)nandBus.BusReadByte();  // no wait for R/B#
    Drive(CE0, true);
    EXPECT_TRUE(HasViolation("during the page load"));
    sim::Socket().ClearViolations();
}

TEST_F(ChipModel, AnUnknownCommandIsCaught) {
    Drive(CE0, false);
    nandBus.BusCommand(0x42);
    Drive(CE0, true);
    EXPECT_TRUE(HasViolation("unknown command 42h"));
    sim::Socket().ClearViolations();
}

TEST_F(ChipModel, TwoChipsSelectedForACycleAndDrivingAtOnceAreCaught) {
    sim::Socket().Insert(2, sim::DefaultPreset());
    Drive(CE0, false);
    Drive(CE2, false);
    nandBus.BusCommand(0x90);
    nandBus.BusAddress(0x00);
    const uint8_t b = nandBus.BusReadByte();
    Drive(CE0, true);
    Drive(CE2, true);
    EXPECT_EQ(b, 0xEC);
    EXPECT_TRUE(HasViolation("WE# cycle latched with more than one chip selected (CE0, CE2), byte 90h"));
    EXPECT_TRUE(HasViolation("two chips"));
    sim::Socket().ClearViolations();
}

TEST_F(ChipModel, ItsViolationsAreListedInTheOrderTheyHappened) {
    sim::Socket().Insert(1, sim::TinyPreset());
    Drive(CE1, false);
    nandBus.BusCommand(0x41);
    Drive(CE1, true);
    Drive(CE0, false);
    nandBus.BusCommand(0x42);
    Drive(CE0, true);
    Drive(CE1, false);
    nandBus.BusCommand(0x43);
    Drive(CE1, true);
    const std::vector<std::string> all = sim::Socket().AllViolations();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_NE(all[0].find("CE1"), std::string::npos);
    EXPECT_NE(all[0].find("41h"), std::string::npos);
    EXPECT_NE(all[1].find("CE0"), std::string::npos);
    EXPECT_NE(all[2].find("43h"), std::string::npos);
    sim::Socket().ClearViolations();
}

TEST_F(ChipModel, RecordsTheDecodedCyclesWhenAsked) {
    chip->RecordCycles(true);
    std::vector<uint8_t> data = {0xA5, 0x5A};
    ASSERT_EQ(Program(2, data), NAND_OK);
    const std::vector<sim::Cycle>& c = chip->Cycles();
    ASSERT_EQ(c.size(), 9u);  // 80, 3 address, 2 data, 10, 70, status
    EXPECT_EQ(c[4].kind, sim::CycleKind::DataIn);
    EXPECT_EQ(c[4].value, 0xA5);
    EXPECT_EQ(c[5].value, 0x5A);
    EXPECT_EQ(c[8].kind, sim::CycleKind::DataOut);
    EXPECT_EQ(c[8].value, 0xE0);
    chip->ClearCycles();
    chip->RecordCycles(false);
    Read(2, 2);
    EXPECT_TRUE(chip->Cycles().empty());
}

TEST_F(ChipModel, AnImageRoundTripsInDumpLayout) {
    ASSERT_EQ(Program(0, Filled(kTinyPage, 0x12)), NAND_OK);
    ASSERT_EQ(Program(127, Filled(kTinyPage, 0x34)), NAND_OK);
    char path[] = "/tmp/ferrik-image-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(chip->SaveImage(path));
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 128u * kTinyPage);
    EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0x12);
    EXPECT_EQ(static_cast<uint8_t>(bytes[kTinyPage]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(bytes[127 * kTinyPage + 263]), 0x34);

    sim::SimNandChip copy(sim::TinyPreset());
    ASSERT_TRUE(copy.LoadImage(path));
    EXPECT_EQ(copy.Page(0), Filled(kTinyPage, 0x12));
    EXPECT_EQ(copy.Page(127), Filled(kTinyPage, 0x34));
    EXPECT_EQ(copy.Page(64), Filled(kTinyPage, 0xFF));

    sim::SimNandChip bigger(sim::DefaultPreset());
    EXPECT_FALSE(bigger.LoadImage(path));  // wrong size for this chip
    std::remove(path);
}

TEST(ChipCatalogue, HoldsEveryChipOfTheChipTableWithItsIdAndGeometry) {
    std::ifstream table(FERRIK_SHARED_DIR "/chips.tsv");
    if (!table) GTEST_SKIP() << "no chip table beside the source tree";
    std::string line;
    std::getline(table, line);  // header
    int rows = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string maker, part;
        std::getline(fields, maker, '\t');
        std::getline(fields, part, '\t');
        unsigned id[5];
        int page, spare, pagesPerBlock, blocks;
        fields >> std::hex >> id[0] >> id[1] >> id[2] >> id[3] >> id[4] >> std::dec >> page >> spare >>
            pagesPerBlock >> blocks;
        const sim::ChipPreset* preset = sim::FindPreset(part);
        ASSERT_NE(preset, nullptr) << part;
        for (int i = 0; i < 5; ++i) EXPECT_EQ(preset->id[i], id[i]) << part << " byte " << i;
        EXPECT_EQ(preset->geometry.pageSize, page) << part;
        EXPECT_EQ(preset->geometry.spareSize, spare) << part;
        EXPECT_EQ(preset->geometry.pagesPerBlock, pagesPerBlock) << part;
        EXPECT_EQ(preset->geometry.blocks, blocks) << part;
        EXPECT_STREQ(NandBus::MakerName(preset->id[0]), maker.c_str()) << part;
        ++rows;
    }
    EXPECT_EQ(sim::Catalogue().size(), static_cast<size_t>(rows) + 1);
}

TEST(ChipCatalogue, ChipsTakeAsManyRowBytesAsTheirPagesNeed) {
    EXPECT_EQ(sim::SimNandChip(sim::DefaultPreset()).RowAddressBytes(), 2);
    EXPECT_EQ(sim::SimNandChip(sim::DefaultPreset()).Pages(), 65536);
    EXPECT_EQ(sim::SimNandChip(sim::DefaultPreset()).PageBytes(), 2112);
    EXPECT_EQ(sim::SimNandChip(*sim::FindPreset("K9F2G08U0B")).RowAddressBytes(), 3);
    EXPECT_EQ(sim::SimNandChip(sim::TinyPreset()).RowAddressBytes(), 1);
    EXPECT_EQ(sim::SimNandChip(sim::TinyPreset()).Pages(), 128);
    EXPECT_STREQ(NandBus::MakerName(sim::TinyPreset().id[0]), "Samsung");
    EXPECT_EQ(sim::FindPreset("NO-SUCH-CHIP"), nullptr);
}

// LUN | block | page: every row address that names a page reaches that page,
// numbered as in the image (LUN 0's 12 blocks, then LUN 1's), and every row
// address in a gap is a protocol violation.
TEST(ChipOfTwoLuns, ReachesEveryPageAtItsLunBlockAndPageAndCatchesEveryRowInTheGaps) {
    sim::SimNandChip& chip = InsertFreshChip(*sim::FindPreset("SIM-TINY-2LUN"));
    ASSERT_EQ(chip.Pages(), 192);
    EXPECT_EQ(chip.RowAddressBytes(), 1);
    EXPECT_EQ(chip.ParameterPage()[100], 2);  // LUNs
    EXPECT_EQ(chip.ParameterPage()[96], 12);  // blocks per LUN
    for (int page = 0; page < 192; ++page) chip.SetPage(page, {static_cast<uint8_t>(page), 0x5A});
    auto linear = [](uint32_t row) { return static_cast<int>(((row >> 7) * 12 + ((row >> 3) & 15)) * 8 + (row & 7)); };

    for (uint32_t row = 0; row < 256; ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        const bool gap = ((row >> 3) & 15) >= 12;
        std::vector<uint8_t> bytes(2);
        ASSERT_EQ(nandBus.NandReadPage(CE0, row, 255, 2, bytes.data()), NAND_OK);
        EXPECT_EQ(chip.Ops().back().row, row);
        if (gap) {
            EXPECT_TRUE(HasViolation("which addresses no page"));
            sim::Socket().ClearViolations();
            continue;
        }
        EXPECT_EQ(bytes, (std::vector<uint8_t>{static_cast<uint8_t>(linear(row)), 0x5A}));
    }

    // Program and erase decode the same way.
    const uint32_t lun1Block3Page2 = 0x80 | 3 << 3 | 2;
    const std::vector<uint8_t> data(264, 0x00);
    ASSERT_EQ(nandBus.NandProgramPage(CE0, lun1Block3Page2, 255, 264, data.data()), NAND_OK);
    EXPECT_EQ(chip.Page(linear(lun1Block3Page2)), data);
    ASSERT_EQ(nandBus.NandEraseBlock(CE0, static_cast<int32_t>(lun1Block3Page2), 255), NAND_OK);
    EXPECT_EQ(chip.Page(linear(lun1Block3Page2)), Filled(264, 0xFF));
    EXPECT_EQ(chip.Page(linear(lun1Block3Page2) - 8)[1], 0x5A) << "the block before was erased too";
    ASSERT_EQ(nandBus.NandEraseBlock(CE0, 0x80 | 13 << 3, 255), NAND_OK);
    EXPECT_TRUE(HasViolation("BLOCK ERASE (60h) to row 232 (LUN 1, block 13, page 0), which addresses no page"));
    sim::Socket().ClearViolations();
    ExpectNoViolations();
}
