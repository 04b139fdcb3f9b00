// The one seam through which every GPIO register access passes.
//
// The bus speaks in the words of the BCM2835-layout GPIO block (the Pi 1 to
// 4): GPFSELn function fields, GPSET0 and GPCLR0 to drive pins, GPLEV0 to read
// them. GpioRead and GpioWrite carry those words to the block the mapping
// found: on a BCM2835-layout block one access each; on the Pi 5's RP1 they
// are translated (bus/Rp1Gpio.h). The raw access below them changes with the
// backend chosen at build time:
//   FERRIK_GPIO_PI      gpioRegs is the mapping of /dev/gpiomem, /dev/mem or
//                       /dev/gpiomem0; one volatile 32-bit load or store per
//                       access, nothing else.
//   FERRIK_GPIO_MEMORY  the same inline access on a block in ordinary memory
//                       (used to count the bus code's own instructions).
//   FERRIK_GPIO_SIM     every access goes to GpioBackendLoad/Store, which the
//                       simulated GPIO block in sim/ defines.
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

// The kind of GPIO block behind the mapping.
enum class GpioLayout : uint8_t {
    Bcm2835,  // Pi 1 to 4: the words above, as they are
    Rp1,      // Pi 5: bank 0 of RP1, reached through the translation
};

// Start of the mapped register block and its kind; set once by GpioMap,
// never unmapped.
extern volatile uint32_t* gpioRegs;
extern GpioLayout gpioLayout;

// Why there is no mapping; the front ends turn it into their one line
// (GpioMapMessage) and exit status 255.
enum class GpioMapError {
    None,
    NoDevice,         // neither /dev/gpiomem nor /dev/mem opens
    NoBase,           // /dev/mem opens, but the device tree gives no base
    MemForbidden,     // the kernel refuses to map the block through /dev/mem
    MapFailed,        // any other failure of mmap
    Pi5NoGpiomem0,    // a Pi 5 whose kernel has no /dev/gpiomem0
    Pi5Gpiomem0Denied,  // a Pi 5, and /dev/gpiomem0 is not open to this user
};

const char* GpioMapMessage(GpioMapError error);

// The first line both front ends show on a Pi 5.
inline constexpr const char* kPi5Line = "Raspberry Pi 5 (RP1): experimental support";

// What a backend's mapping found: the block and its kind, or an error.
struct GpioMapping {
    GpioMapError error;
    volatile uint32_t* regs;
    GpioLayout layout;
};

// Defined by the backend: the Pi's devices (bus/GpioMapDevMem.cpp), the
// simulated block (sim/), or a block in memory (the instruction bench).
GpioMapping GpioBackendMap();

#if defined(FERRIK_GPIO_PI) || defined(FERRIK_GPIO_MEMORY)

inline uint32_t GpioLoad(unsigned word) { return gpioRegs[word]; }
inline void GpioStore(unsigned word, uint32_t value) { gpioRegs[word] = value; }

// The block as one byte loop sees it: the address fetched once, before the
// loop. A byte the loop stores into the caller's buffer may alias any object,
// gpioRegs too, so a loop that accesses the block through gpioRegs itself
// makes the compiler fetch the address again for every byte.
struct GpioBlock {
    volatile uint32_t* regs;
    uint32_t Load(unsigned word) const { return regs[word]; }
    void Store(unsigned word, uint32_t value) const { regs[word] = value; }
};
inline GpioBlock GpioBlockNow() { return GpioBlock{gpioRegs}; }

#elif defined(FERRIK_GPIO_SIM)

uint32_t GpioBackendLoad(unsigned word);
void GpioBackendStore(unsigned word, uint32_t value);

inline uint32_t GpioLoad(unsigned word) { return GpioBackendLoad(word); }
inline void GpioStore(unsigned word, uint32_t value) { GpioBackendStore(word, value); }

struct GpioBlock {
    uint32_t Load(unsigned word) const { return GpioBackendLoad(word); }
    void Store(unsigned word, uint32_t value) const { GpioBackendStore(word, value); }
};
inline GpioBlock GpioBlockNow() { return GpioBlock{}; }

#else
#error "choose a GPIO backend: FERRIK_GPIO_PI, FERRIK_GPIO_MEMORY or FERRIK_GPIO_SIM"
#endif

// The translation for RP1, out of line: its loads cost a third of a
// microsecond each, so a call is nothing beside them.
uint32_t Rp1Read(unsigned reg);
void Rp1Write(unsigned reg, uint32_t value);

inline bool GpioIsRp1() { return gpioLayout == GpioLayout::Rp1; }

// Every access of the bus but its byte loops. The byte loops choose their
// layout once per burst and use a GpioBlock directly, so that a BCM2835
// byte stays exactly its register accesses.
inline uint32_t GpioRead(unsigned reg) { return GpioIsRp1() ? Rp1Read(reg) : GpioLoad(reg); }
inline void GpioWrite(unsigned reg, uint32_t value) {
    if (GpioIsRp1())
        Rp1Write(reg, value);
    else
        GpioStore(reg, value);
}
