#include "jobs/EccHamming.h"

#include <cstring>

namespace {

inline int Parity8(unsigned v) { return __builtin_parity(v & 0xFFu); }
inline int Parity64(uint64_t v) { return __builtin_parityll(v); }
inline int Ones(unsigned v) { return __builtin_popcount(v); }

// The parities in the default byte order, not yet inverted.
void Parities(const uint8_t* data, int stepBytes, uint8_t out[3]) {
    // Eight bytes a word: a byte's index is its lane (bits 0-2) and its
    // word's index (bits 3 on). For index bit k >= 3 the parity over the
    // bytes with that bit set is the parity of the words so chosen.
    uint64_t all = 0;
    uint64_t chosen[6] = {};
    const int words = stepBytes / 8;
    for (int w = 0; w < words; ++w) {
        uint64_t v;
        std::memcpy(&v, data + 8 * w, 8);
        all ^= v;
        for (int k = 0; k < 6; ++k) chosen[k] ^= v & (0 - static_cast<uint64_t>((w >> k) & 1));
    }
    uint8_t lane[8];
    std::memcpy(lane, &all, 8);
    const int total = Parity64(all);
    int odd[9];  // parity of the bytes whose index has bit k set
    for (int k = 0; k < 3; ++k) {
        unsigned x = 0;
        for (int j = 0; j < 8; ++j)
            if (j & (1 << k)) x ^= lane[j];
        odd[k] = Parity8(x);
    }
    for (int k = 3; k < 9; ++k) odd[k] = Parity64(chosen[k - 3]);
    unsigned column = 0;
    for (int j = 0; j < 8; ++j) column ^= lane[j];

    unsigned rows = 0;  // rp0 at bit 0 ... rp15 at bit 15
    for (int k = 0; k < 8; ++k) rows |= static_cast<unsigned>((odd[k] << 1) | (total ^ odd[k])) << (2 * k);
    out[0] = static_cast<uint8_t>(rows >> 8);
    out[1] = static_cast<uint8_t>(rows);
    unsigned last = static_cast<unsigned>(Parity8(column & 0xF0) << 7 | Parity8(column & 0x0F) << 6 |
                                          Parity8(column & 0xCC) << 5 | Parity8(column & 0x33) << 4 |
                                          Parity8(column & 0xAA) << 3 | Parity8(column & 0x55) << 2);
    if (stepBytes == 512) last |= static_cast<unsigned>(odd[8] << 1 | (total ^ odd[8]));
    out[2] = static_cast<uint8_t>(last);
}

}  // namespace

void HammingCode::Encode(const uint8_t* data, uint8_t* ecc) const {
    uint8_t p[3];
    Parities(data, stepBytes_, p);
    // Stored inverted: erased flash (all 0xFF) then carries its own ECC.
    ecc[smartMedia_ ? 1 : 0] = static_cast<uint8_t>(~p[0]);
    ecc[smartMedia_ ? 0 : 1] = static_cast<uint8_t>(~p[1]);
    // A 256-byte step has no rp16/rp17: its bits 1-0 stay 0, stored as 1 1.
    ecc[2] = static_cast<uint8_t>(~p[2]);
}

int HammingCode::Decode(const uint8_t* data, const uint8_t* ecc, int* positions) const {
    uint8_t computed[3];
    Encode(data, computed);
    uint8_t s[3];  // differences in the stored order
    for (int i = 0; i < 3; ++i) s[i] = static_cast<uint8_t>(computed[i] ^ ecc[i]);
    if ((s[0] | s[1] | s[2]) == 0) return 0;
    const unsigned high = smartMedia_ ? s[1] : s[0];  // rp15..rp8
    const unsigned low = smartMedia_ ? s[0] : s[1];   // rp7..rp0
    const unsigned last = s[2];
    // One flipped data bit changes exactly one parity of every pair.
    const unsigned pairs = stepBytes_ == 512 ? 0x55u : 0x54u;
    const bool onePerPair = ((high ^ (high >> 1)) & 0x55) == 0x55 && ((low ^ (low >> 1)) & 0x55) == 0x55 &&
                            ((last ^ (last >> 1)) & pairs) == pairs && (stepBytes_ == 512 || (last & 3) == 0);
    if (onePerPair) {
        int index = 0;
        for (int k = 0; k < 4; ++k) {
            index |= ((low >> (2 * k + 1)) & 1) << k;
            index |= ((high >> (2 * k + 1)) & 1) << (k + 4);
        }
        if (stepBytes_ == 512) index |= ((last >> 1) & 1) << 8;
        const int bit = static_cast<int>(((last >> 3) & 1) | ((last >> 5) & 1) << 1 | ((last >> 7) & 1) << 2);
        positions[0] = 8 * index + (7 - bit);
        return 1;
    }
    // A single differing bit in all three bytes: the ECC itself took the hit.
    if (Ones(s[0]) + Ones(s[1]) + Ones(s[2]) == 1) {
        for (int i = 0; i < 3; ++i)
            for (int b = 0; b < 8; ++b)
                if (s[i] & (1 << b)) positions[0] = 8 * stepBytes_ + 8 * i + (7 - b);
        return 1;
    }
    return -1;
}
