#include "jobs/Ecc.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

// The spare bytes that hold a block's factory mark on large pages.
constexpr int MARK_BYTES = 2;

bool ParseInt(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (!hex && (text[0] < '0' || text[0] > '9')) return false;
    value = std::strtol(text.c_str(), &end, hex ? 16 : 10);
    return errno == 0 && *end == '\0' && value >= 0 && value <= 0x7FFFFFFF;
}

// "12-24" or "40,41,42" (and mixtures) into offsets.
bool ParseOffsets(const std::string& text, std::vector<int>& offsets) {
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        const size_t dash = item.find('-');
        long first = 0;
        long last = 0;
        if (dash == std::string::npos) {
            if (!ParseInt(item, first)) return false;
            last = first;
        } else if (!ParseInt(item.substr(0, dash), first) || !ParseInt(item.substr(dash + 1), last) || last < first) {
            return false;
        }
        for (long o = first; o <= last; ++o) offsets.push_back(static_cast<int>(o));
    }
    return !offsets.empty();
}

// Offsets as the shortest list of ranges: "12-63", "0-3, 6-7".
std::string Ranges(const std::vector<int>& offsets) {
    std::string text;
    size_t i = 0;
    while (i < offsets.size()) {
        size_t j = i;
        while (j + 1 < offsets.size() && offsets[j + 1] == offsets[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += std::to_string(offsets[i]);
        if (j > i) text += "-" + std::to_string(offsets[j]);
        i = j + 1;
    }
    return text;
}

}  // namespace

bool ParseEccScheme(const std::string& name, EccScheme& scheme, std::string& why) {
    scheme = EccScheme{};
    scheme.name = name;
    if (name == "hamming" || name == "hamming-sm" || name == "hamming-512") {
        scheme.code = EccScheme::Code::Hamming;
        scheme.stepBytes = name == "hamming-512" ? 512 : 256;
        scheme.smartMedia = name == "hamming-sm";
        return true;
    }
    long t = 0;
    if (name.compare(0, 3, "bch") == 0 && ParseInt(name.substr(3), t) && t >= 1 && t <= BchCode::MAX_T &&
        name[3] != '0') {
        scheme.code = EccScheme::Code::Bch;
        scheme.stepBytes = 512;
        scheme.bchT = static_cast<int>(t);
        return true;
    }
    why = "\"" + name + "\" is no ECC scheme (" + EccSchemeNames() + ")";
    return false;
}

const char* EccSchemeNames() { return "hamming, hamming-512, hamming-sm, bch4, bch8, or bchN for N from 1 to 16"; }

std::vector<EccScheme> BuiltInEccSchemes() {
    std::vector<EccScheme> schemes;
    std::string why;
    std::vector<std::string> names = {"hamming", "hamming-sm", "hamming-512"};
    for (int t = 1; t <= BchCode::MAX_T; ++t) names.push_back("bch" + std::to_string(t));
    for (const std::string& name : names) {
        EccScheme scheme;
        if (ParseEccScheme(name, scheme, why)) schemes.push_back(scheme);
    }
    return schemes;
}

bool ParseEccLayout(const std::string& text, const std::string& name, EccScheme& scheme, std::string& why) {
    scheme = EccScheme{};
    scheme.name = name;
    bool haveStep = false;
    bool haveCode = false;
    std::stringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::string at = name + " line " + std::to_string(number) + ": ";
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::stringstream wordsIn(line);
        std::vector<std::string> words;
        for (std::string w; wordsIn >> w;) words.push_back(w);
        if (words.empty()) continue;
        const std::string& key = words[0];
        long value = 0;
        if (key == "step") {
            if (words.size() != 2 || !ParseInt(words[1], value) || value < 1 || value > 65536) {
                why = at + "\"step\" takes the data bytes of a step, a number from 1 to 65536";
                return false;
            }
            scheme.stepBytes = static_cast<int>(value);
            haveStep = true;
        } else if (key == "code") {
            if (words.size() == 2 && (words[1] == "hamming" || words[1] == "hamming-sm")) {
                scheme.code = EccScheme::Code::Hamming;
                scheme.smartMedia = words[1] == "hamming-sm";
            } else if (words.size() == 5 && words[1] == "bch") {
                long m = 0, t = 0, poly = 0;
                if (!ParseInt(words[2], m) || !ParseInt(words[3], t) || !ParseInt(words[4], poly)) {
                    why = at + "\"code bch\" takes M T POLY, numbers (POLY may be 0x hex)";
                    return false;
                }
                scheme.code = EccScheme::Code::Bch;
                scheme.bchM = static_cast<int>(m);
                scheme.bchT = static_cast<int>(t);
                scheme.bchPolynomial = static_cast<uint32_t>(poly);
            } else {
                why = at + "\"code\" is hamming, hamming-sm or bch M T POLY";
                return false;
            }
            haveCode = true;
        } else if (key == "ecc") {
            std::string joined;
            for (size_t i = 1; i < words.size(); ++i) joined += words[i];
            std::vector<int> offsets;
            if (!ParseOffsets(joined, offsets)) {
                why = at + "\"ecc\" takes spare offsets: numbers and ranges, as 12-24 or 40,41,42";
                return false;
            }
            scheme.places.push_back(offsets);
        } else {
            why = at + "unknown word \"" + key + "\" (step, code, ecc)";
            return false;
        }
    }
    if (!haveStep || !haveCode) {
        why = name + ": a layout names its " + (haveStep ? "code (code ...)" : "step size (step N)");
        return false;
    }
    if (scheme.code == EccScheme::Code::Hamming && scheme.stepBytes != 256 && scheme.stepBytes != 512) {
        why = name + ": the Hamming code takes steps of 256 or 512 bytes";
        return false;
    }
    return true;
}

bool ReadEccLayoutFile(const std::string& path, EccScheme& scheme, std::string& why) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buffer[4096];
    size_t n;
    // A layout is a few lines; anything much larger is not one.
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() < (1 << 20)) text.append(buffer, n);
    std::fclose(file);
    return ParseEccLayout(text, path, scheme, why);
}

const char* EccStepStateName(EccStepState state) {
    switch (state) {
        case EccStepState::Clean: return "clean";
        case EccStepState::Erased: return "erased";
        case EccStepState::Corrected: return "corrected";
        case EccStepState::ErasedFlips: return "erased with bit flips";
        case EccStepState::Uncorrectable: return "uncorrectable";
    }
    return "";
}

PageEcc::PageEcc() = default;
PageEcc::~PageEcc() = default;

bool PageEcc::Setup(const EccScheme& scheme, int32_t pageSize, int32_t spareSize, std::string& why) {
    scheme_ = scheme;
    pageSize_ = pageSize;
    spareSize_ = spareSize;
    hamming_.reset();
    bch_.reset();
    if (pageSize <= 0 || scheme.stepBytes <= 0 || pageSize % scheme.stepBytes != 0) {
        why = scheme.name + ": steps of " + std::to_string(scheme.stepBytes) + " bytes do not divide a page of " +
              std::to_string(pageSize);
        return false;
    }
    steps_ = pageSize / scheme.stepBytes;
    if (scheme.code == EccScheme::Code::Hamming) {
        hamming_ = std::make_unique<HammingCode>(scheme.stepBytes, scheme.smartMedia);
        eccBytes_ = HammingCode::ECC_BYTES;
        strength_ = 1;
    } else {
        bch_ = std::make_unique<BchCode>();
        std::string reason;
        if (!bch_->Setup(scheme.bchM, scheme.bchT, scheme.bchPolynomial, scheme.stepBytes, reason)) {
            why = scheme.name + ": " + reason;
            return false;
        }
        eccBytes_ = bch_->EccBytes();
        strength_ = bch_->Strength();
    }

    const int total = steps_ * eccBytes_;
    places_.clear();
    if (!scheme.places.empty()) {
        if (static_cast<int>(scheme.places.size()) != steps_) {
            why = scheme.name + ": " + std::to_string(scheme.places.size()) + " ecc lines for the " +
                  std::to_string(steps_) + " steps of a " + std::to_string(pageSize) + "-byte page";
            return false;
        }
        for (size_t s = 0; s < scheme.places.size(); ++s) {
            if (static_cast<int>(scheme.places[s].size()) != eccBytes_) {
                why = scheme.name + ": step " + std::to_string(s) + " has " + std::to_string(scheme.places[s].size()) +
                      " ECC offsets; the code has " + std::to_string(eccBytes_) + " ECC bytes a step";
                return false;
            }
            places_.insert(places_.end(), scheme.places[s].begin(), scheme.places[s].end());
        }
    } else if (scheme.code == EccScheme::Code::Hamming && pageSize == 512 && spareSize == 16) {
        // Small pages: the ECC goes around the mark in byte 5.
        const int small[] = {0, 1, 2, 3, 6, 7};
        places_.assign(small, small + std::min(total, 6));
        if (total > 6) places_.clear();
    } else if (scheme.code == EccScheme::Code::Hamming && pageSize == 256 && spareSize == 8) {
        places_ = {0, 1, 2};
    } else if (total <= spareSize - MARK_BYTES) {
        // At the end of the spare area, step after step.
        for (int i = 0; i < total; ++i) places_.push_back(spareSize - total + i);
    }
    if (static_cast<int>(places_.size()) != total) {
        why = scheme.name + ": the ECC of " + std::to_string(steps_) + " steps (" + std::to_string(total) +
              " bytes) does not fit a " + std::to_string(spareSize) + "-byte spare area beside the bad-block mark";
        return false;
    }
    std::vector<bool> taken(static_cast<size_t>(std::max(spareSize, 0)), false);
    for (const int o : places_) {
        if (o < 0 || o >= spareSize) {
            why = scheme.name + ": ECC offset " + std::to_string(o) + " lies outside the " +
                  std::to_string(spareSize) + "-byte spare area";
            return false;
        }
        if (taken[static_cast<size_t>(o)]) {
            why = scheme.name + ": spare offset " + std::to_string(o) + " is named twice";
            return false;
        }
        taken[static_cast<size_t>(o)] = true;
    }
    return true;
}

std::string PageEcc::Describe() const {
    std::vector<int> sorted = places_;
    std::sort(sorted.begin(), sorted.end());
    return scheme_.name + " (" + std::to_string(scheme_.stepBytes) + "-byte steps, " + std::to_string(eccBytes_) +
           " ECC bytes each at spare bytes " + Ranges(sorted) + ")";
}

bool PageEcc::HoldsEcc(int spareOffset) const {
    return std::find(places_.begin(), places_.end(), spareOffset) != places_.end();
}

int PageEcc::DecodeStep(const uint8_t* data, const uint8_t* ecc, int* positions) const {
    return hamming_ ? hamming_->Decode(data, ecc, positions) : bch_->Decode(data, ecc, positions);
}

EccStepState PageEcc::Check(uint8_t* record, bool fix, std::vector<EccStep>& steps) const {
    steps.resize(static_cast<size_t>(steps_));
    EccStepState worst = EccStepState::Clean;
    uint8_t* spare = record + pageSize_;
    uint8_t ecc[(BchCode::MAX_T * 15 + 7) / 8];
    const int stepBytes = scheme_.stepBytes;
    for (int s = 0; s < steps_; ++s) {
        EccStep& step = steps[static_cast<size_t>(s)];
        uint8_t* data = record + static_cast<ptrdiff_t>(s) * stepBytes;
        const int* place = places_.data() + s * eccBytes_;
        uint8_t eccAnd = 0xFF;
        for (int i = 0; i < eccBytes_; ++i) {
            ecc[i] = spare[place[i]];
            eccAnd &= ecc[i];
        }
        // Where a bit position of the code lies in the record.
        auto flipAt = [&](int position) {
            const int byte = position / 8;
            const uint8_t bit = static_cast<uint8_t>(7 - position % 8);
            return byte < stepBytes ? EccFlip{static_cast<int32_t>(s * stepBytes + byte), bit}
                                    : EccFlip{pageSize_ + place[byte - stepBytes], bit};
        };
        bool allOnes = eccAnd == 0xFF;
        for (int i = 0; i < stepBytes && allOnes; ++i) allOnes = data[i] == 0xFF;
        int positions[BchCode::MAX_T];
        const int found = allOnes ? 0 : DecodeStep(data, ecc, positions);
        step.bits = 0;
        if (allOnes) {
            step.state = EccStepState::Erased;
        } else if (found == 0) {
            step.state = EccStepState::Clean;
        } else {
            // Erased flash with a few cells read as 0: the code may place the
            // flips or not; either way the step is erased, not data.
            int zeros = 0;
            for (int i = 0; i < stepBytes && zeros <= strength_; ++i) zeros += __builtin_popcount(~data[i] & 0xFFu);
            for (int i = 0; i < eccBytes_ && zeros <= strength_; ++i) zeros += __builtin_popcount(~ecc[i] & 0xFFu);
            if (zeros <= strength_) {
                step.state = EccStepState::ErasedFlips;
                for (int p = 0; p < 8 * (stepBytes + eccBytes_); ++p) {
                    const int byte = p / 8;
                    const uint8_t v = byte < stepBytes ? data[byte] : ecc[byte - stepBytes];
                    if (!(v & (0x80 >> (p % 8)))) step.flips[step.bits++] = flipAt(p);
                }
            } else if (found < 0) {
                step.state = EccStepState::Uncorrectable;
            } else {
                step.state = EccStepState::Corrected;
                for (int i = 0; i < found; ++i) step.flips[step.bits++] = flipAt(positions[i]);
                std::sort(step.flips, step.flips + step.bits, [](const EccFlip& a, const EccFlip& b) {
                    return a.offset != b.offset ? a.offset < b.offset : a.bit > b.bit;
                });
            }
            if (fix && step.state != EccStepState::Uncorrectable)
                for (int i = 0; i < step.bits; ++i)
                    record[step.flips[i].offset] ^= static_cast<uint8_t>(1u << step.flips[i].bit);
        }
        if (static_cast<int>(step.state) > static_cast<int>(worst)) worst = step.state;
    }
    return worst;
}

void PageEcc::Encode(uint8_t* record) const {
    uint8_t ecc[(BchCode::MAX_T * 15 + 7) / 8];
    for (int s = 0; s < steps_; ++s) {
        const uint8_t* data = record + static_cast<ptrdiff_t>(s) * scheme_.stepBytes;
        if (hamming_) hamming_->Encode(data, ecc);
        else bch_->Encode(data, ecc);
        const int* place = places_.data() + s * eccBytes_;
        for (int i = 0; i < eccBytes_; ++i) record[pageSize_ + place[i]] = ecc[i];
    }
}
