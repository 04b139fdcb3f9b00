// The ECC schemes on a dump in memory, as image ecc checks a file: 16 MB of
// 2048 + 64 pages of random data with their ECC, checked over and over for at
// least a second; then one bch8 step with 8 flipped bits, mended over and
// over. Prints:
//   image.ecc.hamming.check_mb_per_s, image.ecc.bch8.check_mb_per_s
//       megabytes (10^6 bytes, spare included) of clean pages checked a second;
//   image.ecc.bch8.correct_ms_per_step
//       milliseconds to place and mend 8 flipped bits in one 512-byte step;
//   read.ecc.bch8.check_us_per_page
//       the CPU time of read --ecc's check of one clean 2048 + 64 page, in
//       microseconds (bench/parts/60-pi.sh sets it against a Pi 3's read).
#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "jobs/Ecc.h"
#include "jobs/EccPages.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPage = 2048;
constexpr int kSpare = 64;
constexpr int kPages = 8192;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::vector<uint8_t> Dump(const PageEcc& ecc) {
    std::vector<uint8_t> dump(static_cast<size_t>(kPages) * (kPage + kSpare), 0xFF);
    uint64_t s = 0x243F6A8885A308D3ull;
    for (int k = 0; k < kPages; ++k) {
        uint8_t* record = dump.data() + static_cast<size_t>(k) * (kPage + kSpare);
        for (int i = 0; i < kPage; ++i) {
            s = s * 6364136223846793005ull + 1442695040888963407ull;
            record[i] = static_cast<uint8_t>(s >> 56);
        }
        ecc.Encode(record);
    }
    return dump;
}

bool Setup(const char* name, PageEcc& ecc) {
    EccScheme scheme;
    std::string why;
    if (ParseEccScheme(name, scheme, why) && ecc.Setup(scheme, kPage, kSpare, why)) return true;
    std::fprintf(stderr, "ecc_bench: %s: %s\n", name, why.c_str());
    return false;
}

struct CheckSpeed {
    double mbPerSecond = -1;  // wall time
    double cpuUsPerPage = -1;
};

// Clean pages checked as read --ecc checks each page it reads: megabytes a
// second, and the process's CPU time a page.
CheckSpeed CheckRate(const char* name) {
    PageEcc ecc;
    if (!Setup(name, ecc)) return {};
    std::vector<uint8_t> dump = Dump(ecc);
    std::vector<EccStep> steps;
    int64_t pages = 0;
    const std::clock_t cpuStart = std::clock();
    const Clock::time_point start = Clock::now();
    do {
        for (int k = 0; k < kPages; ++k)
            if (CheckPageEcc(ecc, dump.data() + static_cast<size_t>(k) * (kPage + kSpare), false, steps).worst !=
                EccStepState::Clean)
                return {};
        pages += kPages;
    } while (Seconds(start) < 1.0);
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    return {static_cast<double>(pages) * (kPage + kSpare) / 1e6 / Seconds(start), cpu * 1e6 / static_cast<double>(pages)};
}

// A step with 8 flipped bits placed and mended, in ms.
double CorrectTime() {
    PageEcc ecc;
    if (!Setup("bch8", ecc)) return -1;
    std::vector<uint8_t> dump = Dump(ecc);
    std::vector<uint8_t> good(dump.begin(), dump.begin() + kPage + kSpare);
    std::vector<uint8_t> page = good;
    std::vector<EccStep> steps;
    int64_t mended = 0;
    const Clock::time_point start = Clock::now();
    do {
        for (int i = 0; i < 8; ++i) page[static_cast<size_t>((mended * 97 + i * 61) % 512)] ^= static_cast<uint8_t>(1u << i);
        if (ecc.Check(page.data(), true, steps) != EccStepState::Corrected || steps[0].bits != 8 || page != good)
            return -1;
        ++mended;
    } while (Seconds(start) < 1.0);
    // Each check also finds the three clean steps: a small share, kept.
    return Seconds(start) * 1000.0 / static_cast<double>(mended);
}

void Print(const char* name, double value, const char* format) {
    if (value < 0) {
        std::printf("%s = n/a\n", name);
        return;
    }
    std::printf("%s = ", name);
    std::printf(format, value);
    std::printf("\n");
}

}  // namespace

int main() {
    Print("image.ecc.hamming.check_mb_per_s", CheckRate("hamming").mbPerSecond, "%.0f");
    const CheckSpeed bch8 = CheckRate("bch8");
    Print("image.ecc.bch8.check_mb_per_s", bch8.mbPerSecond, "%.0f");
    Print("image.ecc.bch8.correct_ms_per_step", CorrectTime(), "%.4f");
    Print("read.ecc.bch8.check_us_per_page", bch8.cpuUsPerPage, "%.2f");
    return 0;
}
