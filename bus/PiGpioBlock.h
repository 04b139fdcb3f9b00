// Where the Raspberry Pi's GPIO block is found: through /dev/gpiomem, which
// maps nothing but that block and is open to the gpio group, or else through
// /dev/mem at the block's physical address, which differs from board to board
// and is read from the device tree. On a Pi 5 the header's pins are RP1's
// bank 0, which /dev/gpiomem0 maps (open to the gpio group too); /dev/mem is
// not used there. Every path is passed in, so the choice can be made against
// a stand-in device tree and stand-in devices.
#pragma once

#include <cstdint>
#include <string>

// The GPIO block lies this far into the peripheral window on every board
// from the Pi 1 to the Pi 4.
constexpr uint64_t kGpioOffsetInPeripherals = 0x200000;

enum class PeripheralBaseStatus {
    Found,
    Unknown,  // no ranges file, or one too short to hold the base
    Pi5,      // a BCM2712: its pins sit in RP1, another kind of GPIO block
};

struct PeripheralBase {
    PeripheralBaseStatus status;
    uint64_t base;  // physical address of the peripherals, when Found
};

// Reads the device tree folder (/proc/device-tree on a Pi): a compatible
// string "brcm,bcm2712" in its root means a Pi 5; otherwise the base is taken
// from soc/ranges, big-endian 32-bit cells, in the second cell, or in the
// third when the second is 0 (the Pi 4, whose parent addresses take two cells).
PeripheralBase ReadPeripheralBase(const std::string& deviceTree);

struct GpioDevices {
    const char* gpiomem;     // /dev/gpiomem
    const char* mem;         // /dev/mem
    const char* gpiomem0;    // /dev/gpiomem0, the Pi 5's
    const char* deviceTree;  // /proc/device-tree
    // Opens a device read-write and uncached; a descriptor, or -1 with errno.
    int (*openDevice)(const char* path);
};

enum class GpioBlockSource {
    Gpiomem,
    Mem,
    Gpiomem0,        // a Pi 5's RP1 bank 0
    NoDevice,
    NoBase,
    NoGpiomem0,      // a Pi 5 whose kernel has no /dev/gpiomem0
    Gpiomem0Denied,  // a Pi 5, and /dev/gpiomem0 is not open to this user
};

struct GpioBlockFile {
    GpioBlockSource source;
    int fd;           // open when source is Gpiomem, Mem or Gpiomem0, else -1
    uint64_t offset;  // where the block starts in that file
};

// On a Pi 5 opens /dev/gpiomem0 and nothing else. Elsewhere tries
// /dev/gpiomem, then /dev/mem at the base from the device tree. /dev/mem
// without a known base is closed again (NoBase) rather than mapped at a guess.
GpioBlockFile OpenGpioBlock(const GpioDevices& devices);
