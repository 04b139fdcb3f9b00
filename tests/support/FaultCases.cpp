#include "support/FaultCases.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <wx/toplevel.h>

#include <cctype>
#include <typeinfo>

namespace ferrik_test {

bool IsProbeRead(const sim::ChipOp& op) {
    return op.kind == sim::ChipOp::Read && op.row == 0 && op.column == 0 && op.length == 0;
}

std::vector<sim::ChipOp> OpsAfterProbe(const sim::SimNandChip& chip) {
    const std::vector<sim::ChipOp>& ops = chip.Ops();
    const size_t first = !ops.empty() && IsProbeRead(ops.front()) ? 1 : 0;
    return std::vector<sim::ChipOp>(ops.begin() + static_cast<long>(first), ops.end());
}

std::vector<sim::ChipOp> OpsAfterProbe(const sim::SimNandChip& chip, sim::ChipOp::Kind kind) {
    std::vector<sim::ChipOp> ops;
    for (const sim::ChipOp& op : OpsAfterProbe(chip))
        if (op.kind == kind) ops.push_back(op);
    return ops;
}

std::vector<uint32_t> RowsAfterProbe(const sim::SimNandChip& chip, sim::ChipOp::Kind kind) {
    std::vector<uint32_t> rows;
    for (const sim::ChipOp& op : OpsAfterProbe(chip, kind)) rows.push_back(op.row);
    return rows;
}

bool OnlyTheProbe(const sim::SimNandChip& chip) { return chip.Ops().size() == 1 && IsProbeRead(chip.Ops()[0]); }

namespace {
constexpr uint32_t Bit(int capability) { return 1u << (capability % 32); }
}  // namespace

FileModesEnforced::FileModesEnforced() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return;
    effective_[0] = data[0].effective;
    effective_[1] = data[1].effective;
    saved_ = true;
    data[CAP_DAC_OVERRIDE / 32].effective &= ~Bit(CAP_DAC_OVERRIDE);
    data[CAP_DAC_READ_SEARCH / 32].effective &= ~Bit(CAP_DAC_READ_SEARCH);
    syscall(SYS_capset, &header, data);
}

FileModesEnforced::~FileModesEnforced() {
    if (!saved_) return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return;
    data[0].effective = effective_[0];
    data[1].effective = effective_[1];
    syscall(SYS_capset, &header, data);
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &oldAction_);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    sigaction(SIGXFSZ, &oldAction_, nullptr);
}

std::vector<std::string> OtherTopLevelWindows(const wxWindow* frame) {
    std::vector<std::string> others;
    for (wxWindow* window : wxTopLevelWindows) {
        if (window == frame || window->IsBeingDeleted()) continue;
        others.push_back(std::string(typeid(*window).name()) + " \"" +
                         std::string(window->GetLabel().utf8_str().data()) + "\"");
    }
    return others;
}

std::string TimesMasked(std::string text) {
    const std::string key = "End time = ";
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const size_t begin = at + key.size();
        size_t end = begin;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        EXPECT_GT(end, begin) << "no time after End time";
        text.replace(begin, end - begin, "#");
    }
    return text;
}

}  // namespace ferrik_test
