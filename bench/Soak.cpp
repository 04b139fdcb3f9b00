// Detect, Save, Read dump, Erase, Blank check, Write and Verify, back to back,
// cycle after cycle, in the simulated program: the real window, its seven
// buttons pressed as a user does, the file dialogs answered. The chip is
// given content first, so that each cycle reads it out, erases it, checks it
// blank, writes it back and verifies it. Memory must stay flat over the
// cycles; the log pane grows by design, a few lines a job.
//
// Usage: soak [--cycles N] [--chip PART]
//   N       cycles, 20 unless given
//   PART    a part of the simulated chip catalogue, put on CE0 as
//           FERRIK_SIM_CHIPS does; else the chip the environment settings give
//           the program (the default chip when there are none). A chip other
//           than the default one gets its geometry typed into the fields; the
//           default chip keeps the window's default fields.
//
// Each cycle checks that every job logged its success line and that no error,
// verify difference or timeout line appeared, that the chip holds its
// content again and that it saw no protocol violation; a cycle where
// anything is missing counts as failed.
//
// Per cycle a line goes to standard error; at the end, one `name = value` a
// line on standard output:
//   soak.cycles, soak.failures
//   soak.seconds_per_cycle
//   soak.peak_rss_mb                  VmHWM at the end
//   soak.rss_mb                       VmRSS after the last cycle
//   soak.rss_growth_kb_per_cycle      least-squares slope of VmRSS after each
//                                     cycle, from cycle 3 on (1 and 2 warm up)
//   soak.heap_growth_kb_per_cycle     the same for malloc's bytes in use
//   soak.log_growth_chars_per_cycle, soak.log_growth_lines_per_cycle
//   soak.log_bytes_per_char           heap the log pane holds per character,
//                                     found by clearing it after the last cycle
//   soak.log_growth_kb_per_cycle      the log pane's share of the heap growth
//   soak.heap_growth_net_of_log_kb_per_cycle
// Needs an X display; bench/soak provides one when there is none.
#include <malloc.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/init.h>
#include <wx/modalhook.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "chip/ChipFile.h"
#include "sim/SimGpio.h"
#include "sim/SimNand.h"
#include "bench/BenchWindow.h"
#include "ui/FerrikFrame.h"

namespace {

using Clock = std::chrono::steady_clock;

// Answers the Save dialog with the chip file's path and every dump dialog
// with the dump's path, as a user picking them does. Any other dialog is
// cancelled and counted.
class FileAnswers : public wxModalDialogHook {
public:
    FileAnswers(const wxString& chipFile, const wxString& dump) : chipFile_(chipFile), dump_(dump) { Register(); }
    ~FileAnswers() override { Unregister(); }
    int Enter(wxDialog* dialog) override {
        auto* files = dynamic_cast<wxFileDialog*>(dialog);
        if (files == nullptr) {
            ++unexpected;
            return wxID_CANCEL;
        }
        bench::PickPath(files, files->GetMessage() == wxT("Save id nand file") ? chipFile_ : dump_);
        return wxID_OK;
    }
    void Exit(wxDialog* /*dialog*/) override {}

    int unexpected = 0;

private:
    wxString chipFile_;
    wxString dump_;
};

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// Between two clicks the user's event loop runs: pending events, idle time.
void LetTheLoopRun() {
    for (int i = 0; i < 3; ++i) {
        wxYield();
        wxTheApp->ProcessIdle();
    }
}

// Presses a button as a click does and returns what the job added to the log.
std::string Press(FerrikFrame* frame, long id) {
    const size_t before = bench::LogText(frame).size();
    wxWindow* button = frame->FindWindow(id);
    wxCommandEvent event(wxEVT_BUTTON, static_cast<int>(id));
    event.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(event);
    LetTheLoopRun();
    return bench::LogText(frame).substr(before);
}

// The content of row k: most pages hold data, main area and spare area alike
// (the spare's first byte stays 0xFF, a good block's mark); every eighth
// block is erased whole, and in every third block the last pages are still
// erased, as a file system leaves a chip.
std::vector<uint8_t> Content(const sim::ChipGeometry& g, int k) {
    const int bytes = g.pageSize + g.spareSize;
    std::vector<uint8_t> page(static_cast<size_t>(bytes), 0xFF);
    const int block = k / g.pagesPerBlock;
    const int inBlock = k % g.pagesPerBlock;
    if (block % 8 == 7) return page;
    if (block % 3 == 1 && inBlock >= g.pagesPerBlock - g.pagesPerBlock / 4) return page;
    uint32_t x = 2654435761u * static_cast<uint32_t>(k + 1);
    for (int i = 0; i < bytes; ++i) {
        x = x * 1664525u + 1013904223u;
        page[static_cast<size_t>(i)] = static_cast<uint8_t>(x >> 24);
    }
    page[static_cast<size_t>(g.pageSize)] = 0xFF;
    // Some 0xFF runs in the data, as unused ends of sectors have.
    for (int i = g.pageSize / 2; i < g.pageSize / 2 + g.pageSize / 16; ++i) page[static_cast<size_t>(i)] = 0xFF;
    return page;
}

// Rows whose content is not what Content gives.
int WrongRows(const sim::SimNandChip& chip, const sim::ChipGeometry& g) {
    int wrong = 0;
    for (int k = 0; k < chip.Pages(); ++k)
        if (chip.Page(k) != Content(g, k)) ++wrong;
    return wrong;
}

// A line "Key:   1234 kB" of /proc/self/status, in kB.
long StatusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t keyLength = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, keyLength, key) == 0 && line.size() > keyLength && line[keyLength] == ':')
            return std::strtol(line.c_str() + keyLength + 1, nullptr, 10);
    return -1;
}

// Bytes malloc has handed out and not had back, mmapped chunks included.
double HeapKb() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / 1024.0;
}

struct Sample {
    long rssKb = 0;
    long hwmKb = 0;
    double heapKb = 0;
    long logChars = 0;
    int logLines = 0;
    double seconds = 0;
    size_t chipOps = 0;
};

// Least-squares slope of values over their index, from index `from` on.
double Slope(const std::vector<double>& values, size_t from) {
    if (values.size() < from + 2) from = values.size() >= 2 ? 0 : values.size();
    const size_t n = values.size() - from;
    if (n < 2) return 0.0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = from; i < values.size(); ++i) {
        const double x = static_cast<double>(i);
        sx += x;
        sy += values[i];
        sxx += x * x;
        sxy += x * values[i];
    }
    const double count = static_cast<double>(n);
    return (count * sxy - sx * sy) / (count * sxx - sx * sx);
}

// What one cycle's log must hold, job by job; empty when all is well.
std::string CheckCycle(int cycle, const std::vector<std::pair<const char*, std::string>>& logs) {
    std::string faults;
    auto expect = [&](bool ok, const char* job, const char* what) {
        if (!ok) faults += std::string(job) + ": " + what + "; ";
    };
    for (const auto& [job, log] : logs) {
        const std::string name = job;
        if (name == "Detect") {
            // The first Detect comes before the first Save: no chip file yet.
            if (cycle == 1)
                expect(Contains(log, "Warning, no find <cfg> file in >> ICs... \n"), job, "no warning line");
            else
                expect(Contains(log, "Found parametrs:\n") && !Contains(log, "Warning"), job, "no chip file found");
        } else if (name == "Save") {
            expect(Contains(log, "\nSave of File = ") && !Contains(log, "Error"), job, "not saved");
        } else if (name == "Read dump") {
            expect(Contains(log, "Read Dump OK \n"), job, "no success line");
        } else if (name == "Erase") {
            expect(Contains(log, "Erace Ok\n"), job, "no success line");
        } else if (name == "Blank check") {
            expect(Contains(log, "Check blank end\n"), job, "no success line");
        } else if (name == "Write") {
            expect(Contains(log, "Programm Page OK\n"), job, "no success line");
        } else if (name == "Verify") {
            expect(Contains(log, "Verify end\n"), job, "no success line");
            expect(!Contains(log, "Error, verify in page"), job, "a difference");
        }
        expect(!Contains(log, "Error"), job, "an error line");
        expect(!Contains(log, "ERR_RB_L"), job, "a timeout line");
    }
    return faults;
}

void Usage() { std::fprintf(stderr, "usage: soak [--cycles N] [--chip PART]\n"); }

}  // namespace

int main(int argc, char** argv) {
    int cycles = 20;
    std::string part;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--cycles" && i + 1 < argc) {
            cycles = std::atoi(argv[++i]);
        } else if (arg == "--chip" && i + 1 < argc) {
            part = argv[++i];
        } else {
            Usage();
            return 2;
        }
    }
    if (cycles < 1) {
        Usage();
        return 2;
    }
    // The program's own chip, as its environment settings put it in the
    // socket: another part is asked for the same way.
    if (!part.empty()) {
        setenv("FERRIK_SIM_CHIPS", part.c_str(), 1);
        sim::ConfigureFromEnvironment();
        nandBus.BusInit();
    }
    if (sim::Socket().Chip(0) == nullptr) {
        std::fprintf(stderr, "soak: no chip on CE0\n");
        return 2;
    }
    sim::SimNandChip& chip = *sim::Socket().Chip(0);
    const sim::ChipPreset* preset = &chip.Preset();
    const sim::ChipGeometry& g = preset->geometry;

    // A scratch working directory: Detect looks for chip files under ICs/
    // relative to it, and Save writes into its maker directory.
    char workName[] = "/tmp/ferrik-soak-XXXXXX";
    if (mkdtemp(workName) == nullptr || chdir(workName) != 0) {
        std::fprintf(stderr, "soak: no scratch folder under /tmp\n");
        return 1;
    }
    const std::string work = workName;
    const std::string makerDir = MakerDirectory(NandBus::MakerName(preset->id[0]));
    mkdir("ICs", 0755);
    mkdir(makerDir.substr(0, makerDir.size() - 1).c_str(), 0755);
    const std::string chipFile = work + "/" + makerDir + IdString(preset->id);
    const std::string dump = work + "/dump.bin";

    FerrikFrame* frame = bench::OpenBenchWindow("soak", argv[0]);
    if (frame == nullptr) return 1;
    LetTheLoopRun();

    // The chip file holds the name field, whose default ("No Name") is two
    // words and cannot be read back: a user saving a chip types its name.
    frame->TxtNameChip->SetValue(wxString::FromUTF8(preset->part.c_str()));
    if (preset->part != sim::DefaultPreset().part) {
        frame->TxtPageSize->SetValue(wxString::Format("%d", g.pageSize));
        frame->TxtSpareSize->SetValue(wxString::Format("%d", g.spareSize));
        frame->TxtRowMaxAddr->SetValue(wxString::Format("%d", g.pagesPerBlock * g.blocks - 1));
        frame->TxtPages->SetValue(wxString::Format("%d", g.pagesPerBlock));
    }

    for (int k = 0; k < chip.Pages(); ++k) chip.SetPage(k, Content(g, k));

    auto* answers = new FileAnswers(wxString::FromUTF8(chipFile.c_str()), wxString::FromUTF8(dump.c_str()));
    const struct {
        const char* job;
        long id;
    } buttons[] = {
        {"Detect", FerrikFrame::BTN_READ_ID_}, {"Save", FerrikFrame::BTN_SAVE_},
        {"Read dump", FerrikFrame::BTN_READ_}, {"Erase", FerrikFrame::BTN_ERACE_},
        {"Blank check", FerrikFrame::BTN_BLANK_}, {"Write", FerrikFrame::BTN_WRITE_},
        {"Verify", FerrikFrame::BTN_VERIFY_},
    };

    std::vector<Sample> samples;
    int failures = 0;
    std::fprintf(stderr, "cycle  seconds   rss_kb   hwm_kb   heap_kb  log_chars  log_lines  chip_ops_kb\n");
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const auto start = Clock::now();
        std::vector<std::pair<const char*, std::string>> logs;
        for (const auto& button : buttons) logs.emplace_back(button.job, Press(frame, button.id));
        Sample s;
        s.seconds = std::chrono::duration<double>(Clock::now() - start).count();

        std::string faults = CheckCycle(cycle, logs);
        const int wrong = WrongRows(chip, g);
        if (wrong != 0) faults += "the chip does not hold its content again (" + std::to_string(wrong) + " rows); ";
        const std::vector<std::string> violations = sim::Socket().AllViolations();
        if (!violations.empty()) faults += "protocol violation: " + violations.front() + "; ";
        sim::Socket().ClearViolations();
        if (answers->unexpected != 0) faults += "a dialog that is not a file dialog; ";
        answers->unexpected = 0;

        s.rssKb = StatusKb("VmRSS");
        s.hwmKb = StatusKb("VmHWM");
        s.heapKb = HeapKb();
        s.logChars = frame->TxtLog->GetLastPosition();
        s.logLines = frame->TxtLog->GetNumberOfLines();
        s.chipOps = chip.Ops().capacity();
        samples.push_back(s);
        std::fprintf(stderr, "%5d  %7.1f  %7ld  %7ld  %8.0f  %9ld  %9d  %11zu%s\n", cycle, s.seconds, s.rssKb,
                     s.hwmKb, s.heapKb, s.logChars, s.logLines, s.chipOps * sizeof(sim::ChipOp) / 1024,
                     faults.empty() ? "" : "  FAILED");
        if (!faults.empty()) {
            ++failures;
            std::fprintf(stderr, "soak: cycle %d: %s\n", cycle, faults.c_str());
            for (const auto& [job, log] : logs) std::fprintf(stderr, "--- %s:\n%s\n", job, log.c_str());
        }
    }
    if (bench::WxAssertCount() != 0) {
        std::fprintf(stderr, "soak: %d wx assertion(s)\n", bench::WxAssertCount());
        ++failures;
    }

    // The log pane's own heap: what clearing it gives back, per character.
    const double heapWithLog = HeapKb();
    const long charsInLog = frame->TxtLog->GetLastPosition();
    frame->TxtLog->Clear();
    LetTheLoopRun();
    const double logKb = heapWithLog - HeapKb();
    const double logBytesPerChar = charsInLog > 0 ? logKb * 1024.0 / static_cast<double>(charsInLog) : 0.0;

    std::vector<double> rss, heap, chars, lines;
    double seconds = 0;
    for (const Sample& s : samples) {
        rss.push_back(static_cast<double>(s.rssKb));
        heap.push_back(s.heapKb);
        chars.push_back(static_cast<double>(s.logChars));
        lines.push_back(static_cast<double>(s.logLines));
        seconds += s.seconds;
    }
    // Cycles 1 and 2 warm up: the first creates the dump file and the chip
    // file, and the caches of the toolkit fill.
    const size_t warm = 2;
    const double logGrowthChars = Slope(chars, warm);
    const double heapGrowth = Slope(heap, warm);
    const double logGrowthKb = logGrowthChars * logBytesPerChar / 1024.0;

    std::printf("soak.chip = %s\n", preset->part.c_str());
    std::printf("soak.cycles = %d\n", cycles);
    std::printf("soak.failures = %d\n", failures);
    std::printf("soak.seconds_per_cycle = %.1f\n", seconds / cycles);
    std::printf("soak.peak_rss_mb = %.1f\n", static_cast<double>(StatusKb("VmHWM")) / 1024.0);
    std::printf("soak.rss_mb = %.1f\n", static_cast<double>(samples.back().rssKb) / 1024.0);
    std::printf("soak.rss_growth_kb_per_cycle = %.1f\n", Slope(rss, warm));
    std::printf("soak.heap_growth_kb_per_cycle = %.1f\n", heapGrowth);
    std::printf("soak.log_growth_chars_per_cycle = %.0f\n", logGrowthChars);
    std::printf("soak.log_growth_lines_per_cycle = %.1f\n", Slope(lines, warm));
    std::printf("soak.log_bytes_per_char = %.0f\n", logBytesPerChar);
    std::printf("soak.log_growth_kb_per_cycle = %.1f\n", logGrowthKb);
    std::printf("soak.heap_growth_net_of_log_kb_per_cycle = %.1f\n", heapGrowth - logGrowthKb);
    std::fflush(stdout);

    std::remove(dump.c_str());
    std::remove(chipFile.c_str());
    rmdir(makerDir.c_str());
    rmdir("ICs");
    if (chdir("/") == 0) rmdir(work.c_str());

    delete answers;
    frame->Destroy();
    LetTheLoopRun();
    bench::CloseBenchWindow();
    sim::Socket().RemoveAll();
    return failures == 0 ? 0 : 1;
}
