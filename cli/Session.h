// What a command runs with: its checked arguments, the console's log and
// progress bar, the chip, and the front end's state between jobs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "cli/ChipPlan.h"
#include "cli/Console.h"
#include "cli/Options.h"
#include "jobs/Jobs.h"

struct Command;

class Session {
public:
    Session(const Command& run, const Args& checked, Console& console, ChipPort& port)
        : command(run), args(checked), log(console.log), progress(console.progress), chip(port),
          job_{log, progress, chip} {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const Command& command;
    const Args& args;
    ConsoleLog& log;
    ConsoleProgress& progress;
    ChipPort& chip;

    // The context of every job the command runs: its result adds them up.
    JobContext& Job() { return job_; }
    const JobResult& Result() const { return job_.result; }
    // The plan the command's jobs went by, once one was accepted.
    std::optional<ChipPlan> plan;
    // The command's own keys in its --json object, as JSON text.
    std::string reportMembers;
    // The bus as Detect and the wiring check see it.
    BusPort& Bus() { return bus_; }
    // What the erase runs of this session leave for a blank check.
    EraseRecord& Record() { return record_; }

    // Maps the GPIO block and readies the bus, the first time only, once this
    // process holds the bus's lock. 0, or the exit status of a bus another
    // process holds, after saying which.
    int StartBus();
    // One line on standard error, "ferrik-cli: " first.
    void Say(const std::string& line) const;
    // A usage error found after the arguments were read (a value that turned
    // out unusable once the chip was asked, say): its line and the line that
    // points to the command's help on standard error, and the exit status of
    // a usage error.
    int UsageError(const std::string& line) const;
    // The exit status of a job's outcome. An interrupted job first gets the
    // line that says where it stopped: at which page, or block for `unit`
    // "block".
    int Finish(const Outcome& outcome, const char* unit);
    // A stop asked for before `what` began: the line, then the status.
    int StoppedBefore(const char* what);

private:
    JobContext job_;
    WholeBus bus_;
    int32_t pagesPerBlock_ = 0;
    int32_t badBlocks_[BAD_BLOCK_SLOTS] = {};
    int32_t badBlocksWritten_ = 0;
    EraseRecord record_{pagesPerBlock_, badBlocks_, badBlocksWritten_};
};

// The dump file named on the command line: no dialog, the path as given.
class NamedFile final : public PathChooser {
public:
    explicit NamedFile(std::string path) : path_(std::move(path)) {}
    bool Choose(FileUse, std::string& path) override {
        path = path_;
        return true;
    }
    bool TellsWhyNotCreated() const override { return true; }
    void NotCreated(const std::string& path, const std::string& why) override;

private:
    std::string path_;
};
