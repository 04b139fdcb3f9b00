#include "jobs/DumpFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// The stdio buffer of a dump file. The default one (4 KiB) costs a system
// call every two pages; with this one a whole-chip dump spends about half as
// long in file calls, and a read of one about a quarter.
constexpr size_t FILE_BUFFER_BYTES = 1 << 20;

// The file a path names, following symbolic links, so that a dump chosen
// through a link replaces the file it points to and the link stays a link.
std::string Resolved(const std::string& path) {
    struct stat info{};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return path;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

DumpFile::~DumpFile() {
    if (writing_) {
        Abandon();
    } else {
        Close();
    }
}

void DumpFile::UseBuffer() {
    if (!buffer_) buffer_.reset(new char[FILE_BUFFER_BYTES]);
    std::setvbuf(file_, buffer_.get(), _IOFBF, FILE_BUFFER_BYTES);
}

bool DumpFile::OpenToRead(const std::string& path) {
    Close();
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info{};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        errno = EINVAL;
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file_ = fdopen(fd, "rb");
    if (file_ == nullptr) {
        close(fd);
        return false;
    }
    UseBuffer();
    return true;
}

bool DumpFile::CreateToWrite(const std::string& path) {
    Close();
    target_ = Resolved(path);
    temporary_.clear();

    // Only a regular file, or no file yet, can take a dump: never wait on a
    // pipe, never write into a device or a folder.
    struct stat info{};
    const bool exists = stat(target_.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return false;
    }
    if (!exists && errno != ENOENT) return false;
    // A file its owner may not write keeps its content, as it always has:
    // the new dump must not slip past that by taking the file's place.
    if (exists) {
        const int probe = open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0) return false;
        close(probe);
    }
    // The new dump keeps an old file's mode; a new file gets the usual one.
    mode_t mode = 0666;
    if (exists) {
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }

    std::string pattern = FolderOf(target_) + "/." + NameOf(target_) + ".XXXXXX";
    int fd = mkostemp(&pattern[0], O_CLOEXEC);
    if (fd >= 0) {
        temporary_ = pattern;
        fchmod(fd, mode);
    } else {
        // A folder that takes no new file can still hold a file that may be
        // rewritten in place; only then is the dump written there directly.
        if (!exists) return false;
        fd = open(target_.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        const int error = errno;
        close(fd);
        if (!temporary_.empty()) unlink(temporary_.c_str());
        errno = error;
        return false;
    }
    writing_ = true;
    UseBuffer();
    return true;
}

void DumpFile::Close() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    file_ = nullptr;
}

bool DumpFile::Commit() {
    if (file_ == nullptr) return true;
    writing_ = false;
    errno = 0;
    const bool flushed = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    int error = errno;
    const bool closed = std::fclose(file_) == 0;
    if (flushed && !closed) error = errno;
    file_ = nullptr;
    if (!flushed || !closed) {
        if (!temporary_.empty()) unlink(temporary_.c_str());
        errno = error;
        return false;
    }
    if (!temporary_.empty() && rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = errno;
        unlink(temporary_.c_str());
        errno = error;
        return false;
    }
    return true;
}

void DumpFile::Abandon() {
    if (file_ == nullptr) return;
    writing_ = false;
    std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) unlink(temporary_.c_str());
}

int64_t DumpFile::Size() const {
    struct stat info {};
    if (file_ == nullptr || fstat(fileno(file_), &info) != 0) return 0;
    return static_cast<int64_t>(info.st_size);
}
