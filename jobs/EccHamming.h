// The Hamming code of software-ECC NAND devices: three bytes of inverted
// row and column parities per step of 256 or 512 bytes, correcting one bit
// and detecting two.
#pragma once

#include <cstdint>

class HammingCode {
public:
    // stepBytes 256 or 512; smartMedia: the first two ECC bytes swapped.
    HammingCode(int stepBytes, bool smartMedia) : stepBytes_(stepBytes), smartMedia_(smartMedia) {}

    static constexpr int ECC_BYTES = 3;
    int StepBytes() const { return stepBytes_; }

    void Encode(const uint8_t* data, uint8_t* ecc) const;

    // As BchCode::Decode: 0 clean, 1 with the flipped bit's position (data
    // bits first, then the ECC's), -1 when more than one bit flipped.
    int Decode(const uint8_t* data, const uint8_t* ecc, int* positions) const;

private:
    int stepBytes_;
    bool smartMedia_;
};
