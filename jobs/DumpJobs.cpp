#include "jobs/DumpJobs.h"

#include <cerrno>
#include <cstring>

#include "jobs/BadBlocks.h"

const DumpJob READ_DUMP_JOB = {
    true, "Save bin file", "name_dump", true, "\nSave in File = ", false, "Error create file \n", false,
};

const DumpJob WRITE_JOB = {
    false, "Open bin file", "", false, "\nOpen file for write = ", true, "Error open file\n", false,
};

const DumpJob VERIFY_JOB = {
    false, "Open bin file", "", false, "\nOpen File for verify = ", true, "Error open file\n", true,
};

bool AcceptGeometry(JobLog& log, const Geometry& geometry, GeometryUse use) {
    const char* refusal = GeometryRefusal(geometry, use);
    if (refusal == nullptr) return true;
    log.RedThenBlue(refusal);
    return false;
}

bool ChipAnswers(JobLog& log, ChipPort& chip, int32_t rowMax) {
    uint8_t none = 0;
    chip.ReadPage(0, static_cast<uint32_t>(rowMax), 0, &none);
    if (chip.LastWaitSawBusy()) return true;
    log.RedThenBlue("Error, no chip answers on CE0: R/B# never went low\n");
    return false;
}

JobStatus OpenDumpFile(JobLog& log, PathChooser& chooser, const DumpJob& job, DumpFile& file) {
    std::string path;
    if (!chooser.Choose(job, path)) return JobStatus::Cancelled;
    log.Put(job.pathLabel);
    log.Put(path);
    if (job.newlineAfterPath) log.Put("\n");
    if (job.savesFile ? file.CreateToWrite(path) : file.OpenToRead(path)) return JobStatus::Done;
    if (job.savesFile && chooser.TellsWhyNotCreated()) {
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

void LogDumpWriteError(JobLog& log, int error) {
    log.Red();
    log.Put("Error write file, the dump is incomplete: ");
    log.Put(std::strerror(error));
    log.Put("\n");
    log.Blue();
}

bool RowsOnChip(const RowRange& asked, int32_t rowMax, RowRange& rows) {
    if (asked.last < asked.first) {
        rows.first = 0;
        rows.last = rowMax;
        return true;
    }
    if (asked.first < 0 || asked.last > rowMax) return false;
    rows = asked;
    return true;
}

JobStatus CheckBeforeChip(JobLog& log, ChipPort& chip, const Geometry& geometry, GeometryUse use, bool readsMarks,
                          const RowRange& asked, RowRange& rows) {
    if (!AcceptGeometry(log, geometry, use)) return JobStatus::Refused;
    if (readsMarks) {
        if (const char* refusal = MarkGeometryRefusal(geometry)) {
            log.RedThenBlue(refusal);
            return JobStatus::Refused;
        }
    }
    if (!RowsOnChip(asked, geometry.rowMax, rows)) {
        log.RedThenBlue("Error, the range lies beyond the chip\n");
        return JobStatus::Refused;
    }
    if (!ChipAnswers(log, chip, geometry.rowMax)) return JobStatus::NoAnswer;
    return JobStatus::Done;
}
