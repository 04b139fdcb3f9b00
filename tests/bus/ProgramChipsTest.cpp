// The chips that the simulated program puts in the socket from its
// environment settings: they serve job after job for as long as the program
// runs, so nothing they keep may grow with every command.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bus/NandBus.h"
#include "sim/SimGpio.h"
#include "sim/SimNand.h"
#include "support/SimChip.h"

using namespace ferrik_test;

namespace {

// Puts the chips of FERRIK_SIM_CHIPS in the socket the way the program does
// at start, and the program's own setting back afterwards.
class ProgramChips : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"FERRIK_SIM_CHIPS", "FERRIK_SIM_IMAGE", "FERRIK_SIM_FAULTS"}) {
            const char* value = std::getenv(name);
            saved_.push_back({name, value != nullptr, value != nullptr ? value : ""});
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (const Saved& s : saved_) {
            if (s.set)
                setenv(s.name, s.value.c_str(), 1);
            else
                unsetenv(s.name);
        }
        sim::ConfigureFromEnvironment();
        nandBus.BusInit();
        sim::Socket().ClearViolations();
    }
    static void Configure(const char* chips) {
        setenv("FERRIK_SIM_CHIPS", chips, 1);
        sim::ConfigureFromEnvironment();
        sim::SimGpio::Instance().PowerOn();
        nandBus.BusInit();
    }

private:
    struct Saved {
        const char* name;
        bool set;
        std::string value;
    };
    std::vector<Saved> saved_;
};

TEST_F(ProgramChips, KeepNoRecordThatGrowsWithEveryJob) {
    Configure("SIM-TINY,SIM-TINY");
    sim::SimNandChip& chip = *sim::Socket().Chip(0);
    const int pageBytes = chip.PageBytes();
    std::vector<uint8_t> data(static_cast<size_t>(pageBytes));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);

    // A write, a few whole reads and an erase, as a session of jobs makes them.
    uint8_t id[5] = {};
    EXPECT_STREQ(nandBus.NandReadId(id, CE0), "Samsung");
    nandBus.NandReadId(id, CE1);
    ASSERT_EQ(nandBus.NandProgramPage(CE0, 9, 127, pageBytes, data.data()), NAND_OK);
    std::vector<uint8_t> page(static_cast<size_t>(pageBytes));
    for (int pass = 0; pass < 5; ++pass) {
        for (uint32_t row = 0; row < 128; ++row)
            ASSERT_EQ(nandBus.NandReadPage(CE0, row, 127, pageBytes, page.data()), NAND_OK);
    }
    ASSERT_EQ(nandBus.NandReadPage(CE0, 9, 127, pageBytes, page.data()), NAND_OK);
    EXPECT_EQ(page, data);
    ASSERT_EQ(nandBus.NandEraseBlock(CE0, 9, 127), NAND_OK);
    EXPECT_EQ(chip.Page(9), std::vector<uint8_t>(static_cast<size_t>(pageBytes), 0xFF));

    EXPECT_EQ(chip.Ops().capacity(), 0u);
    EXPECT_EQ(sim::Socket().Chip(1)->Ops().capacity(), 0u);
    ExpectNoViolations();
}

TEST_F(ProgramChips, ATestChipStillRecordsWhatItCarriedOut) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    std::vector<uint8_t> page(static_cast<size_t>(chip.PageBytes()));
    ASSERT_EQ(nandBus.NandReadPage(CE0, 5, 127, chip.PageBytes(), page.data()), NAND_OK);
    ASSERT_EQ(chip.Ops().size(), 1u);
    EXPECT_EQ(chip.Ops()[0].kind, sim::ChipOp::Read);
    EXPECT_EQ(chip.Ops()[0].row, 5u);

    chip.RecordOps(false);
    EXPECT_TRUE(chip.Ops().empty());
    ASSERT_EQ(nandBus.NandReadPage(CE0, 6, 127, chip.PageBytes(), page.data()), NAND_OK);
    EXPECT_TRUE(chip.Ops().empty());
    ExpectNoViolations();
}

}  // namespace
