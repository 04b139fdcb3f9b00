#include "bus/BusLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Whether this process holds the locks. Their files stay open for the life
// of the process: closed only by its end, which releases the locks after
// every exit handler (the bus's park among them) has run.
bool locked = false;

// The process that holds an flock on the file open at fd, as /proc/locks
// tells it (in this process's view of process ids); 0 when it does not.
long Holder(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return 0;
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:%lu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long>(info.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream words(line);
        std::string number, kind, advisory, access, where;
        long pid = 0;
        if (!(words >> number >> kind) || kind != "FLOCK") continue;
        if (words >> advisory >> access >> pid >> where && where == device && pid > 0) return pid;
    }
    return 0;
}

struct LockFile {
    int fd;
    std::string what;
};

// The files whose locks stand for the bus, open; none when there is nothing
// to lock.
std::vector<LockFile> OpenLockFiles() {
    std::vector<LockFile> files;
#ifdef FERRIK_GPIO_SIM
    // One image per chip enable, comma-separated. An image that is not there
    // yet, or cannot be read, is the simulated chip's own business: it says
    // what is wrong with it.
    const char* images = std::getenv("FERRIK_SIM_IMAGE");
    if (images == nullptr) return files;
    const std::string list = images;
    for (size_t start = 0; start <= list.size();) {
        const size_t end = std::min(list.find(',', start), list.size());
        const std::string image = list.substr(start, end - start);
        const int fd = image.empty() ? -1 : open(image.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) files.push_back({fd, "the chip image " + image});
        start = end + 1;
    }
#else
    // In the order the bus tries them when it maps the block: every process
    // that can map it locks the same device. Only a Pi 5 has /dev/gpiomem0.
    for (const char* device : {"/dev/gpiomem0", "/dev/gpiomem", "/dev/mem"}) {
        const int fd = open(device, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            files.push_back({fd, "the GPIO bus"});
            break;
        }
    }
#endif
    return files;
}

}  // namespace

bool TakeBusLock(std::string& refusal) {
    if (locked) return true;
    refusal.clear();
    const std::vector<LockFile> files = OpenLockFiles();
    for (const LockFile& file : files) {
        if (flock(file.fd, LOCK_EX | LOCK_NB) == 0) continue;
        const int error = errno;
        if (error == EWOULDBLOCK) {
            const long pid = Holder(file.fd);
            refusal = file.what + " is in use by " +
                      (pid > 0 ? "process " + std::to_string(pid) : "another process") +
                      ": one process drives it at a time";
        } else {
            refusal = "cannot lock " + file.what + ": " + std::strerror(error);
        }
        for (const LockFile& taken : files) close(taken.fd);
        return false;
    }
    locked = true;
    return true;
}
