// A simulated asynchronous SLC NAND chip (x8), seen only through its pins:
// it latches commands and addresses on the rising edge of WE# while its CE#
// is low, drives the data pins while RE# is low in a data-out state, and
// pulls R/B# low while it is busy. Up to four chips sit in one socket, one
// per chip enable.
#pragma once

#include <cstdint>
#include <memory>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/SimGpio.h"

namespace sim {

// The socket's data lines, IO7 down to IO0, as wired to the GPIO header.
constexpr unsigned kDataPins[8] = {17, 27, 22, 5, 6, 13, 19, 26};

struct ChipGeometry {
    int pageSize;       // bytes of the main area
    int spareSize;      // bytes of the spare area
    int pagesPerBlock;
    int blocks;         // blocks of each LUN
    // LUNs behind the chip enable. With more than one, a row address is
    // LUN | block | page, each field as wide as its largest value needs; with
    // a block count that is not a power of two the rows between one LUN's
    // last block and the next LUN's first address no page, and the chip
    // records a protocol violation for any command sent there. Pages are
    // numbered (images, Page(), faults) LUN 0's blocks first, without gaps.
    int luns = 1;
};

struct ChipPreset {
    std::string part;   // part number, the preset's name
    uint8_t id[5];      // READ ID bytes
    ChipGeometry geometry;
};

// Every chip of the chip table, named by its part number, plus "SIM-TINY", a
// small chip for fast tests. FindPreset finds these and "SIM-TINY-2LUN", a
// small ONFI chip of two LUNs of 12 blocks each (rows 96-127 and 224-255 are
// a gap).
//
// The Micron (2Ch), Spansion (01h) and Macronix (C2h) parts carry an ONFI
// parameter page built from their geometry (OnfiParameterPage); the others
// have none.
const std::vector<ChipPreset>& Catalogue();
const ChipPreset* FindPreset(const std::string& part);
// The chip the window's defaults describe: EC F1 00 95 40, 2048 + 64, 64 x 1024.
const ChipPreset& DefaultPreset();
const ChipPreset& TinyPreset();

// Parts of several dies, one chip enable each: FERRIK_SIM_CHIPS puts one die
// on each chip enable from the part's own entry on.
struct MultiDiePart {
    const char* part;  // "K9WAG08U1A"
    const char* die;   // the preset of each die, "K9K8G08U0A"
    int dies;
};
const MultiDiePart* FindMultiDiePart(const std::string& part);

// Blocks behind the chip enable, every LUN's.
inline int TotalBlocks(const ChipGeometry& g) { return g.blocks * g.luns; }
// Row address cycles of the chip: enough bytes for its highest row address.
int RowAddressBytesOf(const ChipGeometry& g);

// Whether the parts of this maker code carry an ONFI parameter page.
bool MakerHasOnfiPage(uint8_t makerCode);
// Three copies of a 256-byte ONFI 1.0 parameter page describing the preset,
// each with its CRC.
std::vector<uint8_t> OnfiParameterPage(const ChipPreset& preset);

// Faults of one chip; the same faults give the same behaviour on every run.
// A failing erase or program leaves the block or page as it was. The mark of
// a bad block is written when the chip is made; the other faults may be
// changed at any time through Faults().
struct ChipFaults {
    std::set<int> eraseFailBlocks;   // erase ends with status FAIL
    std::set<int> programFailPages;  // program ends with status FAIL
    std::set<int> badBlocks;         // factory bad: 0x00 in spare byte 0 of the first page;
                                     // erase and program fail there, so the mark stays
    std::set<int> flakyPages;        // weak cells: about one read in three of these pages
                                     // delivers one byte with one bit flipped; which reads,
                                     // bytes and bits follows from the page and how often it
                                     // was read, so every run sees the same
    std::map<int, int> wornPages;    // worn cells: page -> how many of its bits read flipped on
                                     // every read, the same bits each time (from a fixed seed
                                     // and the page), as cells that lost their charge stay lost
    bool busyStuckLow = false;       // R/B# always low
    bool busyNever = false;          // R/B# never goes low
    std::set<int> markedBlocks;      // factory bad, marked as bad blocks are, but erased and
                                     // programmed like good ones: an erase wipes the mark
};

enum class CycleKind { Command, Address, DataIn, DataOut };
struct Cycle {
    CycleKind kind;
    uint8_t value;
};

// A command sequence the chip carried out (after its confirm command).
struct ChipOp {
    enum Kind { ReadId, Read, Program, Erase, Status, Reset, ParameterPage } kind;
    uint32_t row;      // row address as the chip understood it (with LUNs: as sent)
    uint32_t column;   // column address (read, program)
    uint32_t length;   // data bytes moved (program: bytes latched)
};

class SimNandChip {
public:
    explicit SimNandChip(const ChipPreset& preset, ChipFaults faults = {});

    const ChipPreset& Preset() const;
    int PageBytes() const;        // page + spare
    int Pages() const;            // pages per block x blocks
    int RowAddressBytes() const;  // row address cycles this chip expects
    uint32_t Serial() const;      // unique to this chip among those made by the process

    // Content, page then spare; a direct write that bypasses NAND semantics
    // (test set-up, image files). SetPage fills what bytes does not cover
    // with 0xFF.
    std::vector<uint8_t> Page(int row) const;
    void SetPage(int row, const std::vector<uint8_t>& bytes);
    // Dump layout. A file that cannot be opened, of the wrong size or read
    // short gives false (errno tells why), the chip then partly loaded.
    bool LoadImage(const std::string& path);
    // Writes a fresh file beside `path` and renames it over `path`, keeping
    // the mode and owner of the file it replaces. Never writes through an
    // existing file or link. False with errno, `path` then as it was.
    bool SaveImage(const std::string& path) const;
    // Whether SaveImage can make its fresh file beside `path` (false with
    // errno); nothing is left behind.
    static bool CanSaveImageBeside(const std::string& path);

    // What READ PARAMETER PAGE (ECh) gives, from its first byte; past the end
    // the chip gives FFh. Empty: the chip does not know the command (it takes
    // ECh and its address without going busy and drives nothing, so the bus
    // reads FFh), and READ ID answers its ID bytes at every address. A page
    // beginning with "JESD" is a JEDEC page: READ ID 40h then gives "JEDEC";
    // any other page makes READ ID 20h give "ONFI".
    const std::vector<uint8_t>& ParameterPage() const;
    void SetParameterPage(std::vector<uint8_t> bytes);

    // GPLEV polls for which R/B# stays low after 30h, 10h, D0h, ECh and FFh.
    void SetBusyPolls(uint32_t polls);
    ChipFaults& Faults();
    // Test hook: READ STATUS answers this byte instead of the chip's own
    // status (-1: the chip's own again).
    void SetStatusOverride(int status);

    // What the chip saw: protocol violations, the operations it carried out
    // (recorded unless switched off), and, when asked, every decoded cycle.
    const std::vector<std::string>& Violations() const;
    void ClearViolations();
    const std::vector<ChipOp>& Ops() const;
    void ClearOps();
    // A whole-chip job adds over 65,000 operations: the program's own chips
    // record none, or the record would grow with every job for as long as
    // the program runs. Switching off drops what was recorded.
    void RecordOps(bool on);
    void RecordCycles(bool on);
    const std::vector<Cycle>& Cycles() const;
    void ClearCycles();

    ~SimNandChip();
    struct State;

private:
    friend class SimNandSocket;
    std::unique_ptr<State> s_;
};

class SimNandSocket : public SimSocket {
public:
    SimNandSocket();
    ~SimNandSocket() override;

    // slot 0-3 is CE0-CE3 (GPIO 9, 11, 8, 7).
    SimNandChip& Insert(int slot, const ChipPreset& preset, ChipFaults faults = {});
    void Remove(int slot);
    void RemoveAll();
    SimNandChip* Chip(int slot);

    // Violations of the socket (a read while the Pi drives a data pin, two
    // chips driving at once) and of every chip, in order of occurrence.
    std::vector<std::string> AllViolations() const;
    void ClearViolations();

    void OnPiWrite(uint32_t piLevels, uint32_t piOutputs) override;
    SocketDrive OnPiRead(uint32_t piLevels, uint32_t piOutputs) override;

    struct State;

private:
    std::unique_ptr<State> s_;
};

// The program's socket, plugged into SimGpio::Instance().
SimNandSocket& Socket();

}  // namespace sim
