#include "bus/PiGpioBlock.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

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
    if (peripherals.status == PeripheralBaseStatus::Pi5) return {GpioBlockSource::Pi5, -1, 0};

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
