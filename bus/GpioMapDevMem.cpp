// The mapping of the Raspberry Pi build: the GPIO block of the BCM2835,
// BCM2836, BCM2837 or BCM2711 (Pi 1 and Zero, Pi 2, Pi 3 and Zero 2, Pi 4 and
// 400), whose registers the bus uses sit at the same offsets on all four; or
// bank 0 of the Pi 5's RP1, experimental, through the translation in
// bus/Rp1Gpio.cpp.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "bus/GpioRegs.h"
#include "bus/PiGpioBlock.h"
#include "bus/Rp1Gpio.h"

namespace {

constexpr size_t kGpioBlockSize = 0x1000;
// The Pi 4's block lies above 2 GiB: a 32-bit offset would wrap.
static_assert(sizeof(off_t) == 8, "the mapping offset needs 64-bit file offsets");

// O_SYNC makes a /dev/mem mapping uncached, so every store reaches the pins.
int OpenDevice(const char* path) { return open(path, O_RDWR | O_SYNC | O_CLOEXEC); }

constexpr GpioDevices kPiDevices = {"/dev/gpiomem", "/dev/mem", "/dev/gpiomem0", "/proc/device-tree", OpenDevice};

GpioMapping Failed(GpioMapError error) { return {error, nullptr, GpioLayout::Bcm2835}; }

}  // namespace

GpioMapping GpioBackendMap() {
    const GpioBlockFile block = OpenGpioBlock(kPiDevices);
    switch (block.source) {
        case GpioBlockSource::NoDevice: return Failed(GpioMapError::NoDevice);
        case GpioBlockSource::NoBase: return Failed(GpioMapError::NoBase);
        case GpioBlockSource::NoGpiomem0: return Failed(GpioMapError::Pi5NoGpiomem0);
        case GpioBlockSource::Gpiomem0Denied: return Failed(GpioMapError::Pi5Gpiomem0Denied);
        case GpioBlockSource::Gpiomem:
        case GpioBlockSource::Mem:
        case GpioBlockSource::Gpiomem0:
            break;
    }
    const bool rp1 = block.source == GpioBlockSource::Gpiomem0;
    const size_t size = rp1 ? rp1::kWindowBytes : kGpioBlockSize;
    void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, block.fd, static_cast<off_t>(block.offset));
    const int mapErrno = errno;
    close(block.fd);
    if (map == MAP_FAILED) {
        // A kernel built with strict /dev/mem rules (Debian's own) refuses the
        // range that its pin controller driver claims, unless booted with
        // iomem=relaxed.
        if (block.source == GpioBlockSource::Mem && mapErrno == EPERM) return Failed(GpioMapError::MemForbidden);
        return Failed(GpioMapError::MapFailed);
    }
    return {GpioMapError::None, static_cast<volatile uint32_t*>(map), rp1 ? GpioLayout::Rp1 : GpioLayout::Bcm2835};
}
