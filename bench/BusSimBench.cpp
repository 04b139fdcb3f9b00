// The bus through the simulated GPIO block and chip: register accesses per
// byte of a page burst, and the wall time of reading the whole default chip
// (65536 pages of 2048 + 64 bytes) page by page, as the read job does.
//
// Prints bus.read.accesses_per_byte, bus.program.accesses_per_byte and
// sim.read_whole_chip.seconds, one `name = value` a line.
#include <chrono>
#include <cstdio>
#include <vector>

#include "bus/NandBus.h"
#include "sim/SimGpio.h"
#include "sim/SimNand.h"

namespace {

sim::SimNandChip& FreshChip(const sim::ChipPreset& preset) {
    sim::SimNandSocket& socket = sim::Socket();
    socket.RemoveAll();
    sim::SimNandChip& chip = socket.Insert(0, preset);
    sim::SimGpio::Instance().PowerOn();
    sim::SimGpio::Instance().Plug(&socket);
    nandBus.BusInit();
    return chip;
}

// Register accesses of one command.
template <typename F>
uint64_t Accesses(F command) {
    sim::SimGpio& gpio = sim::SimGpio::Instance();
    gpio.ResetCounters();
    command();
    return gpio.Accesses();
}

}  // namespace

int main() {
    const sim::ChipPreset& preset = sim::DefaultPreset();
    const int pageBytes = preset.geometry.pageSize + preset.geometry.spareSize;
    const uint32_t pages = static_cast<uint32_t>(preset.geometry.pagesPerBlock * preset.geometry.blocks);
    std::vector<uint8_t> buf(static_cast<size_t>(pageBytes), 0x5A);

    FreshChip(preset);
    // Same direction state before each measured command: a read first.
    nandBus.NandReadPage(CE0, 0, pages - 1, 1, buf.data());
    // One byte against a whole page: the fixed part of the command (and the
    // data pins' turn to inputs at the first byte) drops out.
    const uint64_t readOne = Accesses([&] { nandBus.NandReadPage(CE0, 1, pages - 1, 1, buf.data()); });
    nandBus.NandReadPage(CE0, 0, pages - 1, 1, buf.data());
    const uint64_t readFull = Accesses([&] { nandBus.NandReadPage(CE0, 1, pages - 1, pageBytes, buf.data()); });
    nandBus.NandReadPage(CE0, 0, pages - 1, 1, buf.data());
    const uint64_t programOne = Accesses([&] { nandBus.NandProgramPage(CE0, 2, pages - 1, 1, buf.data()); });
    nandBus.NandReadPage(CE0, 0, pages - 1, 1, buf.data());
    const uint64_t programFull =
        Accesses([&] { nandBus.NandProgramPage(CE0, 3, pages - 1, pageBytes, buf.data()); });
    std::printf("bus.read.accesses_per_byte = %g\n", double(readFull - readOne) / (pageBytes - 1));
    std::printf("bus.program.accesses_per_byte = %g\n", double(programFull - programOne) / (pageBytes - 1));

    FreshChip(preset);
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t row = 0; row < pages; ++row)
        if (nandBus.NandReadPage(CE0, row, pages - 1, pageBytes, buf.data()) != NAND_OK) ++failures;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const size_t violations = sim::Socket().AllViolations().size();
    if (failures != 0 || violations != 0) {
        std::fprintf(stderr, "bus bench: %d failed reads, %zu violations\n", failures, violations);
        return 1;
    }
    std::printf("sim.read_whole_chip.seconds = %.2f\n", seconds);
    return 0;
}
