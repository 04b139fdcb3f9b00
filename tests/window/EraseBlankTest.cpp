// The erase job and the blank check, driven through the real window against
// the simulated chip on the real bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "support/EraseJobs.h"
#include "support/FaultCases.h"
#include "support/SimChip.h"
#include "support/WxTest.h"
#include "ui/FerrikFrame.h"

using namespace ferrik_test;

namespace {

const wxColour kRed(255, 0, 0);
const wxColour kBlue(0, 0, 255);
const wxColour kGreen(0, 255, 0);

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The bad-block list's entries that erase runs have written, in list order.
std::vector<int32_t> BadBlockEntries() { return std::vector<int32_t>(badBlocks, badBlocks + badBlocksWritten); }

int Occurrences(const std::string& text, const std::string& piece) {
    int n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

class EraseBlank : public ::testing::Test {
protected:
    void SetUp() override {
        ForgetEraseRuns();
        frame = OpenFrame();
    }
    void TearDown() override { CloseFrame(frame); }

    // Presses a button and returns what the job added to the log.
    std::string Run(long button) { return ClickForLog(frame, button, mark); }
    std::string RunErase() { return Run(FerrikFrame::BTN_ERACE_); }
    std::string RunBlank() { return Run(FerrikFrame::BTN_BLANK_); }
    wxColour Colour(const std::string& text) { return ColourOf(frame, text, mark); }

    // A fresh SIM-TINY chip whose erase fails in `blocks`, the fields set to
    // its geometry.
    sim::SimNandChip& TinyChipFailingErase(std::set<int> blocks) {
        sim::ChipFaults faults;
        faults.eraseFailBlocks = std::move(blocks);
        sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset(), faults);
        SetGeometry(frame, sim::TinyPreset());
        return chip;
    }

    // The job of `button` refuses the fields as given with the line `error`
    // alone, in red, and leaves blue in force.
    void ExpectRefused(long button, const char* page, const char* spare, const char* rows, const char* pages,
                       const std::string& error) {
        SCOPED_TRACE(std::string(page) + "+" + spare + ", rows " + rows + ", pages " + pages);
        SetGeometry(frame, page, spare, rows, pages);
        EXPECT_EQ(Run(button), error);
        EXPECT_EQ(Colour("Error"), kRed);
        EXPECT_EQ(ColourInForce(frame), kBlue);
    }

    FerrikFrame* frame = nullptr;
    size_t mark = 0;
};

using Erase = EraseBlank;
using BlankCheck = EraseBlank;

std::vector<uint32_t> EraseRowsFor(uint32_t rowMaxValue, uint32_t perBlock) {
    std::vector<uint32_t> rows{0};
    for (uint32_t r = 1; perBlock > 1 && r <= rowMaxValue; r += perBlock) rows.push_back(r);
    return rows;
}

}  // namespace

TEST_F(Erase, WholeChipGetsOneCommandPerBlockAndTwoForBlockZero) {
    sim::SimNandChip& chip = InsertFreshChip(sim::DefaultPreset());
    const std::string log = RunErase();  // the window's defaults describe this chip

    const std::vector<uint32_t> rows = RowsOf(chip, sim::ChipOp::Erase);
    ASSERT_EQ(rows.size(), 1025u);
    EXPECT_EQ(rows, EraseRowsFor(65535, 64));
    EXPECT_EQ(rows[0] / 64, 0u);
    EXPECT_EQ(rows[1] / 64, 0u);
    EXPECT_EQ(rows.back(), 65473u);

    EXPECT_EQ(log, "\nStart Erace NAND\nErace Ok\n");
    EXPECT_EQ(Colour("Start Erace NAND"), kGreen);  // the colour in force: the first job after start-up
    EXPECT_EQ(Colour("Erace Ok"), kBlue);
    EXPECT_EQ(pagesPerBlock, 64);
    EXPECT_EQ(rowMax, 65535);
    EXPECT_EQ(badBlocksWritten, 0);
    ExpectNoViolations();
}

TEST_F(Erase, ReportsAndRecordsABlockWhoseEraseFails) {
    sim::SimNandChip& chip = TinyChipFailingErase({5});

    const std::string log = RunErase();

    EXPECT_EQ(RowsOf(chip, sim::ChipOp::Erase), EraseRowsFor(127, 8));
    EXPECT_EQ(log, "\nStart Erace NAND\nError Erace bad Block [5]\nErace Ok\n");
    EXPECT_EQ(Colour("Error Erace bad Block ["), kRed);
    EXPECT_EQ(Colour("5]\n"), kRed);
    EXPECT_EQ(Colour("Erace Ok"), kBlue);
    EXPECT_EQ(BadBlockEntries(), (std::vector<int32_t>{5}));
    EXPECT_EQ(ColourInForce(frame), kBlue);
    ExpectNoViolations();
}

TEST_F(Erase, LeavesFactoryMarkedBlocksAloneAndTheNextBlankCheckSkipsThem) {
    sim::ChipFaults faults;
    faults.markedBlocks = {0, 6};  // marks that an erase command would wipe
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset(), faults);
    std::vector<uint8_t> secondPageMark(264, 0xFF);
    secondPageMark[256] = 0x00;
    chip.SetPage(9 * 8 + 1, secondPageMark);            // some makers mark the second page
    chip.SetPage(24, std::vector<uint8_t>(256, 0x00));  // data in a good block
    SetGeometry(frame, sim::TinyPreset());

    const std::string log = RunErase();

    EXPECT_EQ(log, "\nStart Erace NAND\nSkip bad block [0]\nSkip bad block [6]\nSkip bad block [9]\nErace Ok\n");
    EXPECT_EQ(Colour("Skip bad block ["), kRed);
    std::vector<uint32_t> erased;
    for (uint32_t row : EraseRowsFor(127, 8))
        if (row / 8 != 0 && row / 8 != 6 && row / 8 != 9) erased.push_back(row);
    EXPECT_EQ(RowsOf(chip, sim::ChipOp::Erase), erased);
    // A mark costs one spare byte a page, not the page.
    for (const sim::ChipOp& op : OpsAfterProbe(chip)) {
        if (op.kind != sim::ChipOp::Read) continue;
        EXPECT_EQ(op.column, 256u);
        EXPECT_EQ(op.length, 1u);
    }
    EXPECT_EQ(chip.Page(0)[256], 0x00);
    EXPECT_EQ(chip.Page(48)[256], 0x00);
    EXPECT_EQ(chip.Page(73)[256], 0x00);
    EXPECT_EQ(chip.Page(24)[0], 0xFF);
    EXPECT_EQ(BadBlockEntries(), (std::vector<int32_t>{0, 6, 9}));

    chip.ClearOps();
    const std::string blank = RunBlank();

    EXPECT_EQ(blank.rfind("Start check blank\nSkip bad block [0]\nSkip bad block [6]\nSkip bad block [9]\nEnd time = ", 0),
              0u)
        << blank;
    EXPECT_EQ(RowsAfterProbe(chip, sim::ChipOp::Read).size(), 128u - 24u);
    ExpectNoViolations();
}

TEST_F(Erase, ReportsAFailingBlockZeroTwiceForItsTwoCommands) {
    TinyChipFailingErase({0, 3});

    const std::string log = RunErase();

    EXPECT_EQ(log,
              "\nStart Erace NAND\nError Erace bad Block [0]\nError Erace bad Block [0]\n"
              "Error Erace bad Block [3]\nErace Ok\n");
    EXPECT_EQ(BadBlockEntries(), (std::vector<int32_t>{0, 0, 3}));
    ExpectNoViolations();
}

// Erasing row 0 alone and saying "Erace Ok" would leave every other block
// as it was.
TEST_F(Erase, WithOnePagePerBlockSendsOneCommandForEveryRow) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    SetGeometry(frame, "256", "8", "127", "1");

    EXPECT_EQ(RunErase(), "\nStart Erace NAND\nErace Ok\n");
    std::vector<uint32_t> everyRow(128);
    for (uint32_t r = 0; r < 128; ++r) everyRow[r] = r;
    EXPECT_EQ(RowsOf(chip, sim::ChipOp::Erase), everyRow);
    ExpectNoViolations();
}

TEST_F(Erase, ErasesNoBlockWhoseSecondPageLiesBeyondRowMax) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    // Row max 16 leaves remainder 0: block 2 (rows 16 to 23) is not erased,
    // and the progress dialog is destroyed before it is full.
    SetGeometry(frame, "256", "8", "16", "8");
    EXPECT_EQ(RunErase(), "\nStart Erace NAND\nErace Ok\n");
    EXPECT_EQ(RowsOf(chip, sim::ChipOp::Erase), (std::vector<uint32_t>{0, 1, 9}));

    // Row max 17 leaves remainder 1: the last command fills the dialog exactly.
    chip.ClearOps();
    SetGeometry(frame, "256", "8", "17", "8");
    EXPECT_EQ(RunErase(), "\nStart Erace NAND\nErace Ok\n");
    EXPECT_EQ(RowsOf(chip, sim::ChipOp::Erase), (std::vector<uint32_t>{0, 1, 9, 17}));
    ExpectNoViolations();
}

TEST_F(Erase, SecondRunWithFewerBadBlocksLeavesTheFirstRunsLaterEntries) {
    sim::SimNandChip& chip = TinyChipFailingErase({2, 5, 9});
    RunErase();
    ASSERT_EQ(badBlocksWritten, 3);

    chip.Faults().eraseFailBlocks = {7};
    const std::string log = RunErase();

    EXPECT_EQ(log, "\nStart Erace NAND\nError Erace bad Block [7]\nErace Ok\n");
    EXPECT_EQ(BadBlockEntries(), (std::vector<int32_t>{7, 5, 9}));
    ExpectNoViolations();
}

TEST_F(Erase, WholeChipRunWithMoreThan2048BadBlocksWrapsOntoItsOwnFirstEntries) {
    // 2048 blocks, every one failing: 2049 records, since block 0 is erased
    // twice, so the last one lands in the first entry again.
    const sim::ChipPreset& preset = *sim::FindPreset("K9F2G08U0B");
    sim::ChipFaults faults;
    for (int b = 0; b < 2048; ++b) faults.eraseFailBlocks.insert(b);
    InsertFreshChip(preset, faults);
    SetGeometry(frame, preset);

    const std::string log = RunErase();

    EXPECT_EQ(Occurrences(log, "Error Erace bad Block ["), 2049);
    EXPECT_EQ(badBlocks[0], 2047);
    EXPECT_EQ(badBlocks[1], 0);
    EXPECT_EQ(badBlocks[2], 1);
    EXPECT_EQ(badBlocks[2047], 2046);
    EXPECT_EQ(badBlocksWritten, 2048);
    EXPECT_EQ(Colour("Erace Ok"), kBlue);
    ExpectNoViolations();
}

TEST_F(Erase, RowMaxZeroEmptyOrNotANumberIsRefusedBeforeAnyChipAccess) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    for (const char* text : {"0", "", "rows"})
        ExpectRefused(FerrikFrame::BTN_ERACE_, "256", "8", text, "8", "Error, Page size = 0 or row max size = 0\n");
    EXPECT_TRUE(chip.Ops().empty());
    ExpectNoViolations();
}

TEST_F(Erase, PagesPerBlockZeroOrNegativeIsRefusedBeforeAnyChipAccess) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    // 65536 needs more than the field's three characters: lift the limit, as
    // a field filled by other means might hold it; it truncates to 0.
    frame->TxtPages->SetMaxLength(0);
    for (const char* text : {"0", "", "abc", "-8", "65536"})
        ExpectRefused(FerrikFrame::BTN_ERACE_, "256", "8", "127", text, "Error, Pages per block <= 0\n");
    EXPECT_EQ(pagesPerBlock, 0);  // kept, truncated to 16 bits, for the blank check
    EXPECT_TRUE(chip.Ops().empty());
    ExpectNoViolations();
}

TEST_F(Erase, NegativeRowMaxIsRefusedInsteadOfEndingOkWithNothingErased) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    ExpectRefused(FerrikFrame::BTN_ERACE_, "256", "8", "-1", "8", "Error, row max size < 0\n");
    EXPECT_TRUE(chip.Ops().empty());
    ExpectNoViolations();
}

TEST_F(Erase, StopsWhenTheChipDoesNotAnswerTwoCommandsInARow) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    SetGeometry(frame, sim::TinyPreset());
    EraseStandIn standIn(frame);
    standIn.timeoutRows = {17, 25};

    const std::string log = RunErase();

    EXPECT_EQ(standIn.rowsAsked, (std::vector<int32_t>{0, 1, 9, 17, 25}));
    EXPECT_EQ(RowsOf(chip, sim::ChipOp::Erase), (std::vector<uint32_t>{0, 1, 9}));
    EXPECT_EQ(log,
              "\nStart Erace NAND\nR/B, break low, ERR_RB_L\nR/B, break low, ERR_RB_L\n"
              "Error, chip does not answer, erase stopped\n");
    EXPECT_EQ(Colour("R/B, break low"), kRed);
    EXPECT_EQ(Colour("Error, chip does not answer"), kRed);
    EXPECT_EQ(ColourInForce(frame), kBlue);
    ExpectNoViolations();
}

TEST_F(Erase, GoesOnAfterSeparateTimeoutsAndEndsWithTheirNumberInsteadOfOk) {
    sim::SimNandChip& chip = TinyChipFailingErase({4});
    EraseStandIn standIn(frame);
    standIn.timeoutRows = {17, 41, 57};  // blocks 2, 5 and 7; a good block comes between each

    const std::string log = RunErase();

    EXPECT_EQ(standIn.rowsAsked.size(), 17u);  // every command of the run was sent
    EXPECT_EQ(RowsOf(chip, sim::ChipOp::Erase).size(), 14u);
    EXPECT_EQ(log,
              "\nStart Erace NAND\nR/B, break low, ERR_RB_L\nError Erace bad Block [4]\n"
              "R/B, break low, ERR_RB_L\nR/B, break low, ERR_RB_L\n"
              "Error, erase commands timed out: 3\n");
    EXPECT_EQ(Colour("Error, erase commands timed out: "), kRed);
    EXPECT_EQ(Colour("3\n"), kRed);
    EXPECT_EQ(ColourInForce(frame), kBlue);
    EXPECT_EQ(BadBlockEntries(), (std::vector<int32_t>{4}));
    ExpectNoViolations();
}

TEST_F(BlankCheck, AfterAnEraseSkipsTheRecordedBadBlockWithoutReadingIt) {
    sim::SimNandChip& chip = TinyChipFailingErase({5});
    RunErase();
    chip.ClearOps();

    const std::string log = RunBlank();

    std::vector<uint32_t> expected;
    for (uint32_t p = 0; p <= 127; ++p)
        if (p / 8 != 5) expected.push_back(p);
    EXPECT_EQ(RowsAfterProbe(chip, sim::ChipOp::Read), expected);
    for (const sim::ChipOp& op : OpsAfterProbe(chip)) {
        if (op.kind == sim::ChipOp::Read) {
            EXPECT_EQ(op.length, 264u);
        }
    }
    ASSERT_EQ(log.rfind("Start check blank\nSkip bad block [5]\nEnd time = ", 0), 0u) << log;
    EXPECT_TRUE(EndsWith(log, " ms\nCheck blank end\n")) << log;
    EXPECT_EQ(Colour("Start check blank"), kBlue);  // the colour the erase left
    EXPECT_EQ(Colour("Skip bad block ["), kRed);
    EXPECT_EQ(Colour("End time = "), kBlue);
    EXPECT_EQ(Colour("Check blank end"), kBlue);
    ExpectNoViolations();
}

TEST_F(BlankCheck, SkipsTwoAdjacentBadBlocksAndABadLastBlock) {
    sim::SimNandChip& chip = TinyChipFailingErase({6, 7, 15});
    RunErase();
    chip.ClearOps();

    const std::string log = RunBlank();

    const std::vector<uint32_t> reads = RowsAfterProbe(chip, sim::ChipOp::Read);
    EXPECT_EQ(reads.size(), 128u - 24u);
    for (uint32_t row : reads) {
        EXPECT_TRUE(row / 8 != 6 && row / 8 != 7 && row < 120) << "read row " << row;
    }
    EXPECT_EQ(log.rfind("Start check blank\nSkip bad block [6]\nSkip bad block [7]\nSkip bad block [15]\nEnd time = ",
                        0),
              0u)
        << log;
    ExpectNoViolations();
}

TEST_F(BlankCheck, ReadsBlockZeroWhenNoEraseRunHasRecordedABadBlock) {
    // The list's entries are all 0 at start-up; 0 is a block number, but an
    // entry that no erase run wrote names no block.
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    SetGeometry(frame, sim::TinyPreset());
    RunErase();
    chip.ClearOps();

    const std::string log = RunBlank();

    EXPECT_EQ(RowsAfterProbe(chip, sim::ChipOp::Read).size(), 128u);
    EXPECT_EQ(log.find("Skip"), std::string::npos);
    ExpectNoViolations();
}

TEST_F(BlankCheck, ReportsOnePageWithOneNonErasedByteInItsSpareArea) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    SetGeometry(frame, sim::TinyPreset());
    RunErase();
    std::vector<uint8_t> page = chip.Page(70);
    page[256 + 5] = 0xFE;
    chip.SetPage(70, page);

    const std::string log = RunBlank();

    EXPECT_EQ(Occurrences(log, "Error, check blank in page ["), 1);
    EXPECT_NE(log.find("Error, check blank in page [70]\n"), std::string::npos);
    EXPECT_EQ(Colour("Error, check blank in page ["), kRed);
    EXPECT_EQ(Colour("70]"), kRed);
    EXPECT_NE(log.find("Check blank end\n"), std::string::npos);
    ExpectNoViolations();
}

TEST_F(BlankCheck, StopsAtAnRbTimeoutOnTheFirstPage) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset(), RbStuckLow());
    SetGeometry(frame, "256", "8", "127", "8");

    const std::string log = RunBlank();

    EXPECT_EQ(log, "Start check blank\nNo block size from an erase run, no bad block skipped\n"
                   "R/B, break low, ERR_RB_L\n");
    EXPECT_EQ(Colour("R/B, break low"), kRed);
    EXPECT_EQ(ColourInForce(frame), kBlue);
    EXPECT_LE(RowsAfterProbe(chip, sim::ChipOp::Read).size(), 1u);
    ExpectNoViolations();
}

TEST_F(BlankCheck, BeforeAnyEraseRunReadsEveryPageAndSaysSoOnce) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    SetGeometry(frame, sim::TinyPreset());
    badBlocks[0] = 0;  // as at start-up: no erase run, no block size

    const std::string log = RunBlank();

    EXPECT_EQ(RowsAfterProbe(chip, sim::ChipOp::Read).size(), 128u);
    EXPECT_EQ(log.rfind("Start check blank\nNo block size from an erase run, no bad block skipped\nEnd time = ", 0),
              0u)
        << log;
    EXPECT_EQ(Colour("No block size"), kRed);
    ExpectNoViolations();
}

TEST_F(BlankCheck, RefusesBadGeometryBeforeAnyChipAccess) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    struct Case {
        const char *page, *spare, *rows, *message;
    };
    const Case cases[] = {
        {"0", "0", "127", "Error, Page size = 0 or row max size = 0\n"},
        {"256", "8", "", "Error, Page size = 0 or row max size = 0\n"},
        {"65471", "64", "127", "Error, Page size > 0xFFFF\n"},
        {"-300", "8", "127", "Error, Page size < 0 or row max size < 0\n"},
        {"256", "8", "-1", "Error, Page size < 0 or row max size < 0\n"},
    };
    for (const Case& c : cases) ExpectRefused(FerrikFrame::BTN_BLANK_, c.page, c.spare, c.rows, "8", c.message);
    EXPECT_TRUE(chip.Ops().empty());
    ExpectNoViolations();
}

TEST_F(BlankCheck, WholeChipEraseThenBlankCheckEndsClean) {
    sim::SimNandChip& chip = InsertFreshChip(sim::DefaultPreset());
    // Data in the main areas only: a first page whose first spare byte is
    // not 0xFF carries a bad-block mark, and its block would be left alone.
    for (int row : {0, 4095, 65535}) chip.SetPage(row, std::vector<uint8_t>(2048, 0x00));
    RunErase();
    chip.ClearOps();

    const std::string log = RunBlank();

    EXPECT_EQ(RowsAfterProbe(chip, sim::ChipOp::Read).size(), 65536u);
    EXPECT_EQ(log.rfind("Start check blank\nEnd time = ", 0), 0u) << log.substr(0, 200);
    EXPECT_TRUE(EndsWith(log, " ms\nCheck blank end\n")) << log.substr(0, 200);
    EXPECT_EQ(Colour("End time"), kBlue);
    ExpectNoViolations();
}
