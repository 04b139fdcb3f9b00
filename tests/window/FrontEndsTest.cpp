// The window and ferrik-cli over one chip image: the same dump file and the
// same log text, piece for piece, from both front ends of the job core.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/DumpFiles.h"
#include "support/FaultCases.h"
#include "support/Process.h"
#include "support/SimChip.h"
#include "support/WxTest.h"
#include "ui/FerrikFrame.h"

#ifdef FERRIK_CLI

using namespace ferrik_test;

namespace {

// SIM-TINY: 256 + 8 bytes a page, 128 pages.
constexpr int kPageBytes = 264;
constexpr int kPages = 128;

// What the window's log gains while `id` is clicked and its file dialog
// answered with `path`.
std::string Press(FerrikFrame* frame, long id, const std::string& path) {
    const size_t before = LogText(frame).size();
    FileDialogAnswers answers({path});
    Click(frame, id);
    EXPECT_EQ(answers.Shown(), 1);
    return LogText(frame).substr(before);
}

}  // namespace

TEST(FrontEnds, TheWindowAndTheCommandLineDumpAndVerifyOneChipImageAlike) {
    TempDir dir;
    const std::string image = dir.File("chip.img");
    const Bytes content = PatternImage(kPages, kPageBytes);
    WriteBytes(image, content);
    // A dump that differs from the chip in three bytes, one in a spare area.
    Bytes other = content;
    for (const size_t at : {size_t{0}, size_t{17 * kPageBytes + 260}, size_t{100 * kPageBytes + 5}}) other[at] ^= 0x5A;
    const std::string otherPath = dir.File("other.bin");
    WriteBytes(otherPath, other);
    const std::string dump = dir.File("dump.bin");

    // The command line: a program of its own on the image file, no display.
    auto cli = [&](const std::string& command, const std::string& path) {
        const Exited exited = RunProgram(
            {FERRIK_CLI, command, path, "--page", "256", "--spare", "8", "--row-max", "127"},
            {{"FERRIK_SIM_CHIPS", "SIM-TINY"}, {"FERRIK_SIM_IMAGE", image.c_str()}, {"FERRIK_SIM_FAULTS", nullptr},
             {"FERRIK_SIM_REPORT", nullptr}, {"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}},
            60, dir.Path(), {}, Streams::Apart);
        EXPECT_TRUE(exited.finished);
        EXPECT_EQ(exited.errors, "");
        return exited;
    };
    const Exited cliRead = cli("read", dump);
    EXPECT_EQ(cliRead.status, 0);
    const Bytes cliDump = ReadBytes(dump);
    std::remove(dump.c_str());
    const Exited cliVerify = cli("verify", otherPath);
    EXPECT_EQ(cliVerify.status, 1);

    // The window, on a chip loaded from the same image.
    FerrikFrame* frame = OpenFrame();
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    ASSERT_TRUE(chip.LoadImage(image));
    frame->TxtPageSize->SetValue("256");
    frame->TxtSpareSize->SetValue("8");
    frame->TxtRowMaxAddr->SetValue("127");
    const std::string windowRead = Press(frame, FerrikFrame::BTN_READ_, dump);
    const std::string windowVerify = Press(frame, FerrikFrame::BTN_VERIFY_, otherPath);
    CloseFrame(frame);
    ExpectNoViolations();

    EXPECT_TRUE(cliDump == content);
    EXPECT_TRUE(ReadBytes(dump) == cliDump);
    EXPECT_EQ(TimesMasked(cliRead.output), TimesMasked(windowRead));
    EXPECT_EQ(TimesMasked(cliVerify.output), TimesMasked(windowVerify));
    EXPECT_NE(windowVerify.find("Error, verify in page [17], address = 0x128C, nand["), std::string::npos)
        << windowVerify;
}

#endif
