// The one seam through which every GPIO register access passes.
//
// Word indices into the BCM2835-layout GPIO block (byte offset / 4). The bus
// code above this header is the same in every build; only the two inline
// functions below change with the backend chosen at build time:
//   FERRIK_GPIO_PI      gpioRegs is the /dev/mem mapping; one volatile load or
//                       store per access, nothing else.
//   FERRIK_GPIO_MEMORY  the same inline access on a block in ordinary memory
//                       (used to count the bus code's own instructions).
//   FERRIK_GPIO_SIM     every access goes to the simulated GPIO block in sim/,
//                       which drives the simulated NAND chips.
#pragma once

#include <cstdint>

enum GpioReg : unsigned {
    GPFSEL0 = 0x00 / 4,
    GPFSEL1 = 0x04 / 4,
    GPFSEL2 = 0x08 / 4,
    GPSET0 = 0x1C / 4,
    GPCLR0 = 0x28 / 4,
    GPLEV0 = 0x34 / 4,
};

// Start of the mapped register block; set once by GpioMap, never unmapped.
extern volatile uint32_t* gpioRegs;

#if defined(FERRIK_GPIO_PI) || defined(FERRIK_GPIO_MEMORY)

inline uint32_t GpioRead(unsigned reg) { return gpioRegs[reg]; }
inline void GpioWrite(unsigned reg, uint32_t value) { gpioRegs[reg] = value; }

#elif defined(FERRIK_GPIO_SIM)

uint32_t SimGpioRead(unsigned reg);
void SimGpioWrite(unsigned reg, uint32_t value);

inline uint32_t GpioRead(unsigned reg) { return SimGpioRead(reg); }
inline void GpioWrite(unsigned reg, uint32_t value) { SimGpioWrite(reg, value); }

#else
#error "choose a GPIO backend: FERRIK_GPIO_PI, FERRIK_GPIO_MEMORY or FERRIK_GPIO_SIM"
#endif
