// GpioMap of the Raspberry Pi build: the GPIO block of the BCM2836/BCM2837.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "bus/NandBus.h"

namespace {
constexpr off_t kGpioBase = 0x3F200000;
constexpr size_t kGpioBlockSize = 0x1000;
}  // namespace

void NandBus::GpioMap() {
    // O_SYNC makes the mapping uncached, so every store reaches the pins.
    const int fd = open("/dev/mem", O_RDWR | O_SYNC);
    if (fd < 0) {
        printf("can't open /dev/mem \n");
        fflush(stdout);
        exit(-1);
    }
    void* map = mmap(nullptr, kGpioBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, kGpioBase);
    close(fd);
    if (map == MAP_FAILED) {
        const int value = static_cast<int>(reinterpret_cast<intptr_t>(map));
        printf("mmap error %d\n", value);
        fflush(stdout);
        exit(value);
    }
    gpioRegs = static_cast<volatile uint32_t*>(map);
}
