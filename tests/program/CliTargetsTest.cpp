// Chips of several targets and LUNs through the real ferrik-cli: one file for
// two targets, in CE order, written and read back joined and per chip
// enable; LUN | block | page rows that never touch a LUN's gap; the line that
// keeps a run on CE0 alone from dumping half a part in silence. The
// simulator's protocol record (FERRIK_SIM_PROTOCOL) holds every bus cycle
// against the chips' rules, one chip selected at a time among them.
#ifdef FERRIK_CLI
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "jobs/Targets.h"
#include "support/DumpFiles.h"
#include "support/Process.h"

using namespace ferrik_test;

namespace {

constexpr int kPageBytes = 264;  // SIM-TINY and SIM-TINY-2LUN: 256 + 8
constexpr int kSpareByte = 256;

class CliTargets : public ::testing::Test {
protected:
    // ferrik-cli with the chips given, their images in the scratch folder,
    // its protocol record in protocol.txt.
    Exited Cli(std::vector<std::string> args, const char* chips, const char* images, const char* faults = "") {
        args.insert(args.begin(), FERRIK_CLI);
        args.push_back("--quiet");
        const std::string protocol = dir.File("protocol.txt");
        return RunProgram(args,
                          {{"FERRIK_SIM_CHIPS", chips},
                           {"FERRIK_SIM_IMAGE", images},
                           {"FERRIK_SIM_FAULTS", faults},
                           {"FERRIK_SIM_PROTOCOL", protocol.c_str()},
                           {"NO_COLOR", "1"}},
                          60, dir.Path());
    }
    std::string Protocol() const { return ReadFile(dir.File("protocol.txt")); }
    Bytes File(const char* name) const { return ReadBytes(dir.File(name)); }
    // pages records of the pattern, from record `first` of the pattern on.
    static Bytes Pattern(int first, int pages) {
        Bytes out;
        for (int row = first; row < first + pages; ++row) {
            Bytes page = PatternPage(row, kPageBytes);
            page[kSpareByte] = 0xFF;  // no record looks like a factory mark
            out.insert(out.end(), page.begin(), page.end());
        }
        return out;
    }

    TempDir dir;
};

const std::vector<std::string> kTinyGeometry = {"--page=256", "--spare=8", "--row-max=127", "--pages-per-block=8"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace

TEST(TargetsRule, CountsTheChipEnablesThatAnswerAsCe0AndNoneWhereNoChipAnswers) {
    const struct {
        uint8_t ids[4][5];
        std::vector<int> targets;
    } cases[] = {
        // Two dies of one part, an empty CE2 and another chip on CE3.
        {{{0xEC, 0xD3, 0x51, 0x95, 0x58}, {0xEC, 0xD3, 0x51, 0x95, 0x58}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
          {0x2C, 0xDC, 0x90, 0x95, 0x54}},
         {0, 1}},
        // No chip: lines nothing drives read high, lines held low read 0x00
        // (a Pi with an empty socket), a stuck bus one value; every chip
        // enable reads the same, and none is a target.
        {{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
          {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
         {}},
        {{{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}, {}},
        {{{0x14, 0x14, 0x14, 0x14, 0x14}, {0x14, 0x14, 0x14, 0x14, 0x14}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(TargetsByRule(c.ids), c.targets) << ChipEnableList(c.targets);
}

TEST_F(CliTargets, AFileOfTwoTargetsGoesOntoEachDieAndReadsBackJoinedAndPerChipEnable) {
    const Bytes joined = Pattern(0, 256);
    WriteBytes(dir.File("joined.bin"), joined);
    const char* chips = "SIM-TINY,SIM-TINY";
    const char* images = "ce0.img,ce1.img";

    const Exited program = Cli(With({"program", "joined.bin", "--ce", "all"}, kTinyGeometry), chips, images);
    ASSERT_EQ(program.status, 0) << program.output;
    EXPECT_EQ(Protocol(), "") << "two chips selected at once, or another breach of the bus rules";
    // Each die holds its own half: CE0 the file's first 128 records.
    const Bytes first(joined.begin(), joined.begin() + 128 * kPageBytes);
    const Bytes second(joined.begin() + 128 * kPageBytes, joined.end());
    EXPECT_TRUE(File("ce0.img") == first);
    EXPECT_TRUE(File("ce1.img") == second);

    const struct {
        const char* ce;
        const char* dump;
        const Bytes& expected;
    } reads[] = {{"all", "all.dump", joined}, {"0,1", "list.dump", joined}, {"0", "ce0.dump", first},
                 {"1", "ce1.dump", second}};
    for (const auto& read : reads) {
        SCOPED_TRACE(std::string("--ce ") + read.ce);
        const Exited run = Cli(With({"read", read.dump, "--ce", read.ce}, kTinyGeometry), chips, images);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_TRUE(File(read.dump) == read.expected);
        EXPECT_EQ(Protocol(), "");
        EXPECT_EQ(run.output.find("targets found"), std::string::npos) << run.output;
    }
}

TEST_F(CliTargets, EveryRunOnTwoTargetsTellsWhatItCoversAndNamesEachBlocksChipEnable) {
    const char* chips = "SIM-TINY,SIM-TINY";
    const char* faults = "ce1:marked:6";
    const std::string half = "2 targets found (CE0, CE1): this run covers CE0 only; --ce all takes both\n";
    const struct {
        std::vector<std::string> args;
        std::string told;     // in the output
        std::string notTold;  // not in it
    } runs[] = {
        {{"read", "a.bin"}, half, "Pad bad block"},
        {{"scan"}, half, "Bad block ["},
        {{"erase"}, half, "Bad block"},
        {{"read", "b.bin", "--ce", "all", "--bad", "pad"}, "Pad bad block [22] (CE1, block 6)\n", "targets found"},
        {{"scan", "--ce", "all"}, "Bad block [22] (CE1, block 6): pages 176 to 183, dump offset 0xB580\n",
         "targets found"},
        {{"read", "c.bin", "--ce", "0,2"}, "--ce 0,2: CE2 is not a target of the CE0 chip", "Save in File"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.args[0] + " " + (run.args.size() > 2 ? run.args[2] + " " + run.args.back() : ""));
        const Exited exited = Cli(With(run.args, kTinyGeometry), chips, ",", faults);
        EXPECT_NE(exited.output.find(run.told), std::string::npos) << exited.output;
        EXPECT_EQ(exited.output.find(run.notTold), std::string::npos) << exited.output;
        EXPECT_EQ(Protocol(), "");
    }
    // The warning is among the first lines, before the job's own.
    const Exited read = Cli(With({"read", "d.bin"}, kTinyGeometry), chips, ",", faults);
    EXPECT_LT(read.output.find(half), read.output.find("Save in File")) << read.output;

    // The map draws each target's blocks under its chip enable.
    ASSERT_EQ(Cli(With({"scan", "--ce", "all", "--map", "m.svg"}, kTinyGeometry), chips, ",", faults).status, 0);
    const std::string svg = ReadFile(dir.File("m.svg"));
    EXPECT_LT(svg.find(">CE0: blocks 0 to 15<"), svg.find(">CE1: blocks 16 to 31<")) << svg;
    EXPECT_NE(svg.find("<title>Block 22 (CE1, block 6), pages 176 to 183: factory-marked bad</title>"),
              std::string::npos)
        << svg;
}

TEST_F(CliTargets, ARunOverLunsVisitsEveryBlockOnceAndNoRowInTheGap) {
    // SIM-TINY-2LUN: two LUNs of 12 blocks of 8 pages, rows LUN | block (4
    // bits) | page (3 bits); its image counts LUN 0's 96 pages, then LUN 1's.
    const Bytes image = Pattern(0, 192);
    const struct {
        const char* name;
        std::vector<std::string> args;
        int chipFileRowMax;  // 0: no chip file
        bool touchesGap;
        const char* told;
    } runs[] = {
        {"LUNs from the parameter page", {}, 0, false, "row max 191, 2 LUNs of 12 blocks\n"},
        {"LUNs given", {"--page=256", "--spare=8", "--pages-per-block=8", "--luns=2", "--blocks-per-lun=12"}, 0,
         false, "Read Dump OK"},
        {"a chip file of the same rows", {}, 191, false, "Read Dump OK"},
        // One linear range: the protocol record catches its rows in the gaps.
        {"a chip file of other rows", {}, 255, true,
         "Disagreement: row max 255, 8 pages per block in the chip file, 191, 8 in the parameter page (2 LUNs of "
         "12 blocks): the chip file's rows are walked as one range\n"},
        // The values given, the chip is still asked: its page's LUNs hold.
        {"values given", {"--page=256", "--spare=8", "--pages-per-block=8", "--row-max=191"}, 0, false,
         "Read Dump OK"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        std::filesystem::remove_all(dir.File("ICs"));
        if (run.chipFileRowMax != 0) {
            std::filesystem::create_directories(dir.File("ICs/Micron"));
            std::ofstream(dir.File("ICs/Micron/2C200150"))
                << "Name=SIM-TINY-2LUN\nID=2C200150\nRow=" << run.chipFileRowMax << "\nPage=256\nSpare=8\nBlock=8";
        }
        WriteBytes(dir.File("lun.img"), image);
        const Exited read = Cli(With({"read", "lun.dump"}, run.args), "SIM-TINY-2LUN", "lun.img");
        ASSERT_EQ(read.status, 0) << read.output;
        EXPECT_NE(read.output.find(run.told), std::string::npos) << read.output;
        EXPECT_EQ(Protocol().find("which addresses no page") != std::string::npos, run.touchesGap) << Protocol();
        if (!run.touchesGap) {
            EXPECT_TRUE(File("lun.dump") == image);
        }
    }
    std::filesystem::remove_all(dir.File("ICs"));
    // Both dies' LUNs in one file, and a scan that names each block's place.
    WriteBytes(dir.File("a.img"), image);
    WriteBytes(dir.File("b.img"), Pattern(192, 192));
    const Exited both = Cli({"read", "both.dump", "--ce", "all"}, "SIM-TINY-2LUN,SIM-TINY-2LUN", "a.img,b.img",
                            "ce1:marked:13");
    ASSERT_EQ(both.status, 0) << both.output;
    EXPECT_TRUE(File("both.dump") == Pattern(0, 384));
    EXPECT_EQ(Protocol(), "");
    const Exited scan = Cli({"scan", "--ce", "all"}, "SIM-TINY-2LUN,SIM-TINY-2LUN", ",", "ce1:marked:13");
    EXPECT_NE(scan.output.find("Bad block [37] (CE1, LUN 1, block 1): pages 296 to 303"), std::string::npos)
        << scan.output;
}

#endif  // FERRIK_CLI
