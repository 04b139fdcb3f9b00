#include "jobs/DumpFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The stdio buffer of a dump file read. The default one (4 KiB) costs a
// system call every two pages; with this one a read of a whole-chip dump
// spends about a quarter as long in file calls.
constexpr size_t FILE_BUFFER_BYTES = 1 << 20;

// The writer's buffers: the job fills one while the thread writes out the
// others. Several, so that a disk that stalls for a moment (another program
// flushing its own writes) does not stall the job; each small enough that a
// failed write stops the job soon after, large enough that a write costs one
// system call per hundred pages.
constexpr size_t WRITE_CHUNK_BYTES = 256 << 10;
constexpr size_t WRITE_CHUNKS = 8;

// 0, or the errno of the write that failed.
int WriteAll(int fd, const uint8_t* bytes, size_t count) {
    while (count != 0) {
        const ssize_t n = write(fd, bytes, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes += n;
        count -= static_cast<size_t>(n);
    }
    return 0;
}

}  // namespace

// The thread that writes a dump out, chunk after chunk, while the job fills
// the next.
class DumpFile::Writer {
public:
    explicit Writer(int fd) : fd_(fd), chunks_(WRITE_CHUNKS, std::vector<uint8_t>(WRITE_CHUNK_BYTES)),
                              sizes_(WRITE_CHUNKS), thread_([this] { Run(); }) {}
    ~Writer() { Stop(false); }

    bool Append(const uint8_t* bytes, size_t count) {
        while (count != 0) {
            if (error_.load(std::memory_order_relaxed) != 0) break;
            const size_t n = std::min(count, WRITE_CHUNK_BYTES - gathered_);
            std::memcpy(chunks_[filling_].data() + gathered_, bytes, n);
            gathered_ += n;
            bytes += n;
            count -= n;
            if (gathered_ == WRITE_CHUNK_BYTES && !HandOver()) return false;
        }
        return !Failed();
    }

    // Ends the thread; with `flush`, once it has written all it was given.
    // False, with errno set, when some write failed.
    bool Stop(bool flush) {
        if (!thread_.joinable()) return !Failed();
        if (flush) HandOver();
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (flush) changed_.wait(lock, [this] { return queued_ == 0 || Failed(); });
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
        return !Failed();
    }

private:
    bool Failed() const {
        const int error = error_.load(std::memory_order_relaxed);
        if (error == 0) return false;
        errno = error;
        return true;
    }

    // Queues the chunk being filled and moves on to the next, once that one
    // has been written out.
    bool HandOver() {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return queued_ < WRITE_CHUNKS - 1 || Failed(); });
            if (Failed()) return false;
            if (gathered_ == 0) return true;
            sizes_[filling_] = gathered_;
            ++queued_;
            filling_ = (filling_ + 1) % WRITE_CHUNKS;
            gathered_ = 0;
        }
        changed_.notify_all();
        return true;
    }

    void Run() {
        // The window runs its jobs at real-time priority, which a new thread
        // inherits; writing to the disk needs none, and at it the thread would
        // hold a processor away from the desktop while it copies.
        sched_param normal{};
        pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return queued_ != 0 || stop_; });
            if (stop_) return;
            const size_t chunk = next_;
            lock.unlock();
            // After a failure the rest is not written: the dump is lost.
            const int error = error_.load(std::memory_order_relaxed) == 0
                                  ? WriteAll(fd_, chunks_[chunk].data(), sizes_[chunk])
                                  : 0;
            lock.lock();
            if (error != 0) error_.store(error, std::memory_order_relaxed);
            next_ = (next_ + 1) % WRITE_CHUNKS;
            --queued_;
            changed_.notify_all();
        }
    }

    const int fd_;
    std::vector<std::vector<uint8_t>> chunks_;
    std::vector<size_t> sizes_;
    size_t filling_ = 0;   // the job's chunk: the one after those queued
    size_t gathered_ = 0;
    size_t next_ = 0;      // the first of those queued
    size_t queued_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::atomic<int> error_{0};
    std::thread thread_;  // last: it starts once the rest is in place
};

DumpFile::DumpFile() = default;

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
    if (!fresh_.Create(path, FreshFile::Links::Follow)) return false;
    writing_ = true;
    return true;
}

bool DumpFile::Append(const void* bytes, size_t count) {
    if (fresh_.Fd() < 0) {
        errno = EBADF;
        return false;
    }
    if (!writer_) writer_.reset(new Writer(fresh_.Fd()));
    return writer_->Append(static_cast<const uint8_t*>(bytes), count);
}

bool DumpFile::StopWriter(bool flush) {
    if (!writer_) return true;
    const bool written = writer_->Stop(flush);
    const int error = errno;
    writer_.reset();
    errno = error;
    return written;
}

void DumpFile::Close() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    file_ = nullptr;
}

bool DumpFile::Commit() {
    std::string kept;
    return Finish(nullptr, kept);
}

bool DumpFile::KeepPartial(std::string& kept) { return Finish(".partial", kept); }

bool DumpFile::Finish(const char* suffix, std::string& kept) {
    if (!writing_) return true;
    writing_ = false;
    errno = 0;
    if (!StopWriter(true)) {
        const int error = errno;
        fresh_.Abandon();
        errno = error;
        return false;
    }
    kept = fresh_.Target() + (suffix != nullptr ? suffix : "");
    return fresh_.KeepAs(kept);
}

void DumpFile::Abandon() {
    if (!writing_) return;
    writing_ = false;
    StopWriter(false);
    fresh_.Abandon();
}

int64_t DumpFile::Size() const {
    struct stat info {};
    if (file_ == nullptr || fstat(fileno(file_), &info) != 0) return 0;
    return static_cast<int64_t>(info.st_size);
}
