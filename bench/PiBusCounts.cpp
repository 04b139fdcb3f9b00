// Register accesses of the page and block commands on the default chip,
// counted by the simulated GPIO block and split into loads (GPLEV0, GPFSEL
// reads) and stores (GPSET0, GPCLR0, GPFSEL writes), which cost very
// different times on the Pi; then the same on the Pi 5's RP1 block (loads of
// the input register, stores to the OUT and OE aliases). Feeds the Pi's
// bus-time model in bench/parts/60-pi.sh; prints `name = value` lines.
#include <cstdio>
#include <string>
#include <vector>

#include "bus/NandBus.h"
#include "sim/SimGpio.h"
#include "sim/SimNand.h"

namespace {

struct Count {
    double loads;
    double stores;
};

template <class Command>
Count Measure(Command command) {
    sim::SimGpio& gpio = sim::SimGpio::Instance();
    gpio.ResetCounters();
    command();
    return {static_cast<double>(gpio.Reads()), static_cast<double>(gpio.Writes())};
}

void Print(const std::string& name, const Count& perByte, const Count& fixed) {
    std::printf("%s.loads_per_byte = %g\n", name.c_str(), perByte.loads);
    std::printf("%s.stores_per_byte = %g\n", name.c_str(), perByte.stores);
    std::printf("%s.fixed_loads = %g\n", name.c_str(), fixed.loads);
    std::printf("%s.fixed_stores = %g\n", name.c_str(), fixed.stores);
}

// A page read of a K9WAG08U1A's second die, on CE1: its dies take three row
// address bytes where the default chip takes two, and the read loop's bytes
// cost the same on either chip enable. Feeds the model of a dump of both
// targets with --ce all.
bool CountTwoTargets(sim::SimNandSocket& socket) {
    const sim::MultiDiePart* part = sim::FindMultiDiePart("K9WAG08U1A");
    const sim::ChipPreset* die = part ? sim::FindPreset(part->die) : nullptr;
    if (die == nullptr) return false;
    socket.RemoveAll();
    for (int slot = 0; slot < part->dies; ++slot) socket.Insert(slot, *die).SetBusyPolls(1);
    nandBus.BusInit();
    const sim::ChipGeometry& g = die->geometry;
    const uint32_t rowMax = static_cast<uint32_t>(g.pagesPerBlock * g.blocks - 1);
    const int32_t page = g.pageSize + g.spareSize;
    std::vector<uint8_t> buf(static_cast<size_t>(page));
    nandBus.NandReadPage(CE0, 0, rowMax, page, buf.data());
    const Count read = Measure([&] { nandBus.NandReadPage(CE1, 1, rowMax, page, buf.data()); });
    std::printf("pi.two_targets.read.loads = %g\npi.two_targets.read.stores = %g\n", read.loads, read.stores);
    std::printf("pi.two_targets.pages = %d\npi.two_targets.page_bytes = %d\n",
                part->dies * g.pagesPerBlock * g.blocks, page);
    return true;
}

// The counts of one board's block, under names starting with prefix; false
// if the chip saw a protocol violation.
bool CountBoard(sim::SimBoard board, const std::string& prefix) {
    sim::SimNandSocket& socket = sim::Socket();
    socket.RemoveAll();
    const sim::ChipPreset& preset = sim::DefaultPreset();
    sim::SimNandChip& chip = socket.Insert(0, preset);
    // One poll while the chip is busy: its busy time is counted as time in
    // the model, not as polls.
    chip.SetBusyPolls(1);
    sim::SimGpio& gpio = sim::SimGpio::Instance();
    gpio.SetBoard(board);
    gpioLayout = board == sim::SimBoard::Rp1 ? GpioLayout::Rp1 : GpioLayout::Bcm2835;
    gpio.Plug(&socket);
    nandBus.BusInit();

    const uint32_t rowMax = static_cast<uint32_t>(chip.Pages() - 1);
    const int32_t page = chip.PageBytes();
    const int32_t shortBurst = 16;
    std::vector<uint8_t> buf(static_cast<size_t>(page));
    std::vector<uint8_t> data(static_cast<size_t>(page), 0x5A);

    // Each command runs after one of its own kind, as in the jobs, so the
    // data pins change direction in the same places.
    nandBus.NandReadPage(CE0, 0, rowMax, page, buf.data());
    const Count readShort = Measure([&] { nandBus.NandReadPage(CE0, 1, rowMax, shortBurst, buf.data()); });
    const Count readPage = Measure([&] { nandBus.NandReadPage(CE0, 2, rowMax, page, buf.data()); });
    nandBus.NandProgramPage(CE0, 10, rowMax, page, data.data());
    const Count programShort = Measure([&] { nandBus.NandProgramPage(CE0, 11, rowMax, shortBurst, data.data()); });
    const Count programPage = Measure([&] { nandBus.NandProgramPage(CE0, 12, rowMax, page, data.data()); });
    // A bad-block mark: one spare byte, read at its column after a page read
    // as the erase job does before each erase.
    uint8_t mark = 0;
    nandBus.NandReadColumn(CE0, 64, rowMax, static_cast<uint32_t>(preset.geometry.pageSize), 1, &mark);
    const Count markRead = Measure([&] {
        nandBus.NandReadColumn(CE0, 65, rowMax, static_cast<uint32_t>(preset.geometry.pageSize), 1, &mark);
    });
    nandBus.NandEraseBlock(CE0, 0, static_cast<int32_t>(rowMax));
    const Count erase = Measure([&] { nandBus.NandEraseBlock(CE0, 64, static_cast<int32_t>(rowMax)); });

    const double n = page - shortBurst;
    const Count readByte{(readPage.loads - readShort.loads) / n, (readPage.stores - readShort.stores) / n};
    const Count programByte{(programPage.loads - programShort.loads) / n,
                            (programPage.stores - programShort.stores) / n};
    Print(prefix + ".read", readByte,
          {readPage.loads - readByte.loads * page, readPage.stores - readByte.stores * page});
    Print(prefix + ".program", programByte,
          {programPage.loads - programByte.loads * page, programPage.stores - programByte.stores * page});
    Print(prefix + ".erase", {0, 0}, erase);
    Print(prefix + ".mark_read", {0, 0}, markRead);
    if (board == sim::SimBoard::Bcm2835)
        std::printf("pi.chip.pages = %d\npi.chip.page_bytes = %d\npi.chip.blocks = %d\n", chip.Pages(), page,
                    preset.geometry.blocks);
    if (board == sim::SimBoard::Bcm2835 && !CountTwoTargets(socket)) return false;
    if (!socket.AllViolations().empty()) {
        std::fprintf(stderr, "%s counts: %zu protocol violations\n", prefix.c_str(), socket.AllViolations().size());
        return false;
    }
    return true;
}

}  // namespace

int main() {
    const bool bcm = CountBoard(sim::SimBoard::Bcm2835, "pi.bus");
    const bool rp1 = CountBoard(sim::SimBoard::Rp1, "rp1");
    return bcm && rp1 ? 0 : 1;
}
