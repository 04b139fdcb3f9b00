// ferrik-cli itself, run as a script runs it: no display, the simulated
// chips chosen by the FERRIK_SIM_* settings, its exit status, its standard
// output and standard error, and the chip and the bus it leaves behind.
#ifdef FERRIK_CLI
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/DumpFiles.h"
#include "support/ExitReport.h"
#include "support/Process.h"

using namespace ferrik_test;

namespace {

// SIM-TINY: 256 + 8 bytes a page, 8 pages a block, 16 blocks.
constexpr int kTinyPageBytes = 264;
constexpr int kTinyPages = 128;

using Env = std::vector<std::pair<std::string, const char*>>;

// No display, whatever the test runs under: ferrik-cli must not need one.
Env Headless(Env env) {
    env.emplace_back("DISPLAY", nullptr);
    env.emplace_back("WAYLAND_DISPLAY", nullptr);
    env.emplace_back("NO_COLOR", nullptr);
    return env;
}

std::vector<std::string> Cli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {FERRIK_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// One run of the table: a fresh folder holding a SIM-TINY image of pattern
// pages (chip.img), dumps of it (same.bin, one byte off in other.bin, the
// first ten records in short.bin) and a chip file of its geometry.
struct Case {
    const char* what;
    std::vector<std::string> args;  // "$D" stands for the folder
    Env env;                        // on top of SIM-TINY with chip.img
    int status;
    std::string out;                // what standard output holds ("" : nothing)
    std::string err;                // what standard error holds ("" : nothing)
    bool mapsGpio;                  // whether the GPIO block may be touched
    std::function<void(const std::string& dir)> check = nullptr;
    const char* absent = nullptr;   // what standard output must not hold
};

// The lines a read with passes writes about pages whose reads differed.
std::string UnstablePages(const std::string& log) {
    std::istringstream in(log);
    std::string line;
    std::string lines;
    while (std::getline(in, line))
        if (line.rfind("Unstable page [", 0) == 0) lines += line + "\n";
    return lines;
}

std::string InDir(std::string text, const std::string& dir) {
    for (size_t at = text.find("$D"); at != std::string::npos; at = text.find("$D", at + dir.size()))
        text.replace(at, 2, dir);
    return text;
}

}  // namespace

TEST(CommandLine, EndsWithTheStatusOfTheTableAndSaysWhyWhereItBelongs) {
    const std::vector<std::string> g = {"--page", "256", "--spare", "8", "--row-max", "127", "--pages-per-block", "8"};
    auto with = [](std::vector<std::string> args, const std::vector<std::string>& more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const Bytes image = PatternImage(kTinyPages, kTinyPageBytes, 256);  // no factory mark at byte 256
    auto imageKept = [&](const std::string& dir) { EXPECT_TRUE(ReadBytes(dir + "/chip.img") == image); };
    const Env empty = {{"FERRIK_SIM_CHIPS", ""}, {"FERRIK_SIM_IMAGE", nullptr}};
    const std::vector<Case> cases = {
        // Help, the version and usage errors: the GPIO block is never touched.
        {"help", {"--help"}, {}, 0, "Exit status:\n  0    all done", "", false},
        {"a command's help", {"read", "--help"}, {}, 0, "Usage: ferrik-cli read FILE [OPTION...]", "", false},
        {"help of a command", {"help", "program"}, {}, 0, "Usage: ferrik-cli program FILE", "", false},
        {"version", {"--version"}, {}, 0, "ferrik-cli ", "", false},
        {"no command", {}, {}, 2, "", "ferrik-cli: no command given\n", false},
        {"unknown command", {"fetch"}, {}, 2, "", "unknown command \"fetch\"", false},
        {"no file", {"read"}, {}, 2, "", "read needs FILE", false},
        {"trailing junk", {"read", "x.bin", "--page", "2048x"}, {}, 2, "", "--page: \"2048x\" is not a whole number",
         false},
        {"a negative number", {"erase", "--row-max", "-1"}, {}, 2, "", "--row-max: \"-1\" is not a whole number",
         false},
        {"a number past 64 bits", {"erase", "--row-max=99999999999999999999"}, {}, 2, "", "is more than 2147483647",
         false},
        {"too many passes", {"read", "x.bin", "--passes", "9"}, {}, 2, "", "--passes: 9 is more than 8", false},
        {"an option of another command", {"detect", "--passes", "2"}, {}, 2, "", "--passes is not an option of detect",
         false},
        {"an option twice", with({"blank"}, with(g, {"--page", "512"})), {}, 2, "", "--page is given twice", false},
        // Values the chip jobs refuse, in the window's words.
        {"page too large", {"read", "x.bin", "--page", "65535", "--spare", "8", "--row-max", "127"}, {}, 2,
         "Error, Page size > 0xFFFF\n", "", true},
        {"no block size to erase by", with({"erase"}, {"--page", "256", "--spare", "8", "--row-max", "127",
                                                         "--pages-per-block", "0"}), {}, 2,
         "Error, Pages per block <= 0\n", "", true, imageKept},
        {"no chip file, no values", {"read", "x.bin"}, {}, 2, "",
         "missing --page, --spare, --row-max: no chip file", true},
        {"a range past the chip", with({"blank", "--first-block", "16"}, g), {}, 2,
         "Error, the range lies beyond the chip\n", "", true},
        {"a range running off the chip", with({"erase", "--first-block", "15", "--blocks", "2"}, g), {}, 2,
         "Error, the range lies beyond the chip\n", "", true, imageKept},
        // Done and clean.
        {"read", with({"read", "$D/x.bin"}, g), {}, 0, "\nSave in File = $D/x.bin\nStart Read Pages\n", "", true,
         [&](const std::string& dir) { EXPECT_TRUE(ReadBytes(dir + "/x.bin") == image); }},
        {"read of two blocks", with({"read", "$D/x.bin", "--first-block", "3", "--blocks", "2"}, g), {}, 0,
         "Read Dump OK \n", "", true,
         [&](const std::string& dir) {
             EXPECT_TRUE(ReadBytes(dir + "/x.bin") ==
                         Bytes(image.begin() + 24 * kTinyPageBytes, image.begin() + 40 * kTinyPageBytes));
         }},
        {"read by a chip file", {"read", "$D/x.bin", "--chip", "$D/tiny"}, {}, 0, "Read Dump OK \n", "", true},
        {"verify", with({"verify", "$D/same.bin"}, g), {}, 0, "Start verify\nEnd time = ", "", true},
        {"detect with a chip file", {"detect"}, {{"FERRIK_SIM_CHIPS", "K9F1G08U0B"}, {"FERRIK_SIM_IMAGE", nullptr}}, 0,
         "Found parametrs:\nName nand = K9F1G08U0B\n", "", true},
        // The chip did not do all that was asked, or the check found differences.
        {"verify against another dump", with({"verify", "$D/other.bin"}, g), {}, 1,
         "Error, verify in page [70], address = 0x4836, nand[", "", true},
        {"blank check of a written chip", with({"blank"}, g), {}, 1, "Error, check blank in page [0]\n", "", true},
        {"erase of a failing block", with({"erase"}, g), {{"FERRIK_SIM_FAULTS", "erase-fail:5"}}, 1,
         "Error Erace bad Block [5]\n", "", true},
        {"program with a failing page", with({"program", "$D/same.bin"}, g), {{"FERRIK_SIM_FAULTS", "program-fail:20"}},
         1, "Error, 1 pages failed to program\n", "", true, nullptr, "Start verify"},
        // A file could not be opened, read or written whole.
        {"dump into a missing folder", with({"read", "$D/none/x.bin"}, g), {}, 3, "Error create file \n",
         "ferrik-cli: cannot write $D/none/x.bin: there is no folder $D/none\n", true},
        {"verify a missing file", with({"verify", "$D/none.bin"}, g), {}, 3, "Error open file\n", "", true},
        {"program from a short file", with({"program", "$D/short.bin"}, g), {}, 3,
         "Error, the file holds only 10 whole records of the 128 to program, nothing erased\n", "", true, imageKept},
        {"a chip file that is none", {"read", "$D/x.bin", "--chip", "$D/same.bin"}, {}, 3, "",
         "--chip: $D/same.bin is not a chip file", false},
        // No chip answers, or R/B# time-outs stopped the job.
        {"read of an empty socket", with({"read", "$D/x.bin"}, g), empty, 4,
         "Error, no chip answers on CE0: its ID reads all 0xFF\n", "", true},
        {"geometry from an empty socket", {"read", "$D/x.bin"}, empty, 4,
         "Error, no chip answers on CE0: its ID reads all 0xFF\n", "", true},
        {"detect of an empty socket", {"detect"}, empty, 4, "CE0 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\n", "", true},
        {"R/B# stuck low", with({"verify", "$D/same.bin"}, g), {{"FERRIK_SIM_FAULTS", "busy-stuck-low"}}, 4,
         "R/B, break low, ERR_RB_L\n", "", true},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string d = dir.Path();
        WriteBytes(dir.File("chip.img"), image);
        WriteBytes(dir.File("same.bin"), image);
        Bytes other = image;
        other[70 * kTinyPageBytes + 6] ^= 0x01;
        WriteBytes(dir.File("other.bin"), other);
        WriteBytes(dir.File("short.bin"), Bytes(image.begin(), image.begin() + 10 * kTinyPageBytes));
        {
            const std::string chip = "Name=SIM-TINY\nID=EC100150\nRow=127\nPage=256\nSpare=8\nBlock=8";
            WriteBytes(dir.File("tiny"), Bytes(chip.begin(), chip.end()));
        }
        const std::string image_ = dir.File("chip.img");
        const std::string report = dir.File("pins");
        Env env = {{"FERRIK_SIM_CHIPS", "SIM-TINY"},
                   {"FERRIK_SIM_IMAGE", image_.c_str()},
                   {"FERRIK_SIM_FAULTS", nullptr},
                   {"FERRIK_SIM_REPORT", report.c_str()}};
        env.insert(env.end(), c.env.begin(), c.env.end());
        std::vector<std::string> args;
        for (const std::string& a : c.args) args.push_back(InDir(a, d));
        // The source folder holds ICs/, where chip files are looked up.
        const Exited exited = RunProgram(Cli(args), Headless(env), 60, FERRIK_SOURCE_DIR, {}, Streams::Apart);

        ASSERT_TRUE(exited.finished);
        EXPECT_EQ(exited.status, c.status) << exited.output << exited.errors;
        const std::string out = InDir(c.out, d);
        const std::string err = InDir(c.err, d);
        if (out.empty()) {
            EXPECT_EQ(exited.output, "");
        } else {
            EXPECT_NE(exited.output.find(out), std::string::npos) << exited.output;
        }
        if (err.empty()) {
            EXPECT_EQ(exited.errors, "");
        } else {
            EXPECT_NE(exited.errors.find(err), std::string::npos) << exited.errors;
            // One line says what is wrong, another where the help is.
            EXPECT_LE(std::count(exited.errors.begin(), exited.errors.end(), '\n'), 2) << exited.errors;
        }
        if (c.mapsGpio) {
            ExpectParked(ReadFile(report));
        } else {
            EXPECT_FALSE(FileExists(report)) << "the GPIO block was mapped";
        }
        if (c.absent != nullptr) {
            EXPECT_EQ(exited.output.find(c.absent), std::string::npos) << exited.output;
        }
        if (c.check) c.check(d);
    }
}

TEST(CommandLine, InterruptedDuringAWriteFinishesThePageInHandAndParksTheBus) {
    // The default chip, 2048 + 64 bytes a page; 256 blocks of pattern pages
    // keep the write busy long enough to be interrupted in its loop.
    constexpr int kPageBytes = 2112;
    constexpr int kPages = 256 * 64;
    TempDir dir;
    const std::string data = dir.File("data.bin");
    const std::string image = dir.File("chip.img");
    const std::string report = dir.File("pins");
    Bytes records;
    records.reserve(static_cast<size_t>(kPages) * kPageBytes);
    for (int k = 0; k < kPages; ++k) {
        const Bytes page = PatternPage(k, kPageBytes);
        records.insert(records.end(), page.begin(), page.end());
    }
    WriteBytes(data, records);

    Child cli(Cli({"write", data, "--page", "2048", "--spare", "64", "--row-max", "65535", "--pages-per-block", "64",
                   "--blocks", "256"}),
              Headless({{"FERRIK_SIM_CHIPS", nullptr},
                        {"FERRIK_SIM_FAULTS", nullptr},
                        {"FERRIK_SIM_IMAGE", image.c_str()},
                        {"FERRIK_SIM_REPORT", report.c_str()}}),
              dir.Path(), {}, Streams::Apart);
    ASSERT_TRUE(cli.WaitForOutput("\nStart Write Page \n", 120));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(cli.Pid(), SIGINT);
    const Exited exited = cli.Wait(120);

    ASSERT_TRUE(exited.finished);
    EXPECT_EQ(exited.status, 130) << exited.output << exited.errors;
    EXPECT_EQ(exited.errors, "");
    const std::string key = "Interrupted: stopped before page ";
    const size_t at = exited.output.rfind(key);
    ASSERT_NE(at, std::string::npos) << exited.output;
    const std::string tail = exited.output.substr(at + key.size());
    const int stoppedAt = std::atoi(tail.c_str());
    EXPECT_EQ(tail, std::to_string(stoppedAt) + "\n") << "the line is not the last";
    ASSERT_GT(stoppedAt, 0);
    ASSERT_LT(stoppedAt, kPages) << "the write ran to its end before the interrupt";
    ExpectParked(ReadFile(report));

    // The image the program wrote back at its exit: every page before the
    // one named programmed whole, none after it touched.
    const Bytes chip = ReadBytes(image);
    ASSERT_EQ(chip.size(), static_cast<size_t>(65536) * kPageBytes);
    const size_t done = static_cast<size_t>(stoppedAt) * kPageBytes;
    EXPECT_TRUE(std::equal(records.begin(), records.begin() + static_cast<long>(done), chip.begin()));
    EXPECT_TRUE(std::all_of(chip.begin() + static_cast<long>(done), chip.begin() + static_cast<long>(records.size()),
                            [](uint8_t b) { return b == 0xFF; }));
}

TEST(CommandLine, ReadWithPassesOutvotesTheWeakCellsOfFlakyPages) {
    const std::vector<std::string> g = {"--page", "256", "--spare", "8", "--row-max", "127"};
    TempDir dir;
    const Bytes image = PatternImage(kTinyPages, kTinyPageBytes, 256);  // no factory mark at byte 256
    const std::string chip = dir.File("chip.img");
    WriteBytes(chip, image);
    std::string flaky = "flaky:0";
    for (int page = 1; page < kTinyPages; ++page) flaky += "," + std::to_string(page);
    const Env env = Headless({{"FERRIK_SIM_CHIPS", "SIM-TINY"},
                              {"FERRIK_SIM_IMAGE", chip.c_str()},
                              {"FERRIK_SIM_FAULTS", flaky.c_str()},
                              {"FERRIK_SIM_REPORT", nullptr}});
    auto read = [&](const std::string& name, const std::vector<std::string>& more) {
        std::vector<std::string> args = {"read", dir.File(name)};
        args.insert(args.end(), g.begin(), g.end());
        args.insert(args.end(), more.begin(), more.end());
        return RunProgram(Cli(args), env, 60, dir.Path(), {}, Streams::Apart);
    };

    const Exited once = read("once.bin", {});
    EXPECT_EQ(once.status, 0) << once.output << once.errors;
    EXPECT_FALSE(ReadBytes(dir.File("once.bin")) == image) << "no weak cell flipped in a single read of each page";

    const Exited thrice = read("thrice.bin", {"--passes", "3"});
    EXPECT_EQ(thrice.status, 0) << thrice.output << thrice.errors;
    EXPECT_TRUE(ReadBytes(dir.File("thrice.bin")) == image);
    EXPECT_NE(thrice.output.find("Unstable page ["), std::string::npos) << thrice.output;
    EXPECT_NE(thrice.output.find(" pages read differently between reads, each byte kept as most reads gave it\n"),
              std::string::npos)
        << thrice.output;
    EXPECT_NE(thrice.output.find("Read Dump OK \n"), std::string::npos) << thrice.output;

    // The same seed, the same reads: a second run says the same.
    const Exited again = read("again.bin", {"--passes", "3"});
    EXPECT_EQ(UnstablePages(again.output), UnstablePages(thrice.output)) << "the weak cells flipped differently";
}

#endif
