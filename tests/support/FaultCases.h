// Helpers for the fault matrix and for tests that count the chip's
// operations: the probe read every chip job sends first, the rights and
// limits a case takes away from the process around one job, and the windows
// a job may leave behind.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimNand.h"
#include "support/NoCopies.h"

class wxWindow;

namespace ferrik_test {

// Read dump, Write, Verify, Erase and Blank check first ask the chip once: a
// READ of row 0 that moves no byte. True for that operation.
bool IsProbeRead(const sim::ChipOp& op);
// The chip's operations (of one kind) after the probe read that starts them;
// all of them when the first operation is not the probe.
std::vector<sim::ChipOp> OpsAfterProbe(const sim::SimNandChip& chip);
std::vector<sim::ChipOp> OpsAfterProbe(const sim::SimNandChip& chip, sim::ChipOp::Kind kind);
std::vector<uint32_t> RowsAfterProbe(const sim::SimNandChip& chip, sim::ChipOp::Kind kind);
// The chip was asked the probe read and nothing else.
bool OnlyTheProbe(const sim::SimNandChip& chip);

// While alive, the process works without CAP_DAC_OVERRIDE and
// CAP_DAC_READ_SEARCH in its effective set, so that file modes stop root as
// they stop a user. Put back as they were by the destructor.
class FileModesEnforced : NoCopies {
public:
    FileModesEnforced();
    ~FileModesEnforced();

private:
    uint32_t effective_[2] = {};
    bool saved_ = false;
};

// While alive, no file of the process may grow beyond `bytes`: a write past
// it fails with EFBIG, as a write to a full disk fails with ENOSPC. SIGXFSZ,
// which would end the process, is ignored meanwhile.
class FileSizeLimit : NoCopies {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();

private:
    rlimit old_{};
    struct sigaction oldAction_{};
};

// Top-level windows alive (not being deleted) other than `frame`.
std::vector<std::string> OtherTopLevelWindows(const wxWindow* frame);

// The text with the number after every "End time = " replaced by "#"; fails
// the test where no number follows.
std::string TimesMasked(std::string text);

}  // namespace ferrik_test
