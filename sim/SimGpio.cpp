#include "sim/SimGpio.h"

#include <cstdio>
#include <cstdlib>

#include "bus/NandBus.h"
#include "bus/Rp1Gpio.h"

namespace sim {

namespace {
constexpr unsigned kFselWords = 6;

void WriteReportAtExit() {
    const char* path = std::getenv("FERRIK_SIM_REPORT");
    if (path == nullptr || *path == '\0') return;
    FILE* f = std::fopen(path, "w");
    if (f == nullptr) return;
    const std::string report = SimGpio::Instance().Report();
    std::fwrite(report.data(), 1, report.size(), f);
    std::fclose(f);
}
}  // namespace

SimGpio& SimGpio::Instance() {
    static SimGpio instance;
    return instance;
}

SimGpio::SimGpio() { PowerOn(); }

void SimGpio::PowerOn() {
    for (auto& f : fsel_) f = 0;
    fsel_[0] = (4u << 0) | (4u << 3);    // GPIO 0, 1: ALT0
    fsel_[1] = (4u << 12) | (4u << 15);  // GPIO 14, 15: ALT0
    latch_ = 0;
    for (unsigned i = 0; i < kFselWords; ++i) words_[i] = fsel_[i];
    for (unsigned pin = 0; pin < 28; ++pin) {
        rp1Ctrl_[pin] = rp1::FUNCSEL_NULL;
        rp1Pad_[pin] = rp1::PAD_OUTPUT_DISABLE | 1u << 4 | rp1::PAD_PULL_DOWN | 1u << 1;
    }
    rp1Ctrl_[0] = rp1Ctrl_[1] = 3;
    rp1Ctrl_[14] = rp1Ctrl_[15] = 4;
    rp1Out_ = rp1Oe_ = 0;
    UpdateOutputMask();
}

void SimGpio::SetBoard(SimBoard board) {
    board_ = board;
    PowerOn();
}

void SimGpio::UpdateOutputMask() {
    if (board_ == SimBoard::Rp1) return Rp1UpdatePins();
    uint32_t mask = 0;
    for (unsigned pin = 0; pin < 32; ++pin) {
        if (((fsel_[pin / 10] >> (3 * (pin % 10))) & 7u) == 1u) mask |= 1u << pin;
    }
    outputMask_ = mask;
}

PinFunction SimGpio::Function(unsigned pin) const {
    if (board_ == SimBoard::Rp1) {
        if (pin >= 28) return PinFunction::Input;
        const uint32_t funcsel = rp1Ctrl_[pin] & rp1::CTRL_FUNCSEL;
        if (funcsel == rp1::FUNCSEL_SYS_RIO) return IsOutput(pin) ? PinFunction::Output : PinFunction::Input;
        return funcsel == rp1::FUNCSEL_NULL ? PinFunction::Input : PinFunction::Alt0;
    }
    switch ((fsel_[pin / 10] >> (3 * (pin % 10))) & 7u) {
        case 0: return PinFunction::Input;
        case 1: return PinFunction::Output;
        case 4: return PinFunction::Alt0;
        case 5: return PinFunction::Alt1;
        case 6: return PinFunction::Alt2;
        case 7: return PinFunction::Alt3;
        case 3: return PinFunction::Alt4;
        default: return PinFunction::Alt5;
    }
}

void SimGpio::SetFunctionRaw(unsigned pin, unsigned field) {
    const unsigned shift = 3 * (pin % 10);
    fsel_[pin / 10] = (fsel_[pin / 10] & ~(7u << shift)) | ((field & 7u) << shift);
    words_[pin / 10] = fsel_[pin / 10];
    UpdateOutputMask();
}

void SimGpio::SetWiring(const SimWiring& wiring) {
    wiring_ = wiring;
    wiringFaults_ = wiring.Any();
}

namespace {
constexpr unsigned kReadyPin = 10;
}

void SimGpio::ChipSide(uint32_t* levels, uint32_t* outputs) const {
    uint32_t l = *levels | ~*outputs;  // an undriven line floats high
    uint32_t o = *outputs;
    const uint32_t cut = wiring_.open & ~(1u << kReadyPin);
    l &= ~cut;
    o |= cut;
    for (const auto& pair : wiring_.shorts) {
        const uint32_t both = (1u << pair.first) | (1u << pair.second);
        if ((o & both) == 0) continue;
        if ((l & both) != both) l &= ~both;
        else l |= both;
        o |= both;
    }
    l = (l & ~wiring_.stuckLow) | wiring_.stuckHigh;
    o |= wiring_.stuckLow | wiring_.stuckHigh;
    *levels = l;
    *outputs = o;
}

// RP1's pads have pulls of their own: with the pad's pull-up on, R/B#
// reads high without the resistor.
bool SimGpio::Rp1PullUp(unsigned pin) const {
    return board_ == SimBoard::Rp1 && (rp1Pad_[pin] & rp1::PAD_PULL_UP) != 0;
}

uint32_t SimGpio::PiSide(uint32_t levels, uint32_t driven) const {
    if (wiring_.noPullup && !Rp1PullUp(kReadyPin) && !(driven & (1u << kReadyPin)) &&
        !(outputMask_ & (1u << kReadyPin)))
        levels &= ~(1u << kReadyPin);
    for (const auto& pair : wiring_.shorts) {
        const uint32_t both = (1u << pair.first) | (1u << pair.second);
        if ((levels & both) != both) levels &= ~both;
    }
    return (levels & ~wiring_.stuckLow) | wiring_.stuckHigh;
}

uint32_t SimGpio::PeekLevels() {
    if (wiringFaults_) return PeekLevelsThroughWiring();
    if (socket_ == nullptr) return (latch_ & outputMask_) | ~outputMask_;  // every input floats high
    const SocketDrive outside = socket_->OnPiRead(latch_, outputMask_);
    return (latch_ & outputMask_) | (outside.levels & outside.driven & ~outputMask_) |
           (~outside.driven & ~outputMask_);
}

// Out of line, as Record is.
[[gnu::noinline]] uint32_t SimGpio::PeekLevelsThroughWiring() {
    SocketDrive outside;
    if (socket_ != nullptr) {
        uint32_t levels = latch_;
        uint32_t outputs = outputMask_;
        ChipSide(&levels, &outputs);
        outside = socket_->OnPiRead(levels, outputs);
        if (wiring_.open & (1u << kReadyPin)) outside.driven &= ~(1u << kReadyPin);
    }
    const uint32_t levels = (latch_ & outputMask_) | (outside.levels & outside.driven & ~outputMask_) |
                            (~outside.driven & ~outputMask_);
    return PiSide(levels, outside.driven);
}

uint32_t SimGpio::Read(unsigned reg) {
    ++reads_;
    uint32_t value;
    if (reg == GPLEV0) {
        value = PeekLevels();
    } else if (reg < kFselWords) {
        value = fsel_[reg];
    } else {
        value = 0;  // GPSET/GPCLR read as 0 on the real block
    }
    if (recording_) Record(false, reg, value);
    return value;
}

void SimGpio::Write(unsigned reg, uint32_t value) {
    ++writes_;
    if (recording_) Record(true, reg, value);
    if (reg == GPSET0) {
        latch_ |= value;
    } else if (reg == GPCLR0) {
        latch_ &= ~value;
    } else if (reg < kFselWords) {
        fsel_[reg] = value;
        words_[reg] = value;
        UpdateOutputMask();
    } else {
        return;
    }
    TellSocket();
}

void SimGpio::TellSocket() {
    if (socket_ == nullptr) return;
    if (wiringFaults_) {
        uint32_t levels = latch_;
        uint32_t outputs = outputMask_;
        ChipSide(&levels, &outputs);
        socket_->OnPiWrite(levels, outputs);
    } else {
        socket_->OnPiWrite(latch_, outputMask_);
    }
}

uint32_t* SimGpio::Rp1Register(uint32_t offset) {
    const uint32_t reg = offset & 0xFFFu;
    switch (offset & ~0xFFFFu) {
        case rp1::kIoBank0:
            return reg % 8 == 4 && reg / 8 < 28 ? &rp1Ctrl_[reg / 8] : nullptr;
        case rp1::kSysRio0:
            return reg == 0x0 ? &rp1Out_ : reg == 0x4 ? &rp1Oe_ : nullptr;
        case rp1::kPadsBank0:
            return reg >= 4 && reg % 4 == 0 && (reg - 4) / 4 < 28 ? &rp1Pad_[(reg - 4) / 4] : nullptr;
        default:
            return nullptr;
    }
}

void SimGpio::Rp1UpdatePins() {
    uint32_t rio = 0;
    for (unsigned pin = 0; pin < 28; ++pin) {
        const bool driven = (rp1Ctrl_[pin] & rp1::CTRL_FUNCSEL) == rp1::FUNCSEL_SYS_RIO &&
                            (rp1Pad_[pin] & rp1::PAD_OUTPUT_DISABLE) == 0;
        if (driven) rio |= 1u << pin;
    }
    latch_ = rp1Out_;
    outputMask_ = rp1Oe_ & rio;
}

uint32_t SimGpio::Rp1Load(unsigned word) {
    ++reads_;
    const uint32_t offset = word * 4;
    uint32_t value = 0;
    if (offset == rp1::RIO_IN * 4) {
        uint32_t inputEnabled = 0;
        for (unsigned pin = 0; pin < 28; ++pin) {
            if (rp1Pad_[pin] & rp1::PAD_INPUT_ENABLE) inputEnabled |= 1u << pin;
        }
        value = PeekLevels() & inputEnabled;
    } else if (const uint32_t* reg = Rp1Register(offset & ~0x3000u)) {
        value = *reg;
    }
    if (recording_) Record(false, word, value);
    return value;
}

void SimGpio::Rp1Store(unsigned word, uint32_t value) {
    ++writes_;
    if (recording_) Record(true, word, value);
    const uint32_t offset = word * 4;
    uint32_t* reg = Rp1Register(offset & ~0x3000u);
    if (reg == nullptr) return;
    switch (offset & 0x3000u) {
        case rp1::kXorAlias: *reg ^= value; break;
        case rp1::kSetAlias: *reg |= value; break;
        case rp1::kClrAlias: *reg &= ~value; break;
        default: *reg = value; break;
    }
    Rp1UpdatePins();
    TellSocket();
}

// Out of line, so that the access path itself holds no temporary: see
// SocketDrive.
[[gnu::noinline]] void SimGpio::Record(bool write, unsigned reg, uint32_t value) {
    record_.push_back({write, reg, value});
}

void SimGpio::StartRecording() {
    record_.clear();
    recording_ = true;
}

std::vector<SimAccess> SimGpio::StopRecording() {
    recording_ = false;
    std::vector<SimAccess> out;
    out.swap(record_);
    return out;
}

std::string SimGpio::Report() {
    static const char* const kNames[] = {"input", "output", "alt0", "alt1", "alt2", "alt3", "alt4", "alt5"};
    const uint32_t levels = PeekLevels();
    std::string out;
    char line[48];
    for (unsigned pin = 0; pin < 32; ++pin) {
        std::snprintf(line, sizeof line, "%u %s %u\n", pin, kNames[static_cast<int>(Function(pin))],
                      (levels >> pin) & 1u);
        out += line;
    }
    return out;
}

}  // namespace sim

uint32_t GpioBackendLoad(unsigned word) { return sim::SimGpio::Instance().Load(word); }
void GpioBackendStore(unsigned word, uint32_t value) { sim::SimGpio::Instance().Store(word, value); }

// The simulated build's mapping: the block of the board the environment asks
// for, with the chips it asks for plugged in before the bus is first driven.
GpioMapping GpioBackendMap() {
    sim::SimGpio& gpio = sim::SimGpio::Instance();
    sim::ConfigureFromEnvironment();
    // Registered before nandBus's own exit-time destruction, so it runs after
    // BusRelease and shows the parked bus.
    std::atexit(sim::WriteReportAtExit);
    const GpioLayout layout = gpio.Board() == sim::SimBoard::Rp1 ? GpioLayout::Rp1 : GpioLayout::Bcm2835;
    return {GpioMapError::None, gpio.Storage(), layout};
}
