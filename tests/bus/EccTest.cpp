// The ECC schemes against answers computed with the code devices run, and
// against the flips they must correct, place, or refuse.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "jobs/Ecc.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Lcg(size_t n) {
    Bytes out(n);
    uint32_t s = 1;
    for (uint8_t& b : out) {
        s = (s * 1103515245u + 12345u) & 0x7FFFFFFFu;
        b = static_cast<uint8_t>(s >> 16);
    }
    return out;
}

std::string Hex(const uint8_t* bytes, size_t n) {
    std::string text;
    char two[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, i ? " %02x" : "%02x", bytes[i]);
        text += two;
    }
    return text;
}

Bytes Step(const char* kind, size_t n) {
    const std::string k = kind;
    if (k == "ff") return Bytes(n, 0xFF);
    if (k == "00") return Bytes(n, 0x00);
    if (k == "ff,1=fe") {
        Bytes b(n, 0xFF);
        b[1] = 0xFE;
        return b;
    }
    if (k == "i") {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i);
        return b;
    }
    return Lcg(n);
}

}  // namespace

TEST(Ecc, EachCodeGivesTheEccBytesDevicesWrite) {
    const struct {
        const char* scheme;
        const char* data;
        const char* ecc;
    } cases[] = {
        {"hamming", "ff", "ff ff ff"},
        {"hamming", "ff,1=fe", "aa a9 ab"},
        {"hamming", "00", "ff ff ff"},
        {"hamming", "lcg", "c3 ff 03"},
        {"hamming-sm", "lcg", "ff c3 03"},
        {"bch4", "ff", "ff ff ff ff ff ff ff"},
        {"bch4", "00", "28 13 cc 39 96 ac 7f"},
        {"bch4", "i", "c4 c3 2c 9e c7 68 ef"},
        {"bch4", "lcg", "70 cf 0b a9 a1 18 cf"},
        {"bch8", "ff", "ff ff ff ff ff ff ff ff ff ff ff ff ff"},
        {"bch8", "00", "ef 51 2e 09 ed 93 9a c2 97 79 e5 24 b5"},
        {"bch8", "i", "46 ed c5 b8 0c de be e9 29 38 a3 97 61"},
        {"bch8", "lcg", "e6 ec 8c 77 77 dc 31 61 b9 ef a0 a3 ec"},
    };
    for (const auto& c : cases) {
        EccScheme scheme;
        std::string why;
        ASSERT_TRUE(ParseEccScheme(c.scheme, scheme, why)) << why;
        // One step a page, its ECC at the end of a spare area of 64.
        PageEcc ecc;
        ASSERT_TRUE(ecc.Setup(scheme, scheme.stepBytes, 64, why)) << why;
        Bytes record = Step(c.data, static_cast<size_t>(scheme.stepBytes));
        record.resize(record.size() + 64, 0xFF);
        ecc.Encode(record.data());
        const size_t at = record.size() - static_cast<size_t>(ecc.EccBytes());
        EXPECT_EQ(Hex(record.data() + at, static_cast<size_t>(ecc.EccBytes())), c.ecc) << c.scheme << " " << c.data;
    }
}

// On a 2048 + 128 page (room for bch16): erased, one flip in the data and one
// in the ECC, t flips in one step corrected in place, t + 1 never taken for
// clean, and an erased page with a few 0 bits told apart from data.
TEST(Ecc, EachSchemeCorrectsWhatItsStrengthAllowsAndRefusesMore) {
    for (const char* name : {"hamming", "hamming-512", "hamming-sm", "bch1", "bch4", "bch8", "bch16"}) {
        SCOPED_TRACE(name);
        EccScheme scheme;
        std::string why;
        ASSERT_TRUE(ParseEccScheme(name, scheme, why)) << why;
        PageEcc ecc;
        ASSERT_TRUE(ecc.Setup(scheme, 2048, 128, why)) << why;
        const int t = ecc.Strength();
        std::vector<EccStep> steps;

        Bytes erased(2048 + 128, 0xFF);
        EXPECT_EQ(ecc.Check(erased.data(), false, steps), EccStepState::Erased);

        Bytes good = Lcg(2048);
        good.resize(2048 + 128, 0xFF);
        ecc.Encode(good.data());
        Bytes page = good;
        EXPECT_EQ(ecc.Check(page.data(), false, steps), EccStepState::Clean);

        // Step 1: t flips spread over its data; the last step: one in an ECC byte.
        const int step = 1;
        std::vector<std::pair<int, int>> flipped;
        for (int i = 0; i < t; ++i) flipped.push_back({step * ecc.StepBytes() + (i * 37 + 5) % ecc.StepBytes(), i % 8});
        int eccByte = 2048 + 127;
        while (!ecc.HoldsEcc(eccByte - 2048)) --eccByte;
        flipped.push_back({eccByte, 7});  // a pad bit may sit below
        for (const auto& [at, bit] : flipped) page[static_cast<size_t>(at)] ^= static_cast<uint8_t>(1u << bit);
        EXPECT_EQ(ecc.Check(page.data(), true, steps), EccStepState::Corrected);
        EXPECT_EQ(steps[step].state, EccStepState::Corrected);
        EXPECT_EQ(steps[step].bits, t);
        EXPECT_EQ(steps.back().state, EccStepState::Corrected);
        ASSERT_EQ(steps.back().bits, 1);
        EXPECT_EQ(steps.back().flips[0].offset, eccByte);
        EXPECT_EQ(steps.back().flips[0].bit, 7);
        EXPECT_EQ(page, good);

        // t + 1 flips in one step: never clean, and never mended silently.
        for (int i = 0; i <= t; ++i) page[static_cast<size_t>(step * ecc.StepBytes() + i * 11)] ^= 0x10;
        const Bytes broken = page;
        EXPECT_EQ(ecc.Check(page.data(), true, steps), EccStepState::Uncorrectable);
        EXPECT_EQ(page, broken);

        Bytes weak(2048 + 128, 0xFF);
        weak[3] = 0xF7;
        EXPECT_EQ(ecc.Check(weak.data(), true, steps), EccStepState::ErasedFlips);
        EXPECT_EQ(steps[0].bits, 1);
        EXPECT_EQ(weak, erased);
    }
}

TEST(Ecc, LayoutFileNamesTheCodeAndWhereEachStepKeepsItsBytes) {
    EccScheme builtIn;
    EccScheme file;
    std::string why;
    ASSERT_TRUE(ParseEccScheme("bch8", builtIn, why));
    // bch8 as it is placed by default, written out; then one chunk per step.
    const char* same = "# bch8, 2048 + 64\nstep 512\ncode bch 13 8 0x201B\necc 12-24\necc 25-37\necc 38 - 50\n"
                       "ecc 51-63  # last step\n";
    ASSERT_TRUE(ParseEccLayout(same, "same.layout", file, why)) << why;
    PageEcc a, b;
    ASSERT_TRUE(a.Setup(builtIn, 2048, 64, why)) << why;
    ASSERT_TRUE(b.Setup(file, 2048, 64, why)) << why;
    Bytes pa = Lcg(2048 + 64), pb = pa;
    a.Encode(pa.data());
    b.Encode(pb.data());
    EXPECT_EQ(pa, pb);

    ASSERT_TRUE(ParseEccLayout("step 512\ncode hamming-sm\n", "x", file, why)) << why;
    EXPECT_EQ(file.stepBytes, 512);
    EXPECT_TRUE(file.smartMedia);

    const struct {
        const char* text;
        const char* why;
    } refused[] = {
        {"step 512\ncode bch 13 8 0x201B\necc 1-13\n", "1 ecc lines for the 4 steps"},
        {"step 512\ncode bch 13 8 0x201B\necc 0-12\necc 12-24\necc 25-37\necc 38-50\n", "offset 12 is named twice"},
        {"step 512\ncode bch 13 8 0x201C\n", "not primitive"},
        {"step 512\ncode rs 4\n", "x line 2: \"code\" is"},
        {"step 512\n", "names its code"},
        {"step 512\ncode hamming\necc 60-65\necc 1-3\necc 4-6\necc 7-9\n", "has 6 ECC offsets"},
    };
    for (const auto& r : refused) {
        why.clear();
        const bool ok = ParseEccLayout(r.text, "x", file, why) && b.Setup(file, 2048, 64, why);
        EXPECT_FALSE(ok) << r.text;
        EXPECT_NE(why.find(r.why), std::string::npos) << why;
    }
}
