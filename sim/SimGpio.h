// A BCM2835-layout GPIO block in ordinary memory that behaves as the real one
// does at its pins: GPFSEL function fields, GPSET/GPCLR driving the latch of
// every pin (seen on the pins that are outputs), GPLEV reading the level of
// every pin, where an input reads what the socket drives, or high when
// nothing drives it (the bus floats high, and R/B# has its pull-up).
//
// Or, on a simulated Pi 5 (FERRIK_SIM_BOARD=pi5), bank 0 of RP1 in front of
// the same pins: IO_BANK0's CTRL registers (FUNCSEL), PADS_BANK0's pads,
// SYS_RIO0's OUT, OE and input register, each with its XOR, SET and CLR
// aliases (bus/Rp1Gpio.h has the offsets). A pin drives when its FUNCSEL is
// 5 (SYS_RIO), its OE bit is set and its pad's output is not disabled; the
// input register shows the pins whose pad has input enabled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// What the socket drives, as GPIO masks: the levels, and the pins it drives.
// Returned by value: the bus polls R/B# 16 million times in a time-out, and a
// sanitizer build gives every call that passes a local's address a stack
// frame of its own.
struct SocketDrive {
    uint32_t levels = 0;
    uint32_t driven = 0;
};

// What is plugged into the NAND socket. The GPIO block tells it what the Pi
// drives after every write, and asks it what it drives on every GPLEV read.
class SimSocket {
public:
    virtual ~SimSocket() = default;
    // piLevels: the latch of every pin; piOutputs: the pins that are outputs.
    virtual void OnPiWrite(uint32_t piLevels, uint32_t piOutputs) = 0;
    virtual SocketDrive OnPiRead(uint32_t piLevels, uint32_t piOutputs) = 0;
};

struct SimAccess {
    bool write;
    unsigned reg;    // word index (byte offset / 4)
    uint32_t value;  // value written, or value read
    bool operator==(const SimAccess& o) const { return write == o.write && reg == o.reg && value == o.value; }
};

// Faults of the wiring between the Pi's pins and the socket, the same for
// every chip enable. Masks are of GPIO numbers.
struct SimWiring {
    uint32_t stuckLow = 0;   // lines tied to ground: low whatever drives them
    uint32_t stuckHigh = 0;  // lines tied to 3.3 V
    // Lines bridged together: either one driven low pulls both low.
    std::vector<std::pair<unsigned, unsigned>> shorts;
    // Lines cut between the Pi and the chip. A chip input left floating is
    // taken as low; a cut R/B# leaves the Pi's side to its pull-up.
    uint32_t open = 0;
    // No pull-up resistor on R/B#: released by every chip, it rests at the
    // Pi's own pull-down and reads low.
    bool noPullup = false;

    bool Any() const { return stuckLow != 0 || stuckHigh != 0 || !shorts.empty() || open != 0 || noPullup; }
};

enum class PinFunction { Input, Output, Alt0, Alt1, Alt2, Alt3, Alt4, Alt5 };

// The GPIO block of the board: the Pi 1 to 4's, or the Pi 5's RP1.
enum class SimBoard { Bcm2835, Rp1 };

class SimGpio {
public:
    static SimGpio& Instance();

    // Register accesses of the BCM2835 block, by word index.
    uint32_t Read(unsigned reg);
    void Write(unsigned reg, uint32_t value);
    // An access as the bus's seam makes it: to the block of the board, by
    // word index into its mapping.
    uint32_t Load(unsigned word) { return board_ == SimBoard::Rp1 ? Rp1Load(word) : Read(word); }
    void Store(unsigned word, uint32_t value) {
        if (board_ == SimBoard::Rp1)
            Rp1Store(word, value);
        else
            Write(word, value);
    }

    // The board, which powers the block on afresh.
    void SetBoard(SimBoard board);
    SimBoard Board() const { return board_; }
    // RP1's registers of GPIO n (0-27), and OE.
    uint32_t Rp1Ctrl(unsigned pin) const { return rp1Ctrl_[pin]; }
    uint32_t Rp1Pad(unsigned pin) const { return rp1Pad_[pin]; }
    uint32_t Rp1OutputEnable() const { return rp1Oe_; }

    volatile uint32_t* Storage() { return words_; }

    // The state a Pi leaves the block in at boot: GPIO 0/1 (ID EEPROM) and
    // 14/15 (UART) in ALT0, every other pin an input, every latch low. On RP1:
    // GPIO 0/1 and 14/15 in functions 3 and 4, every other FUNCSEL 0x1F (none),
    // every pad 4 mA with its Schmitt trigger and pull-down, input and output
    // disabled, OUT and OE 0.
    void PowerOn();

    // Plugs a socket in (nullptr: an empty socket). Not owned.
    void Plug(SimSocket* socket) { socket_ = socket; }
    // The wiring between the pins and the socket; a fresh block has no fault.
    void SetWiring(const SimWiring& wiring);
    const SimWiring& Wiring() const { return wiring_; }
    SimSocket* Socket() const { return socket_; }

    PinFunction Function(unsigned pin) const;
    bool IsOutput(unsigned pin) const { return (outputMask_ >> pin) & 1u; }
    uint32_t Latch() const { return latch_; }
    uint32_t OutputMask() const { return outputMask_; }
    // Pin levels as GPLEV0 would show them, without telling the socket.
    uint32_t PeekLevels();
    // Sets a function field directly, as another program on the Pi might.
    void SetFunctionRaw(unsigned pin, unsigned field);

    // Access counters and an optional record of every access, in order.
    uint64_t Reads() const { return reads_; }
    uint64_t Writes() const { return writes_; }
    uint64_t Accesses() const { return reads_ + writes_; }
    void ResetCounters() { reads_ = writes_ = 0; }
    void StartRecording();
    std::vector<SimAccess> StopRecording();

    // One line per GPIO 0-31: "<n> <function> <level>", function one of
    // input, output, alt0..alt5, level 0 or 1.
    std::string Report();

private:
    SimGpio();
    void UpdateOutputMask();
    // What the socket sees of the Pi's latch and outputs through a faulty wiring.
    void ChipSide(uint32_t* levels, uint32_t* outputs) const;
    // The levels the Pi reads, given what drives each line.
    uint32_t PiSide(uint32_t levels, uint32_t driven) const;
    uint32_t PeekLevelsThroughWiring();
    void Record(bool write, unsigned reg, uint32_t value);
    uint32_t Rp1Load(unsigned word);
    void Rp1Store(unsigned word, uint32_t value);
    // The register an RP1 word stands for, alias or not; nullptr for one
    // that holds nothing (STATUS, the input register).
    uint32_t* Rp1Register(uint32_t offset);
    void Rp1UpdatePins();
    void TellSocket();
    bool Rp1PullUp(unsigned pin) const;

    volatile uint32_t words_[0x1000 / 4] = {};
    SimBoard board_ = SimBoard::Bcm2835;
    uint32_t rp1Ctrl_[28] = {};
    uint32_t rp1Pad_[28] = {};
    uint32_t rp1Out_ = 0;
    uint32_t rp1Oe_ = 0;
    uint32_t fsel_[6] = {};
    uint32_t latch_ = 0;
    uint32_t outputMask_ = 0;
    SimSocket* socket_ = nullptr;
    SimWiring wiring_;
    bool wiringFaults_ = false;
    uint64_t reads_ = 0;
    uint64_t writes_ = 0;
    bool recording_ = false;
    std::vector<SimAccess> record_;
};

// Reads FERRIK_SIM_BOARD, FERRIK_SIM_CHIPS, FERRIK_SIM_IMAGE and
// FERRIK_SIM_FAULTS, chooses the board and plugs the chips they describe;
// refuses a bad setting with one line on standard error and exit status 2.
// Runs once, while the bus is being mapped.
void ConfigureFromEnvironment();

}  // namespace sim
