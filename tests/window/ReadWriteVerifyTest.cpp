// Read dump, Write and Verify in the real window, on the simulated chip, with
// real files and the file dialogs answered as a user would.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/filedlg.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/DumpFiles.h"
#include "support/FaultCases.h"
#include "support/Process.h"
#include "support/SimChip.h"
#include "support/WxTest.h"
#include "ui/FerrikFrame.h"

using namespace ferrik_test;

namespace {

const wxColour kRed(255, 0, 0);
const wxColour kGreen(0, 255, 0);
const wxColour kBlue(0, 0, 255);

// SIM-TINY: 256 + 8 bytes a page, 8 pages a block, 16 blocks.
constexpr int kPageBytes = 264;
constexpr int kPages = 128;

const char kWildcard[] = "bin files (*.bin)|*.bin";

// What one job did: the text it added to the log, and the dialogs it showed.
struct JobRun {
    std::string log;
    size_t from = 0;  // where its text begins in the whole log
    int dialogs = 0;
    int unexpected = 0;
    std::vector<std::string> messages;
    std::vector<std::string> defaultNames;
    std::vector<std::string> wildcards;
    std::vector<long> styles;
};

size_t CountOf(const std::string& text, const std::string& piece) {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++count;
    return count;
}

class DumpJob : public ::testing::Test {
protected:
    void SetUp() override {
        frame = OpenFrame();
        chip = &InsertFreshChip(sim::TinyPreset());
        SetGeometry("256", "8", "127");
    }

    void TearDown() override {
        EXPECT_EQ(ProgressDialogsAlive(), 0) << "a progress dialog outlived its job";
        CloseFrame(frame);
        ExpectNoViolations();
    }

    void SetGeometry(const char* page, const char* spare, const char* rowMaxText) {
        frame->TxtPageSize->SetValue(page);
        frame->TxtSpareSize->SetValue(spare);
        frame->TxtRowMaxAddr->SetValue(rowMaxText);
    }

    void Reinsert(sim::ChipFaults faults) { chip = &InsertFreshChip(sim::TinyPreset(), std::move(faults)); }

    // Clicks the job's button with the file dialog answered by `answer` (empty:
    // cancel) and returns what the job did. Checks that it left no file open.
    JobRun Run(long button, const std::string& answer, std::function<void()> afterAnswer = nullptr) {
        WarmUpFileDialogs(frame, dir.Path());
        JobRun run;
        run.from = LogText(frame).size();
        const int descriptors = OpenDescriptorCount();
        {
            FileDialogAnswersThen answers({answer}, std::move(afterAnswer));
            Click(frame, button);
            run.dialogs = answers.Shown();
            run.unexpected = answers.Unexpected();
            run.messages = answers.messages;
            run.defaultNames = answers.defaultNames;
            run.wildcards = answers.wildcards;
            run.styles = answers.styles;
        }
        EXPECT_EQ(SettledDescriptorCount(descriptors), descriptors) << "the job left a file open";
        EXPECT_EQ(ProgressDialogsAlive(), 0) << "the job left its progress dialog";
        run.log = LogText(frame).substr(run.from);
        return run;
    }

    wxColour ColourIn(const JobRun& run, const std::string& text) { return ColourOf(frame, text, run.from); }

    // The colour the next append takes: appends a probe and reads it back.
    wxColour ColourInForce() {
        frame->LogAppend("~");
        return LogColourAt(frame, static_cast<long>(frame->TxtLog->GetValue().size()) - 1);
    }

    // A dump of zeros as long as the chip, named `name` in the scratch folder.
    std::string ZerosFile(const char* name) {
        const std::string path = dir.File(name);
        WriteBytes(path, Bytes(kPages * kPageBytes, 0x00));
        return path;
    }

    void FillChip() {
        for (int row = 0; row < kPages; ++row) chip->SetPage(row, PatternPage(row, kPageBytes));
    }

    FerrikFrame* frame = nullptr;
    sim::SimNandChip* chip = nullptr;
    TempDir dir;
};

using ReadDump = DumpJob;
using Write = DumpJob;
using Verify = DumpJob;

}  // namespace

// ---------------------------------------------------------------- Read dump

TEST_F(ReadDump, WritesEveryPageWithItsSpareArea) {
    FillChip();
    chip->SetPage(5, Bytes(kPageBytes, 0xFF));  // an erased page is stored as it reads
    const std::string path = dir.File("tiny.bin");

    const JobRun run = Run(FerrikFrame::BTN_READ_, path);

    const Bytes dump = ReadBytes(path);
    EXPECT_EQ(dump.size(), static_cast<size_t>(kPages) * kPageBytes);
    EXPECT_TRUE(dump == ChipImage(*chip, kPages)) << "the dump differs from the chip";
    EXPECT_EQ(TimesMasked(run.log), "\nSave in File = " + path + "\nStart Read Pages\nEnd time = # ms\nRead Dump OK \n");

    ASSERT_EQ(run.dialogs, 1);
    EXPECT_EQ(run.messages[0], "Save bin file");
    EXPECT_EQ(run.defaultNames[0], "name_dump");
    EXPECT_EQ(run.wildcards[0], kWildcard);
    EXPECT_EQ(run.styles[0] & (wxFD_SAVE | wxFD_OVERWRITE_PROMPT | wxFD_OPEN | wxFD_FILE_MUST_EXIST),
              wxFD_SAVE | wxFD_OVERWRITE_PROMPT);

    // The first job after start-up writes its first lines in the banner's green.
    EXPECT_EQ(ColourIn(run, "\nSave in File"), kGreen);
    EXPECT_EQ(ColourIn(run, "Start Read Pages"), kGreen);
    EXPECT_EQ(ColourIn(run, "End time"), kRed);
    EXPECT_EQ(ColourIn(run, "Read Dump OK"), kBlue);
    EXPECT_EQ(ColourInForce(), kBlue);

    const std::vector<sim::ChipOp> reads = OpsAfterProbe(*chip, sim::ChipOp::Read);
    ASSERT_EQ(reads.size(), static_cast<size_t>(kPages));
    for (int row = 0; row < kPages; ++row) {
        EXPECT_EQ(reads[static_cast<size_t>(row)].row, static_cast<uint32_t>(row));
        EXPECT_EQ(reads[static_cast<size_t>(row)].column, 0u);
    }
}

TEST_F(ReadDump, StoresTwoRecordsForRowMaxOneAndOverwritesAnOldFile) {
    FillChip();
    const std::string path = dir.File("two.bin");
    WriteBytes(path, Bytes(100000, 0x11));
    SetGeometry("256", "8", "1");

    Run(FerrikFrame::BTN_READ_, path);

    EXPECT_TRUE(ReadBytes(path) == ChipImage(*chip, 2));
}

TEST_F(ReadDump, KeepsTheOldDumpWhenTheNewOneCannotBeWrittenWhole) {
    // More than the file's buffer holds, so that a write fails inside the loop;
    // the size limit stands for a disk that fills up half way.
    chip = &InsertFreshChip(sim::DefaultPreset());
    SetGeometry("2048", "64", "1500");
    const std::string path = dir.File("old.bin");
    const Bytes old(5000, 'o');
    WriteBytes(path, old);

    JobRun run;
    {
        FileSizeLimit limit(1 << 20);
        run = Run(FerrikFrame::BTN_READ_, path);
    }

    const std::string error = "Error write file, the dump is incomplete: File too large\n";
    EXPECT_EQ(run.log, "\nSave in File = " + path + "\nStart Read Pages\n" + error);
    EXPECT_EQ(ColourIn(run, error), kRed);
    EXPECT_EQ(ColourInForce(), kBlue);
    EXPECT_LT(OpsOfKind(*chip, sim::ChipOp::Read).size(), 1501u) << "the job went on after the failed write";
    EXPECT_TRUE(ReadBytes(path) == old) << "the old dump was cut";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"old.bin"}) << "the unfinished dump was left behind";
}

TEST_F(ReadDump, EndsAtOnceWhenRbStaysLowLeavingNoFile) {
    Reinsert(RbStuckLow());
    const std::string path = dir.File("stuck.bin");

    const JobRun run = Run(FerrikFrame::BTN_READ_, path);

    EXPECT_EQ(run.log, "\nSave in File = " + path + "\nStart Read Pages\nR/B, break low, ERR_RB_L\n");
    EXPECT_EQ(ColourIn(run, "R/B, break low"), kRed);
    EXPECT_FALSE(FileExists(path));

    // The colour stays red, and the program stays usable: the next job runs.
    Reinsert({});
    FillChip();
    const JobRun again = Run(FerrikFrame::BTN_READ_, path);
    EXPECT_EQ(ColourIn(again, "\nSave in File"), kRed);
    EXPECT_NE(again.log.find("Read Dump OK \n"), std::string::npos);
    EXPECT_TRUE(ReadBytes(path) == ChipImage(*chip, kPages));
}

TEST_F(ReadDump, ReportsAFileItCannotCreateInTheColourInForce) {
    frame->LogBlue();
    // The folder is there when the dialog is answered and gone when the job
    // creates the file.
    const std::string folder = dir.File("gone");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string path = folder + "/dump.bin";
    const JobRun run = Run(FerrikFrame::BTN_READ_, path, [&] { rmdir(folder.c_str()); });

    EXPECT_EQ(run.log, "\nSave in File = " + path + "Error create file \n");
    EXPECT_EQ(ColourIn(run, "Error create file"), kBlue);
    EXPECT_TRUE(OnlyTheProbe(*chip));
}

// ---------------------------------------------------------------- all three

struct GeometryCase {
    const char* page;
    const char* spare;
    const char* rowMax;
    const char* readMessage;   // nullptr: accepted
    const char* otherMessage;  // write and verify; nullptr: accepted
};

TEST_F(DumpJob, RefusesABadGeometryBeforeAnyDialogAndTouchesNothing) {
    const char* zeroPage = "Error, Page size = 0\n";
    const char* zero = "Error, Page size = 0 or row max size = 0\n";
    const char* tooBig = "Error, Page size > 0xFFFF\n";
    const char* negative = "Error, Page size, spare size or row max size < 0\n";
    const GeometryCase cases[] = {
        {"0", "8", "127", zeroPage, nullptr},      {"", "8", "127", zeroPage, nullptr},
        {"abc", "8", "127", zeroPage, nullptr},    {"0x800", "8", "127", zeroPage, nullptr},
        {"0", "0", "127", zeroPage, zero},         {"2048", "64", "0", zero, zero},
        {"2048", "64", "", zero, zero},            {"-8", "8", "127", zero, zero},
        {"65470", "65", "127", tooBig, tooBig},    {"65535", "0", "127", tooBig, tooBig},
        {"-256", "8", "127", negative, negative},  {"256", "-8", "127", negative, negative},
        {"-300", "8", "127", negative, negative},  {"256", "8", "-1", negative, negative},
        {"-2048", "-64", "-1", negative, negative},
    };
    const long buttons[] = {FerrikFrame::BTN_READ_, FerrikFrame::BTN_WRITE_, FerrikFrame::BTN_VERIFY_};
    for (const GeometryCase& c : cases) {
        for (long button : buttons) {
            const char* message = button == FerrikFrame::BTN_READ_ ? c.readMessage : c.otherMessage;
            if (message == nullptr) continue;
            SCOPED_TRACE(std::string(c.page) + " + " + c.spare + ", row max " + c.rowMax + ", button " +
                         std::to_string(button));
            SetGeometry(c.page, c.spare, c.rowMax);
            const JobRun run = Run(button, dir.File("never.bin"));
            EXPECT_EQ(run.log, message);
            EXPECT_EQ(run.dialogs, 0);
            EXPECT_EQ(ColourIn(run, message), kRed);
            EXPECT_EQ(ColourInForce(), kBlue);
        }
    }
    EXPECT_TRUE(chip->Ops().empty());
    EXPECT_FALSE(FileExists(dir.File("never.bin")));
}

TEST_F(DumpJob, AcceptsPageTotal65534AndACancelLeavesTheLogAsItWas) {
    SetGeometry("65470", "64", "127");
    frame->LogRed();
    const long buttons[] = {FerrikFrame::BTN_READ_, FerrikFrame::BTN_WRITE_, FerrikFrame::BTN_VERIFY_};
    for (long button : buttons) {
        const std::string before = LogText(frame);
        const JobRun run = Run(button, "");
        EXPECT_EQ(run.dialogs, 1);
        EXPECT_EQ(run.unexpected, 0);
        EXPECT_EQ(LogText(frame), before);
        if (button == FerrikFrame::BTN_READ_) continue;
        ASSERT_EQ(run.messages.size(), 1u);
        EXPECT_EQ(run.messages[0], "Open bin file");
        EXPECT_EQ(run.defaultNames[0], "");
        EXPECT_EQ(run.wildcards[0], kWildcard);
        EXPECT_EQ(run.styles[0] & (wxFD_SAVE | wxFD_OVERWRITE_PROMPT | wxFD_OPEN | wxFD_FILE_MUST_EXIST),
                  wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    }
    EXPECT_EQ(pageTotal, 65534);
    EXPECT_EQ(ColourInForce(), kRed);
    EXPECT_EQ(chip->Ops().size(), 3u);  // one probe read per job
    for (const sim::ChipOp& op : chip->Ops()) EXPECT_TRUE(IsProbeRead(op));
}

TEST_F(DumpJob, ReportsAFileThatCannotBeOpened) {
    const std::string path = ZerosFile("vanishing.bin");
    auto removeIt = [&] { std::remove(path.c_str()); };
    frame->LogBlue();

    const JobRun write = Run(FerrikFrame::BTN_WRITE_, path, removeIt);
    EXPECT_EQ(write.log, "\nOpen file for write = " + path + "\nError open file\n");
    EXPECT_EQ(ColourIn(write, "Error open file"), kBlue);

    ZerosFile("vanishing.bin");
    const JobRun verify = Run(FerrikFrame::BTN_VERIFY_, path, removeIt);
    EXPECT_EQ(verify.log, "\nOpen File for verify = " + path + "\nError open file\n");
    EXPECT_EQ(ColourIn(verify, "\nOpen File"), kBlue);
    EXPECT_EQ(ColourIn(verify, "Error open file"), kRed);
    EXPECT_EQ(ColourInForce(), kBlue);
    EXPECT_EQ(chip->Ops().size(), 2u);  // one probe read per job
    for (const sim::ChipOp& op : chip->Ops()) EXPECT_TRUE(IsProbeRead(op));
}

// ---------------------------------------------------------------- Write

TEST_F(Write, ProgramsADumpIntoAnErasedChipThatThenVerifiesClean) {
    // A dump of a chip with every page written except three erased ones.
    FillChip();
    for (int row : {0, 9, 127}) chip->SetPage(row, Bytes(kPageBytes, 0xFF));
    Bytes lastByteOnly(kPageBytes, 0xFF);
    lastByteOnly.back() = 0x7E;  // one spare byte: the page is programmed whole
    chip->SetPage(10, lastByteOnly);
    const std::string path = dir.File("image.bin");
    Run(FerrikFrame::BTN_READ_, path);
    const Bytes image = ReadBytes(path);

    Reinsert({});
    const JobRun write = Run(FerrikFrame::BTN_WRITE_, path);

    EXPECT_EQ(TimesMasked(write.log),
              "\nOpen file for write = " + path + "\n\nStart Write Page \nEnd time = # ms\nProgramm Page OK\n");
    EXPECT_EQ(ColourIn(write, "\nOpen file"), kBlue);
    EXPECT_EQ(ColourIn(write, "\nStart Write"), kBlue);
    EXPECT_EQ(ColourIn(write, "End time"), kRed);
    EXPECT_EQ(ColourIn(write, "Programm Page OK"), kBlue);
    EXPECT_TRUE(ChipImage(*chip, kPages) == image);

    // Erased records send no PAGE PROGRAM at all; the others go whole.
    const std::vector<sim::ChipOp> programs = OpsOfKind(*chip, sim::ChipOp::Program);
    ASSERT_EQ(programs.size(), static_cast<size_t>(kPages - 3));
    for (const sim::ChipOp& op : programs) {
        EXPECT_NE(op.row, 0u);
        EXPECT_NE(op.row, 9u);
        EXPECT_NE(op.row, 127u);
        EXPECT_EQ(op.column, 0u);
        EXPECT_EQ(op.length, static_cast<uint32_t>(kPageBytes));
    }

    const JobRun verify = Run(FerrikFrame::BTN_VERIFY_, path);
    EXPECT_EQ(TimesMasked(verify.log),
              "\nOpen File for verify = " + path + "\nStart verify\nEnd time = # ms\nVerify end\n");
    EXPECT_EQ(ColourIn(verify, "Start verify"), kBlue);
    EXPECT_EQ(ColourIn(verify, "End time"), kBlue);
    EXPECT_EQ(ColourIn(verify, "Verify end"), kBlue);
}

TEST_F(Write, ProgramsNothingFromAnAllErasedDump) {
    const std::string path = dir.File("erased.bin");
    WriteBytes(path, Bytes(kPages * kPageBytes + 5000, 0xFF));  // the surplus is ignored

    const JobRun run = Run(FerrikFrame::BTN_WRITE_, path);

    EXPECT_EQ(TimesMasked(run.log),
              "\nOpen file for write = " + path + "\n\nStart Write Page \nEnd time = # ms\nProgramm Page OK\n");
    EXPECT_TRUE(OnlyTheProbe(*chip));
}

TEST_F(Write, LogsAFailedProgramByItsPageAndGoesOn) {
    sim::ChipFaults faults;
    faults.programFailPages = {63, 64, 100};
    Reinsert(faults);
    const std::string path = dir.File("full.bin");
    WriteBytes(path, PatternImage(kPages, kPageBytes));

    const JobRun run = Run(FerrikFrame::BTN_WRITE_, path);

    EXPECT_EQ(TimesMasked(run.log), "\nOpen file for write = " + path +
                                      "\n\nStart Write Page \n"
                                      "Error programm page [63] \nError programm page [64] \nError programm page [100] \n"
                                      "End time = # ms\nError, 3 pages failed to program\n");
    EXPECT_EQ(ColourIn(run, "Error programm page"), kRed);
    EXPECT_EQ(ColourIn(run, "Error, 3 pages failed"), kRed);
    EXPECT_EQ(ColourInForce(), kBlue);
    EXPECT_EQ(OpsOfKind(*chip, sim::ChipOp::Program).size(), static_cast<size_t>(kPages));
    EXPECT_TRUE(chip->Page(127) == PatternPage(127, kPageBytes)) << "the job stopped after a failure";
}

TEST_F(Write, GoesOnAfterTimeOutsWhileFewerThanEightComeInARow) {
    const std::string path = dir.File("full.bin");
    WriteBytes(path, PatternImage(kPages, kPageBytes));

    // One, then seven in a row, then an answer: the job runs to its end.
    BusyHoldingSocket socket(chip, {3, 20, 21, 22, 23, 24, 25, 26});
    const JobRun run = Run(FerrikFrame::BTN_WRITE_, path);

    std::string expected = "\nOpen file for write = " + path + "\n\nStart Write Page \n";
    for (int i = 0; i < 8; ++i) expected += "R/B, break low, ERR_RB_L \n";
    expected += "End time = # ms\nError, 8 pages failed to program\n";
    EXPECT_EQ(TimesMasked(run.log), expected);
    EXPECT_EQ(ColourIn(run, "R/B, break low"), kRed);
    EXPECT_EQ(ColourIn(run, "Error, 8 pages"), kRed);
    EXPECT_EQ(ColourInForce(), kBlue);
    EXPECT_EQ(OpsOfKind(*chip, sim::ChipOp::Program).size(), static_cast<size_t>(kPages));
    EXPECT_TRUE(chip->Page(27) == PatternPage(27, kPageBytes));
}

TEST_F(Write, StopsAtTheFirstRecordTheFileDoesNotHoldWhole) {
    const std::string path = dir.File("short.bin");
    Bytes image = PatternImage(10, kPageBytes);
    image.resize(image.size() + kPageBytes / 2, 0x00);  // half a record more
    WriteBytes(path, image);

    const JobRun run = Run(FerrikFrame::BTN_WRITE_, path);

    EXPECT_EQ(run.log, "\nOpen file for write = " + path +
                           "\n\nStart Write Page \nError, the file holds only 10 whole records\n");
    EXPECT_EQ(ColourIn(run, "Error, the file holds"), kRed);
    EXPECT_EQ(ColourInForce(), kBlue);
    const std::vector<sim::ChipOp> programs = OpsOfKind(*chip, sim::ChipOp::Program);
    ASSERT_EQ(programs.size(), 10u);
    EXPECT_EQ(programs.back().row, 9u);
    EXPECT_TRUE(chip->Page(10) == Bytes(kPageBytes, 0xFF));
}

TEST_F(Write, TakesRecordsOfTheSpareSizeAloneWhenThePageSizeIsZero) {
    SetGeometry("0", "64", "127");
    const std::string path = dir.File("spare.bin");
    WriteBytes(path, PatternImage(kPages, 64));

    const JobRun write = Run(FerrikFrame::BTN_WRITE_, path);
    EXPECT_NE(write.log.find("Programm Page OK\n"), std::string::npos);
    for (int row : {0, 77, 127}) {
        const Bytes page = chip->Page(row);
        EXPECT_TRUE(Bytes(page.begin(), page.begin() + 64) == PatternPage(row, 64)) << "row " << row;
        EXPECT_TRUE(Bytes(page.begin() + 64, page.end()) == Bytes(kPageBytes - 64, 0xFF)) << "row " << row;
    }

    const JobRun verify = Run(FerrikFrame::BTN_VERIFY_, path);
    EXPECT_EQ(verify.log.find("Error"), std::string::npos) << verify.log;
    EXPECT_NE(verify.log.find("Verify end\n"), std::string::npos);
}

TEST_F(Write, StopsAfterEightTimeOutsInARowWhenRbStaysLow) {
    Reinsert(RbStuckLow());
    const std::string path = ZerosFile("full.bin");

    const JobRun run = Run(FerrikFrame::BTN_WRITE_, path);

    std::string expected = "\nOpen file for write = " + path + "\n\nStart Write Page \n";
    for (int i = 0; i < 8; ++i) expected += "R/B, break low, ERR_RB_L \n";
    expected += "Error, the chip does not answer (R/B# stays low), write stopped\n";
    EXPECT_EQ(run.log, expected);
    EXPECT_EQ(ColourIn(run, "R/B, break low"), kRed);
    EXPECT_EQ(ColourIn(run, "Error, the chip does not answer"), kRed);
    EXPECT_EQ(ColourInForce(), kBlue);
}

// ---------------------------------------------------------------- Verify

TEST_F(Verify, ReportsEachPlantedDifferenceInAddressOrder) {
    FillChip();
    const std::string path = dir.File("image.bin");
    Bytes image = ChipImage(*chip, kPages);
    // Plant differences in the chip, out of order on purpose.
    auto plant = [&](int row, int i, uint8_t chipByte, uint8_t fileByte) {
        Bytes page = chip->Page(row);
        page[static_cast<size_t>(i)] = chipByte;
        chip->SetPage(row, page);
        image[static_cast<size_t>(row) * kPageBytes + static_cast<size_t>(i)] = fileByte;
    };
    plant(12, 5, 0x0A, 0xFF);
    plant(0, 0, 0x00, 0x01);
    plant(127, 263, 0xFE, 0x0F);
    plant(12, 1, 0x05, 0xA0);
    plant(12, 260, 0xC3, 0x3C);  // in the spare area
    WriteBytes(path, image);
    frame->LogBlue();

    const JobRun run = Run(FerrikFrame::BTN_VERIFY_, path);

    EXPECT_EQ(TimesMasked(run.log), "\nOpen File for verify = " + path +
                                      "\nStart verify\n"
                                      "Error, verify in page [0], address = 0x0, nand[0x00], file[0x01]\n"
                                      "Error, verify in page [12], address = 0xC61, nand[0x05], file[0xA0]\n"
                                      "Error, verify in page [12], address = 0xC65, nand[0x0A], file[0xFF]\n"
                                      "Error, verify in page [12], address = 0xD64, nand[0xC3], file[0x3C]\n"
                                      "Error, verify in page [127], address = 0x83FF, nand[0xFE], file[0x0F]\n"
                                      "End time = # ms\nVerify end\n");
    EXPECT_EQ(ColourIn(run, "Error, verify in page [0]"), kRed);
    EXPECT_EQ(ColourIn(run, "Error, verify in page [127]"), kRed);
    EXPECT_EQ(ColourIn(run, "End time"), kBlue);
    EXPECT_EQ(ColourIn(run, "Verify end"), kBlue);
    EXPECT_EQ(OpsAfterProbe(*chip).size(), static_cast<size_t>(kPages)) << "verify must only read";
}

TEST_F(Verify, ListsAThousandDifferencesThenCountsTheRest) {
    // Erased chip against a dump of zeros: every byte differs.
    const std::string path = ZerosFile("zeros.bin");

    const JobRun run = Run(FerrikFrame::BTN_VERIFY_, path);

    EXPECT_EQ(CountOf(run.log, "Error, verify in page ["), 1000u);
    const std::string capped = "Error, more than 1000 differences: the rest are counted but not listed\n";
    const std::string total = "Error, 33792 bytes differ in all\n";
    // The 1000th is byte 207 of page 3 (3 x 264 + 207 = 999).
    const std::string last = "Error, verify in page [3], address = 0x3E7, nand[0xFF], file[0x00]\n";
    EXPECT_NE(TimesMasked(run.log).find(last + capped + total + "End time = # ms\nVerify end\n"), std::string::npos)
        << run.log.substr(run.log.size() > 600 ? run.log.size() - 600 : 0);
    EXPECT_EQ(ColourIn(run, capped), kRed);
    EXPECT_EQ(ColourIn(run, total), kRed);
    EXPECT_EQ(ColourIn(run, "End time"), kBlue);
    EXPECT_EQ(OpsAfterProbe(*chip, sim::ChipOp::Read).size(), static_cast<size_t>(kPages)) << "compared to the end";
}

TEST_F(Verify, ListsExactlyAThousandDifferencesWithoutACount) {
    const std::string path = dir.File("thousand.bin");
    Bytes image(kPages * kPageBytes, 0xFF);
    for (size_t i = 0; i < 1000; ++i) image[i * 33] = 0x00;
    WriteBytes(path, image);

    const JobRun run = Run(FerrikFrame::BTN_VERIFY_, path);

    EXPECT_EQ(CountOf(run.log, "Error, verify in page ["), 1000u);
    EXPECT_EQ(run.log.find("Error, more than"), std::string::npos);
    EXPECT_EQ(run.log.find("bytes differ in all"), std::string::npos);
    EXPECT_NE(TimesMasked(run.log).find("file[0x00]\nEnd time = # ms\nVerify end\n"), std::string::npos);
}

TEST_F(Verify, StopsAtTheFirstRecordTheFileDoesNotHoldWhole) {
    FillChip();
    const std::string path = dir.File("short.bin");
    Bytes image = ChipImage(*chip, kPages);
    image.resize(7 * kPageBytes + 100);  // the cut record matches the chip as far as it goes
    WriteBytes(path, image);

    const JobRun run = Run(FerrikFrame::BTN_VERIFY_, path);

    EXPECT_EQ(run.log, "\nOpen File for verify = " + path + "\nStart verify\nError, the file holds only 7 whole records\n");
    EXPECT_EQ(ColourIn(run, "Error, the file holds"), kRed);
    EXPECT_EQ(ColourInForce(), kBlue);

    WriteBytes(path, Bytes());
    const JobRun empty = Run(FerrikFrame::BTN_VERIFY_, path);
    EXPECT_NE(empty.log.find("Error, the file holds only 0 whole records\n"), std::string::npos);
    EXPECT_EQ(empty.log.find("Verify end"), std::string::npos);
}

TEST_F(Verify, EndsInBlueWhenRbStaysLow) {
    Reinsert(RbStuckLow());
    const std::string path = ZerosFile("zeros.bin");

    const JobRun run = Run(FerrikFrame::BTN_VERIFY_, path);

    EXPECT_EQ(run.log, "\nOpen File for verify = " + path + "\nStart verify\nR/B, break low, ERR_RB_L\n");
    EXPECT_EQ(ColourIn(run, "R/B, break low"), kRed);
    EXPECT_EQ(ColourInForce(), kBlue);
}

// ---------------------------------------------------------------- whole chip

TEST(DumpJobWholeChip, ReadsWritesAndVerifiesTheWholeDefaultChip) {
    FerrikFrame* frame = OpenFrame();
    sim::SimNandChip* chip = &InsertFreshChip(sim::DefaultPreset());
    const int pages = chip->Pages();
    const int pageBytes = chip->PageBytes();
    for (int row = 0; row < pages; row += 97) chip->SetPage(row, PatternPage(row, pageBytes));
    TempDir dir;
    const std::string path = dir.File("whole.bin");
    {
        FileDialogAnswers answers({path});
        Click(frame, FerrikFrame::BTN_READ_);  // the fields' defaults: 2048 + 64, row max 65535
    }
    {
        std::ifstream dump(path, std::ios::binary);
        dump.seekg(0, std::ios::end);
        EXPECT_EQ(static_cast<long long>(dump.tellg()), 138412032LL);
        dump.seekg(0);
        Bytes record(static_cast<size_t>(pageBytes));
        int differing = 0;
        for (int row = 0; row < pages; ++row) {
            dump.read(reinterpret_cast<char*>(record.data()), pageBytes);
            if (record != chip->Page(row)) ++differing;
        }
        EXPECT_EQ(differing, 0) << "records that differ from their page";
    }

    chip = &InsertFreshChip(sim::DefaultPreset());
    {
        FileDialogAnswers answers({path, path});
        Click(frame, FerrikFrame::BTN_WRITE_);
        Click(frame, FerrikFrame::BTN_VERIFY_);
    }
    EXPECT_EQ(OpsOfKind(*chip, sim::ChipOp::Program).size(), static_cast<size_t>((pages + 96) / 97));
    const std::string log = TimesMasked(LogText(frame));
    EXPECT_NE(log.find("End time = # ms\nRead Dump OK \n"), std::string::npos);
    EXPECT_NE(log.find("End time = # ms\nProgramm Page OK\n"), std::string::npos);
    EXPECT_NE(log.find("Start verify\nEnd time = # ms\nVerify end\n"), std::string::npos);
    EXPECT_EQ(ProgressDialogsAlive(), 0);
    CloseFrame(frame);
    ExpectNoViolations();
}
