// Run as root on a Raspberry Pi (Pi build): times the two kinds of register
// access that the bus-time model in bench/parts/60-pi.sh is made of, a
// GPLEV0 load and a GPCLR0 store, and prints them in nanoseconds, ready to
// feed the model:  PI3_LOAD_NS=.. PI3_STORE_NS=.. bench/run
// The stores clear GPIO 12, one of the reserved pins that the bus holds low.
#include <cstdio>

#include "bus/NandBus.h"

int main() {
    NandBus bus;  // maps the block and puts the bus in its idle state, as ferrik does
    constexpr int kCount = 10000000;
    int32_t start = NandBus::NowMs();
    uint32_t sum = 0;
    for (int i = 0; i < kCount; ++i) sum += GpioRead(GPLEV0);
    const double loadNs = NandBus::ElapsedMs(start) * 1e6 / kCount;
    start = NandBus::NowMs();
    for (int i = 0; i < kCount; ++i) GpioWrite(GPCLR0, 1u << 12);
    const double storeNs = NandBus::ElapsedMs(start) * 1e6 / kCount;
    std::printf("PI3_LOAD_NS=%.1f PI3_STORE_NS=%.1f\n", loadNs, storeNs);
    return sum == 1 ? 1 : 0;  // keeps the loads
}
