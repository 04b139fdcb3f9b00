// The terminal side of a job: its log on standard output and its progress
// bar on standard error.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "jobs/Job.h"

class ConsoleProgress;

// The log, piece by piece, as the window shows it. The colour in force is
// drawn with ANSI sequences only when `colours` (standard output a terminal,
// NO_COLOR not set); each piece is closed with a reset, so that nothing else
// written to the terminal takes the log's colour.
class ConsoleLog final : public LogSink {
public:
    ConsoleLog(bool colours, std::FILE* out) : colours_(colours), out_(out) {}
    void SetColour(LogColour colour) override {
        colour_ = colour;
        coloured_ = true;
    }
    void Append(const char* text) override;
    // Whether the last piece ended its line: the progress bar may only take
    // a terminal line the log has finished.
    bool AtLineStart() const { return atLineStart_; }
    // The bar that shares the terminal with the log, and steps aside for it.
    void ShareTerminalWith(ConsoleProgress* bar) { bar_ = bar; }
    // Where the log goes: standard output, or standard error under --json.
    std::FILE* Stream() const { return out_; }

private:
    bool colours_;
    std::FILE* out_;
    LogColour colour_ = LogColour::Blue;
    bool coloured_ = false;
    bool atLineStart_ = true;
    ConsoleProgress* bar_ = nullptr;
};

// A one-line bar on standard error: percent, units done of all, MB/s and the
// time left, redrawn at most ten times a second from the job's ticks. It
// draws nothing unless `draw` (standard error a terminal, no --quiet); when
// the log shares the terminal, only between log lines. It also carries the
// stop request of Ctrl-C or SIGTERM to the job.
class ConsoleProgress final : public ProgressSink {
public:
    ConsoleProgress(bool draw, const ConsoleLog* sharedWith) : draw_(draw), sharedWith_(sharedWith) {}
    void Begin(const char* title, const char* message, int32_t maximum, int64_t units, int64_t unitBytes) override;
    // The window's cadence: the bar keeps its own.
    void Update(int32_t) override {}
    void Tick(int64_t unitsDone) override;
    bool StopRequested() override;
    void End() override;
    // Clears the bar's line, if it is drawn; the next tick draws it again.
    void StepAside();

private:
    using Clock = std::chrono::steady_clock;
    void Draw(Clock::time_point now);

    bool draw_;
    const ConsoleLog* sharedWith_;
    bool active_ = false;
    bool shown_ = false;
    std::string message_;
    int64_t units_ = 0;
    int64_t unitBytes_ = 0;
    int64_t done_ = 0;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

// The log and the bar of one run of the command line. With logToErrors the
// log goes to standard error, uncoloured, leaving standard output to a result
// a program reads.
class Console {
public:
    Console(bool quiet, bool logToErrors);
    ConsoleLog log;
    ConsoleProgress progress;
};
