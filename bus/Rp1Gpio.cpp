#include "bus/Rp1Gpio.h"

#include "bus/NandBus.h"

namespace rp1 {

namespace {

// Every function field 7: no pin is the bus's until the bus gives it a
// direction, and any field the bus writes then differs from this one.
constexpr uint32_t kNoneTaken = 0x3FFFFFFFu;

// The bus's view of GPFSEL0-2: what it last wrote, as the BCM2835 block
// would read it back.
uint32_t fsel[3] = {kNoneTaken, kNoneTaken, kNoneTaken};
uint32_t taken = 0;

// Hands pins to the RIO block, after their direction is set: a pin that
// turns into an output drives OUT's level from its first moment, as a
// BCM2835 pin does when its function field turns to output. The pad keeps
// its drive strength, slew and Schmitt trigger and, but for R/B#, its pulls.
void Take(uint32_t pins) {
    for (unsigned pin = 0; pin < 28; ++pin) {
        if (((pins & ~taken) >> pin & 1u) == 0) continue;
        uint32_t pad = GpioLoad(Pad(pin));
        pad = (pad & ~PAD_OUTPUT_DISABLE) | PAD_INPUT_ENABLE;
        if (pin == PIN_RB) pad = (pad & ~PAD_PULL_DOWN) | PAD_PULL_UP;
        GpioStore(Pad(pin), pad);
        GpioStore(Ctrl(pin), FUNCSEL_SYS_RIO);
        taken |= 1u << pin;
    }
}

void SetField(unsigned pin, uint32_t field) {
    const unsigned shift = 3 * (pin % 10);
    fsel[pin / 10] = (fsel[pin / 10] & ~(7u << shift)) | field << shift;
}

}  // namespace

uint32_t TakenPins() { return taken; }

void SetDirections(uint32_t outputs, uint32_t inputs) {
    if (outputs != 0) GpioStore(OE_SET, outputs);
    if (inputs != 0) GpioStore(OE_CLR, inputs);
    Take(outputs | inputs);
    for (unsigned pin = 0; pin < 30; ++pin) {
        if (outputs >> pin & 1u) SetField(pin, 1);
        if (inputs >> pin & 1u) SetField(pin, 0);
    }
}

void Forget() {
    for (uint32_t& word : fsel) word = kNoneTaken;
    taken = 0;
}

}  // namespace rp1

uint32_t Rp1Read(unsigned reg) {
    if (reg == GPLEV0) return GpioLoad(rp1::RIO_IN);
    if (reg <= GPFSEL2) return rp1::fsel[reg];
    return 0;  // GPSET0 and GPCLR0 read as 0 on the BCM2835 too
}

void Rp1Write(unsigned reg, uint32_t value) {
    if (reg == GPSET0) {
        GpioStore(rp1::OUT_SET, value);
    } else if (reg == GPCLR0) {
        GpioStore(rp1::OUT_CLR, value);
    } else if (reg <= GPFSEL2) {
        // Only the fields that change: the bus rewrites a whole word to
        // change one pin's function.
        uint32_t outputs = 0;
        uint32_t inputs = 0;
        for (unsigned i = 0; i < 10; ++i) {
            const unsigned shift = 3 * i;
            const uint32_t field = value >> shift & 7u;
            if (field == (rp1::fsel[reg] >> shift & 7u)) continue;
            const unsigned pin = reg * 10 + i;
            if (field == 1) outputs |= 1u << pin;
            if (field == 0) inputs |= 1u << pin;
        }
        rp1::SetDirections(outputs, inputs);
    }
}
