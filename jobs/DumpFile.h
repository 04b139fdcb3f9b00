// Dump files: headerless, one record of page plus spare bytes per row.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "chip/FreshFile.h"

// A dump file open for one job, closed on every way out.
//
// Reading opens only a regular file, and never waits: a named pipe would
// block the open until some writer came, and a device or folder is no dump.
//
// Writing goes to a fresh temporary file beside the chosen path; Commit
// moves it into place only once it is complete and closed, so that a failed
// or interrupted dump (a full disk, an I/O error, a signal) never cuts the
// file it was to replace. A link is followed to its file; a link to nothing
// is refused.
// The bytes are written out by a thread of the file's own while the job goes
// on with the chip: the disk's time (an SD card's, on a Pi) overlaps the
// bus's instead of adding to it.
class DumpFile {
public:
    DumpFile();
    ~DumpFile();
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    bool OpenToRead(const std::string& path);
    bool CreateToWrite(const std::string& path);
    // Why the last CreateToWrite failed, in plain words.
    const std::string& WhyNotCreated() const { return fresh_.Why(); }
    // The stream of a file opened to read.
    std::FILE* Get() const { return file_; }
    // Bytes in the file now; 0 when that cannot be told.
    int64_t Size() const;
    // Appends to a file opened to write. False, with errno set, once a write
    // has failed: the dump can no longer be whole. A failure shows at a later
    // append than the bytes it lost, or at Commit.
    bool Append(const void* bytes, size_t count);

    // Closes a file opened to read.
    void Close();
    // Closes a file opened to write and puts it in place; false, with errno
    // set, when its bytes could not all be written out or it could not be
    // moved into place. The temporary file is then removed.
    bool Commit();
    // Closes a file opened to write and removes what was written.
    void Abandon();
    // Closes a file opened to write that holds only part of what it was to
    // hold, and keeps it under the chosen path with ".partial" added, which
    // `kept` gets; the file at the chosen path stays as it was. False, with
    // errno set, when it could not be written out or moved.
    bool KeepPartial(std::string& kept);

private:
    class Writer;
    void UseBuffer();
    // Stops the writer; with `flush` after it has written what it was given.
    bool StopWriter(bool flush);
    // Writes out what is left and moves the file to the chosen path, with
    // `suffix` added when there is one.
    bool Finish(const char* suffix, std::string& kept);

    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    FreshFile fresh_;  // the file being written
    std::unique_ptr<Writer> writer_;
    bool writing_ = false;
};
