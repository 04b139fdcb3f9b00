// Factory bad-block marks through the real ferrik-cli on the simulated chip:
// erase keeps them, blank and the dump jobs' modes skip, pad or keep them,
// scan lists them and the maps draw them. The chip's content lives in a
// FERRIK_SIM_IMAGE file from one run to the next, as a real chip would stay
// in its socket.
#ifdef FERRIK_CLI
#include <gtest/gtest.h>
#include <wx/init.h>
#include <wx/sstream.h>
#include <wx/xml/xml.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/DumpFiles.h"
#include "support/Process.h"

using namespace ferrik_test;

namespace {

// SIM-TINY: 256 + 8 bytes a page, 8 pages a block, 16 blocks.
constexpr int kPageBytes = 264;
constexpr int kSpareByte = 256;
constexpr int kPerBlock = 8;
constexpr int kPages = 128;
constexpr size_t kBlockBytes = static_cast<size_t>(kPerBlock) * kPageBytes;

class CliBadBlocks : public ::testing::Test {
protected:
    // Runs ferrik-cli in the scratch folder with the tiny chip, its content
    // in chip.bin, and the geometry given on the command line.
    Exited Cli(std::vector<std::string> args, const char* faults = "") {
        args.insert(args.begin(), FERRIK_CLI);
        for (const char* value : {"--page=256", "--spare=8", "--row-max=127", "--pages-per-block=8"})
            args.push_back(value);
        return RunOnSimChips(args, "SIM-TINY", Image(), faults, 60, dir.Path());
    }
    std::string Image() const { return dir.File("chip.bin"); }
    std::string File(const char* name) const { return dir.File(name); }

    // A chip image: every page from pageOf, then the marks.
    void MakeChip(const std::function<Bytes(int)>& pageOf, std::initializer_list<int> marked) {
        Bytes image;
        for (int row = 0; row < kPages; ++row) {
            const Bytes page = pageOf(row);
            image.insert(image.end(), page.begin(), page.end());
        }
        for (int block : marked) image[static_cast<size_t>(block) * kBlockBytes + kSpareByte] = 0x00;
        WriteBytes(Image(), image);
    }
    static Bytes Erased(int) { return Bytes(kPageBytes, 0xFF); }
    static Bytes Pattern(int row) {
        Bytes page = PatternPage(row, kPageBytes);
        page[kSpareByte] = 0xFF;  // data never touches the mark's byte
        return page;
    }
    // The records of `blocks` taken from a dump, in order.
    static Bytes Blocks(const Bytes& dump, std::initializer_list<std::pair<int, int>> ranges) {
        Bytes out;
        for (const auto& [first, last] : ranges)
            out.insert(out.end(), dump.begin() + static_cast<long>(first * kBlockBytes),
                       dump.begin() + static_cast<long>((last + 1) * kBlockBytes));
        return out;
    }

    TempDir dir;
};

int Occurrences(const std::string& text, const std::string& piece) {
    int n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

}  // namespace

TEST_F(CliBadBlocks, EraseLeavesMarkedBlocksAloneAndBlankSkipsThem) {
    MakeChip(Pattern, {0, 6});  // block 0 gets two erase commands: rows 0 and 1

    const Exited erased = Cli({"erase"}, "marked:0,6");
    EXPECT_EQ(erased.status, 0) << erased.output;
    EXPECT_EQ(Occurrences(erased.output, "Skip bad block [0]\n"), 1) << erased.output;
    EXPECT_EQ(Occurrences(erased.output, "Skip bad block [6]\n"), 1) << erased.output;
    const Bytes after = ReadBytes(Image());
    EXPECT_EQ(after[0 * kBlockBytes + kSpareByte], 0x00);
    EXPECT_EQ(after[6 * kBlockBytes + kSpareByte], 0x00);
    EXPECT_EQ(after[0 * kBlockBytes + 5], Pattern(0)[5]) << "a marked block keeps its content";
    EXPECT_EQ(Blocks(after, {{1, 5}, {7, 15}}), Bytes(14 * kBlockBytes, 0xFF));

    const Exited blank = Cli({"blank"}, "marked:0,6");
    EXPECT_EQ(blank.status, 0) << blank.output;
    EXPECT_NE(blank.output.find("Start check blank\nSkip bad block [0]\nSkip bad block [6]\nEnd time = "),
              std::string::npos)
        << blank.output;
}

TEST_F(CliBadBlocks, EraseWipesMarksOnlyWhenAskedAndMarksABlockThatFails) {
    MakeChip(Erased, {3, 9});

    const Exited included = Cli({"erase", "--include-bad"}, "marked:3,9");
    EXPECT_EQ(included.status, 0) << included.output;
    EXPECT_NE(included.output.find("Warning, factory-marked bad blocks are erased too"), std::string::npos);
    EXPECT_EQ(ReadBytes(Image()), Bytes(kPages * kPageBytes, 0xFF)) << "the marks are gone";

    const Exited marking = Cli({"erase", "--mark-bad"}, "erase-fail:5");
    EXPECT_EQ(marking.status, 1) << marking.output;
    EXPECT_NE(marking.output.find("Error Erace bad Block [5]\nMarked bad block [5]\n"), std::string::npos)
        << marking.output;

    const Exited scan = Cli({"scan"});
    EXPECT_EQ(scan.status, 0) << scan.output;
    EXPECT_NE(scan.output.find("Bad block [5]: pages 40 to 47, dump offset 0x2940\n1 bad block of 16\n"),
              std::string::npos)
        << scan.output;
    const Exited json = Cli({"scan", "--json"});
    EXPECT_NE(json.output.find("\"bad_count\":1,\"bad_blocks\":[{\"block\":5,\"first_page\":40,\"last_page\":47,"
                               "\"dump_offset\":10560}]}\n"),
              std::string::npos)
        << json.output;
}

TEST_F(CliBadBlocks, EachReadModeGivesItsOwnDumpAndVerifiesWithTheSameMode) {
    MakeChip(Pattern, {2, 15});
    const Bytes chip = ReadBytes(Image());
    Bytes padded = chip;
    for (int block : {2, 15})
        std::fill_n(padded.begin() + static_cast<long>(block * kBlockBytes), kBlockBytes, 0xFF);
    const std::map<std::string, Bytes> expected = {
        {"raw", chip},
        {"pad", padded},
        {"skip", Blocks(chip, {{0, 1}, {3, 14}})},
    };
    for (const auto& [mode, dump] : expected) {
        SCOPED_TRACE(mode);
        const std::string path = File("dump.bin");
        const Exited read = Cli({"read", path, "--bad=" + mode});
        EXPECT_EQ(read.status, 0) << read.output;
        const Bytes got = ReadBytes(path);
        EXPECT_EQ(got.size(), dump.size());
        EXPECT_TRUE(got == dump);
        const Exited verify = Cli({"verify", path, "--bad=" + mode});
        EXPECT_EQ(verify.status, 0) << verify.output;
    }
}

TEST_F(CliBadBlocks, KeepAndSkipWritesPutTheFileWhereTheirModeSays) {
    Bytes file;
    for (int row = 0; row < kPages; ++row) {
        const Bytes page = Pattern(row);
        file.insert(file.end(), page.begin(), page.end());
    }
    const std::string path = File("data.bin");
    const std::string back = File("back.bin");
    Bytes markOnly(kBlockBytes, 0xFF);
    markOnly[kSpareByte] = 0x00;

    // keep: block 4 stays as it was, every other page at its own offset.
    MakeChip(Erased, {4});
    WriteBytes(path, file);
    const Exited keep = Cli({"write", path, "--bad=keep"});
    EXPECT_EQ(keep.status, 0) << keep.output;
    const size_t leftOut = static_cast<size_t>(
        std::count_if(file.begin() + 4 * kBlockBytes, file.begin() + 5 * kBlockBytes, [](uint8_t b) { return b != 0xFF; }));
    EXPECT_NE(keep.output.find("Keep bad block [4]: " + std::to_string(leftOut) +
                               " bytes of the file that were not 0xFF left out\n"),
              std::string::npos)
        << keep.output;
    ASSERT_EQ(Cli({"read", back}).status, 0);
    Bytes expected = file;
    std::copy(markOnly.begin(), markOnly.end(), expected.begin() + 4 * kBlockBytes);
    EXPECT_TRUE(ReadBytes(back) == expected);

    // skip: the file's blocks 4 on go one block further up the chip.
    MakeChip(Erased, {4});
    WriteBytes(path, Blocks(file, {{0, 14}}));
    const Exited skip = Cli({"write", path, "--bad=skip"});
    EXPECT_EQ(skip.status, 0) << skip.output;
    EXPECT_NE(skip.output.find("Skip bad block [4]\n"), std::string::npos) << skip.output;
    ASSERT_EQ(Cli({"read", back}).status, 0);
    expected = Blocks(file, {{0, 3}});
    expected.insert(expected.end(), markOnly.begin(), markOnly.end());
    const Bytes rest = Blocks(file, {{4, 14}});
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_TRUE(ReadBytes(back) == expected);
}

TEST_F(CliBadBlocks, SkipWriteOfAFullChipRunsOutOfGoodBlocksBeforeProgrammingAnything) {
    MakeChip(Erased, {7});
    const Bytes before = ReadBytes(Image());
    const std::string path = File("full.bin");
    Bytes file;
    for (int row = 0; row < kPages; ++row) {
        const Bytes page = Pattern(row);
        file.insert(file.end(), page.begin(), page.end());
    }
    WriteBytes(path, file);

    for (const char* command : {"write", "program"}) {
        SCOPED_TRACE(command);
        const Exited run = Cli({command, path, "--bad=skip"});
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("Error, the chip runs out of good blocks before the file ends: the file holds 128 "
                                  "pages, the good blocks 120\n"),
                  std::string::npos)
            << run.output;
        EXPECT_TRUE(ReadBytes(Image()) == before) << "the chip was changed";
    }
}

TEST_F(CliBadBlocks, MapsHoldOneSquarePerBlockClassedByWhatTheRunFound) {
    MakeChip(
        [](int row) {
            Bytes page = Erased(row);
            if (row == 42) page[7] = 0x12;  // block 5 is not blank
            return page;
        },
        {2});
    // Block 9 of the file differs from the chip; block 2 is padded alike.
    Bytes file(kPages * kPageBytes, 0xFF);
    file[9 * kBlockBytes + 3] = 0x00;
    file[42 * kPageBytes + 7] = 0x12;
    WriteBytes(File("file.bin"), file);

    wxInitializer wx;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::map<int, std::string> notGood;
        const char* faults;
    };
    const Case cases[] = {
        {{"scan"}, 0, {{2, "marked"}}, ""},
        {{"blank"}, 1, {{2, "marked"}, {5, "not-blank"}}, ""},
        {{"verify", File("file.bin"), "--bad=pad"}, 1, {{2, "marked"}, {9, "differs"}}, ""},
        {{"erase"}, 1, {{2, "marked"}, {11, "failed"}}, "erase-fail:11"},  // last: it erases the chip
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args = c.args;
        args.push_back("--map=" + File("map.svg"));
        const Exited run = Cli(args, c.faults);
        EXPECT_EQ(run.status, c.status) << run.output;

        const Bytes svg = ReadBytes(File("map.svg"));
        wxStringInputStream in(wxString::FromUTF8(reinterpret_cast<const char*>(svg.data()), svg.size()));
        wxXmlDocument doc;
        ASSERT_TRUE(doc.Load(in)) << "not well-formed XML";
        ASSERT_EQ(doc.GetRoot()->GetName(), "svg");
        const wxXmlNode* blocks = nullptr;
        for (const wxXmlNode* n = doc.GetRoot()->GetChildren(); n != nullptr; n = n->GetNext())
            if (n->GetAttribute("id") == "blocks") blocks = n;
        ASSERT_NE(blocks, nullptr);
        int block = 0;
        for (const wxXmlNode* square = blocks->GetChildren(); square != nullptr; square = square->GetNext()) {
            if (square->GetType() != wxXML_ELEMENT_NODE) continue;
            EXPECT_EQ(square->GetName(), "rect");
            const auto found = c.notGood.find(block);
            EXPECT_EQ(square->GetAttribute("class").ToStdString(), found == c.notGood.end() ? "good" : found->second)
                << "block " << block;
            const wxXmlNode* title = square->GetChildren();
            ASSERT_NE(title, nullptr);
            EXPECT_EQ(title->GetNodeContent().BeforeFirst(':').ToStdString(),
                      "Block " + std::to_string(block) + ", pages " + std::to_string(block * kPerBlock) + " to " +
                          std::to_string(block * kPerBlock + kPerBlock - 1));
            ++block;
        }
        EXPECT_EQ(block, 16);
    }
}

TEST_F(CliBadBlocks, BadOptionsAreRefusedBeforeAnyChipAccess) {
    // No chip on CE0: a command that reached the chip would end with 4.
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* line;
    };
    const Case cases[] = {
        {{"read", File("d.bin"), "--bad=shred"}, 2, "--bad: \"shred\" is not a mode of read (raw, pad or skip)"},
        {{"write", File("d.bin"), "--bad=pad"}, 2, "--bad: \"pad\" is not a mode of write (raw, keep or skip)"},
        {{"blank", "--bad=skip"}, 2, "--bad is not an option of blank"},
        {{"read", File("d.bin"), "--map=" + File("m.svg")}, 2, "--map is not an option of read"},
        {{"scan", "--map=" + File("no/such/folder/m.svg")}, 3, "--map: cannot write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), FERRIK_CLI);
        const Exited run = RunProgram(args, {{"FERRIK_SIM_CHIPS", ""}}, 30, dir.Path());
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_NE(run.output.find(c.line), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("no chip answers"), std::string::npos) << run.output;
    }
}

TEST_F(CliBadBlocks, ANameWithControlCharactersIsShownEscapedInEveryOutput) {
    MakeChip(Erased, {});
    // A title change and a bell for a terminal, a byte that is no UTF-8, and
    // the quote and angle bracket JSON and SVG must escape anyway.
    const std::string name = "a\x1b]0;pwned\x07";
    const std::string chipFile = "Name=" + name + "\xff\"<\nID=EC100150\nRow=127\nPage=256\nSpare=8\nBlock=8\n";
    WriteBytes(File("odd.chip"), Bytes(chipFile.begin(), chipFile.end()));
    // Detect finds the same file by the chip's ID; the window's field takes
    // only ASCII, so its name stops short of the byte 0xFF.
    const std::string shortFile = "Name=" + name + "\nID=EC100150\nRow=127\nPage=256\nSpare=8\nBlock=8\n";
    std::filesystem::create_directories(File("ICs/Samsung"));
    WriteBytes(File("ICs/Samsung/EC100150"), Bytes(shortFile.begin(), shortFile.end()));

    wxInitializer wx;
    struct Case {
        std::vector<std::string> args;
        const char* shown;
    };
    const Case cases[] = {
        {{"detect"}, "Name nand = a\\x1b]0;pwned\\x07\n"},
        {{"detect", "--json"}, "\"name\":\"a\\u001B]0;pwned\\u0007\""},
        {{"scan", "--chip", File("odd.chip"), "--json", "--map", File("map.svg")},
         "\"chip\":\"a\\u001B]0;pwned\\u0007\\u00FF\\\"<\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1 % c.args.size()]);
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), FERRIK_CLI);
        const Exited run = RunOnSimChips(args, "SIM-TINY", Image(), nullptr, 60, dir.Path());
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(c.shown), std::string::npos) << run.output;
        for (const char c : run.output)
            ASSERT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << "a raw control character";
    }
    const Bytes svg = ReadBytes(File("map.svg"));
    const std::string text(svg.begin(), svg.end());
    EXPECT_NE(text.find("a\\x1b]0;pwned\\x07\\xff&quot;&lt;"), std::string::npos) << text;
    wxStringInputStream in(wxString::FromUTF8(text.data(), text.size()));
    wxXmlDocument doc;
    EXPECT_TRUE(doc.Load(in)) << "not well-formed XML";
}
#endif
