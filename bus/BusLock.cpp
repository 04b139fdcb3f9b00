#include "bus/BusLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// Held for the life of the process: closed only by its end, which releases
// the lock after every exit handler (the bus's park among them) has run.
int lockFd = -1;

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

// The file whose lock stands for the bus, named in `what`; -1 when there is
// nothing to lock.
int OpenLockFile(std::string& what) {
#ifdef FERRIK_GPIO_SIM
    const char* image = std::getenv("FERRIK_SIM_IMAGE");
    if (image == nullptr || *image == '\0') return -1;
    what = std::string("the chip image ") + image;
    // An image that is not there yet, or cannot be read, is the simulated
    // chip's own business: it says what is wrong with it.
    return open(image, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#else
    what = "the GPIO bus";
    // In the order the bus tries them when it maps the block: every process
    // that can map it locks the same device. Only a Pi 5 has /dev/gpiomem0.
    for (const char* device : {"/dev/gpiomem0", "/dev/gpiomem", "/dev/mem"}) {
        const int fd = open(device, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) return fd;
    }
    return -1;
#endif
}

}  // namespace

bool TakeBusLock(std::string& refusal) {
    if (lockFd >= 0) return true;
    std::string what;
    refusal.clear();
    const int fd = OpenLockFile(what);
    if (fd < 0) return true;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        lockFd = fd;
        return true;
    }
    const int error = errno;
    if (error == EWOULDBLOCK) {
        const long pid = Holder(fd);
        refusal = what + " is in use by " + (pid > 0 ? "process " + std::to_string(pid) : "another process") +
                  ": one process drives it at a time";
    } else {
        refusal = "cannot lock " + what + ": " + std::strerror(error);
    }
    close(fd);
    return false;
}
