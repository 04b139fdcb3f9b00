// The NAND bus: the GPIO pins of the socket, the bus cycles made from them and
// the chip commands made from the cycles. One program-wide instance, nandBus.
#pragma once

#include <cstdint>

#include "bus/GpioRegs.h"

// GPIO numbers of the NAND signals.
enum BusPin : unsigned {
    PIN_CLE = 2,
    PIN_ALE = 3,
    PIN_WP = 4,   // WP#, high = writes allowed
    PIN_RB = 10,  // R/B#, input, high = ready
    PIN_RE = 14,  // RE#
    PIN_WE = 15,  // WE#
};

// Chip-enable lines (cePin of every chip command).
enum ChipEnable : int {
    CE0 = 9,
    CE1 = 11,
    CE2 = 8,
    CE3 = 7,
};

// Command bytes of the chip commands. READ, PROGRAM and ERASE come in two
// cycles: the setup byte, the address, then the confirm byte that starts the
// array operation (and pulls R/B# low).
enum NandOpcode : uint8_t {
    OP_READ = 0x00,
    OP_READ_CONFIRM = 0x30,
    OP_PROGRAM = 0x80,
    OP_PROGRAM_CONFIRM = 0x10,
    OP_ERASE = 0x60,
    OP_ERASE_CONFIRM = 0xD0,
    OP_READ_STATUS = 0x70,
    OP_READ_ID = 0x90,
    OP_READ_PARAMETER_PAGE = 0xEC,
    OP_RESET = 0xFF,
};

// Addresses of READ ID: the maker and device bytes, and the two signatures.
enum IdAddress : uint8_t {
    ID_ADDRESS_CHIP = 0x00,
    ID_ADDRESS_ONFI = 0x20,   // "ONFI" on a chip with an ONFI parameter page
    ID_ADDRESS_JEDEC = 0x40,  // "JEDEC" on a chip with a JEDEC parameter page
};

// Bits of the status byte.
enum NandStatusBit : uint8_t {
    STATUS_FAIL = 0x01,
    STATUS_READY = 0x40,
    STATUS_NOT_PROTECTED = 0x80,  // follows WP#: 0 while the chip is write protected
};

// Result codes of the page and block commands.
enum NandResult : int {
    NAND_OK = 0,
    NAND_STATUS_FAIL = 1,
    ERR_RB_L = 5,  // R/B# stayed low past the ready budget
};

// Entries 0-7: the reserved pins; 8-15 and 16-23: the data bus, IO7 down to IO0.
inline constexpr uint8_t busPinTable[24] = {
    18, 23, 24, 25, 12, 16, 20, 21,
    17, 27, 22, 5, 6, 13, 19, 26,
    17, 27, 22, 5, 6, 13, 19, 26,
};

// The eight data pins in GPLEV0: GPIO 5, 6, 13, 17, 19, 22, 26, 27.
inline constexpr uint32_t DATA_PIN_MASK = 0x0C4A2060u;

// Poll budgets of WaitReady, in GPLEV0 reads. Zero stands for 2^32: the
// counter is decremented before it is tested.
inline constexpr uint32_t READ_BUSY_POLLS = 0x100000u;
inline constexpr uint32_t READ_READY_POLLS = 0x1000000u;
inline constexpr uint32_t PROGRAM_BUSY_POLLS = 0x1000000u;
inline constexpr uint32_t PROGRAM_READY_POLLS = 0x1000000u;
inline constexpr uint32_t ERASE_BUSY_POLLS = 0u;
inline constexpr uint32_t ERASE_READY_POLLS = 0u;

// 0: the data pins are outputs; 1: they are inputs.
extern int16_t dataPinsInput;

class NandBus {
public:
    // GpioMap, then BusInit. When the mapping fails, the bus stays unstarted
    // and StartError says why: the program says so and ends before it
    // touches anything else.
    NandBus();
    // A bus that touches no register until Start: a program that may end
    // before it needs the chip (help, a refused argument) never maps the
    // GPIO block.
    struct StartLater {};
    explicit NandBus(StartLater) {}
    ~NandBus();  // Park

    // BusRelease, once, if the bus has started. A program whose bus starts
    // late parks it itself before it returns from main: what the simulated
    // block registers for the end of the program when the bus starts then
    // still sees the bus parked, as it does when the bus starts with the
    // program.
    void Park();

    // GpioMap, then BusInit, the first time only; the mapping's error, if
    // it failed (the bus is then left unstarted).
    GpioMapError Start();
    bool Started() const { return started_; }
    GpioMapError StartError() const { return startError_; }

    NandBus(const NandBus&) = delete;
    NandBus& operator=(const NandBus&) = delete;

    // Pins and directions.
    GpioMapError GpioMap();  // the block from the GPIO backend (GpioBackendMap)
    void BusInit();
    void BusRelease();
    void DataPinsToOutput();
    void DataPinsToInput();

    // Bus cycles.
    void BusWriteByte(int value);
    void PulseWE();
    uint8_t BusReadByte();
    void BusCommand(uint8_t command);
    void BusAddress(uint8_t address);  // one byte alone in an address phase
    void SendRowAddress(uint32_t row, uint32_t rowLimit);
    bool WaitReady(uint32_t busyBudget, uint32_t readyBudget);
    // Whether the last WaitReady saw R/B# low in its busy phase. A chip pulls
    // it low within microseconds of a READ confirm; an empty socket or a dead
    // chip leaves it at its pull-up through the whole busy budget.
    bool LastWaitSawBusy() const { return lastWaitSawBusy_; }
    int ReadStatus();
    // Caps the budget of every wait at `polls` (0: no cap). For tests that
    // drive each command into its time-outs: an erase's budgets are 2^32
    // polls each, minutes of polling.
    void CapWaitBudgets(uint32_t polls) { waitCap_ = polls; }

    // Chip commands. Each selects its chip, runs its cycles and deselects the
    // chip on every way out, a time-out (ERR_RB_L) too: between commands
    // every chip enable is high.
    const char* NandReadId(uint8_t* out, int cePin);
    int16_t NandReadPage(int cePin, uint32_t row, uint32_t rowLimit, int32_t length, uint8_t* buf);
    int32_t NandEraseBlock(int cePin, int32_t row, int32_t rowLimit);
    int16_t NandProgramPage(int cePin, uint32_t row, uint32_t rowLimit, int32_t length,
                            const uint8_t* data);
    // A page READ that starts at a column of the page register and moves
    // only the bytes asked for: a bad-block mark is one spare byte, and
    // clocking out the whole page for it would cost the bus 2,000 cycles.
    int16_t NandReadColumn(int cePin, uint32_t row, uint32_t rowLimit, uint32_t column, int32_t length,
                           uint8_t* buf);

    // Chip commands that identify the chip and test the wiring; none of them
    // changes the array.
    //
    // READ ID at any address, count bytes (no wait, as for NandReadId).
    void NandReadIdAt(uint8_t address, uint8_t* out, int count, int cePin);
    // READ PARAMETER PAGE (ECh) at address 00h (ONFI) or 40h (JEDEC): the chip
    // loads the page as it loads a page for READ, so the wait is a READ's.
    // NAND_OK with length bytes in buf, or ERR_RB_L.
    int16_t NandReadParameterPage(int cePin, uint8_t address, int32_t length, uint8_t* buf);
    // RESET (FFh) and the wait for its end; false when R/B# stayed low past the
    // READ budget. LastWaitSawBusy tells whether R/B# went low at all.
    bool NandReset(int cePin);
    // READ STATUS (70h), the whole status byte.
    uint8_t NandReadStatusByte(int cePin);
    // WP# low (protect) or high.
    void SetWriteProtect(bool protect);
    // The level of R/B# now, as the Pi reads it.
    bool ReadyLineHigh();
    // Drives value on the data pins and reads them back at the Pi's own pins:
    // a line held by a short reads its own level whatever the Pi drives. Only
    // with every chip deselected, so that no chip takes the byte.
    uint8_t DataLoopback(uint8_t value);

    static const char* MakerName(uint8_t makerCode);

    // Milliseconds on a clock that wraps every 2^20 seconds. It never steps:
    // a Pi has no battery clock, and NTP may set the wall clock in the middle
    // of a job.
    static int32_t NowMs();
    static int32_t ElapsedMs(int32_t startMs);
    static int32_t ElapsedBetween(int32_t startMs, int32_t nowMs);

private:
    uint32_t CappedBudget(uint32_t budget) const;

    uint32_t waitCap_ = 0;
    bool lastWaitSawBusy_ = false;
    bool started_ = false;
    bool parked_ = false;
    GpioMapError startError_ = GpioMapError::None;
};

extern NandBus nandBus;
