// The faults a hostile audit of ferrik-cli found, one row each (the
// command-line table of docs/reliability.md): a copy that would be called
// good while it is not, an old file lost or cut, output lost with status 0.
// Each row runs the real ferrik-cli on the simulated chip with real files in
// a folder of its own; every row also checks that the bus was parked when it
// was started (and never started where the row says so) and that no hidden
// temporary file is left anywhere in the folder.
#ifdef FERRIK_CLI
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/DumpFiles.h"
#include "support/ExitReport.h"
#include "support/Process.h"

using namespace ferrik_test;
namespace fs = std::filesystem;

namespace {

using Env = std::vector<std::pair<std::string, const char*>>;
using Args = std::vector<std::string>;

// SIM-TINY as a chip file and as options; the default chip as options.
const char TINY_CHIP_FILE[] = "Name=SIM-TINY\r\nID=EC100150\r\nRow=127\r\nPage=256\r\nSpare=8\r\nBlock=8";
const Args TINY = {"--page", "256", "--spare", "8", "--row-max", "127", "--pages-per-block", "8"};
const Args BIG = {"--page", "2048", "--spare", "64", "--row-max", "65535", "--pages-per-block", "64"};
constexpr size_t kBigRecord = 2112;
constexpr size_t kBigPages = 65536;
// The default chip, erased, in memory: a whole read of it lasts seconds.
const Env DEFAULT_CHIP = {{"FERRIK_SIM_CHIPS", nullptr}, {"FERRIK_SIM_IMAGE", nullptr}};

const Bytes OLD_DUMP = {'o', 'l', 'd', ' ', 'd', 'u', 'm', 'p'};

Args With(Args args, const Args& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::string InDir(std::string text, const std::string& dir) {
    for (size_t at = text.find("$D"); at != std::string::npos; at = text.find("$D", at + dir.size()))
        text.replace(at, 2, dir);
    return text;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

bool IsLink(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Hidden files anywhere under dir: what a temporary dump or map left.
std::vector<std::string> HiddenFiles(const std::string& dir) {
    std::vector<std::string> hidden;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().filename().string()[0] == '.') hidden.push_back(entry.path().string());
    return hidden;
}

struct Row {
    const char* fault;                                 // as the table in docs/reliability.md has it
    std::function<void(const std::string& dir)> setup;  // files the row needs, in dir
    Args args;                                         // "$D" stands for the folder
    Env env;                                           // on top of SIM-TINY with $D/chip.img
    int status;
    std::string out;                                   // standard output holds this ("": anything)
    std::string err;                                   // standard error holds this ("": nothing)
    bool mapsGpio;                                     // the bus is started, and parked at the end;
                                                       // false: no exit report at all
    std::function<void(const std::string& dir, const Exited& exited)> check = nullptr;
    ChildLimits limits = {};
    int signal = 0;          // sent a moment after the read has started
    bool fullOutput = false; // standard output is /dev/full
};

Exited RunRow(const Row& row, const std::string& dir) {
    const std::string image = dir + "/chip.img";
    const std::string report = dir + "/pins";
    Env env = {{"FERRIK_SIM_CHIPS", "SIM-TINY"},
               {"FERRIK_SIM_IMAGE", image.c_str()},
               {"FERRIK_SIM_FAULTS", nullptr},
               {"FERRIK_SIM_REPORT", report.c_str()},
               {"DISPLAY", nullptr},
               {"WAYLAND_DISPLAY", nullptr}};
    env.insert(env.end(), row.env.begin(), row.env.end());
    Args argv = {FERRIK_CLI};
    for (const std::string& a : row.args) argv.push_back(InDir(a, dir));
    if (row.fullOutput) argv.insert(argv.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" >/dev/full"});
    Child cli(argv, env, dir, row.limits, Streams::Apart);
    if (row.signal != 0) {
        EXPECT_TRUE(cli.WaitForOutput("\nStart Read Pages\n", 60));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(cli.Pid(), row.signal);
    }
    return cli.Wait(120);
}

// An interrupted read: the old dump as it was, the pages read kept beside it.
std::function<void(const std::string&, const Exited&)> KeptPartial() {
    return [](const std::string& dir, const Exited& exited) {
        EXPECT_TRUE(ReadBytes(dir + "/old.bin") == OLD_DUMP);
        const Bytes partial = ReadBytes(dir + "/old.bin.partial");
        EXPECT_EQ(partial.size() % kBigRecord, 0u);
        EXPECT_GT(partial.size(), 0u);
        EXPECT_LT(partial.size(), kBigPages * kBigRecord) << "the read ran to its end before the signal";
        EXPECT_NE(exited.output.find("Interrupted: stopped before page " + std::to_string(partial.size() / kBigRecord)),
                  std::string::npos)
            << exited.output;
    };
}

}  // namespace

TEST(CliFaultMatrix, EveryFaultOfTheAuditIsMendedAndKeepsTheFilesAndTheBusSafe) {
    auto oldDump = [](const std::string& dir) { WriteBytes(dir + "/old.bin", OLD_DUMP); };
    auto oldDumpKept = [](const std::string& dir, const Exited&) {
        EXPECT_TRUE(ReadBytes(dir + "/old.bin") == OLD_DUMP);
    };
    // A folder that takes no new file, holding an old dump and an old map
    // that may be rewritten.
    auto lockedFolder = [](const std::string& dir) {
        fs::create_directory(dir + "/ro");
        WriteBytes(dir + "/ro/old.bin", OLD_DUMP);
        WriteBytes(dir + "/ro/old.svg", OLD_DUMP);
        chmod((dir + "/ro").c_str(), 0555);
    };
    ChildLimits modesEnforced;
    modesEnforced.fileModesEnforced = true;
    // The chip file that detect finds for SIM-TINY, written with CR LF (the
    // reader takes them; a rewrite would not keep them).
    auto chipFile = [](const std::string& dir) {
        fs::create_directories(dir + "/ICs/Samsung");
        WriteBytes(dir + "/ICs/Samsung/EC100150", Text(TINY_CHIP_FILE));
    };
    ChildLimits sixteenBytes;
    sixteenBytes.fileSizeLimit = 16;
    ChildLimits oneMegabyte;
    oneMegabyte.fileSizeLimit = 1 << 20;
    oneMegabyte.sizeSignal = true;
    auto dangling = [](const std::string& dir) { symlink((dir + "/nowhere").c_str(), (dir + "/dangling").c_str()); };
    auto danglingKept = [](const std::string& dir, const Exited&) {
        EXPECT_TRUE(IsLink(dir + "/dangling"));
        EXPECT_FALSE(FileExists(dir + "/nowhere"));
    };
    const std::string interrupted = "kept in $D/old.bin.partial, the file asked for left as it was\n";
    const Bytes erased(128 * 264, 0xFF);
    auto imageKept = [erased](const std::string& dir, const Exited&) {
        EXPECT_TRUE(ReadBytes(dir + "/chip.img") == erased) << "the chip was changed";
    };
    auto files = [erased](const std::string& dir) {
        WriteBytes(dir + "/twice.bin", Bytes(2 * erased.size(), 0x00));
        WriteBytes(dir + "/erased-twice.bin", Bytes(2 * erased.size(), 0xFF));
        WriteBytes(dir + "/erased.bin", erased);
        WriteBytes(dir + "/empty.bin", {});
    };
    const std::string seeCheck = "Nothing was done: ferrik-cli check looks at each line of the wiring\n";
    auto nothingRead = [](const std::string& dir, const Exited&) { EXPECT_FALSE(FileExists(dir + "/r.bin")); };
    // With the chip file detect finds: a chip with blocks 1 and 6 marked (an
    // image would load over the marks).
    const Env marked = {{"FERRIK_SIM_FAULTS", "marked:1,6"}, {"FERRIK_SIM_IMAGE", nullptr}};
    auto noErase = [](const std::string&, const Exited& exited) {
        EXPECT_EQ(exited.output.find("Start Erace NAND"), std::string::npos) << exited.output;
    };
    const std::string outputLost = "ferrik-cli: standard output could not be written";

    const std::vector<Row> rows = {
        // 1 and 12: a signal ends the read; the old dump stays, the bus is parked.
        {"1. read interrupted by SIGINT over a whole old dump", oldDump, With({"read", "$D/old.bin"}, BIG),
         DEFAULT_CHIP, 130, interrupted, "", true, KeptPartial(), {}, SIGINT},
        {"12. read ended by SIGQUIT", oldDump, With({"read", "$D/old.bin"}, BIG), DEFAULT_CHIP, 130, interrupted, "",
         true, KeptPartial(), {}, SIGQUIT},
        {"12. read ended by SIGUSR1", oldDump, With({"read", "$D/old.bin"}, BIG), DEFAULT_CHIP, 130, interrupted, "",
         true, KeptPartial(), {}, SIGUSR1},
        {"12. read ended by SIGALRM", oldDump, With({"read", "$D/old.bin"}, BIG), DEFAULT_CHIP, 130, interrupted, "",
         true, KeptPartial(), {}, SIGALRM},
        {"12. read past the file size limit (SIGXFSZ at its default)", oldDump, With({"read", "$D/old.bin"}, BIG),
         DEFAULT_CHIP, 3, "Error write file, the dump is incomplete: File too large\n", "", true,
         [](const std::string& dir, const Exited&) {
             EXPECT_TRUE(ReadBytes(dir + "/old.bin") == OLD_DUMP);
             EXPECT_FALSE(FileExists(dir + "/old.bin.partial"));
         },
         oneMegabyte},
        // 2: the map never replaces the command's file or the chip image.
        {"2. verify --map naming the dump through a link",
         [](const std::string& dir) {
             WriteBytes(dir + "/d.bin", Bytes(128 * 264, 0xFF));
             symlink("d.bin", (dir + "/d.svg").c_str());
         },
         With({"verify", "$D/d.bin", "--map", "$D/d.svg"}, TINY), {}, 2, "",
         "ferrik-cli: --map: $D/d.svg is the file verify works from; the map would replace it\n", false,
         [](const std::string& dir, const Exited&) { EXPECT_TRUE(ReadBytes(dir + "/d.bin") == Bytes(128 * 264, 0xFF)); }},
        {"2. program --map naming the dump", oldDump, With({"program", "$D/old.bin", "--map", "$D/old.bin"}, TINY), {},
         2, "", "is the file program works from", false, oldDumpKept},
        {"2. scan --map naming the chip image", nullptr, With({"scan", "--map", "$D/chip.img"}, TINY), {}, 2, "",
         "ferrik-cli: --map: $D/chip.img is the simulated chip's image (FERRIK_SIM_IMAGE)\n", false,
         [](const std::string& dir, const Exited&) { EXPECT_EQ(ReadBytes(dir + "/chip.img").size(), 128u * 264); }},
        // 3: a folder that takes no new file: refused, nothing cut.
        {"3. failed read in a folder that takes no new file", lockedFolder, With({"read", "$D/ro/old.bin"}, TINY),
         {{"FERRIK_SIM_FAULTS", "busy-stuck-low"}}, 3, "\nSave in File = $D/ro/old.bin\nError create file \n",
         "ferrik-cli: cannot write $D/ro/old.bin: its folder $D/ro takes no new file: Permission denied\n", true,
         [](const std::string& dir, const Exited&) { EXPECT_TRUE(ReadBytes(dir + "/ro/old.bin") == OLD_DUMP); },
         modesEnforced},
        {"3. --map into a folder that takes no new file", lockedFolder, With({"scan", "--map", "$D/ro/old.svg"}, TINY),
         {}, 3, "", "ferrik-cli: --map: cannot write $D/ro/old.svg: its folder $D/ro takes no new file", false,
         [](const std::string& dir, const Exited&) { EXPECT_TRUE(ReadBytes(dir + "/ro/old.svg") == OLD_DUMP); },
         modesEnforced},
        // 4: a chip file is replaced whole, and a link there is replaced.
        // No image and no exit report here: neither could be written under
        // the limit, and the row is about the chip file.
        {"4. detect --save --force whose write fails", chipFile, {"detect", "--save", "--force"},
         {{"FERRIK_SIM_IMAGE", nullptr}, {"FERRIK_SIM_REPORT", nullptr}}, 3, "Error create id file \n", "", false,
         [](const std::string& dir, const Exited&) {
             EXPECT_TRUE(ReadBytes(dir + "/ICs/Samsung/EC100150") == Text(TINY_CHIP_FILE));
         },
         sixteenBytes},
        {"4. detect --save --force over a link to a chip file outside ICs/",
         [](const std::string& dir) {
             fs::create_directories(dir + "/ICs/Samsung");
             WriteBytes(dir + "/outside", Text(TINY_CHIP_FILE));
             symlink((dir + "/outside").c_str(), (dir + "/ICs/Samsung/EC100150").c_str());
         },
         {"detect", "--save", "--force"}, {}, 0, "\nSave of File = ICs/Samsung/EC100150\n", "", true,
         [](const std::string& dir, const Exited&) {
             EXPECT_TRUE(ReadBytes(dir + "/outside") == Text(TINY_CHIP_FILE));
             EXPECT_FALSE(IsLink(dir + "/ICs/Samsung/EC100150"));
             EXPECT_EQ(ReadFile(dir + "/ICs/Samsung/EC100150"),
                       "Name=SIM-TINY\nID=EC100150\nRow=127\nPage=256\nSpare=8\nBlock=8");
         }},
        // 5: the replacement keeps the old file's owner, group and mode.
        {"5. read over a dump of nobody:nogroup, mode 0640",
         [](const std::string& dir) {
             WriteBytes(dir + "/old.bin", OLD_DUMP);
             ASSERT_EQ(chown((dir + "/old.bin").c_str(), 65534, 65534), 0);
             chmod((dir + "/old.bin").c_str(), 0640);
         },
         With({"read", "$D/old.bin"}, TINY), {}, 0, "Read Dump OK \n", "", true,
         [](const std::string& dir, const Exited&) {
             struct stat info {};
             ASSERT_EQ(stat((dir + "/old.bin").c_str(), &info), 0);
             EXPECT_EQ(info.st_uid, 65534u);
             EXPECT_EQ(info.st_gid, 65534u);
             EXPECT_EQ(info.st_mode & 07777, 0640u);
             EXPECT_TRUE(ReadBytes(dir + "/old.bin") == ReadBytes(dir + "/chip.img"));
         }},
        // 8: a result that never reached standard output is no success.
        {"8. scan --json to a full disk", nullptr, With({"scan", "--json"}, TINY), {}, 3, "", outputLost, true,
         nullptr, {}, 0, true},
        {"8. check to a full disk", nullptr, {"check"}, {}, 3, "", outputLost, true, nullptr, {}, 0, true},
        // 6: a wrong data line or an ID no chip gives: refused before the
        // first page command, pointing to check.
        {"6. read with IO0 stuck low", nullptr, With({"read", "$D/r.bin"}, TINY), {{"FERRIK_SIM_FAULTS", "stuck:IO0=0"}},
         4, "Error, a data line is wrong: IO0 (GPIO 26, chip pin 29) always reads low: stuck low, shorted to ground\n" +
                seeCheck,
         "", true, nothingRead},
        {"6. erase with IO0 and IO1 shorted", nullptr, With({"erase"}, TINY), {{"FERRIK_SIM_FAULTS", "short:IO0,IO1"}},
         4, "IO1 (GPIO 19, chip pin 30) always read alike: shorted together\n" + seeCheck, "", true, noErase},
        {"6. blank with RE# open", nullptr, With({"blank"}, TINY), {{"FERRIK_SIM_FAULTS", "open:RE#"}}, 4,
         "Error, the chip on CE0 gives the ID EC EC EC EC EC, five bytes alike: no chip answers that way\n" + seeCheck,
         "", true},
        {"6. read by a chip file of another chip",
         [](const std::string& dir) {
             WriteBytes(dir + "/other", Text("Name=K9F1G08U0B\nID=ECF1009540\nRow=127\nPage=256\nSpare=8\nBlock=8"));
         },
         {"read", "$D/r.bin", "--chip", "$D/other"}, {}, 4,
         "Error, the chip on CE0 gives the ID EC100150, but the chip file $D/other is for ECF1009540\n" + seeCheck, "",
         true, nothingRead},
        {"6. scan finding every block marked", nullptr, With({"scan"}, TINY),
         {{"FERRIK_SIM_FAULTS", "marked:0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15"}, {"FERRIK_SIM_IMAGE", nullptr}}, 1,
         "16 bad blocks of 16\nError, every block of the range reads as factory-marked: that points to the wiring", "",
         true},
        // 7: every record of the file finds its page, or the run fails.
        {"7. program from a file twice the chip", files, With({"program", "$D/twice.bin"}, TINY), {}, 1,
         "Error, 128 records of the file, from record 128 on, have no page in the range: nothing erased\n", "", true,
         imageKept},
        {"7. write from a file twice the chip", files, With({"write", "$D/twice.bin"}, TINY), {}, 1,
         "Error, 128 records of the file, from record 128 on, have no page in the range: nothing written\n", "", true,
         imageKept},
        {"7. verify against a file twice the chip", files, With({"verify", "$D/erased-twice.bin"}, TINY), {}, 1,
         "Error, 128 records of the file, from record 128 on, were not compared", "", true},
        {"7. verify --bad=skip with a block too few for the file", files,
         With({"verify", "$D/erased.bin", "--bad=skip"}, TINY),
         {{"FERRIK_SIM_FAULTS", "bad:3"}, {"FERRIK_SIM_IMAGE", nullptr}}, 1,
         "Error, 8 records of the file, from record 120 on, were not compared", "", true},
        {"7. verify --bad=skip against an empty file", files, With({"verify", "$D/empty.bin", "--bad=skip"}, TINY), {},
         1, "Error, no record of the file was compared\n", "", true},
        // 9: values given against the chip's own facts.
        {"9. erase by a block size that is not the chip file's", chipFile,
         {"erase", "--page", "256", "--spare", "8", "--row-max", "127", "--pages-per-block", "4"}, marked, 2, "",
         "ferrik-cli: --pages-per-block 4, but 8 in the chip file ICs/Samsung/EC100150\nferrik-cli: erase refused",
         true, noErase},
        {"9. erase by a page size that is not the chip file's", chipFile, {"erase", "--page", "128"}, marked, 2,
         "", "ferrik-cli: --page 128, but 256 in the chip file ICs/Samsung/EC100150\nferrik-cli: erase refused", true,
         noErase},
        {"9. erase by a block size that is not the parameter page's", nullptr, {"erase", "--pages-per-block", "4"},
         {{"FERRIK_SIM_CHIPS", "SIM-TINY-2LUN"}, {"FERRIK_SIM_IMAGE", nullptr}}, 2, "",
         "ferrik-cli: --pages-per-block 4, but 8 in the chip's ONFI parameter page\nferrik-cli: erase refused", true,
         noErase},
        {"9. scan by a block size that is not the chip file's", chipFile, {"scan", "--pages-per-block", "4"},
         marked, 0, "Start scan bad blocks\n",
         "ferrik-cli: warning: --pages-per-block 4, but 8 in the chip file ICs/Samsung/EC100150\n", true},
        // 10: one page per block erases every block; beyond 65535 is refused.
        {"10. erase with one page per block",
         [](const std::string& dir) {
             Bytes image(128 * 264, 0xFF);
             image[127 * 264] = 0x00;  // in the last block
             WriteBytes(dir + "/chip.img", image);
         },
         {"erase", "--page", "256", "--spare", "8", "--row-max", "127", "--pages-per-block", "1"}, {}, 0, "Erace Ok\n",
         "", true, imageKept},
        {"10. 65536 pages per block", nullptr,
         {"erase", "--page", "256", "--spare", "8", "--row-max", "127", "--pages-per-block", "65536"}, {}, 2,
         "Error, Pages per block > 0xFFFF\n", "", true, imageKept},
        // 11: the map follows the range, not the geometry.
        {"11. a map of one block of a chip of 2^31 blocks", nullptr,
         {"scan", "--page", "256", "--spare", "8", "--row-max", "2147483647", "--pages-per-block", "1", "--first-block",
          "0", "--blocks", "1", "--map", "$D/m.svg"},
         {}, 0, "0 bad blocks of 1\n", "", true,
         [](const std::string& dir, const Exited&) {
             const std::string svg = ReadFile(dir + "/m.svg");
             EXPECT_LT(svg.size(), 8192u);
             EXPECT_NE(svg.find("<title>Block 0, pages 0 to 0: good</title>"), std::string::npos) << svg;
             EXPECT_EQ(svg.find("<title>Block 1,"), std::string::npos);
         }},
        // 14: check blames the data line, not what it explains.
        {"14. check with IO0 stuck low", nullptr, {"check"}, {{"FERRIK_SIM_FAULTS", "stuck:IO0=0"}}, 1,
         "Data lines: FAULT, IO0 (GPIO 26, chip pin 29) always reads low", "", true,
         [](const std::string&, const Exited& exited) {
             EXPECT_EQ(exited.output.rfind("Data lines: FAULT", 0), 0u) << exited.output;
             EXPECT_NE(exited.output.find("R/B# after RESET: FAULT, never went low: the chip took no RESET (FFh), as a "
                                          "wrong data line changes the command"),
                       std::string::npos)
                 << exited.output;
             EXPECT_NE(exited.output.find("READ ID: FAULT, EC 00 00 14 00: read through a wrong data line"),
                       std::string::npos)
                 << exited.output;
             EXPECT_EQ(exited.output.find("R/B# is open"), std::string::npos) << exited.output;
         }},
        // 15: the small ones.
        {"15. an empty FILE", nullptr, With({"read", ""}, TINY), {}, 2, "",
         "ferrik-cli: read needs FILE, and it is empty\nTry 'ferrik-cli read --help'.\n", false},
        {"15. a dump onto a link to nothing", dangling, With({"read", "$D/dangling"}, TINY), {}, 3,
         "Error create file \n", "ferrik-cli: cannot write $D/dangling: it is a link to a file that does not exist\n",
         true, danglingKept},
        {"15. a map onto a link to nothing", dangling, With({"scan", "--map", "$D/dangling"}, TINY), {}, 3, "",
         "ferrik-cli: --map: cannot write $D/dangling: it is a link to a file that does not exist\n", false,
         danglingKept},
        {"15. a --bad mode that does not exist", nullptr, {"read", "$D/x.bin", "--bad=foo"}, {}, 2, "",
         "ferrik-cli: --bad: \"foo\" is not a mode of read (raw, pad or skip)\nTry 'ferrik-cli read --help'.\n",
         false},
        {"15. a dump onto a folder", [](const std::string& dir) { fs::create_directory(dir + "/adir"); },
         With({"read", "$D/adir"}, TINY), {}, 3, "\nSave in File = $D/adir\nError create file \n",
         "ferrik-cli: cannot write $D/adir: it is not a regular file\n", true},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        const std::string d = dir.Path();
        WriteBytes(d + "/chip.img", Bytes(128 * 264, 0xFF));
        if (row.setup) row.setup(d);
        const Exited exited = RunRow(row, d);

        ASSERT_TRUE(exited.finished);
        EXPECT_EQ(exited.status, row.status) << exited.output << exited.errors;
        const std::string out = InDir(row.out, d);
        EXPECT_NE(exited.output.find(out), std::string::npos) << exited.output;
        if (row.err.empty()) {
            EXPECT_EQ(exited.errors, "");
        } else {
            EXPECT_NE(exited.errors.find(InDir(row.err, d)), std::string::npos) << exited.errors;
        }
        if (row.mapsGpio) {
            ExpectParked(ReadFile(d + "/pins"));
        } else {
            EXPECT_FALSE(FileExists(d + "/pins")) << "the GPIO block was mapped";
        }
        EXPECT_EQ(HiddenFiles(d), std::vector<std::string>{});
        if (row.check) row.check(d, exited);
    }
}

// One bus, one process: while one ferrik-cli holds the bus (here the chip
// image, which stands for it in the simulated build), a second ferrik-cli
// and the window are refused with the holder's process id; help and a usage
// error still answer; once the holder has ended, the bus is free again.
TEST(CliFaultMatrix, OneProcessDrivesTheBusTheOthersAreRefusedNamingIt) {
    TempDir dir;
    const std::string image = dir.File("chip.img");
    WriteBytes(image, Bytes(128 * 264, 0xFF));
    // With R/B# stuck low an erase waits out its whole busy budget (2^32
    // polls) on the first block: the holder stays at work, holding the bus,
    // until the test ends it.
    const Env env = {{"FERRIK_SIM_CHIPS", "SIM-TINY"}, {"FERRIK_SIM_IMAGE", image.c_str()},
                     {"FERRIK_SIM_FAULTS", nullptr},   {"FERRIK_SIM_REPORT", nullptr},
                     {"DISPLAY", nullptr},             {"WAYLAND_DISPLAY", nullptr}};
    Env stuck = env;
    stuck.emplace_back("FERRIK_SIM_FAULTS", "busy-stuck-low");
    auto holder = std::make_unique<Child>(With({FERRIK_CLI, "erase"}, TINY), stuck, dir.Path(), ChildLimits{},
                                          Streams::Apart);
    ASSERT_TRUE(holder->WaitForOutput("\nStart Erace NAND\n", 60));
    const std::string inUse = "the chip image " + image + " is in use by process " + std::to_string(holder->Pid()) +
                              ": one process drives it at a time\n";

    const Exited second = RunProgram({FERRIK_CLI, "detect"}, env, 60, dir.Path(), {}, Streams::Apart);
    EXPECT_EQ(second.status, 4) << second.output << second.errors;
    EXPECT_EQ(second.errors, "ferrik-cli: " + inUse);
    EXPECT_EQ(second.output, "");

    const Exited window = RunProgram({FERRIK_BINARY}, env, 60, dir.Path());
    EXPECT_EQ(window.status, 255) << window.output;
    EXPECT_EQ(window.output, inUse);

    EXPECT_EQ(RunProgram({FERRIK_CLI, "--help"}, env, 60, dir.Path()).status, 0);
    const Exited usage = RunProgram({FERRIK_CLI, "read"}, env, 60, dir.Path(), {}, Streams::Apart);
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.errors, "ferrik-cli: read needs FILE\nTry 'ferrik-cli read --help'.\n");

    // Killed outright: the lock goes with the process, whatever its end.
    holder.reset();
    EXPECT_EQ(RunProgram({FERRIK_CLI, "detect"}, env, 60, dir.Path()).status, 0);
}

#endif
