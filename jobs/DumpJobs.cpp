#include "jobs/DumpJobs.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "jobs/BadBlocks.h"

namespace {

// How a dump job words its file in the log.
struct FileWords {
    bool saves;  // the file is written (read dump), not read
    const char* pathLabel;
    bool newlineAfterPath;
    const char* openFailure;
    bool openFailureInRed;  // verify frames its open failure in red and blue
};

const FileWords& WordsOf(FileUse use) {
    static const FileWords read = {true, "\nSave in File = ", false, "Error create file \n", false};
    static const FileWords write = {false, "\nOpen file for write = ", true, "Error open file\n", false};
    static const FileWords verify = {false, "\nOpen File for verify = ", true, "Error open file\n", true};
    return use == FileUse::SaveDump ? read : use == FileUse::WriteFrom ? write : verify;
}

}  // namespace

bool ChipAnswers(JobLog& log, ChipPort& chip, int32_t rowMax) {
    uint8_t none = 0;
    chip.ReadPage(0, static_cast<uint32_t>(rowMax), 0, &none);
    if (chip.LastWaitSawBusy()) return true;
    log.RedThenBlue("Error, no chip answers on CE" + std::to_string(log.FirstChipEnable()) +
                    ": R/B# never went low\n");
    return false;
}

JobStatus OpenDumpFile(JobLog& log, PathChooser& chooser, FileUse use, DumpFile& file) {
    const FileWords& job = WordsOf(use);
    std::string path;
    if (!chooser.Choose(use, path)) return JobStatus::Cancelled;
    log.Put(job.pathLabel);
    log.Put(path);
    if (job.newlineAfterPath) log.Put("\n");
    if (job.saves ? file.CreateToWrite(path) : file.OpenToRead(path)) return JobStatus::Done;
    if (job.saves && chooser.TellsWhyNotCreated()) {
        if (!job.newlineAfterPath) log.Put("\n");
        chooser.NotCreated(path, file.WhyNotCreated());
    }
    if (job.openFailureInRed) {
        log.RedThenBlue(job.openFailure);
    } else {
        log.Put(job.openFailure);
    }
    return JobStatus::FileError;
}

JobStatus StartFileJob(JobLog& log, JobContext& job, const JobPlan& plan, PathChooser& chooser, FileUse use,
                       DumpFile& file) {
    if (!ChipAnswers(log, job.chip, plan.geometry.rowMax)) return JobStatus::NoAnswer;
    return OpenDumpFile(log, chooser, use, file);
}

bool ReadDumpRecord(JobLog& log, DumpFile& file, int32_t pageTotal, uint8_t* buf, int64_t k) {
    const size_t wanted = static_cast<size_t>(pageTotal);
    if (std::fread(buf, 1, wanted, file.Get()) == wanted) return true;
    log.Red();
    log.Put(std::ferror(file.Get()) ? "Error read file after " : "Error, the file holds only ");
    log.Number("%d", static_cast<long>(k));
    log.Put(" whole records\n");
    log.Blue();
    return false;
}

int32_t CountErased(const uint8_t* bytes, int32_t count) {
    int32_t erased = 0;
    for (int32_t i = 0; i < count; ++i) erased += bytes[i] == 0xFF;
    return erased;
}

void LogRecordsLeft(JobLog& log, int64_t count, int64_t first, const char* rest) {
    log.Red();
    log.Put("Error, ");
    log.Count(static_cast<uint64_t>(count));
    log.Put(count == 1 ? " record of the file, from record " : " records of the file, from record ");
    log.Count(static_cast<uint64_t>(first));
    log.Put(" on, ");
    log.Put(rest);
    log.Put("\n");
    log.Blue();
}

void LogDumpWriteError(JobLog& log, int error) {
    log.Red();
    log.Put("Error write file, the dump is incomplete: ");
    log.Put(std::strerror(error));
    log.Put("\n");
    log.Blue();
}
