// Run on a Raspberry Pi (Pi build; as root, or in the gpio group): times the
// two kinds of register access that the bus-time model in
// bench/parts/60-pi.sh is made of, a load of the pin levels and a store that
// clears a pin, and prints them in nanoseconds, ready to feed the model:
//   Pi 1 to 4:  PI3_LOAD_NS=.. PI3_STORE_NS=.. bench/run
//   Pi 5:       PI5_LOAD_NS=.. PI5_STORE_NS=.. PI5_STORE_LOAD_NS=.. bench/run
// On a Pi 5 it also times a store followed by a load, the read loop's
// pattern, since RP1 answers a load only after every earlier store arrived.
// The stores clear GPIO 12, one of the reserved pins that the bus holds low.
#include <cstdio>

#include "bus/NandBus.h"

namespace {

constexpr int kCount = 10000000;

template <class Access>
double NsEach(Access access) {
    const int32_t start = NandBus::NowMs();
    for (int i = 0; i < kCount; ++i) access();
    return NandBus::ElapsedMs(start) * 1e6 / kCount;
}

}  // namespace

int main() {
    NandBus bus{NandBus::StartLater{}};
    // Maps the block and puts the bus in its idle state, as ferrik does.
    if (const GpioMapError error = bus.Start(); error != GpioMapError::None) {
        std::printf("%s\n", GpioMapMessage(error));
        return 255;
    }
    uint32_t sum = 0;
    const double loadNs = NsEach([&] { sum += GpioRead(GPLEV0); });
    const double storeNs = NsEach([] { GpioWrite(GPCLR0, 1u << 12); });
    if (GpioIsRp1()) {
        const double pairNs = NsEach([&] {
            GpioWrite(GPCLR0, 1u << 12);
            sum += GpioRead(GPLEV0);
        });
        std::printf("PI5_LOAD_NS=%.1f PI5_STORE_NS=%.1f PI5_STORE_LOAD_NS=%.1f\n", loadNs, storeNs, pairNs);
    } else {
        std::printf("PI3_LOAD_NS=%.1f PI3_STORE_NS=%.1f\n", loadNs, storeNs);
    }
    bus.Park();
    return sum == 1 ? 1 : 0;  // keeps the loads
}
