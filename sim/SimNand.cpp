#include "sim/SimNand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

namespace sim {

namespace {

constexpr uint32_t kCle = 1u << 2;
constexpr uint32_t kAle = 1u << 3;
constexpr uint32_t kWp = 1u << 4;
constexpr uint32_t kRb = 1u << 10;
constexpr uint32_t kRe = 1u << 14;
constexpr uint32_t kWe = 1u << 15;
constexpr unsigned kCePins[4] = {9, 11, 8, 7};
constexpr uint32_t kCeMask = (1u << 9) | (1u << 11) | (1u << 8) | (1u << 7);
constexpr uint32_t kDataMask = 0x0C4A2060u;  // GPIO 5, 6, 13, 17, 19, 22, 26, 27
// The pins whose edges the chips act on; every other change is ignored at
// once, which keeps the byte loops of the bus cheap.
constexpr uint32_t kWatched = kCle | kAle | kRe | kWe | kCeMask;

// A chip keeps this many violations; a bus gone wrong in a page loop would
// otherwise make millions of them.
constexpr size_t kViolationCap = 1000;

// Order of occurrence across the socket and its chips.
uint32_t violationClock = 0;

uint32_t chipsMade = 0;

// The weak cells of a flaky page: the nth read of a page flips a bit when
// this mix of the page and n says so, the same on every run.
constexpr uint64_t kFlakySeed = 0x5EED0F1A4B1E0001ull;

// Where a worn page's flipped bits lie.
constexpr uint64_t kWornSeed = 0x5EED0B17F11B5001ull;

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Byte to GPIO levels; constant-initialised, as the bus is driven while
// statics are still being constructed.
struct LevelTable {
    uint32_t levels[256];
};
constexpr LevelTable MakeLevelTable() {
    LevelTable t{};
    for (unsigned b = 0; b < 256; ++b) {
        uint32_t v = 0;
        for (unsigned i = 0; i < 8; ++i)
            if (b & (0x80u >> i)) v |= 1u << kDataPins[i];
        t.levels[b] = v;
    }
    return t;
}
constexpr LevelTable kByteLevels = MakeLevelTable();

// Bits that hold every value below count.
int AddressBits(uint32_t count) {
    int bits = 0;
    while (bits < 32 && (uint64_t{1} << bits) < count) ++bits;
    return bits;
}

uint8_t ByteFromLevels(uint32_t v) {
    uint8_t b = 0;
    for (unsigned i = 0; i < 8; ++i)
        if ((v >> kDataPins[i]) & 1u) b |= static_cast<uint8_t>(0x80u >> i);
    return b;
}

std::string Format(const char* format, va_list args) {
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    return line;
}

// Pins as the chips see them: an output shows its latch, a pin that is not
// an output floats high.
inline uint32_t PinLevels(uint32_t piLevels, uint32_t piOutputs) { return (piLevels & piOutputs) | ~piOutputs; }

struct ViolationLog {
    std::vector<std::string> lines;
    std::vector<uint32_t> order;
    bool full = false;

    void Add(std::string line) {
        if (full) return;
        if (lines.size() >= kViolationCap) {
            line = "further violations not recorded";
            full = true;
        }
        lines.push_back(std::move(line));
        order.push_back(++violationClock);
    }
    void Clear() {
        lines.clear();
        order.clear();
        full = false;
    }
};

}  // namespace

struct SimNandChip::State {
    enum Mode {
        Idle, IdAddress, IdOut, ReadAddress, ReadOut, ProgramAddress, ProgramData, EraseAddress, StatusOut,
        ParamAddress, ParamOut,
        Ignoring,  // a command this chip does not know: its address cycles are taken, nothing is driven
    };

    ChipPreset preset;
    ChipFaults faults;
    int pageBytes;
    int pages;
    int rowBytes;
    int pageBits = 0;   // with LUNs: width of the page field of a row address
    int blockBits = 0;  // and of the block field
    size_t blockBytes;
    uint32_t columnMask;
    std::vector<std::unique_ptr<uint8_t[]>> blocks;  // nullptr: an erased block
    std::vector<uint8_t> pageRegister;
    std::map<uint32_t, uint64_t> flakyReads;  // reads of each flaky page so far
    std::vector<uint8_t> parameterPage;
    uint8_t idAddress = 0;

    uint32_t serial = ++chipsMade;
    int slot = -1;
    Mode mode = Idle;
    uint8_t address[8] = {};
    int addressCount = 0;
    bool addressTaken = false;  // program: the address was decoded at the first data byte
    uint32_t row = 0;         // the page, numbered LUN 0's first, without gaps
    uint32_t rowAddress = 0;  // the row as sent (as row on a chip of one LUN)
    uint32_t column = 0;
    uint32_t pointer = 0;
    uint32_t latched = 0;
    uint32_t busyPolls = 2;
    uint32_t busyLeft = 0;
    bool fail = false;
    int statusOverride = -1;

    ViolationLog violations;
    bool recordOps = true;
    std::vector<ChipOp> ops;
    long currentOp = -1;
    bool recordCycles = false;
    std::vector<Cycle> cycles;

    State(const ChipPreset& p, ChipFaults f) : preset(p), faults(std::move(f)) {
        const ChipGeometry& g = preset.geometry;
        pageBytes = g.pageSize + g.spareSize;
        pages = g.pagesPerBlock * TotalBlocks(g);
        rowBytes = RowAddressBytesOf(g);
        pageBits = AddressBits(static_cast<uint32_t>(g.pagesPerBlock));
        blockBits = AddressBits(static_cast<uint32_t>(g.blocks));
        blockBytes = static_cast<size_t>(pageBytes) * g.pagesPerBlock;
        columnMask = 1;
        while (columnMask < static_cast<uint32_t>(pageBytes)) columnMask <<= 1;
        columnMask -= 1;
        blocks.resize(static_cast<size_t>(TotalBlocks(g)));
        pageRegister.assign(static_cast<size_t>(pageBytes), 0xFF);
        for (const std::set<int>* marked : {&faults.badBlocks, &faults.markedBlocks}) {
            for (int block : *marked) {
                if (block < 0 || block >= TotalBlocks(g)) continue;
                PageData(block * g.pagesPerBlock, true)[g.pageSize] = 0x00;
            }
        }
        if (MakerHasOnfiPage(preset.id[0])) parameterPage = OnfiParameterPage(preset);
    }

    bool JedecPage() const {
        return parameterPage.size() >= 4 && std::memcmp(parameterPage.data(), "JESD", 4) == 0;
    }
    bool OnfiPage() const { return !parameterPage.empty() && !JedecPage(); }

    // READ ID's byte at the pointer: a signature where the chip has one for
    // that address, else the ID bytes, as older parts ignore the address.
    uint8_t IdByte() const {
        if (idAddress == 0x20 && OnfiPage()) return static_cast<uint8_t>("ONFI"[pointer % 4]);
        if (idAddress == 0x40 && JedecPage()) return static_cast<uint8_t>("JEDEC"[pointer % 5]);
        return preset.id[pointer % 5];
    }

    [[gnu::format(printf, 2, 3), gnu::noinline, gnu::cold]] void Violation(const char* format, ...) {
        va_list args;
        va_start(args, format);
        const std::string what = Format(format, args);
        va_end(args);
        char prefix[64];
        if (slot >= 0)
            std::snprintf(prefix, sizeof prefix, "CE%d (%s): ", slot, preset.part.c_str());
        else
            std::snprintf(prefix, sizeof prefix, "%s: ", preset.part.c_str());
        violations.Add(prefix + what);
    }

    int BlockOf(uint32_t r) const { return static_cast<int>(r / static_cast<uint32_t>(preset.geometry.pagesPerBlock)); }

    // The bytes of a page, or nullptr when its block is erased and create is false.
    uint8_t* PageData(uint32_t r, bool create) {
        r %= static_cast<uint32_t>(pages);
        auto& block = blocks[static_cast<size_t>(BlockOf(r))];
        if (!block) {
            if (!create) return nullptr;
            block.reset(new uint8_t[blockBytes]);
            std::memset(block.get(), 0xFF, blockBytes);
        }
        return block.get() + static_cast<size_t>(r % static_cast<uint32_t>(preset.geometry.pagesPerBlock)) * pageBytes;
    }

    void Record(CycleKind kind, uint8_t value) {
        if (recordCycles) cycles.push_back({kind, value});
    }

    void StartOp(ChipOp::Kind kind, uint32_t opRow, uint32_t opColumn, uint32_t length) {
        if (!recordOps) return;
        ops.push_back({kind, opRow, opColumn, length});
        currentOp = static_cast<long>(ops.size()) - 1;
    }

    static const char* CommandName(Mode m) {
        switch (m) {
            case ReadAddress: return "READ (00h)";
            case ProgramAddress:
            case ProgramData: return "PAGE PROGRAM (80h)";
            case EraseAddress: return "BLOCK ERASE (60h)";
            default: return "command";
        }
    }

    // Column and row of the collected address bytes, as this chip reads them:
    // missing high bytes are 0, extra bytes are ignored, rows wrap.
    void DecodeAddress(int columnBytes) {
        const int expected = columnBytes + rowBytes;
        if (addressCount != expected) {
            if (columnBytes > 0)
                Violation("%s sent %d address bytes; this chip takes %d (%d column + %d row)", CommandName(mode),
                          addressCount, expected, columnBytes, rowBytes);
            else
                Violation("%s sent %d address bytes; this chip takes %d row bytes", CommandName(mode), addressCount,
                          rowBytes);
        }
        const int have = std::min(addressCount, 8);
        column = 0;
        for (int i = 0; i < columnBytes && i < have; ++i) column |= static_cast<uint32_t>(address[i]) << (8 * i);
        column &= columnMask;
        uint32_t r = 0;
        for (int i = 0; i < rowBytes && columnBytes + i < have; ++i)
            r |= static_cast<uint32_t>(address[columnBytes + i]) << (8 * i);
        if (preset.geometry.luns == 1) {
            row = rowAddress = r % static_cast<uint32_t>(pages);
            return;
        }
        // LUN | block | page: a block field past the LUN's last block, or a
        // LUN field past the last LUN, addresses no page.
        const ChipGeometry& g = preset.geometry;
        rowAddress = r;
        const uint32_t page = r & ((1u << pageBits) - 1);
        const uint32_t block = (r >> pageBits) & ((1u << blockBits) - 1);
        const uint32_t lun = r >> (pageBits + blockBits);
        if (page >= static_cast<uint32_t>(g.pagesPerBlock) || block >= static_cast<uint32_t>(g.blocks) ||
            lun >= static_cast<uint32_t>(g.luns))
            Violation("%s to row %u (LUN %u, block %u, page %u), which addresses no page", CommandName(mode), r, lun,
                      block, page);
        row = ((lun * static_cast<uint32_t>(g.blocks) + block) * static_cast<uint32_t>(g.pagesPerBlock) + page) %
              static_cast<uint32_t>(pages);
    }

    bool Busy() const { return busyLeft != 0; }

    void Command(uint8_t c, uint32_t pins) {
        Record(CycleKind::Command, c);
        if (Busy() && c != 0x70 && c != 0xFF) {
            Violation("command %02Xh while busy", c);
            return;
        }
        switch (c) {
            case 0x00:
                mode = ReadAddress;
                addressCount = 0;
                break;
            case 0x30:
                if (mode != ReadAddress) {
                    Violation("30h without 00h and an address");
                    mode = Idle;
                    break;
                }
                DecodeAddress(2);
                if (const uint8_t* page = PageData(row, false))
                    std::memcpy(pageRegister.data(), page, static_cast<size_t>(pageBytes));
                else
                    std::memset(pageRegister.data(), 0xFF, static_cast<size_t>(pageBytes));
                if (faults.flakyPages.count(static_cast<int>(row))) WeakCells();
                if (faults.wornPages.count(static_cast<int>(row))) WornCells();
                pointer = column;
                mode = ReadOut;
                busyLeft = busyPolls;
                StartOp(ChipOp::Read, rowAddress, column, 0);
                break;
            case 0x90:
                mode = IdAddress;
                break;
            case 0x70:
                mode = StatusOut;
                StartOp(ChipOp::Status, 0, 0, 0);
                break;
            case 0xFF:
                mode = Idle;
                busyLeft = busyPolls;
                StartOp(ChipOp::Reset, 0, 0, 0);
                break;
            case 0x80:
                mode = ProgramAddress;
                addressCount = 0;
                addressTaken = false;
                latched = 0;
                std::memset(pageRegister.data(), 0xFF, static_cast<size_t>(pageBytes));
                break;
            case 0x10:
                if (mode != ProgramAddress && mode != ProgramData) {
                    Violation("10h without 80h and an address");
                    mode = Idle;
                    break;
                }
                if (!addressTaken) DecodeAddress(2);
                Program(pins);
                break;
            case 0x60:
                mode = EraseAddress;
                addressCount = 0;
                break;
            case 0xEC:
                mode = parameterPage.empty() ? Ignoring : ParamAddress;
                break;
            case 0xD0:
                if (mode != EraseAddress) {
                    Violation("D0h without 60h and an address");
                    mode = Idle;
                    break;
                }
                DecodeAddress(0);
                Erase(pins);
                break;
            default:
                Violation("unknown command %02Xh", c);
                mode = Idle;
                break;
        }
    }

    // A weak cell reads as its neighbours pull it: one bit of one byte, on
    // about one read in three.
    void WeakCells() {
        const uint64_t n = flakyReads[row]++;
        const uint64_t h = Mix(kFlakySeed ^ (uint64_t{row} << 32) ^ n);
        if (h % 3 != 0) return;
        const size_t byte = static_cast<size_t>((h >> 8) % static_cast<uint64_t>(pageBytes));
        pageRegister[byte] ^= static_cast<uint8_t>(1u << ((h >> 40) & 7u));
    }

    // Worn cells read wrong on every read: the same bits of the page each
    // time, distinct bits, placed by the seed and the page alone.
    void WornCells() {
        const int count = faults.wornPages.at(static_cast<int>(row));
        const uint64_t bits = static_cast<uint64_t>(pageBytes) * 8;
        std::vector<bool> flipped(static_cast<size_t>(bits), false);
        for (uint64_t k = 0, done = 0; done < static_cast<uint64_t>(count) && done < bits; ++k) {
            const uint64_t bit = Mix(kWornSeed ^ (uint64_t{row} << 32) ^ k) % bits;
            if (flipped[static_cast<size_t>(bit)]) continue;
            flipped[static_cast<size_t>(bit)] = true;
            pageRegister[static_cast<size_t>(bit / 8)] ^= static_cast<uint8_t>(1u << (bit % 8));
            ++done;
        }
    }

    void Program(uint32_t pins) {
        StartOp(ChipOp::Program, rowAddress, column, latched);
        mode = Idle;
        busyLeft = busyPolls;
        if (!(pins & kWp)) {
            Violation("PAGE PROGRAM of row %u while write protected (WP# low)", row);
            fail = true;
            return;
        }
        // A failing page keeps its old content: the chip gives up before any
        // cell changes.
        if (faults.programFailPages.count(static_cast<int>(row)) || faults.badBlocks.count(BlockOf(row))) {
            fail = true;
            return;
        }
        fail = false;
        const uint8_t* in = pageRegister.data();
        bool allOnes = true;
        for (int i = 0; i < pageBytes && allOnes; ++i) allOnes = in[i] == 0xFF;
        if (allOnes) return;
        uint8_t* page = PageData(row, true);
        for (int i = 0; i < pageBytes; ++i) page[i] &= in[i];
    }

    void Erase(uint32_t pins) {
        StartOp(ChipOp::Erase, rowAddress, 0, 0);
        mode = Idle;
        busyLeft = busyPolls;
        const int block = BlockOf(row);
        if (!(pins & kWp)) {
            Violation("BLOCK ERASE of block %d while write protected (WP# low)", block);
            fail = true;
            return;
        }
        if (faults.eraseFailBlocks.count(block) || faults.badBlocks.count(block)) {
            fail = true;
            return;
        }
        fail = false;
        blocks[static_cast<size_t>(block)].reset();
    }

    void Address(uint8_t a) {
        Record(CycleKind::Address, a);
        if (Busy()) {
            Violation("address byte %02Xh while busy", a);
            return;
        }
        switch (mode) {
            case IdAddress:
                mode = IdOut;
                pointer = 0;
                idAddress = a;
                StartOp(ChipOp::ReadId, 0, a, 0);
                break;
            case ParamAddress:
                mode = ParamOut;
                pointer = 0;
                busyLeft = busyPolls;
                StartOp(ChipOp::ParameterPage, 0, a, 0);
                break;
            case Ignoring:
                break;
            case ReadAddress:
            case ProgramAddress:
            case EraseAddress:
                if (addressCount < 8) address[addressCount] = a;
                ++addressCount;
                break;
            default:
                Violation("address byte %02Xh outside an address phase", a);
                break;
        }
    }

    void DataIn(uint8_t d) {
        Record(CycleKind::DataIn, d);
        if (Busy()) {
            Violation("data byte %02Xh latched while busy", d);
            return;
        }
        if (mode == ProgramAddress) {
            DecodeAddress(2);
            addressTaken = true;
            pointer = column;
            mode = ProgramData;
        }
        if (mode != ProgramData) {
            Violation("data byte %02Xh latched outside PAGE PROGRAM", d);
            return;
        }
        if (pointer < static_cast<uint32_t>(pageBytes)) pageRegister[pointer] = d;
        ++pointer;
        ++latched;
    }

    uint8_t Status(uint32_t pins) const {
        if (statusOverride >= 0) return static_cast<uint8_t>(statusOverride);
        uint8_t s = fail ? 0x01 : 0x00;
        if (!Busy()) s |= 0x60;
        if (pins & kWp) s |= 0x80;
        return s;
    }

    // The byte this chip drives while RE# is low, or -1 when it has none.
    // Past the end of the page register it gives 0xFF.
    int Peek(uint32_t pins) const {
        switch (mode) {
            case IdOut: return IdByte();
            case ParamOut:
                if (Busy()) return -1;
                return pointer < parameterPage.size() ? parameterPage[pointer] : 0xFF;
            case ReadOut:
                if (Busy()) return -1;
                return pointer < static_cast<uint32_t>(pageBytes) ? pageRegister[pointer] : 0xFF;
            case StatusOut: return Status(pins);
            default: return -1;
        }
    }

    // As Peek, for a GPLEV read: having nothing to give is a violation.
    int Output(uint32_t pins) {
        const int b = Peek(pins);
        if (b < 0 && mode != Ignoring) {
            if (mode == ReadOut || mode == ParamOut)
                Violation("RE# low during the page load (R/B# still low)");
            else
                Violation("RE# low with nothing to give");
        }
        return b;
    }

    void ReadCycleEnds(uint32_t pins) {
        if (mode != IdOut && mode != ReadOut && mode != StatusOut && mode != ParamOut) return;
        if (recordCycles) {
            const int b = Peek(pins);
            if (b >= 0) Record(CycleKind::DataOut, static_cast<uint8_t>(b));
        }
        ++pointer;
        if (currentOp >= 0) ++ops[static_cast<size_t>(currentOp)].length;
    }
};

int RowAddressBytesOf(const ChipGeometry& g) {
    const uint32_t pages = static_cast<uint32_t>(g.pagesPerBlock * TotalBlocks(g));
    int bits = AddressBits(pages);
    if (g.luns > 1)
        bits = AddressBits(static_cast<uint32_t>(g.pagesPerBlock)) + AddressBits(static_cast<uint32_t>(g.blocks)) +
               AddressBits(static_cast<uint32_t>(g.luns));
    return std::min(4, std::max(1, (bits + 7) / 8));
}

SimNandChip::SimNandChip(const ChipPreset& preset, ChipFaults faults)
    : s_(new State(preset, std::move(faults))) {}
SimNandChip::~SimNandChip() = default;

const ChipPreset& SimNandChip::Preset() const { return s_->preset; }
int SimNandChip::PageBytes() const { return s_->pageBytes; }
int SimNandChip::Pages() const { return s_->pages; }
int SimNandChip::RowAddressBytes() const { return s_->rowBytes; }
uint32_t SimNandChip::Serial() const { return s_->serial; }

std::vector<uint8_t> SimNandChip::Page(int row) const {
    const uint8_t* page = s_->PageData(static_cast<uint32_t>(row), false);
    if (page == nullptr) return std::vector<uint8_t>(static_cast<size_t>(s_->pageBytes), 0xFF);
    return std::vector<uint8_t>(page, page + s_->pageBytes);
}

void SimNandChip::SetPage(int row, const std::vector<uint8_t>& bytes) {
    const size_t n = std::min(bytes.size(), static_cast<size_t>(s_->pageBytes));
    const bool erased = std::all_of(bytes.begin(), bytes.begin() + static_cast<long>(n), [](uint8_t b) { return b == 0xFF; });
    uint8_t* page = s_->PageData(static_cast<uint32_t>(row), !erased);
    if (page == nullptr) return;
    std::memcpy(page, bytes.data(), n);
    std::memset(page + n, 0xFF, static_cast<size_t>(s_->pageBytes) - n);
}

bool SimNandChip::LoadImage(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    const uint64_t total = uint64_t{s_->blockBytes} * s_->blocks.size();
    // 64-bit offsets: the largest chips' images pass 1 GiB.
    fseeko(f, 0, SEEK_END);
    const off_t size = ftello(f);
    fseeko(f, 0, SEEK_SET);
    if (size < 0 || static_cast<uint64_t>(size) != total) {
        std::fclose(f);
        errno = EINVAL;
        return false;
    }
    std::unique_ptr<uint8_t[]> buf(new uint8_t[s_->blockBytes]);
    bool ok = true;
    for (auto& block : s_->blocks) {
        if (std::fread(buf.get(), 1, s_->blockBytes, f) != s_->blockBytes) {
            if (!std::ferror(f)) errno = EINVAL;  // shorter than it was a moment ago
            ok = false;
            break;
        }
        const bool erased = std::all_of(buf.get(), buf.get() + s_->blockBytes, [](uint8_t b) { return b == 0xFF; });
        if (erased) {
            block.reset();
        } else {
            if (!block) block.reset(new uint8_t[s_->blockBytes]);
            std::memcpy(block.get(), buf.get(), s_->blockBytes);
        }
    }
    std::fclose(f);
    return ok;
}

namespace {

// The fresh file's name: in the image's folder, so that the rename stays on
// one file system, and of a fixed length, so that a long image name cannot
// push it past the file system's limit.
std::string FreshNameBeside(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    return folder + (folder.back() == '/' ? "" : "/") + ".ferrik-image-XXXXXX";
}

}  // namespace

bool SimNandChip::CanSaveImageBeside(const std::string& path) {
    std::string fresh = FreshNameBeside(path);
    const int fd = mkostemp(&fresh[0], O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    unlink(fresh.c_str());
    return true;
}

bool SimNandChip::SaveImage(const std::string& path) const {
    // mkostemp creates with O_EXCL under a name nobody has yet: it never
    // opens a file or follows a link that was there before. The rename then
    // replaces the image at once, so an interrupted save never leaves half
    // an image.
    std::string fresh = FreshNameBeside(path);
    const int fd = mkostemp(&fresh[0], O_CLOEXEC);
    if (fd < 0) return false;
    struct stat old {};
    if (stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // Run as root, the image stays its user's. Where the owner cannot be
        // given (an ordinary user), it stays ours.
        const int given = fchown(fd, old.st_uid, old.st_gid);
        static_cast<void>(given);
        fchmod(fd, old.st_mode & 07777);
    } else {
        // Nothing to take the mode from: a new image, made at start while the
        // program is still one thread (or one removed since, the rare case in
        // which the umask is read with other threads about).
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    FILE* f = fdopen(fd, "wb");
    if (f == nullptr) {
        const int error = errno;
        close(fd);
        unlink(fresh.c_str());
        errno = error;
        return false;
    }
    std::unique_ptr<uint8_t[]> erased(new uint8_t[s_->blockBytes]);
    std::memset(erased.get(), 0xFF, s_->blockBytes);
    bool ok = true;
    for (const auto& block : s_->blocks) {
        const uint8_t* data = block ? block.get() : erased.get();
        if (std::fwrite(data, 1, s_->blockBytes, f) != s_->blockBytes) {
            ok = false;
            break;
        }
    }
    // On disk before the rename: a crash right after it must not leave an
    // empty image in place of the old one.
    if (ok && (std::fflush(f) != 0 || fsync(fileno(f)) != 0)) ok = false;
    int error = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && std::rename(fresh.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(fresh.c_str());
        errno = error;
    }
    return ok;
}

const std::vector<uint8_t>& SimNandChip::ParameterPage() const { return s_->parameterPage; }
void SimNandChip::SetParameterPage(std::vector<uint8_t> bytes) { s_->parameterPage = std::move(bytes); }

void SimNandChip::SetBusyPolls(uint32_t polls) { s_->busyPolls = polls; }
ChipFaults& SimNandChip::Faults() { return s_->faults; }
void SimNandChip::SetStatusOverride(int status) { s_->statusOverride = status; }

const std::vector<std::string>& SimNandChip::Violations() const { return s_->violations.lines; }
void SimNandChip::ClearViolations() { s_->violations.Clear(); }
const std::vector<ChipOp>& SimNandChip::Ops() const { return s_->ops; }
void SimNandChip::ClearOps() {
    s_->ops.clear();
    s_->currentOp = -1;
}
void SimNandChip::RecordOps(bool on) {
    s_->recordOps = on;
    if (!on) {
        std::vector<ChipOp>().swap(s_->ops);
        s_->currentOp = -1;
    }
}
void SimNandChip::RecordCycles(bool on) { s_->recordCycles = on; }
const std::vector<Cycle>& SimNandChip::Cycles() const { return s_->cycles; }
void SimNandChip::ClearCycles() { s_->cycles.clear(); }

struct SimNandSocket::State {
    std::unique_ptr<SimNandChip> chips[4];
    SimNandChip::State* present[4] = {};  // the chips plugged in, packed
    int presentCount = 0;
    unsigned selected = 0;  // slots holding a chip whose CE# is low
    uint32_t pins = 0xFFFFFFFFu;
    ViolationLog violations;

    SimNandChip::State& ChipIn(unsigned slot) { return *chips[slot]->s_; }

    void Update() {
        presentCount = 0;
        selected = 0;
        for (unsigned slot = 0; slot < 4; ++slot) {
            if (!chips[slot]) continue;
            present[presentCount++] = chips[slot]->s_.get();
            if (!((pins >> kCePins[slot]) & 1u)) selected |= 1u << slot;
        }
    }

    [[gnu::noinline, gnu::cold]] void TwoSelected(uint32_t latched) {
        std::string line = "WE# cycle latched with more than one chip selected (";
        for (unsigned slot = 0; slot < 4; ++slot)
            if ((selected >> slot) & 1u) line += (line.back() == '(' ? "CE" : ", CE") + std::to_string(slot);
        char byte[48];
        std::snprintf(byte, sizeof byte, "), byte %02Xh", static_cast<unsigned>(ByteFromLevels(latched)));
        violations.Add(line + byte);
    }

    // Kept out of line: the read loop only ever takes the test before it.
    [[gnu::noinline, gnu::cold]] void DataPinsStillDriven(uint32_t piOutputs) {
        std::string line = "GPLEV0 read while RE# is low and data pins are still Pi outputs (GPIO";
        for (unsigned pin : kDataPins)
            if ((piOutputs >> pin) & 1u) line += " " + std::to_string(pin);
        violations.Add(line + ")");
    }

    // What the selected chips drive while RE# is low, as GPIO levels.
    uint32_t DataOut(uint32_t pinLevels, int* drivers) {
        uint32_t data = kDataMask;
        for (unsigned sel = selected; sel != 0; sel &= sel - 1) {
            const int b = ChipIn(static_cast<unsigned>(__builtin_ctz(sel))).Output(pinLevels);
            if (b < 0) continue;
            ++*drivers;
            data &= kByteLevels.levels[b];  // two drivers: low wins
        }
        return data;
    }

    // What the socket drives while RE# is low: the selected chips' data on
    // the data pins, and R/B# as `driven` has it. Out of line: the poll of
    // R/B# runs past it (see SocketDrive).
    [[gnu::noinline]] SocketDrive DriveData(uint32_t pinLevels, uint32_t piOutputs, uint32_t driven) {
        int drivers = 0;
        const uint32_t data = DataOut(pinLevels, &drivers);
        if (drivers == 0) return {0, driven};
        if (drivers > 1) violations.Add("two chips drive the data bus at once");
        if (piOutputs & kDataMask) DataPinsStillDriven(piOutputs);
        return {data, driven | kDataMask};
    }
};

SimNandSocket::SimNandSocket() : s_(new State) {}
SimNandSocket::~SimNandSocket() = default;

SimNandChip& SimNandSocket::Insert(int slot, const ChipPreset& preset, ChipFaults faults) {
    auto& place = s_->chips[slot & 3];
    place.reset(new SimNandChip(preset, std::move(faults)));
    place->s_->slot = slot & 3;
    s_->Update();
    return *place;
}

void SimNandSocket::Remove(int slot) {
    s_->chips[slot & 3].reset();
    s_->Update();
}

void SimNandSocket::RemoveAll() {
    for (int slot = 0; slot < 4; ++slot) Remove(slot);
    s_->pins = 0xFFFFFFFFu;
    s_->Update();
}

SimNandChip* SimNandSocket::Chip(int slot) { return s_->chips[slot & 3].get(); }

std::vector<std::string> SimNandSocket::AllViolations() const {
    std::vector<std::pair<uint32_t, const std::string*>> all;
    auto add = [&all](const ViolationLog& log) {
        for (size_t i = 0; i < log.lines.size(); ++i) all.emplace_back(log.order[i], &log.lines[i]);
    };
    add(s_->violations);
    for (const auto& chip : s_->chips)
        if (chip) add(chip->s_->violations);
    std::sort(all.begin(), all.end());
    std::vector<std::string> out;
    out.reserve(all.size());
    for (const auto& entry : all) out.push_back(*entry.second);
    return out;
}

void SimNandSocket::ClearViolations() {
    s_->violations.Clear();
    for (auto& chip : s_->chips)
        if (chip) chip->ClearViolations();
}

void SimNandSocket::OnPiWrite(uint32_t piLevels, uint32_t piOutputs) {
    State& s = *s_;
    const uint32_t pins = PinLevels(piLevels, piOutputs);
    const uint32_t changed = (pins ^ s.pins) & kWatched;
    s.pins = pins;
    if (changed == 0) return;
    if (changed & kCeMask) s.Update();
    if (s.selected == 0) return;

    if ((changed & kWe) && (pins & kWe)) {
        // Rising edge of WE#: the selected chips latch what the pins hold.
        // Only one chip enable may be low: two chips would both take it.
        if (s.selected & (s.selected - 1)) s.TwoSelected(pins);
        const bool cle = pins & kCle;
        const bool ale = pins & kAle;
        const uint8_t value = ByteFromLevels(pins);
        for (unsigned sel = s.selected; sel != 0; sel &= sel - 1) {
            SimNandChip::State& chip = s.ChipIn(static_cast<unsigned>(__builtin_ctz(sel)));
            if ((piOutputs & kDataMask) != kDataMask) {
                chip.Violation("WE# rose while data pins were not driven by the Pi (byte read as %02Xh)", value);
            }
            if (cle && ale) {
                chip.Violation("WE# cycle with CLE and ALE both high (byte %02Xh ignored)", value);
            } else if (cle) {
                chip.Command(value, pins);
            } else if (ale) {
                chip.Address(value);
            } else {
                chip.DataIn(value);
            }
        }
    }
    if ((changed & kRe) && (pins & kRe)) {
        // Rising edge of RE#: the data pointer moves on.
        for (unsigned sel = s.selected; sel != 0; sel &= sel - 1)
            s.ChipIn(static_cast<unsigned>(__builtin_ctz(sel))).ReadCycleEnds(pins);
    }
}

SocketDrive SimNandSocket::OnPiRead(uint32_t piLevels, uint32_t piOutputs) {
    State& s = *s_;
    uint32_t driven = 0;

    // R/B# is open drain and wired together: low while any chip pulls it.
    // Every poll counts down the chips that are busy.
    for (int i = 0; i < s.presentCount; ++i) {
        SimNandChip::State& chip = *s.present[i];
        if (chip.busyLeft != 0) {
            --chip.busyLeft;
            if (!chip.faults.busyNever) driven = kRb;
        }
        if (chip.faults.busyStuckLow) driven = kRb;
    }

    const uint32_t pins = PinLevels(piLevels, piOutputs);
    if (s.selected != 0 && !(pins & kRe)) return s.DriveData(pins, piOutputs, driven);
    return {0, driven};
}

SimNandSocket& Socket() {
    // Never destroyed: the GPIO block may still talk to it while the
    // program's statics are torn down.
    static SimNandSocket* socket = new SimNandSocket;
    return *socket;
}

}  // namespace sim
