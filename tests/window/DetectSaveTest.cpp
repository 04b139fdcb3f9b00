// Detect and Save through the real window: the simulated chip answers READ ID
// on the real bus, and chip parameter files are real files under ICs/ of a
// working directory of the test's own (or of the repository, for the shipped
// database).
#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/filedlg.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "chip/ChipFile.h"
#include "support/Process.h"
#include "support/SimChip.h"
#include "support/WxTest.h"
#include "ui/FerrikFrame.h"

using namespace ferrik_test;
namespace fs = std::filesystem;

namespace {

const wxColour kRed(255, 0, 0);
const wxColour kBlue(0, 0, 255);

using Fields = std::array<std::string, CHIP_FILE_KEYS>;

std::string Text(const wxTextCtrl* field) { return std::string(field->GetValue().utf8_str().data()); }

std::string FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

sim::ChipPreset MadeUpChip(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
    return sim::ChipPreset{"MADE-UP", {b0, b1, b2, b3, b4}, sim::TinyPreset().geometry};
}

class DetectSave : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        home = fs::current_path();
        work = fs::temp_directory_path() /
               ("ferrik-detect-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        fs::create_directories(work);
        fs::current_path(work);
        InsertFreshChip(sim::DefaultPreset());
        frame = OpenFrame();
    }
    void TearDown() override {
        CloseFrame(frame);
        fs::current_path(home);
        std::error_code ignored;
        fs::remove_all(work, ignored);
    }

    wxTextCtrl* const* FieldsInFileOrder() {
        fieldsInOrder = {frame->TxtNameChip, frame->TxtNandId,    frame->TxtRowMaxAddr,
                         frame->TxtPageSize, frame->TxtSpareSize, frame->TxtPages};
        return fieldsInOrder.data();
    }
    Fields FieldTexts() {
        Fields texts;
        wxTextCtrl* const* fields = FieldsInFileOrder();
        for (int key = 0; key < CHIP_FILE_KEYS; ++key) texts[key] = Text(fields[key]);
        return texts;
    }
    void SetFields(const Fields& texts) {
        wxTextCtrl* const* fields = FieldsInFileOrder();
        for (int key = 0; key < CHIP_FILE_KEYS; ++key) fields[key]->SetValue(wxString::FromUTF8(texts[key].c_str()));
        ASSERT_EQ(FieldTexts(), texts);
    }

    // Presses a button and returns what the job added to the log.
    std::string Run(long button) { return ClickForLog(frame, button, mark); }
    std::string RunDetect() { return Run(FerrikFrame::BTN_READ_ID_); }
    std::string RunSave() { return Run(FerrikFrame::BTN_SAVE_); }
    wxColour Colour(const std::string& text) { return ColourOf(frame, text, mark); }
    wxColour ColourInForce() { return frame->TxtLog->GetDefaultStyle().GetTextColour(); }
    std::string RowLabel() { return std::string(frame->StaticText3->GetLabel().utf8_str().data()); }

    // The six echo lines of a found file, as the fields show them.
    static std::string Echo(const Fields& f) {
        return "Found parametrs:\nName nand = " + f[KEY_NAME] + "\nID nand = " + f[KEY_ID] +
               "\nRow max size = " + f[KEY_ROW] + "\nPage size = " + f[KEY_PAGE] + "\nSpare size = " + f[KEY_SPARE] +
               "\n1 Block = " + f[KEY_BLOCK] + " Pages\n";
    }

    fs::path home, work;
    FerrikFrame* frame = nullptr;
    size_t mark = 0;
    std::array<wxTextCtrl*, CHIP_FILE_KEYS> fieldsInOrder{};
};

const std::string kFloatingRows =
    "CE1 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\nCE2 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\nCE3 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\n\n";
const Fields kOther = {"Other", "0123456789", "1023", "512", "16", "32"};

}  // namespace

using Detect = DetectSave;
using Save = DetectSave;

TEST_F(Detect, LogsTheMakerAndFourProbesAndLoadsTheChipsFile) {
    WriteBytes("ICs/Samsung/ECF1009540", "Name=TestChip\nID=ECF1009540\nRow=131071\nPage=4096\nSpare=128\nBlock=128");
    SetFields(kOther);

    const std::string log = RunDetect();

    // Only CE0 holds a chip: the other chip enables read the floating bus.
    const Fields loaded = {"TestChip", "ECF1009540", "131071", "4096", "128", "128"};
    EXPECT_EQ(log, "Manufacturer: = Samsung\nCE0 = 0xEC, 0xF1, 0x0, 0x95, 0x40\n" + kFloatingRows + Echo(loaded));
    EXPECT_EQ(FieldTexts(), loaded);
    EXPECT_EQ(RowLabel(), "0x1FFFF");

    EXPECT_EQ(Colour("Manufacturer: = "), kBlue);
    EXPECT_EQ(Colour("Samsung"), kRed);
    EXPECT_EQ(LogColourAt(frame, static_cast<long>(mark + log.find("\nCE0"))), kBlue);
    EXPECT_EQ(Colour("CE0 = 0xEC"), kBlue);
    EXPECT_EQ(Colour("CE3 = "), kBlue);
    EXPECT_EQ(Colour("Found parametrs:"), kBlue);
    EXPECT_EQ(Colour("Name nand = "), kRed);
    EXPECT_EQ(Colour("TestChip"), kRed);
    EXPECT_EQ(Colour("1 Block = 128 Pages"), kRed);
    EXPECT_EQ(LogColourAt(frame, static_cast<long>(LogText(frame).size() - 1)), kRed);
    EXPECT_EQ(ColourInForce(), kBlue);
    ExpectNoViolations();
}

TEST_F(Detect, WarnsAndLeavesTheOtherFieldsAloneWhenNoFileIsThere) {
    SetFields(kOther);
    const std::string log = RunDetect();

    EXPECT_EQ(log, "Manufacturer: = Samsung\nCE0 = 0xEC, 0xF1, 0x0, 0x95, 0x40\n" + kFloatingRows +
                       "Warning, no find <cfg> file in >> ICs... \n");
    Fields expected = kOther;
    expected[KEY_ID] = "ECF1009540";
    EXPECT_EQ(FieldTexts(), expected);
    EXPECT_EQ(Colour("Warning, no find"), kRed);
    EXPECT_EQ(ColourInForce(), kBlue);

    // A maker directory without the chip's file is no better.
    fs::create_directories("ICs/Samsung");
    WriteBytes("ICs/Samsung/ECF1009541", "Name=Neighbour\nID=ECF1009541\nRow=1\nPage=1\nSpare=1\nBlock=1");
    EXPECT_NE(RunDetect().find("Warning, no find <cfg> file in >> ICs... \n"), std::string::npos);
    EXPECT_EQ(FieldTexts(), expected);
    ExpectNoViolations();
}

TEST_F(Detect, ReportsWhatAnswersOnEveryChipEnableButNamesOnlyTheChipOnCe0) {
    sim::Socket().Insert(1, *sim::FindPreset("HY27UF082G2B"));
    sim::Socket().Insert(3, *sim::FindPreset("TC58NVG0S3E"));
    const std::string log = RunDetect();
    EXPECT_EQ(log, "Manufacturer: = Samsung\nCE0 = 0xEC, 0xF1, 0x0, 0x95, 0x40\n"
                   "CE1 = 0xAD, 0xDA, 0x10, 0x95, 0x44\nCE2 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\n"
                   "CE3 = 0x98, 0xD1, 0x90, 0x15, 0x76\n\nWarning, no find <cfg> file in >> ICs... \n");
    EXPECT_EQ(Text(frame->TxtNandId), "ECF1009540");
    ExpectNoViolations();
}

TEST_F(Detect, WritesOneDigitForSmallIdBytesAndLooksInTheMakersDirectory) {
    WriteBytes("ICs/AMD/1F1801D1", "Name=AmdChip\nID=1F1801D1\nRow=65535\nPage=2048\nSpare=64\nBlock=64");
    InsertFreshChip(MadeUpChip(0x01, 0xF1, 0x80, 0x1D, 0x01));
    std::string log = RunDetect();
    EXPECT_EQ(log.substr(0, log.find("CE1")), "Manufacturer: = AMD\nCE0 = 0x1, 0xF1, 0x80, 0x1D, 0x1\n");
    EXPECT_NE(log.find("Name nand = AmdChip\nID nand = 1F1801D1\n"), std::string::npos);

    // A zero in bytes 0 to 3 gives two digits, in byte 4 one.
    WriteBytes("ICs/Toshiba/98F100150", "Name=ToshibaChip\nID=98F100150\nRow=65535\nPage=2048\nSpare=64\nBlock=64");
    InsertFreshChip(MadeUpChip(0x98, 0xF1, 0x00, 0x15, 0x00));
    log = RunDetect();
    EXPECT_EQ(log.substr(0, log.find("CE1")), "Manufacturer: = Toshiba\nCE0 = 0x98, 0xF1, 0x0, 0x15, 0x0\n");
    EXPECT_EQ(Text(frame->TxtNandId), "98F100150");
    EXPECT_EQ(Text(frame->TxtNameChip), "ToshibaChip");
    ExpectNoViolations();
}

TEST_F(Detect, LooksForAChipOfAnUnknownMakerOrNoChipInUnknownNand) {
    WriteBytes("ICs/Unknown Nand/45F1801D2", "Name=Stranger\nID=45F1801D2\nRow=8191\nPage=512\nSpare=16\nBlock=32");
    InsertFreshChip(MadeUpChip(0x45, 0xF1, 0x80, 0x1D, 0x02));
    std::string log = RunDetect();
    EXPECT_EQ(log.substr(0, log.find("CE0")), "Manufacturer: = Unknown Nand\n");
    EXPECT_EQ(Colour("Unknown Nand"), kRed);
    EXPECT_EQ(FieldTexts(), (Fields{"Stranger", "45F1801D2", "8191", "512", "16", "32"}));

    // An empty socket reads the floating bus: FF everywhere.
    WriteBytes("ICs/Unknown Nand/FFFFFFFFFF", "Name=Empty\nID=FFFFFFFFFF\nRow=0\nPage=0\nSpare=0\nBlock=0");
    sim::Socket().RemoveAll();
    log = RunDetect();
    EXPECT_EQ(log.substr(0, log.find("CE1")), "Manufacturer: = Unknown Nand\nCE0 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\n");
    EXPECT_EQ(FieldTexts(), (Fields{"Empty", "FFFFFFFFFF", "0", "0", "0", "0"}));
    ExpectNoViolations();
}

TEST_F(Detect, RunTwiceHoldsOneIdStringAndTheFilesIdValue) {
    // The field takes what the file says, even when it is not the ID string.
    WriteBytes("ICs/Samsung/ECF1009540", "Name=TestChip\nID=K9ID\nRow=65535\nPage=2048\nSpare=64\nBlock=64");
    RunDetect();
    EXPECT_EQ(Text(frame->TxtNandId), "K9ID");
    const std::string second = RunDetect();
    EXPECT_EQ(Text(frame->TxtNandId), "K9ID");
    EXPECT_NE(second.find("ID nand = K9ID\n"), std::string::npos);

    fs::remove("ICs/Samsung/ECF1009540");
    RunDetect();
    RunDetect();
    EXPECT_EQ(Text(frame->TxtNandId), "ECF1009540");
    ExpectNoViolations();
}

TEST_F(Detect, EchoesWhatTheFieldsHoldForValuesLongerThanTheFieldsAllow) {
    // A field refuses a text longer than its maximum as a whole and is left
    // empty; the echo shows that, not the file's value.
    WriteBytes("ICs/Samsung/ECF1009540", "Name=TestChip\nID=ECF1009540\nRow=123456789\nPage=123456\nSpare=1234\nBlock=64");
    SetFields(kOther);
    std::string log = RunDetect();
    const Fields held = {"TestChip", "ECF1009540", "", "", "", "64"};
    EXPECT_EQ(FieldTexts(), held);
    EXPECT_NE(log.find(Echo(held)), std::string::npos);

    // Longer than the value buffer: nineteen characters go to the name,
    // which refuses them, and the rest blocks every later key.
    WriteBytes("ICs/Samsung/ECF1009540",
               "Name=ABCDEFGHIJKLMNOPQRSTUVWXYZ\nID=ECF1009540\nRow=65535\nPage=2048\nSpare=64\nBlock=64");
    SetFields(kOther);
    log = RunDetect();
    EXPECT_EQ(FieldTexts(), (Fields{"", "", "", "", "", ""}));
    EXPECT_NE(log.find(Echo(Fields{"", "", "", "", "", ""})), std::string::npos);
    ExpectNoViolations();
}

TEST_F(Save, AsksForTheFileWithTheIdAsItsNameAndDetectLoadsItBack) {
    RunDetect();  // the ID field now holds ECF1009540
    const Fields typed = {"RoundTrip_01", "ECF1009540", "131071", "4096", "224", "128"};
    SetFields(typed);
    fs::create_directories("ICs/Samsung");
    const std::string path = (work / "ICs/Samsung/ECF1009540").string();

    FileDialogAnswers answers({path});
    const std::string log = RunSave();
    ASSERT_EQ(answers.Shown(), 1);
    EXPECT_EQ(answers.Unexpected(), 0);
    EXPECT_EQ(answers.messages[0], "Save id nand file");
    EXPECT_EQ(answers.defaultNames[0], "ECF1009540");
    EXPECT_EQ(answers.wildcards[0], "file id (*)|*");
    EXPECT_EQ(answers.styles[0] & (wxFD_SAVE | wxFD_OPEN | wxFD_OVERWRITE_PROMPT), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);

    // Logged in the colour the previous job left; no success line.
    EXPECT_EQ(log, "\nSave of File = " + path + "\n");
    EXPECT_EQ(Colour("Save of File"), kBlue);
    EXPECT_EQ(FileBytes(path), "Name=RoundTrip_01\nID=ECF1009540\nRow=131071\nPage=4096\nSpare=224\nBlock=128");
    EXPECT_EQ(FieldTexts(), typed);

    SetFields(kOther);
    const std::string detected = RunDetect();
    EXPECT_EQ(FieldTexts(), typed);
    EXPECT_NE(detected.find(Echo(typed)), std::string::npos);
    EXPECT_EQ(RowLabel(), "0x1FFFF");
    ExpectNoViolations();
}

TEST_F(Save, WritesNothingAndLogsNothingWhenCancelled) {
    SetFields({"Short", "ECF1009540", "1", "2", "3", "4"});
    FileDialogAnswers answers({""});
    EXPECT_EQ(RunSave(), "");
    EXPECT_EQ(answers.Shown(), 1);
    EXPECT_TRUE(fs::is_empty(work));
}

TEST_F(Save, ReplacesAnExistingFileCompletely) {
    const fs::path path = work / "ECF1009540";
    WriteBytes(path, std::string(500, '#'));
    SetFields({"Short", "ECF1009540", "1", "2", "3", "4"});
    FileDialogAnswers answers({path.string()});
    RunSave();
    EXPECT_EQ(FileBytes(path), "Name=Short\nID=ECF1009540\nRow=1\nPage=2\nSpare=3\nBlock=4");
}

TEST_F(Save, ReportsAFileThatCannotBeCreatedOrWrittenWhole) {
    // A directory in the way of the file.
    const fs::path blocked = work / "ECF1009540";
    fs::create_directories(blocked / "inside");
    SetFields({"Short", "ECF1009540", "1", "2", "3", "4"});
    {
        FileDialogAnswers answers({blocked.string()});
        const std::string log = RunSave();
        EXPECT_EQ(log, "\nSave of File = " + blocked.string() + "\nError create id file \n");
        EXPECT_EQ(Colour("Error create id file"), kRed);
        EXPECT_EQ(ColourInForce(), kBlue);
    }
    // Opens, but no byte reaches the device.
    {
        FileDialogAnswers answers({"/dev/full"});
        frame->LogGreen();
        const std::string log = RunSave();
        EXPECT_EQ(log, "\nSave of File = /dev/full\nError create id file \n");
        EXPECT_EQ(Colour("Save of File"), wxColour(0, 255, 0));
        EXPECT_EQ(Colour("Error create id file"), kRed);
        EXPECT_EQ(ColourInForce(), kBlue);
    }
}

TEST_F(Save, RefusesBeforeAnyDialogAFieldThatWouldNotReadBackAsItIs) {
    // Detect reads each value as one word: a blank cuts it, and an empty
    // value lets the next key shift into its place.
    const struct {
        Fields fields;
        const char* line;
    } cases[] = {
        {{"No Name", "ECF1009540", "65535", "2048", "64", "64"}, "Error, Name Chip is"},
        {{"TestChip", "ECF1009540", "65535", "2048", "", "64"}, "Error, Spare is"},
        {{"TestChip", "ECF1009540", "65535", "20 48", "64", "64"}, "Error, Page Size is"},
        {{"TestChip", "", "65535", "2048", "64", "64"}, "Error, Nand ID is"},
    };
    fs::create_directories("ICs/Samsung");
    for (const auto& c : cases) {
        SetFields(c.fields);
        FileDialogAnswers answers({(work / "ICs/Samsung/ECF1009540").string()});
        const std::string log = RunSave();
        EXPECT_EQ(log, std::string(c.line) +
                           " empty or holds a blank or a character that cannot be saved: nothing saved\n");
        EXPECT_EQ(Colour("Error, "), kRed);
        EXPECT_EQ(ColourInForce(), kBlue);
        EXPECT_EQ(answers.Shown(), 0);
        EXPECT_FALSE(fs::exists("ICs/Samsung/ECF1009540"));
    }
}

// Every simulated chip of the catalogue finds its file in the shipped ICs/.
TEST_F(Detect, FindsTheShippedFileOfEveryCatalogueChip) {
    fs::current_path(FERRIK_SOURCE_DIR);
    std::map<std::string, const sim::ChipPreset*> firstWithId;
    for (const sim::ChipPreset& preset : sim::Catalogue()) {
        if (preset.part == sim::TinyPreset().part) continue;
        SCOPED_TRACE(preset.part);
        const std::string idText = IdString(preset.id);
        firstWithId.emplace(idText, &preset);
        // A file names the first part listed with its ID, with that part's geometry.
        const sim::ChipPreset& named = *firstWithId[idText];
        const sim::ChipGeometry& g = named.geometry;

        InsertFreshChip(preset);
        SetFields(kOther);
        const std::string log = RunDetect();
        const Fields expected = {named.part, idText, std::to_string(g.pagesPerBlock * g.blocks - 1),
                                 std::to_string(g.pageSize), std::to_string(g.spareSize),
                                 std::to_string(g.pagesPerBlock)};
        EXPECT_EQ(FieldTexts(), expected);
        EXPECT_NE(log.find(Echo(expected)), std::string::npos) << log;
        ExpectNoViolations();
    }
}

#ifdef FERRIK_CLI
// A chip with no shipped file: the chip file ferrik-cli writes from its
// parameter page is the one the window's Detect finds, and it is not
// replaced unless asked.
TEST_F(Detect, FindsTheChipFileThatDetectSaveWroteFromTheParameterPage) {
    const auto save = [this](std::vector<std::string> options) {
        std::vector<std::string> argv = {FERRIK_CLI, "detect", "--save"};
        argv.insert(argv.end(), options.begin(), options.end());
        return RunProgram(argv, {{"FERRIK_SIM_CHIPS", "MT29F4G08ABAEA"}}, 60, work.string());
    };
    const std::string path = "ICs/Micron/2CDC90A654";
    const std::string written = "Name=MT29F4G08ABAEA\nID=2CDC90A654\nRow=131071\nPage=4096\nSpare=224\nBlock=64";
    Exited saved = save({});
    EXPECT_EQ(saved.status, 0) << saved.output;
    // The page's 224 spare bytes, not the 128 the ID bytes would guess.
    EXPECT_EQ(FileBytes(path), written);

    InsertFreshChip(*sim::FindPreset("MT29F4G08ABAEA"));
    SetFields(kOther);
    const Fields loaded = {"MT29F4G08ABAEA", "2CDC90A654", "131071", "4096", "224", "64"};
    EXPECT_NE(RunDetect().find(Echo(loaded)), std::string::npos);
    EXPECT_EQ(FieldTexts(), loaded);

    const std::string mine = "Name=Mine\nID=2CDC90A654\nRow=1\nPage=2\nSpare=3\nBlock=4";
    WriteBytes(path, mine);
    saved = save({});
    EXPECT_EQ(saved.status, 2) << saved.output;
    EXPECT_NE(saved.output.find("Error, ICs/Micron/2CDC90A654 is already there: not replaced\n"), std::string::npos);
    EXPECT_EQ(FileBytes(path), mine);
    // The chip file is now the geometry in use: --force writes it back as it is.
    saved = save({"--force"});
    EXPECT_EQ(saved.status, 0) << saved.output;
    EXPECT_EQ(FileBytes(path), "Name=Mine\nID=2CDC90A654\nRow=1\nPage=2\nSpare=3\nBlock=4");
    ExpectNoViolations();
}
#endif
