// Binary BCH over GF(2^m), as devices with a software BCH write it in the
// spare area: systematic, the ECC the remainder of the step's bits times
// x^(m t) modulo the generator, most significant bit first, and stored XORed
// with the complement of an erased step's ECC so that erased flash reads as a
// valid codeword.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class BchCode {
public:
    // The largest t the decoder takes.
    static constexpr int MAX_T = 16;

    // Builds the field and the generator. False, with the reason, when m is
    // out of 5..15, the polynomial is not primitive, or the step does not fit
    // the field.
    bool Setup(int m, int t, uint32_t polynomial, int stepBytes, std::string& why);

    int EccBytes() const { return (eccBits_ + 7) / 8; }
    int Strength() const { return t_; }

    // The stored ECC bytes of a step of stepBytes data bytes.
    void Encode(const uint8_t* data, uint8_t* ecc) const;

    // Finds the bit errors of a step from its data and stored ECC. Returns
    // the number of errors (0: clean) and their places, as bit positions:
    // below 8 * stepBytes a data bit (byte position / 8, bit 7 - position % 8),
    // from there on an ECC bit counted the same way; -1 when there are more
    // errors than the code can place. Nothing is changed.
    int Decode(const uint8_t* data, const uint8_t* ecc, int* positions) const;

private:
    // The remainder's words: m t is at most 15 x 16 = 240 bits.
    static constexpr int REGISTER_WORDS = 4;
    using Register = std::vector<uint64_t>;
    int Multiply(int a, int b) const;
    // The remainder of data(x) x^(m t) modulo the generator, left-aligned in
    // words_ words.
    void Remainder(const uint8_t* data, uint64_t* reg) const;

    int m_ = 0;
    int t_ = 0;
    int n_ = 0;  // 2^m - 1
    int stepBytes_ = 0;
    int eccBits_ = 0;
    int words_ = 0;
    std::vector<uint16_t> exp_;  // alpha^i for i in 0..2n (no reduction needed for a sum of two logs)
    std::vector<int> log_;
    // tables_[k][b]: remainder of b(x) x^(8k) x^(m t), words_ words each.
    std::vector<uint64_t> tables_[4];
    std::vector<uint8_t> mask_;  // NOT the ECC of an erased step
};
