// GpioMap of the Raspberry Pi build: the GPIO block of the BCM2835, BCM2836,
// BCM2837 or BCM2711 (Pi 1 and Zero, Pi 2, Pi 3 and Zero 2, Pi 4 and 400).
// The registers the bus uses sit at the same offsets on all four.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "bus/NandBus.h"
#include "bus/PiGpioBlock.h"

namespace {

constexpr size_t kGpioBlockSize = 0x1000;
// The Pi 4's block lies above 2 GiB: a 32-bit offset would wrap.
static_assert(sizeof(off_t) == 8, "the mapping offset needs 64-bit file offsets");

// O_SYNC makes a /dev/mem mapping uncached, so every store reaches the pins.
int OpenDevice(const char* path) { return open(path, O_RDWR | O_SYNC | O_CLOEXEC); }

constexpr GpioDevices kPiDevices = {"/dev/gpiomem", "/dev/mem", "/proc/device-tree", OpenDevice};

[[noreturn]] void Stop(const char* line, int status) {
    printf("%s\n", line);
    fflush(stdout);
    exit(status);
}

}  // namespace

void NandBus::GpioMap() {
    const GpioBlockFile block = OpenGpioBlock(kPiDevices);
    switch (block.source) {
        case GpioBlockSource::Pi5:
            Stop("this is a Raspberry Pi 5 (BCM2712): Ferrik drives the GPIO block of the Pi 1 to 4 only", -1);
        case GpioBlockSource::NoDevice:
            Stop("can't open /dev/mem ", -1);
        case GpioBlockSource::NoBase:
            Stop("can't find the GPIO block: no peripheral address in /proc/device-tree/soc/ranges", -1);
        case GpioBlockSource::Gpiomem:
        case GpioBlockSource::Mem:
            break;
    }
    void* map = mmap(nullptr, kGpioBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, block.fd,
                     static_cast<off_t>(block.offset));
    close(block.fd);
    if (map == MAP_FAILED) {
        const int value = static_cast<int>(reinterpret_cast<intptr_t>(map));
        printf("mmap error %d\n", value);
        fflush(stdout);
        exit(value);
    }
    gpioRegs = static_cast<volatile uint32_t*>(map);
}
