// The simulated build's environment settings, through the ferrik executable.
// Started without a display, ferrik runs its static initialisation (where the
// settings are read and the chips plugged in), fails to open a window and
// exits with the toolkit's status, 255: enough to see a setting refused or an
// image file created and written back.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/Process.h"

using namespace ferrik_test;
namespace fs = std::filesystem;

namespace {

constexpr size_t kTinyImageBytes = 128 * 264;

Exited RunWithoutDisplay(std::vector<std::pair<std::string, const char*>> env, const std::string& cwd,
                         const ChildLimits& limits = {}) {
    env.emplace_back("DISPLAY", nullptr);
    env.emplace_back("WAYLAND_DISPLAY", nullptr);
    return RunProgram({FERRIK_BINARY}, env, 30, cwd, limits);
}

void ExpectRefused(const Exited& exited, const std::string& setting) {
    ASSERT_TRUE(exited.finished);
    EXPECT_EQ(exited.status, 2) << exited.output;
    EXPECT_EQ(std::count(exited.output.begin(), exited.output.end(), '\n'), 1) << exited.output;
    EXPECT_NE(exited.output.find(setting), std::string::npos) << exited.output;
    EXPECT_EQ(exited.output.find("GTK"), std::string::npos) << "the toolkit was started: " << exited.output;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

}  // namespace

// The line names a few close part numbers, not all of them, and shows a
// control character escaped instead of breaking the line with it.
TEST(SimSettings, AnUnknownChipNameIsRefusedBeforeAnyWindow) {
    TempDir dir;
    const std::pair<const char*, const char*> cases[] = {
        {"K9F1G08U0B,NO-SUCH-CHIP", "\"NO-SUCH-CHIP\" (no part number is close; the README lists every part number)"},
        {"SIM-TINY,,,,SIM-TINY", "FERRIK_SIM_CHIPS: 5 entries"},
        {"k9f1g08u0x", "(closest: K9F1G08U0B K9F1G08U0C K9F1G08U0D; the README lists every part number)"},
        {"SIM-TINY\nK9F2G08U0B", "\"SIM-TINY\\nK9F2G08U0B\""},
        {"K9WAG08U1A,SIM-TINY", "CE1 holds a die of K9WAG08U1A; leave its entry empty"},
    };
    for (const auto& [chips, line] : cases) {
        SCOPED_TRACE(chips);
        const Exited exited = RunWithoutDisplay({{"FERRIK_SIM_CHIPS", chips}}, dir.Path());
        ExpectRefused(exited, line);
        EXPECT_LT(exited.output.size(), 160u) << exited.output;
    }
}

TEST(SimSettings, AnUnknownBoardIsRefused) {
    TempDir dir;
    ExpectRefused(RunWithoutDisplay({{"FERRIK_SIM_BOARD", "pi6"}}, dir.Path()),
                  "FERRIK_SIM_BOARD: \"pi6\" is not pi1, pi2, pi3, pi4 or pi5");
}

TEST(SimSettings, AnUnknownMalformedOrContradictoryFaultIsRefused) {
    TempDir dir;
    const std::pair<const char*, const char*> cases[] = {
        {"melt", "unknown fault \"melt\""},
        {"erase-fail:", "FERRIK_SIM_FAULTS"},
        {"erase-fail:x", "FERRIK_SIM_FAULTS"},
        {"program-fail:3,,4", "FERRIK_SIM_FAULTS"},
        {"bad:-1", "FERRIK_SIM_FAULTS"},
        {"bad:1024", "FERRIK_SIM_FAULTS"},
        {"busy-never:1", "FERRIK_SIM_FAULTS"},
        {"bad", "FERRIK_SIM_FAULTS"},
        {"marked:1024", "marked: block 1024 is beyond the chip"},
        {"bad:3\r", "bad: \"3\\r\" is not a block number"},
        {"bad:1\x1b[2J", "\"1\\x1B[2J\""},
        {"stuck:IO8=0", "FERRIK_SIM_FAULTS"},
        {"stuck:IO1=2", "FERRIK_SIM_FAULTS"},
        {"short:IO1,IO1", "FERRIK_SIM_FAULTS"},
        {"short:IO1", "FERRIK_SIM_FAULTS"},
        {"open:CE#", "FERRIK_SIM_FAULTS"},
        {"no-pullup:1", "FERRIK_SIM_FAULTS"},
        {"bitflips:5", "bitflips: \"5\" is not PAGE=BITS"},
        {"bitflips:5=0", "with 1 to 4096 bits"},
        {"bitflips:65536=1", "bitflips: page 65536 is beyond the chip"},
        {"busy-never busy-stuck-low", "busy-stuck-low and busy-never exclude each other"},
        {"ce1:bad:1", "there is no chip on CE1 to give faults to"},
        {"ce4:bad:1", "the chip enables are ce0 to ce3"},
        {"ce0:open:WE#", "a fault of the wiring holds for every chip enable"},
    };
    for (const auto& [faults, line] : cases) {
        SCOPED_TRACE(faults);
        ExpectRefused(RunWithoutDisplay({{"FERRIK_SIM_FAULTS", faults}}, dir.Path()), line);
    }
}

TEST(SimSettings, GoodSettingsReachTheToolkit) {
    TempDir dir;
    const Exited exited = RunWithoutDisplay({{"FERRIK_SIM_CHIPS", "SIM-TINY,,K9F2G08U0B"},
                                             {"FERRIK_SIM_FAULTS", "erase-fail:1,2 program-fail:100 bad:15 busy-never"}},
                                            dir.Path());
    ASSERT_TRUE(exited.finished);
    EXPECT_EQ(exited.status, 255) << exited.output;
}

TEST(SimSettings, AMissingImageIsCreatedErasedWithTheBadBlockMarks) {
    TempDir dir;
    const std::string image = dir.File("chip.bin");
    const Exited exited =
        RunWithoutDisplay({{"FERRIK_SIM_CHIPS", "SIM-TINY"}, {"FERRIK_SIM_IMAGE", image.c_str()}, {"FERRIK_SIM_FAULTS", "bad:2"}},
                          dir.Path());
    ASSERT_TRUE(exited.finished);
    EXPECT_EQ(exited.status, 255) << exited.output;
    const std::string bytes = ReadFile(image);
    ASSERT_EQ(bytes.size(), kTinyImageBytes);
    const size_t mark = 16 * 264 + 256;  // block 2, page 0, spare byte 0
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (static_cast<uint8_t>(bytes[i]) != (i == mark ? 0x00 : 0xFF)) {
            ADD_FAILURE() << "byte " << i << " is " << int(static_cast<uint8_t>(bytes[i]));
            break;
        }
    }
}

TEST(SimSettings, AnImageIsLoadedAndWrittenBackAtExit) {
    TempDir dir;
    const std::string image = dir.File("chip.bin");
    std::string content(kTinyImageBytes, '\xFF');
    for (size_t i = 0; i < content.size(); i += 7) content[i] = static_cast<char>(i & 0x7F);
    WriteBytes(image, content);
    struct stat before {};
    ASSERT_EQ(stat(image.c_str(), &before), 0);
    const Exited exited =
        RunWithoutDisplay({{"FERRIK_SIM_CHIPS", "SIM-TINY"}, {"FERRIK_SIM_IMAGE", image.c_str()}}, dir.Path());
    ASSERT_TRUE(exited.finished);
    EXPECT_EQ(exited.status, 255) << exited.output;
    // The save at exit replaces the file with a new one of the same content.
    struct stat after {};
    ASSERT_EQ(stat(image.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "the image was not written back";
    EXPECT_TRUE(ReadFile(image) == content) << "the image changed";
    EXPECT_FALSE(std::ifstream(image + ".part").good());
}

// Images and faults, one chip enable each: the CE1 image is made with CE1's
// marks alone, and CE0, given no image, keeps its chip in memory.
TEST(SimSettings, EachChipEnableTakesItsOwnImageAndFaults) {
    TempDir dir;
    const std::string image = dir.File("ce1.bin");
    const std::string images = "," + image;
    const Exited exited = RunWithoutDisplay({{"FERRIK_SIM_CHIPS", "SIM-TINY,SIM-TINY"},
                                             {"FERRIK_SIM_IMAGE", images.c_str()},
                                             {"FERRIK_SIM_FAULTS", "bad:2 ce1:marked:6 ce1:busy-never"}},
                                            dir.Path());
    ASSERT_TRUE(exited.finished);
    EXPECT_EQ(exited.status, 255) << exited.output;
    const std::string bytes = ReadFile(image);
    ASSERT_EQ(bytes.size(), kTinyImageBytes);
    std::string expected(kTinyImageBytes, '\xFF');
    expected[6 * 8 * 264 + 256] = '\x00';  // block 6, page 0, spare byte 0
    EXPECT_TRUE(bytes == expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    ExpectRefused(RunWithoutDisplay({{"FERRIK_SIM_CHIPS", "SIM-TINY,SIM-TINY"}, {"FERRIK_SIM_IMAGE", "a.bin,a.bin"}},
                                    dir.Path()),
                  "FERRIK_SIM_IMAGE: CE0 and CE1 name the same file, a.bin");
}

TEST(SimSettings, AnImageOfTheWrongSizeIsRefusedAndLeftAlone) {
    TempDir dir;
    const std::string image = dir.File("chip.bin");
    const std::string content(kTinyImageBytes - 1, '\x00');
    WriteBytes(image, content);
    ExpectRefused(RunWithoutDisplay({{"FERRIK_SIM_CHIPS", "SIM-TINY"}, {"FERRIK_SIM_IMAGE", image.c_str()}}, dir.Path()),
                  "FERRIK_SIM_IMAGE");
    EXPECT_TRUE(ReadFile(image) == content);
}

TEST(SimSettings, AnImageNeedsAChipOnCe0) {
    TempDir dir;
    const std::string image = dir.File("chip.bin");
    ExpectRefused(RunWithoutDisplay({{"FERRIK_SIM_CHIPS", ",SIM-TINY"}, {"FERRIK_SIM_IMAGE", image.c_str()}}, dir.Path()),
                  "FERRIK_SIM_IMAGE");
}

TEST(SimSettings, AParameterPageFileHoldsFrom256To1536BytesForAChipOnCe0) {
    TempDir dir;
    const std::string page = dir.File("page.bin");
    for (size_t size : {size_t{0}, size_t{255}, size_t{1537}}) {
        SCOPED_TRACE(size);
        WriteBytes(page, std::string(size, 'O'));
        ExpectRefused(RunWithoutDisplay({{"FERRIK_SIM_PARAMETER_PAGE", page.c_str()}}, dir.Path()),
                      "FERRIK_SIM_PARAMETER_PAGE");
    }
    WriteBytes(page, std::string(256, 'O'));
    ExpectRefused(RunWithoutDisplay({{"FERRIK_SIM_CHIPS", ""}, {"FERRIK_SIM_PARAMETER_PAGE", page.c_str()}}, dir.Path()),
                  "FERRIK_SIM_PARAMETER_PAGE");
    for (size_t size : {size_t{256}, size_t{1536}}) {
        WriteBytes(page, std::string(size, 'O'));
        const Exited exited = RunWithoutDisplay(
            {{"FERRIK_SIM_PARAMETER_PAGE", page.c_str()}, {"FERRIK_SIM_FAULTS", "no-pullup open:R/B#"}}, dir.Path());
        ASSERT_TRUE(exited.finished);
        EXPECT_EQ(exited.status, 255) << exited.output;
    }
}

namespace {

// A folder's entries, links not followed: kind, mode, inode and bytes (a
// link's target for a link).
struct Entry {
    char kind;
    mode_t mode;
    ino_t inode;
    std::string content;
    bool operator==(const Entry& o) const {
        return kind == o.kind && mode == o.mode && inode == o.inode && content == o.content;
    }
};

std::map<std::string, Entry> Entries(const std::string& dir) {
    std::map<std::string, Entry> entries;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir)) {
        struct stat info {};
        lstat(e.path().c_str(), &info);
        Entry entry{'d', info.st_mode & 07777, info.st_ino, ""};
        if (S_ISLNK(info.st_mode)) {
            entry.kind = 'l';
            entry.content = fs::read_symlink(e.path()).string();
        } else if (S_ISREG(info.st_mode)) {
            entry.kind = 'f';
            entry.content = ReadFile(e.path().string());
        }
        entries[e.path().string()] = entry;
    }
    return entries;
}

std::string TinyImage() {
    std::string content(kTinyImageBytes, '\xFF');
    for (size_t i = 0; i < content.size(); i += 7) content[i] = static_cast<char>(i & 0x7F);
    return content;
}

struct ImageScene {
    std::string dir;
    std::string image;  // what FERRIK_SIM_IMAGE names
    std::string file;   // the file that holds the chip: the image, or the file its link leads to
    ChildLimits limits;

    void Image(const std::string& path, mode_t mode) {
        WriteBytes(path, TinyImage());
        chmod(path.c_str(), mode);
    }
    // A folder that lets nobody make a file in it.
    std::string Locked() {
        fs::create_directory(dir + "/locked");
        chmod((dir + "/locked").c_str(), 0555);
        limits.fileModesEnforced = true;
        return dir + "/locked";
    }
};

struct ImageCase {
    const char* condition;
    std::function<void(ImageScene&)> arrange;
    int status;        // 255: on to the toolkit (and its missing display); 2: refused at start; 1: the save at exit failed
    const char* line;  // part of the line on standard error (status 1 and 2)
};

}  // namespace

// An image is written back through a fresh file in its folder, renamed over
// the image's own file: a link keeps leading to it, its mode stays, and no
// other file of the folder changes. An image that could not be read or
// written back is refused before any window, and a save at exit that fails
// all the same makes a failing status. Either way the image stays as it was.
TEST(SimSettings, AnImageIsReplacedWholeThroughAFreshFileOrRefusedAndLeftAlone) {
    const ImageCase cases[] = {
        {"a plain image, mode 0640", [](ImageScene& s) { s.Image(s.file, 0640); }, 255, ""},
        {"a link to the image",
         [](ImageScene& s) {
             fs::create_directory(s.dir + "/chips");
             s.file = s.dir + "/chips/chip.bin";
             s.Image(s.file, 0644);
             s.image = s.dir + "/current.bin";
             fs::create_symlink("chips/chip.bin", s.image);
         },
         255, ""},
        {"a link where the side file once went",
         [](ImageScene& s) {
             s.Image(s.file, 0644);
             WriteBytes(s.dir + "/victim", "keep me");
             fs::create_symlink("victim", s.file + ".part");
         },
         255, ""},
        {"a name of 255 characters",
         [](ImageScene& s) {
             s.image = s.file = s.dir + "/" + std::string(251, 'n') + ".bin";
             s.Image(s.file, 0644);
         },
         255, ""},
        {"unreadable (mode 0)",
         [](ImageScene& s) {
             s.Image(s.file, 0);
             s.limits.fileModesEnforced = true;
         },
         2, "could not read"},
        // Refused for root too: it could write, but the user protected it.
        {"read-only (mode 0444)", [](ImageScene& s) { s.Image(s.file, 0444); }, 2,
         "is read-only, and the chip is written back to it at exit"},
        {"in a folder without write permission",
         [](ImageScene& s) {
             s.image = s.file = s.Locked() + "/chip.bin";
             s.Image(s.file, 0644);
         },
         2, "could not be written back at exit: no new file can be made in its folder: Permission denied"},
        {"new, in a folder without write permission", [](ImageScene& s) { s.image = s.file = s.Locked() + "/chip.bin"; },
         2, "could not create"},
        {"a link to a file that does not exist", [](ImageScene& s) { fs::create_symlink("nothing.bin", s.image); }, 2,
         "is a link to a file that does not exist"},
        {"a full disk at exit",
         [](ImageScene& s) {
             s.Image(s.file, 0644);
             s.limits.fileSizeLimit = 1000;
         },
         1, "could not write"},
    };
    for (const ImageCase& c : cases) {
        SCOPED_TRACE(c.condition);
        TempDir dir;
        ImageScene s;
        s.dir = dir.Path();
        s.image = s.file = dir.File("chip.bin");
        c.arrange(s);
        const std::map<std::string, Entry> before = Entries(s.dir);

        const Exited exited = RunWithoutDisplay({{"FERRIK_SIM_CHIPS", "SIM-TINY"}, {"FERRIK_SIM_IMAGE", s.image.c_str()}},
                                                s.dir, s.limits);
        ASSERT_TRUE(exited.finished);
        EXPECT_EQ(exited.status, c.status) << exited.output;
        if (c.status == 2) {
            ExpectRefused(exited, c.line);
        } else if (c.status == 1) {
            EXPECT_NE(exited.output.find(std::string("FERRIK_SIM_IMAGE: ") + c.line), std::string::npos) << exited.output;
        } else {
            EXPECT_EQ(exited.output.find("FERRIK_SIM_IMAGE"), std::string::npos) << exited.output;
        }

        const std::map<std::string, Entry> after = Entries(s.dir);
        std::vector<std::string> changed;
        for (const auto& [path, entry] : after) {
            const auto was = before.find(path);
            if (was == before.end()) {
                changed.push_back(path + " appeared");
            } else if (path == s.file && c.status == 255) {
                // Written back: a new file with the same bytes and mode.
                EXPECT_NE(entry.inode, was->second.inode) << "the image was not written back";
                EXPECT_TRUE(entry.content == was->second.content) << "the image changed";
                EXPECT_EQ(entry.kind, 'f');
                EXPECT_EQ(entry.mode, was->second.mode) << "the image's mode changed";
            } else if (!(entry == was->second)) {
                changed.push_back(path + " changed");
            }
        }
        for (const auto& [path, entry] : before)
            if (after.count(path) == 0) changed.push_back(path + " went");
        EXPECT_EQ(changed, std::vector<std::string>());
        chmod((s.dir + "/locked").c_str(), 0755);
    }
}
