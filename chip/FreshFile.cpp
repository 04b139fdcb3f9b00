#include "chip/FreshFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

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

// The fresh file's name: hidden, after the target's, short enough to be a
// name of its own beside a target whose name is as long as names go.
constexpr size_t NAME_KEPT = 200;

bool Fail(std::string& why, const std::string& text, int error) {
    why = text;
    errno = error;
    return false;
}

// The path with its folder's links and dots resolved; the path as it is when
// its folder is not there.
std::string Placed(const std::string& path) {
    char* folder = realpath(FolderOf(path).c_str(), nullptr);
    if (folder == nullptr) return path;
    std::string placed = std::string(folder) + "/" + NameOf(path);
    std::free(folder);
    return placed;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    const bool firstThere = stat(a.c_str(), &first) == 0;
    const bool secondThere = stat(b.c_str(), &second) == 0;
    if (firstThere && secondThere) return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    if (firstThere != secondThere) return false;
    return Placed(a) == Placed(b);
}

bool FreshFile::Create(const std::string& path, Links links) {
    Abandon();
    why_.clear();
    target_ = path;
    struct stat info {};
    bool exists = lstat(path.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return Fail(why_, std::strerror(errno), errno);
    if (exists && S_ISLNK(info.st_mode)) {
        if (links == Links::Follow) {
            // As the simulated chip's image: a link to nothing is refused,
            // not replaced by a file and not followed into a file made there.
            char* real = realpath(path.c_str(), nullptr);
            if (real == nullptr) {
                const int error = errno;
                return Fail(why_, error == ENOENT ? "it is a link to a file that does not exist" : std::strerror(error),
                            error);
            }
            target_ = real;
            std::free(real);
            exists = stat(target_.c_str(), &info) == 0;
            if (!exists) return Fail(why_, std::strerror(errno), errno);
        } else {
            exists = false;  // the link goes; the new file is a file of its own
        }
    }
    // Only a regular file, or no file yet, is replaced: never wait on a pipe,
    // never write into a device or a folder.
    if (exists && !S_ISREG(info.st_mode)) return Fail(why_, "it is not a regular file", EINVAL);
    // A file its owner may not write keeps its content, as it always has:
    // the new file must not slip past that by taking the file's place.
    if (exists) {
        const int probe = open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0) return Fail(why_, std::strerror(errno), errno);
        close(probe);
    }
    mode_t mode = 0666;
    if (exists) {
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }
    const std::string folder = FolderOf(target_);
    std::string pattern = folder + "/." + NameOf(target_).substr(0, NAME_KEPT) + ".XXXXXX";
    const int fd = mkostemp(&pattern[0], O_CLOEXEC);
    // Never the old file rewritten in place instead: it would be cut before
    // the first new byte was there to take its place.
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return Fail(why_, "there is no folder " + folder, error);
        return Fail(why_, "its folder " + folder + " takes no new file: " + std::strerror(error), error);
    }
    // The owner first: a change of owner clears the set-ID bits of the mode.
    if (exists && fchown(fd, info.st_uid, info.st_gid) != 0) {
        // Not ours to give away; the file stays the process's own.
    }
    fchmod(fd, mode);
    fd_ = fd;
    fresh_ = pattern;
    return true;
}

bool FreshFile::KeepAs(const std::string& path) {
    if (fd_ < 0) return true;
    errno = 0;
    bool done = fsync(fd_) == 0;
    int error = errno;
    if (close(fd_) != 0 && done) {
        done = false;
        error = errno;
    }
    fd_ = -1;
    if (done && rename(fresh_.c_str(), path.c_str()) != 0) {
        done = false;
        error = errno;
    }
    if (!done) unlink(fresh_.c_str());
    fresh_.clear();
    errno = error;
    return done;
}

void FreshFile::Abandon() {
    if (fd_ < 0) return;
    const int error = errno;
    close(fd_);
    fd_ = -1;
    unlink(fresh_.c_str());
    fresh_.clear();
    errno = error;
}
