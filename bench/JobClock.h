// Where a job's time goes, for the benchmarks of both front ends: its chip
// commands timed through a ChipPort wrapper put between the job and its chip,
// and its progress display through a ProgressSink wrapper. Both sides are
// measured page by page in the same run, so a busy machine slows them alike
// instead of skewing two separate runs.
#pragma once

#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "jobs/Job.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// CPU time of the calling thread: what the job itself spends, whatever else
// the machine runs meanwhile.
inline int64_t ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

// From a job's first page command to its last.
struct JobClock {
    bool any = false;
    Clock::time_point first;
    Clock::time_point last;
    Clock::duration bus{};
    Clock::duration progress{};
    Clock::duration file{};
    // The job thread's CPU time between one page command and the next.
    int64_t ownCpuNs = 0;
    int64_t lastCpuNs = 0;

    void Reset() { *this = JobClock(); }
    void AddBus(Clock::time_point start, Clock::time_point end) {
        if (!any) first = start;
        any = true;
        last = end;
        bus += end - start;
    }
    double PercentOfBus(Clock::duration part) const {
        return bus.count() > 0 ? 100.0 * static_cast<double>(part.count()) / static_cast<double>(bus.count()) : -1.0;
    }
    double OverheadPercent() const { return any ? PercentOfBus((last - first) - bus) : -1.0; }
    // The job's own time in seconds: the same on a Pi, where the bus time
    // is several times longer than the simulated chip's.
    double OwnSeconds() const { return any ? std::chrono::duration<double>((last - first) - bus).count() : -1.0; }
    // The same as CPU time of the job's thread: on a machine busy with other
    // work, the wall time between commands also holds the time the thread
    // waited for a processor.
    double OwnCpuSeconds() const { return any ? static_cast<double>(ownCpuNs) / 1e9 : -1.0; }

    // Around each page command.
    Clock::time_point CommandBegins() {
        if (any) ownCpuNs += ThreadCpuNs() - lastCpuNs;
        return Clock::now();
    }
    void CommandEnded(Clock::time_point start) {
        AddBus(start, Clock::now());
        lastCpuNs = ThreadCpuNs();
    }
};

// One job's figures as `front.job.name = value` lines: its wall time, its own
// time beside the bus's, and the shares of its display (where the front end
// has one to time) and of its file.
inline void PrintJobFigures(const char* front, const char* job, double seconds, const JobClock& clock,
                            bool withProgress) {
    std::printf("%s.%s.seconds = %.3f\n", front, job, seconds);
    std::printf("%s.%s.own_seconds = %.3f\n", front, job, clock.OwnSeconds());
    std::printf("%s.%s.own_cpu_seconds = %.3f\n", front, job, clock.OwnCpuSeconds());
    std::printf("%s.%s.overhead_percent = %.2f\n", front, job, clock.OverheadPercent());
    if (withProgress)
        std::printf("%s.%s.progress_percent = %.2f\n", front, job, clock.PercentOfBus(clock.progress));
    std::printf("%s.%s.file_percent = %.2f\n", front, job, clock.PercentOfBus(clock.file));
}

// The page commands of `chip`, timed into `clock`. The probe a job makes
// before its file is chosen moves no data and is no page: it is passed
// through untimed, so that choosing the file does not count as the job's.
class TimedChip final : public ChipPort {
public:
    TimedChip(ChipPort& chip, JobClock& clock) : chip_(chip), clock_(clock) {}
    int16_t ReadPage(uint32_t row, uint32_t rowLimit, int32_t length, uint8_t* buf) override {
        if (length == 0) return chip_.ReadPage(row, rowLimit, length, buf);
        const Clock::time_point start = clock_.CommandBegins();
        const int16_t result = chip_.ReadPage(row, rowLimit, length, buf);
        clock_.CommandEnded(start);
        return result;
    }
    int16_t ProgramPage(uint32_t row, uint32_t rowLimit, int32_t length, const uint8_t* data) override {
        const Clock::time_point start = clock_.CommandBegins();
        const int16_t result = chip_.ProgramPage(row, rowLimit, length, data);
        clock_.CommandEnded(start);
        return result;
    }
    int32_t EraseBlock(int32_t row, int32_t rowLimit) override { return chip_.EraseBlock(row, rowLimit); }
    bool LastWaitSawBusy() const override { return chip_.LastWaitSawBusy(); }
    void UseChipEnable(int cePin) override { chip_.UseChipEnable(cePin); }

private:
    ChipPort& chip_;
    JobClock& clock_;
};

// The progress display's Update, timed into `clock`.
class TimedProgress final : public ProgressSink {
public:
    TimedProgress(ProgressSink& progress, JobClock& clock) : progress_(progress), clock_(clock) {}
    void Begin(const char* title, const char* message, int32_t maximum, int64_t units, int64_t unitBytes) override {
        progress_.Begin(title, message, maximum, units, unitBytes);
    }
    void Update(int32_t value) override {
        const Clock::time_point start = Clock::now();
        progress_.Update(value);
        clock_.progress += Clock::now() - start;
    }
    void Tick(int64_t unitsDone) override { progress_.Tick(unitsDone); }
    bool StopRequested() override { return progress_.StopRequested(); }
    void End() override { progress_.End(); }

private:
    ProgressSink& progress_;
    JobClock& clock_;
};

}  // namespace bench
