#include "bus/NandBus.h"

#include <array>
#include <ctime>

#include "bus/Rp1Gpio.h"

volatile uint32_t* gpioRegs = nullptr;
GpioLayout gpioLayout = GpioLayout::Bcm2835;
int16_t dataPinsInput = 0;

namespace {

inline void DriveHigh(unsigned pin) { GpioWrite(GPSET0, 1u << pin); }
inline void DriveLow(unsigned pin) { GpioWrite(GPCLR0, 1u << pin); }

inline unsigned FselReg(unsigned pin) { return GPFSEL0 + pin / 10; }
inline unsigned FselShift(unsigned pin) { return 3 * (pin % 10); }

// Two read-modify-write cycles: the pin passes through input on its way to
// output, as the function field is cleared before its low bit is set.
inline void MakeOutput(unsigned pin) {
    const unsigned reg = FselReg(pin);
    GpioWrite(reg, GpioRead(reg) & ~(7u << FselShift(pin)));
    GpioWrite(reg, GpioRead(reg) | (1u << FselShift(pin)));
}

inline void MakeInput(unsigned pin) {
    const unsigned reg = FselReg(pin);
    GpioWrite(reg, GpioRead(reg) & ~(7u << FselShift(pin)));
}

inline void MakeOutputDrive(unsigned pin, bool high) {
    MakeOutput(pin);
    if (high)
        DriveHigh(pin);
    else
        DriveLow(pin);
}

// The data pins from IO0 up to IO7, the order in which directions change.
constexpr unsigned kDataPinsUp[8] = {26, 19, 13, 6, 5, 22, 27, 17};

// GPLEV0 to byte, in two table look-ups: GPIO 5, 6 and 13 fall in bits 5-13,
// GPIO 17, 19, 22, 26 and 27 in bits 17-27. Cheaper than eight shifts and ors
// on both x86 and the Pi's Cortex-A7. Each table looks only at the data pins'
// bits of its index, so the levels of the other pins need no mask: one bit
// field extraction per table is all.
constexpr std::array<uint8_t, 512> MakeLowTable() {
    std::array<uint8_t, 512> t{};
    for (unsigned i = 0; i < 512; ++i) {
        const uint32_t v = i << 5;
        t[i] = static_cast<uint8_t>(((v >> 5) & 1u) << 4 | ((v >> 6) & 1u) << 3 | ((v >> 13) & 1u) << 2);
    }
    return t;
}

constexpr std::array<uint8_t, 2048> MakeHighTable() {
    std::array<uint8_t, 2048> t{};
    for (unsigned i = 0; i < 2048; ++i) {
        const uint32_t v = i << 17;
        t[i] = static_cast<uint8_t>(((v >> 17) & 1u) << 7 | ((v >> 27) & 1u) << 6 | ((v >> 22) & 1u) << 5 |
                                    ((v >> 19) & 1u) << 1 | ((v >> 26) & 1u));
    }
    return t;
}

constexpr std::array<uint8_t, 512> kLevelLow = MakeLowTable();
constexpr std::array<uint8_t, 2048> kLevelHigh = MakeHighTable();

inline uint8_t ByteFromLevels(uint32_t v) {
    return kLevelLow[(v >> 5) & 0x1FFu] | kLevelHigh[(v >> 17) & 0x7FFu];
}

// Byte to data-pin writes: for every byte value, the register (GPSET0 or
// GPCLR0) of each of its eight writes, IO7 first. With it a data pin costs one
// table load and one store, with no test and no branch.
constexpr std::array<std::array<uint8_t, 8>, 256> MakeDataPinRegTable() {
    std::array<std::array<uint8_t, 8>, 256> t{};
    for (unsigned v = 0; v < 256; ++v) {
        for (unsigned i = 0; i < 8; ++i) t[v][i] = (v & (0x80u >> i)) ? GPSET0 : GPCLR0;
    }
    return t;
}

constexpr std::array<std::array<uint8_t, 8>, 256> kDataPinRegs = MakeDataPinRegTable();

// The eight data-pin writes of one byte, IO7 first, onto pins that are
// already outputs. Spelt out so that every pin mask is a constant.
// The byte loops, this one included, reach a BCM2835 block through a
// GpioBlock directly: the RP1 has byte loops of its own below.
inline void DriveDataPins(const GpioBlock& block, uint32_t value) {
    const std::array<uint8_t, 8>& reg = kDataPinRegs[value & 0xFFu];
    block.Store(reg[0], 1u << busPinTable[16]);
    block.Store(reg[1], 1u << busPinTable[17]);
    block.Store(reg[2], 1u << busPinTable[18]);
    block.Store(reg[3], 1u << busPinTable[19]);
    block.Store(reg[4], 1u << busPinTable[20]);
    block.Store(reg[5], 1u << busPinTable[21]);
    block.Store(reg[6], 1u << busPinTable[22]);
    block.Store(reg[7], 1u << busPinTable[23]);
}

// One read cycle while the data pins are already inputs: what every byte of
// a burst after the first one costs.
inline uint8_t ReadCycleOnInputs(const GpioBlock& block) {
    block.Store(GPCLR0, 1u << PIN_RE);
    (void)block.Load(GPLEV0);  // settling time for the chip's outputs
    const uint32_t levels = block.Load(GPLEV0);
    block.Store(GPSET0, 1u << PIN_RE);
    return ByteFromLevels(levels);
}

// The Pi 5's RP1 sits behind PCIe, where stores are posted: the link may
// hold them (while it wakes from power saving) and hand them on in a burst,
// so the core's own pace does not set how long a pulse lasts at the pins.
// What a burst cannot beat is RP1's own pace, about 25 ns a store (a loop of
// stores to the SET and CLR aliases toggles a pin at 15 to 20 MHz): pulses
// are counted in stores. Timing mode 0, the one every ONFI chip starts in,
// asks tWP and tRP >= 50 ns, tWH and tREH >= 30 ns, tDS >= 40 ns and data
// valid at most tREA = 40 ns after RE# falls. Every WE# and RE# pulse is
// three stores low (75 ns) and two high (50 ns), one store repeated where
// the pin has nothing else to do.
inline void Rp1Set(uint32_t pins) { GpioStore(rp1::OUT_SET, pins); }
inline void Rp1Clear(uint32_t pins) { GpioStore(rp1::OUT_CLR, pins); }

// For every byte value, the data pins that are high.
constexpr std::array<uint32_t, 256> MakeDataPinOnes() {
    std::array<uint32_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v) {
        for (unsigned i = 0; i < 8; ++i) {
            if (v & (0x80u >> i)) t[v] |= 1u << busPinTable[16 + i];
        }
    }
    return t;
}

constexpr std::array<uint32_t, 256> kDataPinOnes = MakeDataPinOnes();

// A byte onto the data pins (outputs already): two stores, the pins that
// fall together, then those that rise.
inline void Rp1DriveData(uint32_t value) {
    const uint32_t ones = kDataPinOnes[value & 0xFFu];
    Rp1Clear(DATA_PIN_MASK & ~ones);
    Rp1Set(ones);
}

inline void Rp1PulseWE() {
    Rp1Clear(1u << PIN_WE);
    Rp1Clear(1u << PIN_WE);
    Rp1Clear(1u << PIN_WE);
    Rp1Set(1u << PIN_WE);
    Rp1Set(1u << PIN_WE);
}

// A read cycle in one load. The load reaches RP1 only after every store
// before it, and it is served after them: with RE#'s store given twice more,
// the levels are taken at least two stores (50 ns) after RE# fell, past
// tREA. RE# rises with the store after the load, which a core issues only
// once the load has come back: RE# stays low for a whole round trip.
inline uint8_t Rp1ReadCycle() {
    Rp1Clear(1u << PIN_RE);
    Rp1Clear(1u << PIN_RE);
    Rp1Clear(1u << PIN_RE);
    const uint32_t levels = GpioLoad(rp1::RIO_IN);
    Rp1Set(1u << PIN_RE);
    Rp1Set(1u << PIN_RE);
    return ByteFromLevels(levels);
}

[[gnu::noinline]] void Rp1ReadBurst(uint8_t* __restrict out, int32_t count) {
    for (int32_t i = 0; i < count; ++i) out[i] = Rp1ReadCycle();
}

// A programmed byte in five stores: WE# falls with the data pins that fall,
// the pins that rise follow, WE# is held, rises, is held high. Data is
// valid two stores (50 ns) before WE# rises and stays two stores after.
[[gnu::noinline]] void Rp1ProgramBurst(const uint8_t* __restrict in, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t ones = kDataPinOnes[in[i]];
        Rp1Clear((DATA_PIN_MASK & ~ones) | 1u << PIN_WE);
        Rp1Set(ones);
        Rp1Clear(1u << PIN_WE);
        Rp1Set(1u << PIN_WE);
        Rp1Set(1u << PIN_WE);
    }
}

// The byte loops of page read and page program. The restrict-qualified buffer
// lets the compiler keep the register block's address in a register across
// the byte stores instead of fetching gpioRegs again for every byte.
inline void ReadBurst(uint8_t* __restrict out, int32_t count) {
    if (GpioIsRp1()) return Rp1ReadBurst(out, count);
    const GpioBlock block = GpioBlockNow();
    for (int32_t i = 0; i < count; ++i) out[i] = ReadCycleOnInputs(block);
}

inline void ProgramBurst(const uint8_t* __restrict in, int32_t count) {
    if (GpioIsRp1()) return Rp1ProgramBurst(in, count);
    const GpioBlock block = GpioBlockNow();
    for (int32_t i = 0; i < count; ++i) {
        DriveDataPins(block, in[i]);
        block.Store(GPCLR0, 1u << PIN_WE);  // PulseWE: the chip latches on the rising edge
        block.Store(GPSET0, 1u << PIN_WE);
    }
}

inline void AddressPhaseBegin() { DriveHigh(PIN_ALE); }
inline void AddressPhaseEnd() { DriveLow(PIN_ALE); }

}  // namespace

NandBus::NandBus() { Start(); }

NandBus::~NandBus() { Park(); }

void NandBus::Park() {
    if (!started_ || parked_) return;
    BusRelease();
    parked_ = true;
}

GpioMapError NandBus::Start() {
    if (started_) return GpioMapError::None;
    startError_ = GpioMap();
    if (startError_ != GpioMapError::None) return startError_;
    BusInit();
    started_ = true;
    return GpioMapError::None;
}

GpioMapError NandBus::GpioMap() {
    const GpioMapping mapping = GpioBackendMap();
    if (mapping.error != GpioMapError::None) return mapping.error;
    gpioRegs = mapping.regs;
    gpioLayout = mapping.layout;
    return GpioMapError::None;
}

void NandBus::BusInit() {
    // On RP1 the pins are handed to the RIO block afresh.
    if (GpioIsRp1()) rp1::Forget();
    // Deselect every chip before anything else moves.
    MakeOutputDrive(CE0, true);
    MakeOutputDrive(CE1, true);
    MakeOutputDrive(CE2, true);
    MakeOutputDrive(CE3, true);
    for (unsigned pin : kDataPinsUp) MakeOutput(pin);
    for (int i = 7; i >= 0; --i) MakeOutput(busPinTable[i]);
    dataPinsInput = 0;
    for (int i = 0; i < 16; ++i) DriveLow(busPinTable[i]);
    MakeInput(PIN_RB);
    MakeOutputDrive(PIN_CLE, false);
    MakeOutputDrive(PIN_ALE, false);
    MakeOutputDrive(PIN_RE, true);
    MakeOutputDrive(PIN_WE, true);
    MakeOutputDrive(PIN_WP, true);
}

void NandBus::BusRelease() {
    // Park: every used pin a low output, so the chip is write protected and
    // nothing is left driving high into an unpowered or removed socket.
    constexpr unsigned kControlPins[10] = {CE0, CE1, CE2, CE3, PIN_CLE, PIN_ALE, PIN_RE, PIN_WE, PIN_WP, PIN_RB};
    for (unsigned pin : kControlPins) MakeOutputDrive(pin, false);
    for (unsigned pin : kDataPinsUp) MakeOutput(pin);
    for (int i = 7; i >= 0; --i) MakeOutput(busPinTable[i]);
    dataPinsInput = 0;
    for (int i = 0; i < 16; ++i) DriveLow(busPinTable[i]);
}

// On RP1 the eight pins turn at once, with one store to OE's SET or CLR
// alias.
void NandBus::DataPinsToOutput() {
    if (GpioIsRp1())
        rp1::SetDirections(DATA_PIN_MASK, 0);
    else
        for (unsigned pin : kDataPinsUp) MakeOutput(pin);
    dataPinsInput = 0;
}

void NandBus::DataPinsToInput() {
    if (GpioIsRp1())
        rp1::SetDirections(0, DATA_PIN_MASK);
    else
        for (unsigned pin : kDataPinsUp) MakeInput(pin);
    dataPinsInput = 1;
}

void NandBus::BusWriteByte(int value) {
    if (dataPinsInput) DataPinsToOutput();
    if (GpioIsRp1())
        Rp1DriveData(static_cast<uint32_t>(value));
    else
        DriveDataPins(GpioBlockNow(), static_cast<uint32_t>(value));
}

void NandBus::PulseWE() {
    if (GpioIsRp1()) return Rp1PulseWE();
    DriveLow(PIN_WE);
    DriveHigh(PIN_WE);
}

uint8_t NandBus::BusReadByte() {
    if (GpioIsRp1()) {
        // The pins let go of the bus before RE# asks the chip to drive it.
        if (dataPinsInput == 0) DataPinsToInput();
        return Rp1ReadCycle();
    }
    DriveLow(PIN_RE);
    // The pins turn to inputs only after RE# has fallen: the chip needs tREA
    // before it drives, so the two never fight over the bus.
    if (dataPinsInput == 0) DataPinsToInput();
    (void)GpioRead(GPLEV0);  // settling time for the chip's outputs
    const uint32_t levels = GpioRead(GPLEV0);
    DriveHigh(PIN_RE);
    return ByteFromLevels(levels);
}

void NandBus::BusCommand(uint8_t command) {
    DriveHigh(PIN_CLE);
    BusWriteByte(command);
    PulseWE();
    DriveLow(PIN_CLE);
}

void NandBus::BusAddress(uint8_t address) {
    AddressPhaseBegin();
    BusWriteByte(address);
    PulseWE();
    AddressPhaseEnd();
}

void NandBus::SendRowAddress(uint32_t row, uint32_t rowLimit) {
    BusWriteByte(row & 0xFF);
    PulseWE();
    if (((rowLimit >> 8) & 0xFF) == 0) return;
    BusWriteByte((row >> 8) & 0xFF);
    PulseWE();
    if (((rowLimit >> 16) & 0xFF) == 0) return;
    BusWriteByte((row >> 16) & 0xFF);
    PulseWE();
    if (rowLimit > 0xFFFFFFu) {
        BusWriteByte((row >> 24) & 0xFF);
        PulseWE();
    }
}

uint32_t NandBus::CappedBudget(uint32_t budget) const {
    if (waitCap_ == 0) return budget;
    return budget == 0 || budget > waitCap_ ? waitCap_ : budget;
}

bool NandBus::WaitReady(uint32_t busyBudget, uint32_t readyBudget) {
    // A chip that finishes before the first poll never shows busy, so running
    // out of the busy budget is not an error.
    uint32_t left = CappedBudget(busyBudget);
    bool sawBusy = true;
    while (GpioRead(GPLEV0) & (1u << PIN_RB)) {
        if (--left == 0) {
            sawBusy = false;
            break;
        }
    }
    lastWaitSawBusy_ = sawBusy;
    left = CappedBudget(readyBudget);
    while ((GpioRead(GPLEV0) & (1u << PIN_RB)) == 0) {
        if (--left == 0) return false;
    }
    return true;
}

int NandBus::ReadStatus() {
    BusCommand(OP_READ_STATUS);
    return BusReadByte() & STATUS_FAIL;
}

// Chip commands. Each is a short list of steps, run in order by RunSteps with
// its chip selected:
//   Command{opcode}        one command cycle (CLE high, WE# pulse)
//   Address                the column's bytes, then the row's, low byte first,
//                          in one address phase (ALE high)
//   Wait{busy, ready}      R/B#: busy, then ready, within these budgets
//   DataIn{buf, n}         n read cycles into buf
//   DataOut{data, n}       n write cycles from data
// The steps are types and the list a parameter pack, so the runner is
// compiled into each command with its steps in line: the byte loops of page
// read and page program stay what they were, one plain register access per
// bus edge, with no step dispatch inside them.
namespace {

struct Command {
    uint8_t opcode;
};

struct Address {
    uint32_t column;
    uint8_t columnBytes;  // 0, 1 or 2
    bool hasRow;
    uint32_t row;
    uint32_t rowLimit;  // the highest row of the chip: how many row bytes it takes
};

// The address of a page command: column, then row.
Address PageAddress(uint32_t column, uint32_t row, uint32_t rowLimit) { return {column, 2, true, row, rowLimit}; }
// The address of ERASE: the row alone.
Address BlockAddress(uint32_t row, uint32_t rowLimit) { return {0, 0, true, row, rowLimit}; }
// One byte alone, the address of READ ID and READ PARAMETER PAGE.
Address ByteAddress(uint8_t address) { return {address, 1, false, 0, 0}; }

struct Wait {
    uint32_t busyPolls;
    uint32_t readyPolls;
};

constexpr Wait READ_WAIT{READ_BUSY_POLLS, READ_READY_POLLS};
constexpr Wait PROGRAM_WAIT{PROGRAM_BUSY_POLLS, PROGRAM_READY_POLLS};
constexpr Wait ERASE_WAIT{ERASE_BUSY_POLLS, ERASE_READY_POLLS};

struct DataIn {
    uint8_t* buf;
    int32_t length;
};

struct DataOut {
    const uint8_t* data;
    int32_t length;
};

// One step; false ends the command: only a wait can fail, when R/B# stays low
// past its budget.
inline bool Do(NandBus& bus, const Command& step) {
    bus.BusCommand(step.opcode);
    return true;
}

inline bool Do(NandBus& bus, const Address& step) {
    AddressPhaseBegin();
    if (step.columnBytes > 0) {
        bus.BusWriteByte(step.column & 0xFF);
        bus.PulseWE();
    }
    if (step.columnBytes > 1) {
        bus.BusWriteByte((step.column >> 8) & 0xFF);
        bus.PulseWE();
    }
    if (step.hasRow) bus.SendRowAddress(step.row, step.rowLimit);
    AddressPhaseEnd();
    return true;
}

inline bool Do(NandBus& bus, const Wait& step) { return bus.WaitReady(step.busyPolls, step.readyPolls); }

inline bool Do(NandBus& bus, const DataIn& step) {
    if (step.length > 0) {
        step.buf[0] = bus.BusReadByte();  // turns the data pins to inputs if they are not yet
        ReadBurst(step.buf + 1, step.length - 1);
    }
    return true;
}

inline bool Do(NandBus& bus, const DataOut& step) {
    if (dataPinsInput) bus.DataPinsToOutput();
    ProgramBurst(step.data, step.length);
    return true;
}

// Selects the chip, runs the steps until one fails, and deselects the chip
// on every way out, a time-out too: a chip left selected would take the next
// command meant for another chip enable, and drive the data lines against
// the chip that answers it.
template <typename... Steps>
inline int16_t RunSteps(NandBus& bus, int cePin, const Steps&... steps) {
    DriveLow(static_cast<unsigned>(cePin));
    const bool done = (Do(bus, steps) && ...);
    DriveHigh(static_cast<unsigned>(cePin));
    return done ? NAND_OK : ERR_RB_L;
}

// The result of a command that ends with READ STATUS: its FAIL bit, or the
// time-out that came before it.
inline int16_t StatusResult(int16_t result, uint8_t status) {
    return result == NAND_OK ? static_cast<int16_t>(status & STATUS_FAIL) : result;
}

}  // namespace

const char* NandBus::NandReadId(uint8_t* out, int cePin) {
    NandReadIdAt(ID_ADDRESS_CHIP, out, 5, cePin);
    return MakerName(out[0]);
}

int16_t NandBus::NandReadPage(int cePin, uint32_t row, uint32_t rowLimit, int32_t length, uint8_t* buf) {
    return RunSteps(*this, cePin, Command{OP_READ}, PageAddress(0, row, rowLimit), Command{OP_READ_CONFIRM},
                    READ_WAIT, DataIn{buf, length});
}

int32_t NandBus::NandEraseBlock(int cePin, int32_t row, int32_t rowLimit) {
    uint8_t status = 0;
    const int16_t result =
        RunSteps(*this, cePin, Command{OP_ERASE},
                 BlockAddress(static_cast<uint32_t>(row), static_cast<uint32_t>(rowLimit)),
                 Command{OP_ERASE_CONFIRM}, ERASE_WAIT, Command{OP_READ_STATUS}, DataIn{&status, 1});
    return StatusResult(result, status);
}

int16_t NandBus::NandProgramPage(int cePin, uint32_t row, uint32_t rowLimit, int32_t length,
                                 const uint8_t* data) {
    uint8_t status = 0;
    const int16_t result = RunSteps(*this, cePin, Command{OP_PROGRAM}, PageAddress(0, row, rowLimit),
                                    DataOut{data, length}, Command{OP_PROGRAM_CONFIRM}, PROGRAM_WAIT,
                                    Command{OP_READ_STATUS}, DataIn{&status, 1});
    return StatusResult(result, status);
}

void NandBus::NandReadIdAt(uint8_t address, uint8_t* out, int count, int cePin) {
    RunSteps(*this, cePin, Command{OP_READ_ID}, ByteAddress(address), DataIn{out, count});
}

int16_t NandBus::NandReadParameterPage(int cePin, uint8_t address, int32_t length, uint8_t* buf) {
    return RunSteps(*this, cePin, Command{OP_READ_PARAMETER_PAGE}, ByteAddress(address), READ_WAIT,
                    DataIn{buf, length});
}

int16_t NandBus::NandReadColumn(int cePin, uint32_t row, uint32_t rowLimit, uint32_t column, int32_t length,
                                uint8_t* buf) {
    return RunSteps(*this, cePin, Command{OP_READ}, PageAddress(column, row, rowLimit), Command{OP_READ_CONFIRM},
                    READ_WAIT, DataIn{buf, length});
}

bool NandBus::NandReset(int cePin) { return RunSteps(*this, cePin, Command{OP_RESET}, READ_WAIT) == NAND_OK; }

uint8_t NandBus::NandReadStatusByte(int cePin) {
    uint8_t status = 0;
    RunSteps(*this, cePin, Command{OP_READ_STATUS}, DataIn{&status, 1});
    return status;
}

void NandBus::SetWriteProtect(bool protect) {
    if (protect)
        DriveLow(PIN_WP);
    else
        DriveHigh(PIN_WP);
}

bool NandBus::ReadyLineHigh() { return (GpioRead(GPLEV0) >> PIN_RB) & 1u; }

uint8_t NandBus::DataLoopback(uint8_t value) {
    BusWriteByte(value);
    (void)GpioRead(GPLEV0);  // the same settling read as a read cycle's
    return ByteFromLevels(GpioRead(GPLEV0));
}

const char* NandBus::MakerName(uint8_t makerCode) {
    switch (makerCode) {
        case 0x01: return "AMD";
        case 0x04: return "Fujitsu";
        case 0x07: return "Renesas";
        case 0x20: return "ST Micro";
        case 0x2C: return "Micron";
        case 0x8F: return "National Semiconductors";
        case 0x98: return "Toshiba";
        case 0xAD: return "Hynix";
        case 0xC2: return "Macronix";
        case 0xEC: return "Samsung";
        default: return "Unknown Nand";
    }
}

int32_t NandBus::NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t seconds = static_cast<int64_t>(now.tv_sec) % (1 << 20);
    return static_cast<int32_t>(seconds * 1000 + now.tv_nsec / 1000000);
}

int32_t NandBus::ElapsedBetween(int32_t startMs, int32_t nowMs) {
    int32_t d = nowMs - startMs;
    if (d < 0) d += 0x3E800000;  // one wrap of the 2^20-second window
    return d;
}

int32_t NandBus::ElapsedMs(int32_t startMs) { return ElapsedBetween(startMs, NowMs()); }
