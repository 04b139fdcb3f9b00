// The bus code alone, with its register block in plain memory: one page read
// or one page program of the given length, to be counted under callgrind.
// Two runs with different lengths give the bus code's instructions per byte.
//
//   bus_memory_bench read|program LENGTH
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bus/NandBus.h"

namespace {
volatile uint32_t block[0x1000 / 4];
}

NandBus nandBus;

GpioMapping GpioBackendMap() {
    // R/B# high: every wait passes its ready phase at the first poll.
    block[GPLEV0] = 1u << PIN_RB;
    return {GpioMapError::None, block, GpioLayout::Bcm2835};
}

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "read") != 0 && std::strcmp(argv[1], "program") != 0)) {
        std::fprintf(stderr, "usage: %s read|program LENGTH\n", argv[0]);
        return 2;
    }
    const int32_t length = static_cast<int32_t>(std::atol(argv[2]));
    std::vector<uint8_t> buf(static_cast<size_t>(length) + 1, 0xA5);
    const int result = std::strcmp(argv[1], "read") == 0
                           ? nandBus.NandReadPage(CE0, 0x1234, 0xFFFF, length, buf.data())
                           : nandBus.NandProgramPage(CE0, 0x1234, 0xFFFF, length, buf.data());
    // Use the bytes read, so that nothing is optimised away.
    unsigned sum = 0;
    for (uint8_t b : buf) sum += b;
    return result == NAND_OK && sum != 1 ? 0 : 1;
}
