// Read dump, Write, Verify, then Erase and Blank check over the whole default
// chip (2048 + 64 bytes a page, 65536 pages) in the simulated program, as a
// user runs them: the real
// window, its buttons pressed, the file dialogs answered with a dump file
// under /tmp (deleted at the end).
//
// Prints, one `name = value` a line:
//   job.read_dump.seconds, job.write.seconds, job.verify.seconds,
//   job.erase.seconds, job.blank.seconds
//       wall time of each job, click to return;
//   job.peak_rss_mb
//       the process's peak resident memory (the simulated chip included);
//   job.<job>.own_seconds
//       what the job spends outside its chip commands (file, log, progress);
//   job.<job>.own_cpu_seconds
//       the same as CPU time of the thread that runs the job;
//   job.<job>.overhead_percent, job.overhead_percent (the largest of three)
//       what the job adds to the bus time of its pages: from its first chip
//       command to its last, the time spent outside the chip commands, in
//       percent of the time spent inside them;
//   job.<job>.progress_percent, job.<job>.file_percent
//       the parts of that overhead spent in the progress dialog's Update and
//       in the file's fread/fwrite calls.
// The chip commands are timed through a wrapper put into the window's
// job chip (FerrikFrame::UseJobChip), the progress dialog's Update through
// one put in as its job progress (UseJobProgress),
// and fread and fwrite where the jobs call them (bench/jobs.cmake wraps the
// C library's two at link time).
// Needs an X display; bench/parts/30-jobs.sh provides one when there is none.
#include <sched.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/init.h>
#include <wx/modalhook.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchChip.h"
#include "bench/BenchWindow.h"
#include "bench/JobClock.h"
#include "sim/SimGpio.h"
#include "sim/SimNand.h"
#include "ui/FerrikFrame.h"

namespace bench {
extern JobClock* fileClock;
}

namespace {

// Answers every file dialog with one path, as a user's click on it does.
class AnswerWithPath : public wxModalDialogHook {
public:
    explicit AnswerWithPath(const wxString& path) : path_(path) { Register(); }
    ~AnswerWithPath() override { Unregister(); }
    int Enter(wxDialog* dialog) override {
        auto* files = dynamic_cast<wxFileDialog*>(dialog);
        if (files == nullptr) return wxID_CANCEL;
        bench::PickPath(files, path_);
        return wxID_OK;
    }
    void Exit(wxDialog* /*dialog*/) override {}

private:
    wxString path_;
};

using bench::Clock;
using bench::JobClock;

JobClock jobClock;

// What one press of a job's button left.
struct Pressed {
    double seconds = 0;  // click to return
    std::string log;     // what the job added to the log
    JobClock clock;
};

Pressed Press(FerrikFrame* frame, long id, const std::string& path) {
    Pressed result;
    const size_t before = bench::LogText(frame).size();
    AnswerWithPath answer(wxString::FromUTF8(path.c_str()));
    wxWindow* button = frame->FindWindow(id);
    wxCommandEvent event(wxEVT_BUTTON, static_cast<int>(id));
    event.SetEventObject(button);
    jobClock.Reset();
    const auto start = Clock::now();
    button->GetEventHandler()->ProcessEvent(event);
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.clock = jobClock;
    result.log = bench::LogText(frame).substr(before);
    return result;
}

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

// Sixty-four distinct pages, 0xFF only in the first spare byte: no page is
// skipped as erased. That byte stays 0xFF because a block whose first pages
// hold anything else there is factory-marked bad, and Erase and Blank check
// would skip it instead of timing it.
std::vector<std::vector<uint8_t>> Contents(int pageBytes, int pageSize) {
    std::vector<std::vector<uint8_t>> pages = bench::DistinctPages(pageBytes);
    for (auto& page : pages) page[static_cast<size_t>(pageSize)] = 0xFF;
    return pages;
}

}  // namespace

int main(int argc, char** argv) {
    (void)argc;
    FerrikFrame* frame = bench::OpenBenchWindow("job_bench", argv[0]);
    if (frame == nullptr) return 1;
    bench::TimedChip timedChip(frame->JobChip(), jobClock);
    bench::TimedProgress timedProgress(frame->JobProgress(), jobClock);
    frame->UseJobChip(&timedChip);
    frame->UseJobProgress(&timedProgress);
    bench::fileClock = &jobClock;

    char dirName[] = "/tmp/ferrik-job-bench-XXXXXX";
    if (mkdtemp(dirName) == nullptr) {
        std::fprintf(stderr, "job_bench: no scratch folder under /tmp\n");
        return 1;
    }
    const std::string dump = std::string(dirName) + "/whole.bin";

    // Page k holds content k mod 64; the window's default fields describe
    // this chip (2048 + 64, row max 65535).
    const sim::ChipPreset& preset = sim::DefaultPreset();
    const int pageBytes = preset.geometry.pageSize + preset.geometry.spareSize;
    const auto contents = Contents(pageBytes, preset.geometry.pageSize);
    bench::Fill(bench::FreshChip(), contents);

    int status = 0;
    auto check = [&](bool ok, const char* what, const Pressed& r) {
        if (ok && r.clock.any) return;
        std::fprintf(stderr, "job_bench: %s did not end clean or was not timed:\n%s\n", what, r.log.c_str());
        status = 1;
    };

    const Pressed read = Press(frame, FerrikFrame::BTN_READ_, dump);
    check(Contains(read.log, "Read Dump OK \n"), "Read dump", read);
    bench::FreshChip();
    const Pressed write = Press(frame, FerrikFrame::BTN_WRITE_, dump);
    check(Contains(write.log, "Programm Page OK\n"), "Write", write);
    const Pressed verify = Press(frame, FerrikFrame::BTN_VERIFY_, dump);
    check(Contains(verify.log, "Verify end\n") && !Contains(verify.log, "Error"), "Verify", verify);
    // Then the chip is erased and blank-checked whole, as before a rewrite.
    const Pressed erase = Press(frame, FerrikFrame::BTN_ERACE_, dump);
    if (erase.log != "\nStart Erace NAND\nErace Ok\n") {
        std::fprintf(stderr, "job_bench: Erase did not end clean:\n%s\n", erase.log.c_str());
        status = 1;
    }
    const Pressed blank = Press(frame, FerrikFrame::BTN_BLANK_, dump);
    if (blank.log.rfind("Start check blank\nEnd time = ", 0) != 0 || !Contains(blank.log, " ms\nCheck blank end\n")) {
        std::fprintf(stderr, "job_bench: Blank check did not end clean:\n%s\n", blank.log.c_str());
        status = 1;
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::remove(dump.c_str());
    rmdir(dirName);
    if (bench::WxAssertCount() != 0) status = 1;

    if (status == 0) {
        bench::PrintJobFigures("job", "read_dump", read.seconds, read.clock, true);
        bench::PrintJobFigures("job", "write", write.seconds, write.clock, true);
        bench::PrintJobFigures("job", "verify", verify.seconds, verify.clock, true);
        std::printf("job.erase.seconds = %.3f\n", erase.seconds);
        std::printf("job.blank.seconds = %.3f\n", blank.seconds);
        std::printf("job.peak_rss_mb = %.1f\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
        std::printf("job.overhead_percent = %.2f\n",
                    std::max({read.clock.OverheadPercent(), write.clock.OverheadPercent(),
                              verify.clock.OverheadPercent()}));
    }
    std::fflush(stdout);

    bench::fileClock = nullptr;
    frame->UseJobChip(nullptr);
    frame->UseJobProgress(nullptr);
    frame->Destroy();
    wxYield();
    bench::CloseBenchWindow();
    return status;
}
