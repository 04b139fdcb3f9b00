// The simulated build's environment settings, through the ferrik executable.
// Started without a display, ferrik runs its static initialisation (where the
// settings are read and the chips plugged in), fails to open a window and
// exits with the toolkit's status, 255: enough to see a setting refused or an
// image file created and written back.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/Process.h"

using namespace ferrik_test;

namespace {

constexpr size_t kTinyImageBytes = 128 * 264;

Exited RunWithoutDisplay(std::vector<std::pair<std::string, const char*>> env, const std::string& cwd) {
    env.emplace_back("DISPLAY", nullptr);
    env.emplace_back("WAYLAND_DISPLAY", nullptr);
    return RunProgram({FERRIK_BINARY}, env, 30, cwd);
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

TEST(SimSettings, AnUnknownChipNameIsRefusedBeforeAnyWindow) {
    TempDir dir;
    ExpectRefused(RunWithoutDisplay({{"FERRIK_SIM_CHIPS", "K9F1G08U0B,NO-SUCH-CHIP"}}, dir.Path()), "NO-SUCH-CHIP");
    ExpectRefused(RunWithoutDisplay({{"FERRIK_SIM_CHIPS", "SIM-TINY,,,,SIM-TINY"}}, dir.Path()), "FERRIK_SIM_CHIPS");
}

TEST(SimSettings, AnUnknownOrMalformedFaultIsRefused) {
    TempDir dir;
    for (const char* faults : {"melt", "erase-fail:", "erase-fail:x", "program-fail:3,,4", "bad:-1", "bad:1024",
                               "busy-never:1", "bad", "stuck:IO8=0", "stuck:IO1=2", "short:IO1,IO1", "short:IO1",
                               "open:CE#", "no-pullup:1"}) {
        SCOPED_TRACE(faults);
        ExpectRefused(RunWithoutDisplay({{"FERRIK_SIM_FAULTS", faults}}, dir.Path()), "FERRIK_SIM_FAULTS");
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
