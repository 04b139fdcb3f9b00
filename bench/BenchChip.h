// The default simulated chip as the job and command-line benchmarks use it.
#pragma once

#include <cstdint>
#include <vector>

#include "bus/NandBus.h"
#include "sim/SimGpio.h"
#include "sim/SimNand.h"

namespace bench {

// A fresh default chip alone in the socket, the bus set up for it.
inline sim::SimNandChip& FreshChip() {
    sim::SimNandSocket& socket = sim::Socket();
    socket.RemoveAll();
    sim::SimNandChip& chip = socket.Insert(0, sim::DefaultPreset());
    // As in the program: a record of every command would be counted in the
    // jobs' peak memory.
    chip.RecordOps(false);
    sim::SimGpio::Instance().Plug(&socket);
    nandBus.BusInit();
    return chip;
}

// Sixty-four distinct pages of pseudo-random bytes with no 0xFF among them:
// no page is skipped as erased.
inline std::vector<std::vector<uint8_t>> DistinctPages(int pageBytes) {
    std::vector<std::vector<uint8_t>> pages(64, std::vector<uint8_t>(static_cast<size_t>(pageBytes)));
    uint32_t x = 12345;
    for (auto& page : pages)
        for (uint8_t& b : page) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>((x >> 24) % 0xFF);
        }
    return pages;
}

// Page k of the chip holds pages[k mod 64].
inline void Fill(sim::SimNandChip& chip, const std::vector<std::vector<uint8_t>>& pages) {
    for (int k = 0; k < chip.Pages(); ++k) chip.SetPage(k, pages[static_cast<size_t>(k) % pages.size()]);
}

}  // namespace bench
