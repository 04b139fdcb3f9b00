#include "jobs/EccBch.h"

#include <algorithm>
#include <cstring>

namespace {

// Shifts a left-aligned register towards its top by `bits` (1 to 63), the
// bits that leave the top returned.
uint64_t ShiftUp(uint64_t* reg, int words, int bits) {
    const uint64_t out = reg[0] >> (64 - bits);
    for (int i = 0; i + 1 < words; ++i) reg[i] = (reg[i] << bits) | (reg[i + 1] >> (64 - bits));
    reg[words - 1] <<= bits;
    return out;
}

// The remainder four data bytes at a time, the register's words known to the
// compiler so that they stay in registers: the top 32 bits meet the data,
// and the four tables reduce what leaves the top.
template <int W>
void RemainderOf(const uint64_t* const tables[4], const uint8_t* data, int bytes, uint64_t* out) {
    uint64_t reg[W] = {};
    int i = 0;
    for (; i + 4 <= bytes; i += 4) {
        const uint32_t w = (uint32_t{data[i]} << 24) | (uint32_t{data[i + 1]} << 16) | (uint32_t{data[i + 2]} << 8) |
                           data[i + 3];
        const uint32_t top = static_cast<uint32_t>(reg[0] >> 32) ^ w;
        const uint64_t* a = tables[3] + (top >> 24) * W;
        const uint64_t* b = tables[2] + ((top >> 16) & 0xFF) * W;
        const uint64_t* c = tables[1] + ((top >> 8) & 0xFF) * W;
        const uint64_t* d = tables[0] + (top & 0xFF) * W;
        for (int k = 0; k < W; ++k) {
            const uint64_t shifted = (reg[k] << 32) | (k + 1 < W ? reg[k + 1 < W ? k + 1 : k] >> 32 : 0);
            reg[k] = shifted ^ a[k] ^ b[k] ^ c[k] ^ d[k];
        }
    }
    for (; i < bytes; ++i) {
        const uint64_t top = (reg[0] >> 56) ^ data[i];
        ShiftUp(reg, W, 8);
        const uint64_t* a = tables[0] + top * W;
        for (int k = 0; k < W; ++k) reg[k] ^= a[k];
    }
    for (int k = 0; k < W; ++k) out[k] = reg[k];
}

}  // namespace

bool BchCode::Setup(int m, int t, uint32_t polynomial, int stepBytes, std::string& why) {
    if (m < 5 || m > 15) {
        why = "the field's m must lie between 5 and 15";
        return false;
    }
    if (t < 1 || t > MAX_T) {
        why = "t must lie between 1 and " + std::to_string(MAX_T);
        return false;
    }
    if ((polynomial >> m) != 1) {
        why = "the polynomial must have degree m (its bit m set, none above)";
        return false;
    }
    m_ = m;
    t_ = t;
    n_ = (1 << m) - 1;
    stepBytes_ = stepBytes;
    if (stepBytes < 1 || 8 * static_cast<int64_t>(stepBytes) + m * t > n_) {
        why = "a step of " + std::to_string(stepBytes) + " bytes does not fit a code of m = " + std::to_string(m) +
              " (at most " + std::to_string((n_ - m * t) / 8) + " bytes)";
        return false;
    }

    exp_.assign(static_cast<size_t>(2 * n_), 0);
    log_.assign(static_cast<size_t>(n_ + 1), -1);
    uint32_t x = 1;
    for (int i = 0; i < n_; ++i) {
        if (i > 0 && x == 1) {
            why = "the polynomial is not primitive";
            return false;
        }
        exp_[static_cast<size_t>(i)] = static_cast<uint16_t>(x);
        log_[x] = i;
        x <<= 1;
        if (x & (1u << m)) x ^= polynomial;
    }
    if (x != 1) {
        why = "the polynomial is not primitive";
        return false;
    }
    for (int i = n_; i < 2 * n_; ++i) exp_[static_cast<size_t>(i)] = exp_[static_cast<size_t>(i - n_)];

    // The generator: the product of (x + alpha^r) over alpha^1, alpha^3, ...,
    // alpha^(2t-1) and their conjugates; its coefficients come out binary.
    std::vector<bool> root(static_cast<size_t>(n_), false);
    std::vector<int> g{1};  // g[i]: coefficient of x^i
    for (int i = 1; i < 2 * t; i += 2) {
        if (root[static_cast<size_t>(i)]) continue;
        int c = i;
        do {
            root[static_cast<size_t>(c)] = true;
            std::vector<int> next(g.size() + 1, 0);
            for (size_t j = 0; j < g.size(); ++j) {
                next[j + 1] ^= g[j];
                next[j] ^= Multiply(g[j], exp_[static_cast<size_t>(c)]);
            }
            g.swap(next);
            c = (2 * c) % n_;
        } while (c != i);
    }
    eccBits_ = static_cast<int>(g.size()) - 1;
    if (eccBits_ != m * t) {
        why = "the generator has degree " + std::to_string(eccBits_) + ", not m t = " + std::to_string(m * t);
        return false;
    }
    words_ = (eccBits_ + 63) / 64;

    // x^(mt + j) mod g for j = 0..31, left-aligned: the coefficient of
    // x^(mt - 1 - p) at bit p from the top.
    Register low(static_cast<size_t>(words_), 0);
    for (int e = 0; e < eccBits_; ++e)
        if (g[static_cast<size_t>(e)] != 0) {
            const int p = eccBits_ - 1 - e;
            low[static_cast<size_t>(p / 64)] |= 0x8000000000000000ull >> (p % 64);
        }
    std::vector<Register> basis;
    Register r = low;
    for (int j = 0; j < 32; ++j) {
        basis.push_back(r);
        if (ShiftUp(r.data(), words_, 1) != 0)
            for (int w = 0; w < words_; ++w) r[static_cast<size_t>(w)] ^= low[static_cast<size_t>(w)];
    }
    for (int k = 0; k < 4; ++k) {
        std::vector<uint64_t>& table = tables_[k];
        table.assign(static_cast<size_t>(256 * words_), 0);
        for (int b = 0; b < 256; ++b)
            for (int i = 0; i < 8; ++i)
                if (b & (1 << i))
                    for (int w = 0; w < words_; ++w)
                        table[static_cast<size_t>(b * words_ + w)] ^= basis[static_cast<size_t>(8 * k + i)][static_cast<size_t>(w)];
    }

    mask_.assign(static_cast<size_t>(EccBytes()), 0);
    const std::vector<uint8_t> erased(static_cast<size_t>(stepBytes), 0xFF);
    std::vector<uint8_t> ecc(static_cast<size_t>(EccBytes()));
    Encode(erased.data(), ecc.data());
    for (size_t i = 0; i < ecc.size(); ++i) mask_[i] = static_cast<uint8_t>(~ecc[i]);
    return true;
}

int BchCode::Multiply(int a, int b) const {
    if (a == 0 || b == 0) return 0;
    return exp_[static_cast<size_t>(log_[static_cast<size_t>(a)] + log_[static_cast<size_t>(b)])];
}

void BchCode::Remainder(const uint8_t* data, uint64_t* reg) const {
    const uint64_t* const tables[4] = {tables_[0].data(), tables_[1].data(), tables_[2].data(), tables_[3].data()};
    switch (words_) {
        case 1: RemainderOf<1>(tables, data, stepBytes_, reg); break;
        case 2: RemainderOf<2>(tables, data, stepBytes_, reg); break;
        case 3: RemainderOf<3>(tables, data, stepBytes_, reg); break;
        default: RemainderOf<4>(tables, data, stepBytes_, reg); break;
    }
}

void BchCode::Encode(const uint8_t* data, uint8_t* ecc) const {
    uint64_t reg[REGISTER_WORDS];
    Remainder(data, reg);
    const int bytes = EccBytes();
    for (int j = 0; j < bytes; ++j) {
        const uint8_t b = static_cast<uint8_t>(reg[j / 8] >> (56 - 8 * (j % 8)));
        ecc[j] = mask_.empty() ? b : static_cast<uint8_t>(b ^ mask_[static_cast<size_t>(j)]);
    }
}

int BchCode::Decode(const uint8_t* data, const uint8_t* ecc, int* positions) const {
    uint64_t reg[REGISTER_WORDS];
    Remainder(data, reg);
    const int bytes = EccBytes();
    // The remainder of the received word: computed and stored ECC differ in
    // it. The last byte's pad bits belong to no codeword.
    uint8_t diff[(MAX_T * 15 + 7) / 8];
    bool any = false;
    for (int j = 0; j < bytes; ++j) {
        const uint8_t computed = static_cast<uint8_t>(reg[j / 8] >> (56 - 8 * (j % 8)));
        diff[j] = static_cast<uint8_t>(computed ^ ecc[j] ^ mask_[static_cast<size_t>(j)]);
        if (j == bytes - 1 && eccBits_ % 8 != 0) diff[j] &= static_cast<uint8_t>(0xFF << (8 - eccBits_ % 8));
        any = any || diff[j] != 0;
    }
    if (!any) return 0;

    // Syndromes S1..S2t of the remainder: the codeword vanishes at the
    // generator's roots. The even ones are squares of the odd.
    int s[2 * MAX_T + 1] = {};
    for (int p = 0; p < eccBits_; ++p) {
        if (!(diff[p / 8] & (0x80 >> (p % 8)))) continue;
        const int e = eccBits_ - 1 - p;
        for (int j = 1; j <= 2 * t_; j += 2) s[j] ^= exp_[static_cast<size_t>((j * e) % n_)];
    }
    for (int j = 2; j <= 2 * t_; j += 2) s[j] = Multiply(s[j / 2], s[j / 2]);

    // Berlekamp-Massey: the shortest error locator that explains them.
    int c[2 * MAX_T + 2] = {1};
    int b[2 * MAX_T + 2] = {1};
    int length = 0;
    int shift = 1;
    int lastDiscrepancy = 1;
    for (int k = 0; k < 2 * t_; ++k) {
        int d = s[k + 1];
        for (int i = 1; i <= length; ++i) d ^= Multiply(c[i], s[k + 1 - i]);
        if (d == 0) {
            ++shift;
            continue;
        }
        const int factor = exp_[static_cast<size_t>((log_[static_cast<size_t>(d)] - log_[static_cast<size_t>(lastDiscrepancy)] + n_) % n_)];
        int previous[2 * MAX_T + 2];
        std::memcpy(previous, c, sizeof c);
        for (int i = 0; i + shift < 2 * MAX_T + 2; ++i) c[i + shift] ^= Multiply(factor, b[i]);
        if (2 * length <= k) {
            length = k + 1 - length;
            std::memcpy(b, previous, sizeof b);
            lastDiscrepancy = d;
            shift = 1;
        } else {
            ++shift;
        }
    }
    if (length > t_) return -1;
    int degree = 0;
    for (int i = 0; i < 2 * MAX_T + 2; ++i)
        if (c[i] != 0) degree = i;
    if (degree != length) return -1;

    // Chien search over the bits the step has: an error at x^e is a root
    // alpha^-e of the locator. A locator whose roots are fewer than its
    // degree, or lie outside the step, belongs to no pattern the code can
    // correct.
    const int total = 8 * stepBytes_ + eccBits_;
    int term[MAX_T + 1];
    for (int i = 1; i <= length; ++i) term[i] = c[i] == 0 ? -1 : log_[static_cast<size_t>(c[i])];
    int found = 0;
    for (int e = 0; e < total && found < length; ++e) {
        int sum = 1;
        for (int i = 1; i <= length; ++i) {
            if (term[i] < 0) continue;
            sum ^= exp_[static_cast<size_t>(term[i])];
            term[i] -= i;
            if (term[i] < 0) term[i] += n_;
        }
        if (sum == 0) {
            positions[found++] = e >= eccBits_ ? total - 1 - e : 8 * stepBytes_ + (eccBits_ - 1 - e);
        }
    }
    if (found != length) return -1;
    return found;
}
