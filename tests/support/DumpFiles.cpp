#include "support/DumpFiles.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/progdlg.h>
#include <wx/utils.h>
#include <wx/toplevel.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "sim/SimGpio.h"

namespace ferrik_test {

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0;
}

int OpenDescriptorCount() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int count = 0;
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
    return count - 3;  // ".", ".." and the directory's own descriptor
}

void WarmUpFileDialogs(wxWindow* parent, const std::string& directory) {
    static bool warm = false;
    if (warm) return;
    warm = true;
    const std::string path = directory + "/warm-up";
    WriteBytes(path, Bytes(1, 0));
    {
        FileDialogAnswers answers({path, path, "", ""});
        wxFileDialog open(parent, "warm-up", wxEmptyString, wxEmptyString, "*", wxFD_OPEN | wxFD_FILE_MUST_EXIST);
        open.ShowModal();
        wxFileDialog save(parent, "warm-up", wxEmptyString, "name", "*", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        save.ShowModal();
        // Cancelled at once, a dialog still lists the working folder and
        // starts watching the mounts.
        wxFileDialog cancelledOpen(parent, "warm-up", wxEmptyString, wxEmptyString, "*", wxFD_OPEN);
        cancelledOpen.ShowModal();
        wxFileDialog cancelledSave(parent, "warm-up", wxEmptyString, "name", "*", wxFD_SAVE);
        cancelledSave.ShowModal();
    }
    std::remove(path.c_str());
    for (int i = 0; i < 30; ++i) {
        wxYield();
        wxMilliSleep(10);
    }
}

int SettledDescriptorCount(int expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int count = OpenDescriptorCount();
    while (count != expected && std::chrono::steady_clock::now() < deadline) {
        wxYield();
        wxMilliSleep(5);
        count = OpenDescriptorCount();
    }
    return count;
}

int ProgressDialogsAlive() {
    int count = 0;
    for (wxWindow* window : wxTopLevelWindows) {
        if (dynamic_cast<wxProgressDialog*>(window) != nullptr && !window->IsBeingDeleted()) ++count;
    }
    return count;
}

Bytes ChipImage(const sim::SimNandChip& chip, int pages) {
    Bytes image;
    for (int row = 0; row < pages; ++row) {
        const Bytes page = chip.Page(row);
        image.insert(image.end(), page.begin(), page.end());
    }
    return image;
}

Bytes PatternImage(int pages, int pageBytes, int markByte, int first) {
    Bytes image;
    for (int row = first; row < first + pages; ++row) {
        Bytes page = PatternPage(row, pageBytes);
        if (markByte >= 0) page[static_cast<size_t>(markByte)] = 0xFF;
        image.insert(image.end(), page.begin(), page.end());
    }
    return image;
}

Bytes PatternPage(int row, int pageBytes) {
    Bytes page(static_cast<size_t>(pageBytes));
    uint32_t x = 0x9E3779B9u * static_cast<uint32_t>(row + 1);
    for (int i = 0; i < pageBytes; ++i) {
        x = x * 1664525u + 1013904223u;
        page[static_cast<size_t>(i)] = static_cast<uint8_t>((x >> 24) % 0xFF);  // never 0xFF
    }
    return page;
}

std::vector<sim::ChipOp> OpsOfKind(const sim::SimNandChip& chip, sim::ChipOp::Kind kind) {
    std::vector<sim::ChipOp> ops;
    for (const sim::ChipOp& op : chip.Ops())
        if (op.kind == kind) ops.push_back(op);
    return ops;
}

namespace {
constexpr uint32_t kRbPin = 1u << 10;
}

BusyHoldingSocket::BusyHoldingSocket(const sim::SimNandChip* chip, std::vector<int> rows)
    : socket_(&sim::Socket()), chip_(chip), rows_(std::move(rows)) {
    sim::SimGpio::Instance().Plug(this);
}

BusyHoldingSocket::~BusyHoldingSocket() { sim::SimGpio::Instance().Plug(socket_); }

void BusyHoldingSocket::OnPiWrite(uint32_t piLevels, uint32_t piOutputs) {
    socket_->OnPiWrite(piLevels, piOutputs);
}

sim::SocketDrive BusyHoldingSocket::OnPiRead(uint32_t piLevels, uint32_t piOutputs) {
    const sim::SocketDrive drive = socket_->OnPiRead(piLevels, piOutputs);
    if (chip_->Ops().size() != opsSeen_) hold_ = HoldAfterLastOp();
    if (!hold_) return drive;
    return {drive.levels & ~kRbPin, drive.driven | kRbPin};
}

// Out of line, as the socket's own data path is (see sim::SocketDrive).
[[gnu::noinline]] bool BusyHoldingSocket::HoldAfterLastOp() {
    const std::vector<sim::ChipOp>& ops = chip_->Ops();
    opsSeen_ = ops.size();
    if (ops.empty()) return false;
    const sim::ChipOp& last = ops.back();
    return last.kind == sim::ChipOp::Program &&
           std::find(rows_.begin(), rows_.end(), static_cast<int>(last.row)) != rows_.end();
}

FileDialogAnswersThen::FileDialogAnswersThen(std::vector<std::string> answers, std::function<void()> after)
    : FileDialogAnswers(std::move(answers)), after_(std::move(after)) {}

int FileDialogAnswersThen::Enter(wxDialog* dialog) {
    const int result = FileDialogAnswers::Enter(dialog);
    if (result == wxID_OK && after_) after_();
    return result;
}

}  // namespace ferrik_test
