// Helpers for tests of the jobs that read and write dump files: scratch
// files, open descriptors and dialogs left behind, and a socket that holds
// R/B# low on command.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/SimNand.h"
#include "support/WxTest.h"

namespace ferrik_test {

using Bytes = std::vector<uint8_t>;

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);
bool FileExists(const std::string& path);

// Entries of /proc/self/fd: the descriptors this process holds open.
int OpenDescriptorCount();
// The count once GTK's idle work has closed what its file dialogs watched for
// a while (the mount table): waits up to 2 s for it to come back to expected.
int SettledDescriptorCount(int expected);
// GTK opens a file monitor with the first file dialog of the process and
// keeps it: shows one dialog on `directory` so that later counts compare.
void WarmUpFileDialogs(wxWindow* parent, const std::string& directory);
// Progress dialogs among the top-level windows still alive.
int ProgressDialogsAlive();

// The dump layout of a chip's content: every page with its spare area.
Bytes ChipImage(const sim::SimNandChip& chip, int pages);
// Content for page `row` of pageBytes bytes that differs from page to page
// and holds no 0xFF run long enough to look erased.
Bytes PatternPage(int row, int pageBytes);
// A dump of `pages` records of PatternPage content, from row `first` on. With
// a `markByte` column, that byte of every record is 0xFF: no block then looks
// factory-marked bad to a job that honours the marks.
Bytes PatternImage(int pages, int pageBytes, int markByte = -1, int first = 0);

// The operations of one kind the chip carried out, in order.
std::vector<sim::ChipOp> OpsOfKind(const sim::SimNandChip& chip, sim::ChipOp::Kind kind);

// Stands between the GPIO block and the program's socket and, once `chip`
// has programmed one of `rows`, pulls R/B# low until the chip's next
// operation, as a chip that never finishes that program does. Plugged in by
// the constructor, the real socket plugged back by the destructor.
class BusyHoldingSocket : public sim::SimSocket {
public:
    BusyHoldingSocket(const sim::SimNandChip* chip, std::vector<int> rows);
    ~BusyHoldingSocket() override;
    void OnPiWrite(uint32_t piLevels, uint32_t piOutputs) override;
    sim::SocketDrive OnPiRead(uint32_t piLevels, uint32_t piOutputs) override;

private:
    bool HoldAfterLastOp();

    sim::SimSocket* socket_;  // the program's own
    const sim::SimNandChip* chip_;
    std::vector<int> rows_;
    // Asked at every poll of R/B#, 16 million times a time-out: worked out
    // again only when the chip has carried out a new operation.
    size_t opsSeen_ = 0;
    bool hold_ = false;
};

// Answers file dialogs like FileDialogAnswers and runs `after` once a dialog
// has been answered with a path (before the job opens it).
class FileDialogAnswersThen : public FileDialogAnswers {
public:
    FileDialogAnswersThen(std::vector<std::string> answers, std::function<void()> after);
    int Enter(wxDialog* dialog) override;

private:
    std::function<void()> after_;
};

}  // namespace ferrik_test
