// Bank 0 of the Pi 5's RP1 as /dev/gpiomem0 maps it: 0x30000 bytes from
// offset 0, word indices below. GPIO 0-27 of the bank are the header's BCM
// GPIO 0-27 on the same pins, so the bus's pin numbers carry over.
//
// The bus's BCM2835 words are carried over (bus/Rp1Gpio.cpp): GPSET0 and
// GPCLR0 to OUT's SET and CLR aliases, GPLEV0 to the input register, a pin
// made an output or input in GPFSELn to OE's SET or CLR alias. The first time
// the bus gives a pin a direction, the pin is handed to the RIO block
// (FUNCSEL 5) with its pad's input enabled and output not disabled; R/B#
// also gets the pad's pull-up, so that a released R/B# reads high even
// without the resistor of the wiring advice.
#pragma once

#include <cstdint>

namespace rp1 {

constexpr uint32_t kWindowBytes = 0x30000;  // the driver refuses a shorter mapping

constexpr unsigned Word(uint32_t byteOffset) { return byteOffset / 4; }

constexpr uint32_t kIoBank0 = 0x00000;
constexpr uint32_t kSysRio0 = 0x10000;
constexpr uint32_t kPadsBank0 = 0x20000;
// Atomic aliases of every register.
constexpr uint32_t kXorAlias = 0x1000;
constexpr uint32_t kSetAlias = 0x2000;
constexpr uint32_t kClrAlias = 0x3000;

constexpr unsigned RIO_OUT = Word(kSysRio0 + 0x0);
constexpr unsigned RIO_OE = Word(kSysRio0 + 0x4);
constexpr unsigned RIO_IN = Word(kSysRio0 + 0x8);
constexpr unsigned OUT_SET = Word(kSysRio0 + kSetAlias + 0x0);
constexpr unsigned OUT_CLR = Word(kSysRio0 + kClrAlias + 0x0);
constexpr unsigned OE_SET = Word(kSysRio0 + kSetAlias + 0x4);
constexpr unsigned OE_CLR = Word(kSysRio0 + kClrAlias + 0x4);

// IO_BANK0: STATUS at 8n, CTRL at 8n + 4; FUNCSEL in CTRL's bits 4:0.
constexpr unsigned Ctrl(unsigned pin) { return Word(kIoBank0 + 8 * pin + 4); }
constexpr uint32_t CTRL_FUNCSEL = 0x1F;
constexpr uint32_t FUNCSEL_SYS_RIO = 5;  // plain GPIO, driven by OUT and OE
constexpr uint32_t FUNCSEL_NULL = 0x1F;  // the reset value: no function

// PADS_BANK0: the pad of GPIO n at 4 + 4n.
constexpr unsigned Pad(unsigned pin) { return Word(kPadsBank0 + 4 + 4 * pin); }
constexpr uint32_t PAD_PULL_DOWN = 1u << 2;
constexpr uint32_t PAD_PULL_UP = 1u << 3;
constexpr uint32_t PAD_INPUT_ENABLE = 1u << 6;
constexpr uint32_t PAD_OUTPUT_DISABLE = 1u << 7;

// The pins handed to the RIO block so far (a mask of GPIO numbers), and the
// directions of the pins in mask set at once: one store to OE's SET alias
// for outputs, one to its CLR alias for inputs.
uint32_t TakenPins();
void SetDirections(uint32_t outputs, uint32_t inputs);
// Forgets what the translation knows of the block: the next mapping starts
// afresh (a test that maps a new simulated block).
void Forget();

}  // namespace rp1
