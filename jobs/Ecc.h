// The ECC a device keeps in the spare areas of its pages: the schemes by
// name, where their bytes sit (the layouts software-ECC devices use, or a
// layout file), and the check, correction and making of one page at a time.
//
// A page is one record of a dump: pageSize data bytes, then spareSize spare
// bytes. It is cut into steps of stepBytes data bytes, each with its own ECC
// bytes somewhere in the spare. Whoever walks pages (a dump file, the chip)
// hands each record to PageEcc::Check and gets one result per step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jobs/EccBch.h"
#include "jobs/EccHamming.h"

struct EccScheme {
    enum class Code { Hamming, Bch };

    std::string name;  // as the user gave it: "bch8", "hamming-sm", the layout file's path
    Code code = Code::Hamming;
    int stepBytes = 256;
    bool smartMedia = false;  // Hamming: the first two ECC bytes swapped
    int bchM = 13;
    int bchT = 4;
    uint32_t bchPolynomial = 0x201B;
    // Each step's ECC bytes as offsets into the spare area, step after step;
    // empty for the placement software-ECC devices use with the page's
    // geometry.
    std::vector<std::vector<int>> places;
};

// A built-in scheme by its name: hamming, hamming-512, hamming-sm, bch4,
// bch8, or bchN for N from 1 to 16. False, with the reason, otherwise.
bool ParseEccScheme(const std::string& name, EccScheme& scheme, std::string& why);
// The names, for a usage line.
const char* EccSchemeNames();
// Every built-in scheme in the default placement, as a guess tries them.
std::vector<EccScheme> BuiltInEccSchemes();

// A layout file, lines of words, "#" to the end of a line a comment:
//   step N                the data bytes of a step
//   code hamming          or hamming-sm, or bch M T POLY (POLY in decimal or
//                         0x hex, e.g. "code bch 13 8 0x201B")
//   ecc OFFSETS           one line per step, in step order: the spare offsets
//                         of its ECC bytes, first byte first, as numbers and
//                         ranges, "12-24" or "40,41,42"
// Without ecc lines the ECC sits where the built-in schemes put it.
bool ParseEccLayout(const std::string& text, const std::string& name, EccScheme& scheme, std::string& why);
bool ReadEccLayoutFile(const std::string& path, EccScheme& scheme, std::string& why);

enum class EccStepState : uint8_t {
    Clean,
    Erased,         // data and ECC bytes all 0xFF
    Corrected,      // bit flips the code placed and corrects
    ErasedFlips,    // an erased step with a few bits read as 0
    Uncorrectable,  // more flips than the code can place
};
const char* EccStepStateName(EccStepState state);

// A flipped bit: its byte in the page record (data first, spare after) and
// its number in the byte (0 the least significant).
struct EccFlip {
    int32_t offset;
    uint8_t bit;
};

struct EccStep {
    EccStepState state = EccStepState::Clean;
    int bits = 0;  // the flips below: corrected bits, or an erased step's 0 bits
    EccFlip flips[BchCode::MAX_T];
};

class PageEcc {
public:
    PageEcc();
    ~PageEcc();
    // Takes a scheme for pages of this geometry. False, with the reason, when
    // the steps do not divide the page, the code cannot be built, or the ECC
    // bytes do not fit the spare area (or overlap, or leave it).
    bool Setup(const EccScheme& scheme, int32_t pageSize, int32_t spareSize, std::string& why);

    int Steps() const { return steps_; }
    int StepBytes() const { return scheme_.stepBytes; }
    int EccBytes() const { return eccBytes_; }
    int Strength() const { return strength_; }
    // "bch8 (512-byte steps, 13 ECC bytes each at spare bytes 12-63)"
    std::string Describe() const;
    // Whether a step's ECC byte sits at this spare offset.
    bool HoldsEcc(int spareOffset) const;

    // Checks one page record, one result per step into `steps` (resized to
    // Steps()). With fix, puts every correctable step right in place: the
    // flipped data and ECC bits back, an erased step with flips back to
    // 0xFF. Returns the worst state.
    EccStepState Check(uint8_t* record, bool fix, std::vector<EccStep>& steps) const;
    // Writes the ECC bytes of every step of the record's data into its spare.
    void Encode(uint8_t* record) const;

private:
    int DecodeStep(const uint8_t* data, const uint8_t* ecc, int* positions) const;

    EccScheme scheme_;
    std::unique_ptr<HammingCode> hamming_;
    std::unique_ptr<BchCode> bch_;
    int32_t pageSize_ = 0;
    int32_t spareSize_ = 0;
    int steps_ = 0;
    int eccBytes_ = 0;
    int strength_ = 0;
    std::vector<int> places_;  // steps_ * eccBytes_ spare offsets
};
