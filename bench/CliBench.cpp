// ferrik-cli's read, write and verify over the whole default chip (2048 + 64
// bytes a page, 65536 pages) in the simulated build, as a script runs them:
// the command line's own code, run in this process on a chip wrapped to time
// its page commands, and the real program started once for its memory. The
// dump goes to a file under /tmp (deleted at the end).
//
// Prints, one `name = value` a line:
//   cli.read_dump.seconds, cli.write.seconds, cli.verify.seconds
//       wall time of each command, arguments to exit status;
//   cli.<job>.own_seconds, cli.<job>.overhead_percent, cli.<job>.file_percent
//       what the command spends outside its chip commands from its first page
//       command to its last, in seconds and in percent of the time inside
//       them, and the part of it in the dump file's fread/fwrite;
//   cli.<job>.own_cpu_seconds
//       the same as CPU time of the command's thread (a dump file is written
//       out by a thread of its own, which is not counted);
//   cli.rss_beyond_chip_mb
//       the peak resident memory of ferrik-cli reading the whole chip, less
//       the simulated chip's content, every block of which holds data.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchChip.h"
#include "bench/JobClock.h"
#include "cli/CommandLine.h"
#include "sim/SimGpio.h"
#include "sim/SimNand.h"

NandBus nandBus{NandBus::StartLater{}};

namespace bench {
extern JobClock* fileClock;
}

namespace {

using bench::Clock;
using bench::JobClock;

struct CommandResult {
    double seconds = 0;
    int status = -1;
    JobClock clock;
};

CommandResult Run(std::vector<std::string> words, JobClock& clock, ChipPort& chip) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    CommandResult result;
    clock.Reset();
    const Clock::time_point start = Clock::now();
    result.status = RunCommandLine(static_cast<int>(words.size()), argv.data(), chip);
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::fflush(stdout);
    result.clock = clock;
    return result;
}

// The real program, its log thrown away; its peak resident memory in KiB,
// or -1 when it did not end with status 0.
long PeakKibOf(const std::vector<std::string>& words, const std::string& image) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        setenv("FERRIK_SIM_IMAGE", image.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

bool LogHas(const std::string& log, const std::string& piece) { return log.find(piece) != std::string::npos; }

}  // namespace

int main() {
    char dirName[] = "/tmp/ferrik-cli-bench-XXXXXX";
    if (mkdtemp(dirName) == nullptr) {
        std::fprintf(stderr, "cli_bench: no scratch folder under /tmp\n");
        return 1;
    }
    const std::string dir = dirName;
    const std::string dump = dir + "/whole.bin";
    const std::string again = dir + "/again.bin";
    const std::string logPath = dir + "/log.txt";

    nandBus.Start();
    // No 0xFF byte anywhere: no page is skipped as erased, and no block of the
    // chip is left erased.
    sim::SimNandChip& simChip = bench::FreshChip();
    bench::Fill(simChip, bench::DistinctPages(simChip.PageBytes()));
    const sim::ChipPreset& preset = sim::DefaultPreset();
    const sim::ChipGeometry& g = preset.geometry;
    const std::vector<std::string> geometry = {
        "--page",    std::to_string(g.pageSize),
        "--spare",   std::to_string(g.spareSize),
        "--row-max", std::to_string(g.pagesPerBlock * g.blocks - 1),
        "--quiet"};
    auto command = [&](const char* name, const std::string& file) {
        std::vector<std::string> words = {"ferrik-cli", name, file};
        words.insert(words.end(), geometry.begin(), geometry.end());
        return words;
    };

    JobClock clock;
    BusChip busChip;
    bench::TimedChip chip(busChip, clock);
    bench::fileClock = &clock;
    // The commands' log goes to a file; the figures to standard output.
    std::fflush(stdout);
    const int figures = dup(STDOUT_FILENO);
    const int logFile = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(logFile, STDOUT_FILENO);
    close(logFile);
    const CommandResult read = Run(command("read", dump), clock, chip);
    bench::FreshChip();
    const CommandResult write = Run(command("write", dump), clock, chip);
    const CommandResult verify = Run(command("verify", dump), clock, chip);
    bench::fileClock = nullptr;
    dup2(figures, STDOUT_FILENO);
    close(figures);

    std::ifstream logIn(logPath);
    std::stringstream logText;
    logText << logIn.rdbuf();
    const std::string log = logText.str();

    int status = 0;
    if (read.status != 0 || write.status != 0 || verify.status != 0 || !LogHas(log, "Read Dump OK \n") ||
        !LogHas(log, "Programm Page OK\n") || !LogHas(log, "Verify end\n") || LogHas(log, "Error")) {
        std::fprintf(stderr, "cli_bench: a command did not end clean (%d %d %d):\n%s\n", read.status, write.status,
                     verify.status, log.c_str());
        status = 1;
    }

    // The dump is the chip's image: the started program's chip holds the
    // same content, every block of it.
    std::vector<std::string> words = command("read", again);
    words[0] = FERRIK_CLI;
    const long peakKib = status == 0 ? PeakKibOf(words, dump) : -1;
    if (status == 0 && peakKib < 0) {
        std::fprintf(stderr, "cli_bench: %s did not read the chip cleanly\n", FERRIK_CLI);
        status = 1;
    }
    const double imageMib = static_cast<double>(g.pagesPerBlock) * g.blocks * (g.pageSize + g.spareSize) / 1048576.0;

    std::remove(dump.c_str());
    std::remove(again.c_str());
    std::remove(logPath.c_str());
    rmdir(dirName);

    if (status == 0) {
        bench::PrintJobFigures("cli", "read_dump", read.seconds, read.clock, false);
        bench::PrintJobFigures("cli", "write", write.seconds, write.clock, false);
        bench::PrintJobFigures("cli", "verify", verify.seconds, verify.clock, false);
        std::printf("cli.rss_beyond_chip_mb = %.1f\n", static_cast<double>(peakKib) / 1024.0 - imageMib);
    }
    std::fflush(stdout);
    nandBus.Park();
    return status;
}
