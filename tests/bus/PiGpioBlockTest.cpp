// How the Pi build finds its GPIO block, against stand-in device trees (the
// bytes of each board's /proc/device-tree) and stand-in devices that record
// every open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "bus/PiGpioBlock.h"
#include "support/Process.h"

using ferrik_test::TempDir;

namespace {

std::string Cells(std::initializer_list<uint32_t> cells) {
    std::string bytes;
    for (uint32_t c : cells)
        for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(c >> shift & 0xFF);
    return bytes;
}

void Put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A device tree folder with a root compatible list and soc/ranges (either
// left out when nullptr).
struct Board {
    const char* name;
    const char* compatible;  // NUL-separated, as the kernel shows it
    size_t compatibleLength;
    const std::string* ranges;
};

void MakeTree(const std::string& dir, const Board& board) {
    if (board.compatible != nullptr) Put(dir + "/compatible", std::string(board.compatible, board.compatibleLength));
    if (board.ranges != nullptr) {
        mkdir((dir + "/soc").c_str(), 0755);
        Put(dir + "/soc/ranges", *board.ranges);
    }
}

#define COMPAT(s) s, sizeof(s)  // keeps the inner NULs and the last one

const std::string kPi1Ranges = Cells({0x7E000000, 0x20000000, 0x02000000});
const std::string kPi3Ranges = Cells({0x7E000000, 0x3F000000, 0x01000000, 0x40000000, 0x40000000, 0x00001000});
const std::string kPi4Ranges = Cells({0x7E000000, 0x00000000, 0xFE000000, 0x01800000, 0x7C000000, 0x00000000,
                                      0xFC000000, 0x02000000, 0x40000000, 0x00000000, 0xFF800000, 0x00800000});
const std::string kPi5Ranges = Cells({0x7C000000, 0x00000010, 0x00000000, 0x04000000});
const std::string kShortRanges = kPi3Ranges.substr(0, 6);
const std::string kPi4RangesCut = kPi4Ranges.substr(0, 10);

const Board kPi1 = {"Pi 1", COMPAT("raspberrypi,model-b\0brcm,bcm2835"), &kPi1Ranges};
const Board kPi3 = {"Pi 3", COMPAT("raspberrypi,3-model-b\0brcm,bcm2837"), &kPi3Ranges};
const Board kPi4 = {"Pi 4", COMPAT("raspberrypi,4-model-b\0brcm,bcm2711"), &kPi4Ranges};
const Board kPi5 = {"Pi 5", COMPAT("raspberrypi,5-model-b\0brcm,bcm2712"), &kPi5Ranges};
const Board kNoTree = {"no device tree", nullptr, 0, nullptr};

std::vector<std::string> opened;
std::set<std::string> openable;
std::set<std::string> present;  // there, but not open to the user

int RecordingOpen(const char* path) {
    opened.push_back(path);
    if (openable.count(path) != 0) return open("/dev/null", O_RDWR | O_CLOEXEC);
    errno = present.count(path) != 0 ? EACCES : ENOENT;
    return -1;
}

}  // namespace

TEST(PeripheralBase, IsReadFromTheDeviceTreeOfEachBoardButThePi5WhichIsNamed) {
    const Board shortFile = {"a ranges file of 6 bytes", COMPAT("brcm,bcm2837"), &kShortRanges};
    const Board cutPi4 = {"a Pi 4 ranges file cut inside its third cell", COMPAT("brcm,bcm2711"), &kPi4RangesCut};
    const Board noRanges = {"no soc/ranges", COMPAT("brcm,bcm2837"), nullptr};
    const struct {
        Board board;
        PeripheralBaseStatus status;
        uint64_t base;
    } cases[] = {
        {kPi1, PeripheralBaseStatus::Found, 0x20000000},
        {kPi3, PeripheralBaseStatus::Found, 0x3F000000},
        {kPi4, PeripheralBaseStatus::Found, 0xFE000000},
        {shortFile, PeripheralBaseStatus::Unknown, 0},
        {cutPi4, PeripheralBaseStatus::Unknown, 0},
        {noRanges, PeripheralBaseStatus::Unknown, 0},
        {kNoTree, PeripheralBaseStatus::Unknown, 0},
        {kPi5, PeripheralBaseStatus::Pi5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.board.name);
        TempDir tree;
        MakeTree(tree.Path(), c.board);
        const PeripheralBase found = ReadPeripheralBase(tree.Path());
        EXPECT_EQ(found.status, c.status);
        EXPECT_EQ(found.base, c.base);
    }
}

TEST(GpioBlock, OpensGpiomemFirstThenMemAtTheBoardsAddressAndOnAPi5Gpiomem0Alone) {
    const std::string gpiomem = "/stand-in/gpiomem";
    const std::string mem = "/stand-in/mem";
    const std::string gpiomem0 = "/stand-in/gpiomem0";
    const struct {
        const char* what;
        Board board;
        std::set<std::string> openable;
        GpioBlockSource source;
        uint64_t offset;
        std::vector<std::string> opened;
        std::set<std::string> present = {};  // there, but not open to the user
    } cases[] = {
        {"gpiomem open to the user", kPi4, {gpiomem, mem}, GpioBlockSource::Gpiomem, 0, {gpiomem}},
        {"gpiomem, no device tree needed", kNoTree, {gpiomem}, GpioBlockSource::Gpiomem, 0, {gpiomem}},
        {"Pi 4 as root without gpiomem", kPi4, {mem}, GpioBlockSource::Mem, 0xFE200000, {gpiomem, mem}},
        {"Pi 3 as root without gpiomem", kPi3, {mem}, GpioBlockSource::Mem, 0x3F200000, {gpiomem, mem}},
        {"Pi 1 as root without gpiomem", kPi1, {mem}, GpioBlockSource::Mem, 0x20200000, {gpiomem, mem}},
        {"no rights on either", kPi3, {}, GpioBlockSource::NoDevice, 0, {gpiomem, mem}},
        {"mem but no address to map", kNoTree, {mem}, GpioBlockSource::NoBase, 0, {gpiomem, mem}},
        {"Pi 5", kPi5, {gpiomem, mem, gpiomem0}, GpioBlockSource::Gpiomem0, 0, {gpiomem0}},
        {"Pi 5 without gpiomem0", kPi5, {gpiomem, mem}, GpioBlockSource::NoGpiomem0, 0, {gpiomem0}},
        {"Pi 5, gpiomem0 not open to the user", kPi5, {mem}, GpioBlockSource::Gpiomem0Denied, 0, {gpiomem0},
         {gpiomem0}},
        {"gpiomem0 on a Pi 3 is not used", kPi3, {mem, gpiomem0}, GpioBlockSource::Mem, 0x3F200000, {gpiomem, mem}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tree;
        MakeTree(tree.Path(), c.board);
        opened.clear();
        openable = c.openable;
        present = c.present;
        const GpioDevices devices = {gpiomem.c_str(), mem.c_str(), gpiomem0.c_str(), tree.Path().c_str(),
                                     RecordingOpen};
        const GpioBlockFile block = OpenGpioBlock(devices);
        EXPECT_EQ(block.source, c.source);
        EXPECT_EQ(block.offset, c.offset);
        EXPECT_EQ(opened, c.opened);
        const bool mapped = c.source == GpioBlockSource::Gpiomem || c.source == GpioBlockSource::Mem ||
                            c.source == GpioBlockSource::Gpiomem0;
        EXPECT_EQ(block.fd >= 0, mapped);
        if (block.fd >= 0) close(block.fd);
    }
}
