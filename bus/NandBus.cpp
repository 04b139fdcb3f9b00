#include "bus/NandBus.h"

#include <array>
#include <ctime>

volatile uint32_t* gpioRegs = nullptr;
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
inline void DriveDataPins(uint32_t value) {
    const std::array<uint8_t, 8>& reg = kDataPinRegs[value & 0xFFu];
    GpioWrite(reg[0], 1u << busPinTable[16]);
    GpioWrite(reg[1], 1u << busPinTable[17]);
    GpioWrite(reg[2], 1u << busPinTable[18]);
    GpioWrite(reg[3], 1u << busPinTable[19]);
    GpioWrite(reg[4], 1u << busPinTable[20]);
    GpioWrite(reg[5], 1u << busPinTable[21]);
    GpioWrite(reg[6], 1u << busPinTable[22]);
    GpioWrite(reg[7], 1u << busPinTable[23]);
}

// One read cycle while the data pins are already inputs: what every byte of
// a burst after the first one costs.
inline uint8_t ReadCycleOnInputs() {
    DriveLow(PIN_RE);
    (void)GpioRead(GPLEV0);  // settling time for the chip's outputs
    const uint32_t levels = GpioRead(GPLEV0);
    DriveHigh(PIN_RE);
    return ByteFromLevels(levels);
}

// The byte loops of page read and page program. The restrict-qualified buffer
// lets the compiler keep the register block's address in a register across
// the byte stores instead of fetching gpioRegs again for every byte.
inline void ReadBurst(uint8_t* __restrict out, int32_t count) {
    for (int32_t i = 0; i < count; ++i) out[i] = ReadCycleOnInputs();
}

inline void ProgramBurst(const uint8_t* __restrict in, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        DriveDataPins(in[i]);
        GpioWrite(GPCLR0, 1u << PIN_WE);  // PulseWE: the chip latches on the rising edge
        GpioWrite(GPSET0, 1u << PIN_WE);
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

void NandBus::Start() {
    if (started_) return;
    GpioMap();
    BusInit();
    started_ = true;
}

void NandBus::BusInit() {
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

void NandBus::DataPinsToOutput() {
    for (unsigned pin : kDataPinsUp) MakeOutput(pin);
    dataPinsInput = 0;
}

void NandBus::DataPinsToInput() {
    for (unsigned pin : kDataPinsUp) MakeInput(pin);
    dataPinsInput = 1;
}

void NandBus::BusWriteByte(int value) {
    if (dataPinsInput) DataPinsToOutput();
    DriveDataPins(static_cast<uint32_t>(value));
}

void NandBus::PulseWE() {
    DriveLow(PIN_WE);
    DriveHigh(PIN_WE);
}

uint8_t NandBus::BusReadByte() {
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

bool NandBus::WaitReady(uint32_t busyBudget, uint32_t readyBudget) {
    // A chip that finishes before the first poll never shows busy, so running
    // out of the busy budget is not an error.
    uint32_t left = busyBudget;
    bool sawBusy = true;
    while (GpioRead(GPLEV0) & (1u << PIN_RB)) {
        if (--left == 0) {
            sawBusy = false;
            break;
        }
    }
    lastWaitSawBusy_ = sawBusy;
    left = readyBudget;
    while ((GpioRead(GPLEV0) & (1u << PIN_RB)) == 0) {
        if (--left == 0) return false;
    }
    return true;
}

int NandBus::ReadStatus() {
    BusCommand(OP_READ_STATUS);
    return BusReadByte() & STATUS_FAIL;
}

const char* NandBus::NandReadId(uint8_t* out, int cePin) {
    DriveLow(static_cast<unsigned>(cePin));
    BusCommand(OP_READ_ID);
    BusAddress(ID_ADDRESS_CHIP);
    for (int i = 0; i < 5; ++i) out[i] = BusReadByte();
    DriveHigh(static_cast<unsigned>(cePin));
    return MakerName(out[0]);
}

int16_t NandBus::NandReadPage(int cePin, uint32_t row, uint32_t rowLimit, int32_t length, uint8_t* buf) {
    DriveLow(static_cast<unsigned>(cePin));
    BusCommand(OP_READ);
    AddressPhaseBegin();
    BusWriteByte(0x00);  // column 0, low byte then high
    PulseWE();
    BusWriteByte(0x00);
    PulseWE();
    SendRowAddress(row, rowLimit);
    AddressPhaseEnd();
    BusCommand(OP_READ_CONFIRM);
    if (!WaitReady(READ_BUSY_POLLS, READ_READY_POLLS)) return ERR_RB_L;
    if (length > 0) {
        buf[0] = BusReadByte();  // turns the data pins to inputs if they are not yet
        ReadBurst(buf + 1, length - 1);
    }
    DriveHigh(static_cast<unsigned>(cePin));
    return NAND_OK;
}

int32_t NandBus::NandEraseBlock(int cePin, int32_t row, int32_t rowLimit) {
    DriveLow(static_cast<unsigned>(cePin));
    BusCommand(OP_ERASE);
    AddressPhaseBegin();
    SendRowAddress(static_cast<uint32_t>(row), static_cast<uint32_t>(rowLimit));
    AddressPhaseEnd();
    BusCommand(OP_ERASE_CONFIRM);
    if (!WaitReady(ERASE_BUSY_POLLS, ERASE_READY_POLLS)) return ERR_RB_L;
    const int status = ReadStatus();
    DriveHigh(static_cast<unsigned>(cePin));
    return status;
}

int16_t NandBus::NandProgramPage(int cePin, uint32_t row, uint32_t rowLimit, int32_t length,
                                 const uint8_t* data) {
    DriveLow(static_cast<unsigned>(cePin));
    BusCommand(OP_PROGRAM);
    AddressPhaseBegin();
    BusWriteByte(0x00);  // column 0, low byte then high
    PulseWE();
    BusWriteByte(0x00);
    PulseWE();
    SendRowAddress(row, rowLimit);
    AddressPhaseEnd();
    // The address cycles have just left the data pins outputs.
    ProgramBurst(data, length);
    BusCommand(OP_PROGRAM_CONFIRM);
    if (!WaitReady(PROGRAM_BUSY_POLLS, PROGRAM_READY_POLLS)) return ERR_RB_L;
    const int status = ReadStatus();
    DriveHigh(static_cast<unsigned>(cePin));
    return static_cast<int16_t>(status);
}

void NandBus::NandReadIdAt(uint8_t address, uint8_t* out, int count, int cePin) {
    DriveLow(static_cast<unsigned>(cePin));
    BusCommand(OP_READ_ID);
    BusAddress(address);
    for (int i = 0; i < count; ++i) out[i] = BusReadByte();
    DriveHigh(static_cast<unsigned>(cePin));
}

int16_t NandBus::NandReadParameterPage(int cePin, uint8_t address, int32_t length, uint8_t* buf) {
    DriveLow(static_cast<unsigned>(cePin));
    BusCommand(OP_READ_PARAMETER_PAGE);
    BusAddress(address);
    if (!WaitReady(READ_BUSY_POLLS, READ_READY_POLLS)) return ERR_RB_L;
    for (int32_t i = 0; i < length; ++i) buf[i] = BusReadByte();
    DriveHigh(static_cast<unsigned>(cePin));
    return NAND_OK;
}

int16_t NandBus::NandReadColumn(int cePin, uint32_t row, uint32_t rowLimit, uint32_t column, int32_t length,
                                uint8_t* buf) {
    DriveLow(static_cast<unsigned>(cePin));
    BusCommand(OP_READ);
    AddressPhaseBegin();
    BusWriteByte(column & 0xFF);
    PulseWE();
    BusWriteByte((column >> 8) & 0xFF);
    PulseWE();
    SendRowAddress(row, rowLimit);
    AddressPhaseEnd();
    BusCommand(OP_READ_CONFIRM);
    if (!WaitReady(READ_BUSY_POLLS, READ_READY_POLLS)) return ERR_RB_L;
    // A few bytes: the plain read cycle, which turns the pins on the first.
    for (int32_t i = 0; i < length; ++i) buf[i] = BusReadByte();
    DriveHigh(static_cast<unsigned>(cePin));
    return NAND_OK;
}

bool NandBus::NandReset(int cePin) {
    DriveLow(static_cast<unsigned>(cePin));
    BusCommand(OP_RESET);
    const bool ready = WaitReady(READ_BUSY_POLLS, READ_READY_POLLS);
    DriveHigh(static_cast<unsigned>(cePin));
    return ready;
}

uint8_t NandBus::NandReadStatusByte(int cePin) {
    DriveLow(static_cast<unsigned>(cePin));
    BusCommand(OP_READ_STATUS);
    const uint8_t status = BusReadByte();
    DriveHigh(static_cast<unsigned>(cePin));
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
