#include "sim/SimGpio.h"

#include <cstdio>
#include <cstdlib>

#include "bus/NandBus.h"

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
    UpdateOutputMask();
}

void SimGpio::UpdateOutputMask() {
    uint32_t mask = 0;
    for (unsigned pin = 0; pin < 32; ++pin) {
        if (((fsel_[pin / 10] >> (3 * (pin % 10))) & 7u) == 1u) mask |= 1u << pin;
    }
    outputMask_ = mask;
}

PinFunction SimGpio::Function(unsigned pin) const {
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

uint32_t SimGpio::PiSide(uint32_t levels, uint32_t driven) const {
    if (wiring_.noPullup && !(driven & (1u << kReadyPin)) && !(outputMask_ & (1u << kReadyPin)))
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

uint32_t SimGpioRead(unsigned reg) { return sim::SimGpio::Instance().Read(reg); }
void SimGpioWrite(unsigned reg, uint32_t value) { sim::SimGpio::Instance().Write(reg, value); }

// The simulated build's mapping: the block in ordinary memory, with the chips
// that the environment asks for plugged in before the bus is first driven.
void NandBus::GpioMap() {
    sim::SimGpio& gpio = sim::SimGpio::Instance();
    sim::ConfigureFromEnvironment();
    gpioRegs = gpio.Storage();
    // Registered before nandBus's own exit-time destruction, so it runs after
    // BusRelease and shows the parked bus.
    std::atexit(sim::WriteReportAtExit);
}
