#include "bus/PiGpioBlock.h"

#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "bus/GpioRegs.h"

namespace {

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Cell(const std::string& bytes, size_t index) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes[index * 4 + i]);
    return value;
}

// compatible is a list of NUL-terminated strings, most specific first.
bool HasCompatible(const std::string& list, const char* wanted) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\0', start);
        if (end == std::string::npos) end = list.size();
        if (list.compare(start, end - start, wanted) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

PeripheralBase ReadPeripheralBase(const std::string& deviceTree) {
    if (HasCompatible(ReadWhole(deviceTree + "/compatible"), "brcm,bcm2712")) return {PeripheralBaseStatus::Pi5, 0};
    const std::string ranges = ReadWhole(deviceTree + "/soc/ranges");
    uint64_t base = 0;
    if (ranges.size() >= 8) base = Cell(ranges, 1);
    if (base == 0 && ranges.size() >= 12) base = Cell(ranges, 2);
    if (base == 0) return {PeripheralBaseStatus::Unknown, 0};
    return {PeripheralBaseStatus::Found, base};
}

GpioBlockFile OpenGpioBlock(const GpioDevices& devices) {
    const PeripheralBase peripherals = ReadPeripheralBase(devices.deviceTree);
    if (peripherals.status == PeripheralBaseStatus::Pi5) {
        const int fd = devices.openDevice(devices.gpiomem0);
        if (fd >= 0) return {GpioBlockSource::Gpiomem0, fd, 0};
        return {errno == ENOENT ? GpioBlockSource::NoGpiomem0 : GpioBlockSource::Gpiomem0Denied, -1, 0};
    }

    int fd = devices.openDevice(devices.gpiomem);
    if (fd >= 0) return {GpioBlockSource::Gpiomem, fd, 0};

    fd = devices.openDevice(devices.mem);
    if (fd < 0) return {GpioBlockSource::NoDevice, -1, 0};
    if (peripherals.status != PeripheralBaseStatus::Found) {
        close(fd);
        return {GpioBlockSource::NoBase, -1, 0};
    }
    return {GpioBlockSource::Mem, fd, peripherals.base + kGpioOffsetInPeripherals};
}

const char* GpioMapMessage(GpioMapError error) {
    switch (error) {
        case GpioMapError::None: return "";
        case GpioMapError::NoDevice: return "can't open /dev/mem ";
        case GpioMapError::NoBase:
            return "can't find the GPIO block: no peripheral address in /proc/device-tree/soc/ranges";
        case GpioMapError::MemForbidden:
            return "can't map the GPIO block through /dev/mem: the kernel protects it (Operation not permitted); "
                   "Raspberry Pi OS's kernel provides /dev/gpiomem, or add iomem=relaxed to the kernel command line";
        case GpioMapError::MapFailed: return "mmap error -1";
        case GpioMapError::Pi5NoGpiomem0:
            return "Raspberry Pi 5 (experimental): can't open /dev/gpiomem0: this kernel has none; Raspberry Pi "
                   "OS's kernel provides it (Ferrik does not use /dev/mem on a Pi 5)";
        case GpioMapError::Pi5Gpiomem0Denied:
            return "Raspberry Pi 5 (experimental): can't open /dev/gpiomem0: add the user to the gpio group "
                   "(sudo adduser $USER gpio) and log in again";
    }
    return "";
}
