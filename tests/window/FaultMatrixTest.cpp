// Every job against every fault that concerns it, on the real window and the
// SIM-TINY chip, with real files. Each case gives the log the job must write;
// the harness checks the same guarantees for all of them: no success line for
// work that was not done, no file left open, no dialog left on screen, no
// file changed that the job was not meant to replace (and a replaced one only
// after an overwrite prompt), no stray file left, and no protocol violation
// on the chip. docs/reliability.md lists the cases.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/filedlg.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/DumpFiles.h"
#include "support/EraseJobs.h"
#include "support/FaultCases.h"
#include "support/Process.h"
#include "support/SimChip.h"
#include "support/WxTest.h"
#include "ui/FerrikFrame.h"

using namespace ferrik_test;
namespace fs = std::filesystem;

namespace {

enum class Job { Detect, Read, Write, Verify, Erase, Blank, Save };

struct JobInfo {
    long button;
    const char* successLine;  // nullptr: Save, judged by its file
};

JobInfo InfoOf(Job job) {
    switch (job) {
        case Job::Detect: return {FerrikFrame::BTN_READ_ID_, "Found parametrs:\n"};
        case Job::Read: return {FerrikFrame::BTN_READ_, "Read Dump OK \n"};
        case Job::Write: return {FerrikFrame::BTN_WRITE_, "Programm Page OK\n"};
        case Job::Verify: return {FerrikFrame::BTN_VERIFY_, "Verify end\n"};
        case Job::Erase: return {FerrikFrame::BTN_ERACE_, "Erace Ok\n"};
        case Job::Blank: return {FerrikFrame::BTN_BLANK_, "Check blank end\n"};
        case Job::Save: return {FerrikFrame::BTN_SAVE_, nullptr};
    }
    return {0, nullptr};
}

// SIM-TINY: 256 + 8 bytes a page, 8 pages a block, 16 blocks.
constexpr int kPageBytes = 264;
constexpr int kPages = 128;

// What a case works on. The harness fills it in, the case's arrange step
// changes what it needs.
struct Scene {
    FerrikFrame* frame = nullptr;
    sim::SimNandChip* chip = nullptr;  // nullptr: the socket is empty
    std::string dir;                   // scratch folder and working directory
    std::string path;                  // the file the dialog answers with
    std::vector<std::string> answers;  // file dialog answers; "" cancels
    std::function<void()> afterAnswer;
    bool fileModesEnforced = false;
    rlim_t fileSizeLimit = 0;  // 0: none
    bool eraseNeverReady = false;  // every erase command ends in ERR_RB_L
    std::string removedByTest;     // a file the case itself removes

    void Faults(const sim::ChipFaults& faults) { chip = &InsertFreshChip(sim::TinyPreset(), faults); }
    void EmptySocket() {
        sim::Socket().RemoveAll();
        chip = nullptr;
    }
    void Fields(const char* page, const char* spare, const char* rows, const char* pages) {
        SetGeometry(frame, page, spare, rows, pages);
    }
};

struct Case {
    Job job;
    const char* condition;
    std::function<void(Scene&)> arrange;
    std::string log;        // the whole text the job adds; $P is the path, End time masked
    bool done;              // the job's success line belongs in the log
    int dialogs;            // file dialogs the job shows
    bool mayWritePath;      // the job is meant to write the file at the path
    std::function<void(Scene&)> extra = nullptr;  // what a case checks beyond the rest
};

const std::string kDetected =
    "Manufacturer: = Samsung\nCE0 = 0xEC, 0x1, 0x0, 0x15, 0x0\n"
    "CE1 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\nCE2 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\nCE3 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\n\n";
const std::string kNothingDetected =
    "Manufacturer: = Unknown Nand\nCE0 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\n"
    "CE1 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\nCE2 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\nCE3 = 0xFF, 0xFF, 0xFF, 0xFF, 0xFF\n\n";
const std::string kChipFileText = "Name=SIM-TINY\nID=EC100150\nRow=127\nPage=256\nSpare=8\nBlock=8";
const std::string kFound =
    "Found parametrs:\nName nand = SIM-TINY\nID nand = EC100150\nRow max size = 127\nPage size = 256\n"
    "Spare size = 8\n1 Block = 8 Pages\n";
const std::string kNoFile = "Warning, no find <cfg> file in >> ICs... \n";
const std::string kNoChip = "Error, no chip answers on CE0: R/B# never went low\n";
const std::string kZeroPage = "Error, Page size = 0\n";
const std::string kZero = "Error, Page size = 0 or row max size = 0\n";
const std::string kTooBig = "Error, Page size > 0xFFFF\n";
const std::string kNegative = "Error, Page size, spare size or row max size < 0\n";
const std::string kBlankNegative = "Error, Page size < 0 or row max size < 0\n";
const std::string kNoBlocks = "Error, Pages per block <= 0\n";
const std::string kRb = "R/B, break low, ERR_RB_L\n";
const std::string kNoBlockSize = "No block size from an erase run, no bad block skipped\n";

sim::ChipFaults BadBlock3() {
    sim::ChipFaults f;
    f.badBlocks = {3};
    return f;
}
sim::ChipFaults EraseFails5() {
    sim::ChipFaults f;
    f.eraseFailBlocks = {5};
    return f;
}

void ChipFile(Scene& s) {
    fs::create_directories(s.dir + "/ICs/Samsung");
    WriteBytes(s.dir + "/ICs/Samsung/EC100150", Bytes(kChipFileText.begin(), kChipFileText.end()));
}
void Unreadable(Scene& s) {
    chmod(s.path.c_str(), 0);
    s.fileModesEnforced = true;
}
void Unwritable(Scene& s) {
    chmod(s.path.c_str(), 0444);
    s.fileModesEnforced = true;
}
void Old(Scene& s) { WriteBytes(s.path, Bytes(5000, 0x5A)); }
// The file is there when the dialog is answered and gone when the job opens it.
void GoneAfterAnswer(Scene& s) {
    const std::string path = s.path;
    s.afterAnswer = [path] { std::remove(path.c_str()); };
    s.removedByTest = path;
}
void Cancel(Scene& s) { s.answers = {""}; }
// The folder is there when the dialog is answered (a dialog cannot choose a
// file in a folder that does not exist) and gone when the job creates the file.
void FolderMissing(Scene& s) {
    const std::string folder = s.dir + "/gone";
    fs::create_directories(folder);
    s.path = folder + "/" + fs::path(s.path).filename().string();
    s.answers = {s.path};
    s.afterAnswer = [folder] { fs::remove(folder); };
}
void DevFull(Scene& s) { s.answers = {s.path = "/dev/full"}; }
// A named pipe where the file belongs: no writer or reader ever comes, so a
// job that waited on it would hang the window for good.
void Pipe(Scene& s) { mkfifo(s.path.c_str(), 0644); }
void DumpFile(Scene& s) { WriteBytes(s.path, PatternImage(kPages, kPageBytes)); }
void ErasedDump(Scene& s) { WriteBytes(s.path, Bytes(kPages * kPageBytes, 0xFF)); }

std::string DumpPrologue(Job job) {
    return job == Job::Write ? "\nOpen file for write = $P\n\nStart Write Page \n" : "\nOpen File for verify = $P\nStart verify\n";
}
std::string OpenFailure(Job job) {
    return job == Job::Write ? "\nOpen file for write = $P\nError open file\n"
                             : "\nOpen File for verify = $P\nError open file\n";
}

// U+E0030 U+E0000 in UTF-8, as a paste hands them to a field. The "C" locale
// turns each into no bytes at all, and the C library's string conversion
// aborts on a run of them.
const char* const kTwoTags = "\xF3\xA0\x80\xB0\xF3\xA0\x80\x80";

// The field cases of a job: which fields hold what, and the refusal.
struct FieldCase {
    const char* condition;
    const char *page, *spare, *rows, *pages;
    std::string log;
};

std::vector<FieldCase> FieldCasesOf(Job job) {
    switch (job) {
        case Job::Read:
            return {{"page size 0", "0", "8", "127", "8", kZeroPage},
                    {"page size negative", "-256", "8", "127", "8", kNegative},
                    {"page size too large", "65535", "8", "127", "8", kTooBig},
                    {"row max empty", "256", "8", "", "8", kZero},
                    {"page size not a number", "abc", "8", "127", "8", kZeroPage},
                    {"page size two tag characters", kTwoTags, "8", "127", "8", kZeroPage}};
        case Job::Write:
        case Job::Verify:
            return {{"row max 0", "256", "8", "0", "8", kZero},
                    {"row max negative", "256", "8", "-1", "8", kNegative},
                    {"page size too large", "65535", "8", "127", "8", kTooBig},
                    {"row max empty", "256", "8", "", "8", kZero},
                    {"row max not a number", "256", "8", "abc", "8", kZero},
                    {"row max two tag characters", "256", "8", kTwoTags, "8", kZero}};
        case Job::Erase:
            return {{"row max 0", "256", "8", "0", "8", kZero},
                    {"row max negative", "256", "8", "-1", "8", "Error, row max size < 0\n"},
                    {"pages per block negative", "256", "8", "127", "-8", kNoBlocks},
                    {"pages per block too large", "256", "8", "127", "65536", kNoBlocks},
                    {"pages per block empty", "256", "8", "127", "", kNoBlocks},
                    {"row max not a number", "256", "8", "rows", "8", kZero},
                    // The marks are found by the page size.
                    {"page size empty", "", "8", "127", "8",
                     "Error, Page size <= 0, the bad-block marks cannot be found\n"}};
        case Job::Blank:
            return {{"page and spare size 0", "0", "0", "127", "8", kZero},
                    {"row max negative", "256", "8", "-1", "8", kBlankNegative},
                    // The total is positive, but no page would be read in full.
                    {"page size negative, total positive", "-100", "200", "127", "8", kBlankNegative},
                    {"page size too large", "65471", "64", "127", "8", kTooBig},
                    {"row max empty", "256", "8", "", "8", kZero},
                    {"page size not a number", "abc", "0", "127", "8", kZero}};
        default: return {};
    }
}

std::vector<Case> CasesOf(Job job) {
    std::vector<Case> cases;
    const auto faults = [](sim::ChipFaults f) { return [f](Scene& s) { s.Faults(f); }; };
    const auto empty = [](Scene& s) { s.EmptySocket(); };
    switch (job) {
        case Job::Detect:
            cases = {
                {job, "no fault", ChipFile, kDetected + kFound, true, 0, false},
                {job, "R/B# stuck low", [](Scene& s) { s.Faults(RbStuckLow()); ChipFile(s); }, kDetected + kFound, true, 0,
                 false},
                {job, "R/B# never low", [](Scene& s) { s.Faults(RbNeverLow()); ChipFile(s); }, kDetected + kFound, true, 0,
                 false},
                {job, "empty socket", empty, kNothingDetected + kNoFile, false, 0, false},
                {job, "chip file missing", [](Scene&) {}, kDetected + kNoFile, false, 0, false},
                {job, "chip file unreadable",
                 [](Scene& s) {
                     ChipFile(s);
                     chmod((s.dir + "/ICs/Samsung/EC100150").c_str(), 0);
                     s.fileModesEnforced = true;
                 },
                 kDetected + kNoFile, false, 0, false},
                {job, "a named pipe where the chip file belongs",
                 [](Scene& s) {
                     fs::create_directories(s.dir + "/ICs/Samsung");
                     mkfifo((s.dir + "/ICs/Samsung/EC100150").c_str(), 0644);
                 },
                 kDetected + kNoFile, false, 0, false},
                // A file that does not begin with the first key is no chip
                // file: loading it would empty every field, the ID included.
                {job, "an empty chip file",
                 [](Scene& s) {
                     fs::create_directories(s.dir + "/ICs/Samsung");
                     WriteBytes(s.dir + "/ICs/Samsung/EC100150", Bytes());
                 },
                 kDetected + kNoFile, false, 0, false,
                 [](Scene& s) { EXPECT_EQ(s.frame->TxtNandId->GetValue(), "EC100150"); }},
                {job, "a chip file with lower-case keys",
                 [](Scene& s) {
                     const std::string text = "name=SIM-TINY\nid=EC100150\n";
                     fs::create_directories(s.dir + "/ICs/Samsung");
                     WriteBytes(s.dir + "/ICs/Samsung/EC100150", Bytes(text.begin(), text.end()));
                 },
                 kDetected + kNoFile, false, 0, false},
                {job, "a chip file after a blank line",
                 [](Scene& s) {
                     const std::string text = "\n" + kChipFileText;
                     fs::create_directories(s.dir + "/ICs/Samsung");
                     WriteBytes(s.dir + "/ICs/Samsung/EC100150", Bytes(text.begin(), text.end()));
                 },
                 kDetected + kNoFile, false, 0, false},
                {job, "a folder where the chip file belongs",
                 [](Scene& s) { fs::create_directories(s.dir + "/ICs/Samsung/EC100150"); }, kDetected + kNoFile, false,
                 0, false},
                // The reader's rules: a missing key gets the previous value,
                // which a field refuses when it is longer than the field allows.
                {job, "chip file short",
                 [](Scene& s) {
                     const std::string text = "Name=SIM-TINY\nID=EC100150\n";
                     fs::create_directories(s.dir + "/ICs/Samsung");
                     WriteBytes(s.dir + "/ICs/Samsung/EC100150", Bytes(text.begin(), text.end()));
                 },
                 kDetected +
                     "Found parametrs:\nName nand = SIM-TINY\nID nand = EC100150\nRow max size = EC100150\n"
                     "Page size = \nSpare size = \n1 Block =  Pages\n",
                 true, 0, false},
            };
            break;
        case Job::Read: {
            const std::string start = "\nSave in File = $P\nStart Read Pages\n";
            cases = {
                {job, "no fault, over an old file", Old, start + "End time = # ms\nRead Dump OK \n", true, 1, true,
                 [](Scene& s) { EXPECT_TRUE(ReadBytes(s.path) == ChipImage(*s.chip, kPages)); }},
                {job, "R/B# stuck low", faults(RbStuckLow()), start + kRb, false, 1, true,
                 [](Scene& s) { EXPECT_FALSE(FileExists(s.path)); }},
                {job, "R/B# never low", faults(RbNeverLow()), kNoChip, false, 0, false},
                {job, "empty socket", empty, kNoChip, false, 0, false},
                {job, "factory bad block", faults(BadBlock3()), start + "End time = # ms\nRead Dump OK \n", true, 1, true,
                 [](Scene& s) {
                     const Bytes dump = ReadBytes(s.path);
                     ASSERT_EQ(dump.size(), static_cast<size_t>(kPages) * kPageBytes);
                     EXPECT_EQ(dump[24 * kPageBytes + 256], 0x00) << "the bad-block mark is dumped as it reads";
                 }},
                {job, "file unwritable", [](Scene& s) { Old(s); Unwritable(s); }, "\nSave in File = $PError create file \n",
                 false, 1, false},
                {job, "folder missing", FolderMissing, "\nSave in File = $PError create file \n", false, 1, false},
                // Only a regular file takes a dump.
                {job, "a device (/dev/full)", DevFull, "\nSave in File = $PError create file \n", false, 1, false},
                {job, "a named pipe", Pipe, "\nSave in File = $PError create file \n", false, 1, false},
                {job, "disk full (regular file)", [](Scene& s) { s.fileSizeLimit = 1000; },
                 start + "Error write file, the dump is incomplete: File too large\n", false, 1, true,
                 [](Scene& s) { EXPECT_FALSE(FileExists(s.path)); }},
                // The new dump is written beside the old one: the old one is
                // cut only once the new one is whole.
                {job, "disk full, over an old file", [](Scene& s) { Old(s); s.fileSizeLimit = 10000; },
                 start + "Error write file, the dump is incomplete: File too large\n", false, 1, false},
                {job, "dialog cancelled, old file", [](Scene& s) { Old(s); Cancel(s); }, "", false, 1, false},
            };
            break;
        }
        case Job::Write: {
            const std::string start = DumpPrologue(job);
            std::string stuck = start;
            for (int i = 0; i < 8; ++i) stuck += "R/B, break low, ERR_RB_L \n";
            stuck += "Error, the chip does not answer (R/B# stays low), write stopped\n";
            std::string badBlock = start;
            for (int page = 24; page < 32; ++page) badBlock += "Error programm page [" + std::to_string(page) + "] \n";
            badBlock += "End time = # ms\nError, 8 pages failed to program\n";
            cases = {
                {job, "no fault", DumpFile, start + "End time = # ms\nProgramm Page OK\n", true, 1, false,
                 [](Scene& s) { EXPECT_TRUE(ChipImage(*s.chip, kPages) == PatternImage(kPages, kPageBytes)); }},
                {job, "R/B# stuck low", [faults](Scene& s) { faults(RbStuckLow())(s); DumpFile(s); }, stuck, false, 1,
                 false},
                {job, "R/B# never low", [faults](Scene& s) { faults(RbNeverLow())(s); DumpFile(s); }, kNoChip, false, 0,
                 false},
                {job, "empty socket", [empty](Scene& s) { empty(s); DumpFile(s); }, kNoChip, false, 0, false},
                {job, "program failure",
                 [](Scene& s) {
                     sim::ChipFaults f;
                     f.programFailPages = {70};
                     s.Faults(f);
                     DumpFile(s);
                 },
                 start + "Error programm page [70] \nEnd time = # ms\nError, 1 pages failed to program\n", false, 1, false},
                {job, "factory bad block", [faults](Scene& s) { faults(BadBlock3())(s); DumpFile(s); }, badBlock, false, 1,
                 false},
                {job, "file missing", [](Scene& s) { DumpFile(s); GoneAfterAnswer(s); }, OpenFailure(job), false, 1,
                 false},
                {job, "file unreadable", [](Scene& s) { DumpFile(s); Unreadable(s); }, OpenFailure(job), false, 1, false},
                {job, "a named pipe", Pipe, OpenFailure(job), false, 1, false},
                {job, "file short",
                 [](Scene& s) {
                     Bytes image = PatternImage(10, kPageBytes);
                     image.resize(image.size() + kPageBytes / 2, 0x00);
                     WriteBytes(s.path, image);
                 },
                 start + "Error, the file holds only 10 whole records\n", false, 1, false},
                {job, "dialog cancelled", [](Scene& s) { DumpFile(s); Cancel(s); }, "", false, 1, false},
            };
            break;
        }
        case Job::Verify: {
            const std::string start = DumpPrologue(job);
            cases = {
                {job, "no fault", ErasedDump, start + "End time = # ms\nVerify end\n", true, 1, false},
                {job, "R/B# stuck low", [faults](Scene& s) { faults(RbStuckLow())(s); ErasedDump(s); }, start + kRb, false,
                 1, false},
                {job, "R/B# never low", [faults](Scene& s) { faults(RbNeverLow())(s); ErasedDump(s); }, kNoChip, false, 0,
                 false},
                {job, "empty socket", [empty](Scene& s) { empty(s); ErasedDump(s); }, kNoChip, false, 0, false},
                // The compare ran through: the difference is the result.
                {job, "factory bad block", [faults](Scene& s) { faults(BadBlock3())(s); ErasedDump(s); },
                 start + "Error, verify in page [24], address = 0x19C0, nand[0x00], file[0xFF]\n"
                         "End time = # ms\nVerify end\n",
                 true, 1, false},
                {job, "file missing", [](Scene& s) { ErasedDump(s); GoneAfterAnswer(s); }, OpenFailure(job), false, 1,
                 false},
                {job, "file unreadable", [](Scene& s) { ErasedDump(s); Unreadable(s); }, OpenFailure(job), false, 1,
                 false},
                {job, "a named pipe", Pipe, OpenFailure(job), false, 1, false},
                {job, "file short",
                 [](Scene& s) { WriteBytes(s.path, Bytes(7 * kPageBytes + 100, 0xFF)); },
                 start + "Error, the file holds only 7 whole records\n", false, 1, false},
                {job, "dialog cancelled", [](Scene& s) { ErasedDump(s); Cancel(s); }, "", false, 1, false},
            };
            break;
        }
        case Job::Erase:
            cases = {
                {job, "no fault", [](Scene&) {}, "\nStart Erace NAND\nErace Ok\n", true, 0, false},
                // The erase budget is 2^32 polls: a stand-in answers ERR_RB_L
                // for every erase command as the chip would after it.
                {job, "R/B# stuck low",
                 [faults](Scene& s) {
                     faults(RbStuckLow())(s);
                     s.eraseNeverReady = true;
                 },
                 "\nStart Erace NAND\n" + kRb + kRb + "Error, chip does not answer, erase stopped\n", false, 0, false},
                {job, "R/B# never low", faults(RbNeverLow()), kNoChip, false, 0, false},
                {job, "empty socket", empty, kNoChip, false, 0, false},
                // Bad blocks are the erase's result: the run itself is done.
                {job, "erase failure", faults(EraseFails5()), "\nStart Erace NAND\nError Erace bad Block [5]\nErace Ok\n",
                 true, 0, false, [](Scene&) { EXPECT_EQ(badBlocks[0], 5); }},
                // The mark is read first: the block gets no erase command.
                {job, "factory bad block", faults(BadBlock3()), "\nStart Erace NAND\nSkip bad block [3]\nErace Ok\n",
                 true, 0, false, [](Scene&) { EXPECT_EQ(badBlocks[0], 3); }},
            };
            break;
        case Job::Blank: {
            const std::string end = "End time = # ms\nCheck blank end\n";
            cases = {
                {job, "no fault", [](Scene&) {}, "Start check blank\n" + kNoBlockSize + end, true, 0, false},
                {job, "R/B# stuck low", faults(RbStuckLow()), "Start check blank\n" + kNoBlockSize + kRb, false, 0, false},
                {job, "R/B# never low", faults(RbNeverLow()), kNoChip, false, 0, false},
                {job, "empty socket", empty, kNoChip, false, 0, false},
                {job, "erase failure, after the erase",
                 [](Scene& s) {
                     s.Faults(EraseFails5());
                     Click(s.frame, FerrikFrame::BTN_ERACE_);
                 },
                 "Start check blank\nSkip bad block [5]\n" + end, true, 0, false},
                {job, "factory bad block, before any erase", faults(BadBlock3()),
                 "Start check blank\n" + kNoBlockSize + "Error, check blank in page [24]\n" + end, true, 0, false},
            };
            break;
        }
        case Job::Save: {
            const std::string saved = "\nSave of File = $P\n";
            const std::string failed = saved + "Error create id file \n";
            cases = {
                {job, "no fault, over an old file", Old, saved, true, 1, true,
                 [](Scene& s) {
                     const Bytes bytes = ReadBytes(s.path);
                     EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
                               "Name=SIM-TINY\nID=FFFFFFFFFF\nRow=127\nPage=256\nSpare=8\nBlock=8");
                 }},
                // Detect would read the name's first word into every field.
                {job, "a name with a blank (the default)",
                 [](Scene& s) { s.frame->TxtNameChip->SetValue("No Name"); },
                 "Error, Name Chip is empty or holds a blank or a character that cannot be saved: nothing saved\n",
                 false, 0, false},
                {job, "an empty field", [](Scene& s) { s.frame->TxtSpareSize->SetValue(""); },
                 "Error, Spare is empty or holds a blank or a character that cannot be saved: nothing saved\n", false,
                 0, false},
                {job, "a name the locale cannot convert", [](Scene& s) { s.frame->TxtNameChip->SetValue(L"Chip\u00e9"); },
                 "Error, Name Chip is empty or holds a blank or a character that cannot be saved: nothing saved\n",
                 false, 0, false},
                {job, "a name of two tag characters",
                 [](Scene& s) { s.frame->TxtNameChip->SetValue(wxString::FromUTF8(kTwoTags)); },
                 "Error, Name Chip is empty or holds a blank or a character that cannot be saved: nothing saved\n",
                 false, 0, false},
                {job, "a named pipe", Pipe, failed, false, 1, false},
                {job, "file unwritable", [](Scene& s) { Old(s); Unwritable(s); }, failed, false, 1, false},
                {job, "folder missing", FolderMissing, failed, false, 1, false},
                {job, "a device (/dev/full)", DevFull, failed, false, 1, false},
                // A cut chip file would be loaded by the next Detect.
                {job, "disk full (regular file)", [](Scene& s) { s.fileSizeLimit = 8; }, failed, false, 1, false},
                {job, "dialog cancelled, old file", [](Scene& s) { Old(s); Cancel(s); }, "", false, 1, false},
            };
            break;
        }
    }
    for (const FieldCase& f : FieldCasesOf(job)) {
        const FieldCase copy = f;
        cases.push_back({job, f.condition,
                         [copy](Scene& s) {
                             // 65536 pages per block is more than the field
                             // takes: lift its limit, as for a value set by
                             // other means.
                             s.frame->TxtPages->SetMaxLength(0);
                             s.Fields(copy.page, copy.spare, copy.rows, copy.pages);
                         },
                         f.log, false, 0, false});
    }
    return cases;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Every regular file under the folder, with its bytes.
std::map<std::string, Bytes> FilesUnder(const std::string& dir) {
    std::map<std::string, Bytes> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files[entry.path().string()] = ReadBytes(entry.path().string());
    return files;
}

class FaultMatrix : public ::testing::Test {
protected:
    void SetUp() override {
        home = fs::current_path();
        fs::current_path(dir.Path());
        frame = OpenFrame();
        WarmUpFileDialogs(frame, dir.Path());
    }

    void TearDown() override {
        CloseFrame(frame);
        fs::current_path(home);
    }

    void RunEveryCaseOf(Job job) {
        const std::vector<Case> cases = CasesOf(job);
        ASSERT_FALSE(cases.empty());
        int serial = 0;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.condition);
            // Each case in a folder of its own, so that what one leaves
            // cannot meet the next.
            const std::string folder = dir.File("case" + std::to_string(++serial));
            fs::create_directories(folder);
            fs::current_path(folder);
            RunCase(c, folder);
            fs::current_path(dir.Path());
        }
    }

    void RunCase(const Case& c, const std::string& folder) {
        ForgetEraseRuns();
        frame->TxtPages->SetMaxLength(3);
        Scene s;
        s.frame = frame;
        s.dir = folder;
        s.chip = &InsertFreshChip(sim::TinyPreset());
        SetGeometry(frame, sim::TinyPreset());
        s.path = folder + (c.job == Job::Save ? "/EC100150" : "/dump.bin");
        // A name Save takes: the default, "No Name", holds a blank.
        if (c.job == Job::Save) frame->TxtNameChip->SetValue("SIM-TINY");
        s.answers = {s.path};
        if (c.arrange) c.arrange(s);
        ExpectNoViolations();  // of the arrange step, reported apart
        if (s.chip != nullptr) s.chip->ClearOps();

        const std::map<std::string, Bytes> before = FilesUnder(folder);
        const size_t mark = LogText(frame).size();
        const int descriptors = OpenDescriptorCount();
        int shown = 0;
        int unexpected = 0;
        std::vector<long> styles;
        {
            FileDialogAnswersThen answers(s.answers, s.afterAnswer);
            std::optional<EraseStandIn> standIn;
            if (s.eraseNeverReady) {
                standIn.emplace(frame);
                for (int32_t row = 0; row < kPages; ++row) standIn->timeoutRows.insert(row);
            }
            std::optional<FileModesEnforced> modes;
            if (s.fileModesEnforced) modes.emplace();
            std::optional<FileSizeLimit> limit;
            if (s.fileSizeLimit != 0) limit.emplace(s.fileSizeLimit);
            Click(frame, InfoOf(c.job).button);
            shown = answers.Shown();
            unexpected = answers.Unexpected();
            styles = answers.styles;
        }
        const std::string log = LogText(frame).substr(mark);

        // What the user reads.
        EXPECT_EQ(TimesMasked(log), Replace(c.log, "$P", s.path));
        const std::map<std::string, Bytes> after = FilesUnder(folder);
        // No success line for work that was not done; Save has none, and its
        // work is the file.
        if (const char* success = InfoOf(c.job).successLine) {
            EXPECT_EQ(log.find(success) != std::string::npos, c.done) << "success line: " << success;
        } else {
            const bool written = after.count(s.path) != 0 && (before.count(s.path) == 0 || after.at(s.path) != before.at(s.path));
            EXPECT_EQ(written, c.done) << "the chip file was written";
        }
        EXPECT_EQ(shown, c.dialogs) << "file dialogs shown";
        EXPECT_EQ(unexpected, 0) << "dialogs nobody expected";
        // Nothing left open or on screen.
        EXPECT_EQ(SettledDescriptorCount(descriptors), descriptors) << "the job left a file open";
        EXPECT_EQ(OtherTopLevelWindows(frame), std::vector<std::string>()) << "the job left a window behind";
        // Files: only the one the job was meant to write may change or
        // appear, and an existing one only after the overwrite prompt.
        for (const auto& [path, bytes] : before) {
            if (path == s.removedByTest) continue;
            const auto now = after.find(path);
            if (path == s.path && c.mayWritePath) {
                if (now == after.end() || now->second != bytes) {
                    ASSERT_EQ(styles.size(), 1u);
                    EXPECT_TRUE(styles[0] & wxFD_OVERWRITE_PROMPT) << "replaced without the overwrite prompt";
                }
                continue;
            }
            ASSERT_NE(now, after.end()) << path << " was removed";
            EXPECT_TRUE(now->second == bytes) << path << " was changed";
        }
        for (const auto& [path, bytes] : after) {
            if (before.count(path) != 0) continue;
            EXPECT_TRUE(path == s.path && c.mayWritePath) << path << " was left behind";
        }
        if (c.extra) c.extra(s);
        ExpectNoViolations();
    }

    fs::path home;
    TempDir dir;
    FerrikFrame* frame = nullptr;
};

}  // namespace

TEST_F(FaultMatrix, DetectKeepsTheGuaranteesInEveryCase) { RunEveryCaseOf(Job::Detect); }
TEST_F(FaultMatrix, ReadDumpKeepsTheGuaranteesInEveryCase) { RunEveryCaseOf(Job::Read); }
TEST_F(FaultMatrix, WriteKeepsTheGuaranteesInEveryCase) { RunEveryCaseOf(Job::Write); }
TEST_F(FaultMatrix, VerifyKeepsTheGuaranteesInEveryCase) { RunEveryCaseOf(Job::Verify); }
TEST_F(FaultMatrix, EraseKeepsTheGuaranteesInEveryCase) { RunEveryCaseOf(Job::Erase); }
TEST_F(FaultMatrix, BlankCheckKeepsTheGuaranteesInEveryCase) { RunEveryCaseOf(Job::Blank); }
TEST_F(FaultMatrix, SaveKeepsTheGuaranteesInEveryCase) { RunEveryCaseOf(Job::Save); }
