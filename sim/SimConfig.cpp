// The board and chips of the simulated build, chosen by environment settings:
//   FERRIK_SIM_BOARD   the Pi whose GPIO block the bus drives: pi1, pi2, pi3
//                      or pi4 (the default; their blocks are alike) or pi5,
//                      RP1's bank 0 in front of the same pins and chips
//   FERRIK_SIM_CHIPS   chips on CE0,CE1,CE2,CE3 by part number; an empty entry
//                      leaves that socket empty. A part of several dies
//                      (K9WAG08U1A: two K9K8G08U0A dies) puts one die on each
//                      chip enable from its own entry on; the entries of the
//                      others stay empty
//   FERRIK_SIM_IMAGE   files holding the chips' content (dump layout), one per
//                      chip enable from CE0 on, comma-separated; an empty
//                      entry keeps that chip in memory only, and two entries
//                      may not name the same file. Each is
//                      loaded at start and written back at exit; a link is
//                      followed to its file. Only a file that does not exist
//                      is a new, erased chip. An image that cannot be read,
//                      is read-only or could not be replaced at exit (no new
//                      file can be made in its folder) is a bad setting. A
//                      save at exit that fails all the same ends the program
//                      with status 1, the file as it was. An image that is
//                      there is locked by the front end before the bus starts
//                      (bus/BusLock.h): a second program on it is refused.
//   FERRIK_SIM_FAULTS  faults of the chips, separated by blanks; a fault goes
//                      to the CE0 chip, or written ceN:FAULT to the chip on
//                      CE N (0 to 3). The faults:
//                      erase-fail:B,...   erasing these blocks fails
//                      program-fail:P,... programming these pages fails
//                      bad:B,...          factory bad blocks: marked (0x00 in
//                                         spare byte 0 of the first page),
//                                         and every erase or program there
//                                         fails, so the mark stays
//                      marked:B,...       factory-marked blocks that erase and
//                                         program like good ones, as many real
//                                         chips' bad blocks do: an erase that
//                                         does not look first wipes the mark
//                      flaky:P,...        about one read in three of these
//                                         pages flips one bit of one byte,
//                                         the same reads on every run
//                      bitflips:P=N,...   worn cells: N bits of page P (N from 1
//                                         to 4096) read flipped on every read,
//                                         the same bits each time, placed by a
//                                         fixed seed and the page
//                      busy-stuck-low     R/B# never leaves low
//                      busy-never         R/B# never goes low
//                                         (not with busy-stuck-low)
//                      and faults of the wiring between the Pi and the socket
//                      (every chip enable, so no ceN: prefix; no chip on CE0
//                      needed):
//                        stuck:IOn=0, stuck:IOn=1  data line n (0-7) tied low
//                                                  or high
//                        short:IOa,IOb             two data lines bridged: a
//                                                  low on either pulls both low
//                        open:SIGNAL               CLE, ALE, WE#, RE#, WP# or
//                                                  R/B# cut; the chip takes a
//                                                  cut input as low, and a cut
//                                                  R/B# leaves the Pi's side at
//                                                  its pull-up
//                        no-pullup                 no resistor on R/B#: it
//                                                  rests low when no chip pulls
//   FERRIK_SIM_PARAMETER_PAGE  file whose bytes (256 to 1536) replace what the
//                      CE0 chip gives for READ PARAMETER PAGE; a page starting
//                      "JESD" makes it a JEDEC chip, any other an ONFI one
// A bad setting ends the program with one line on standard error and status
// 2, before any window opens. The line shows control characters of a value
// escaped, so that it stays one line and says what the value holds.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "sim/SimGpio.h"
#include "sim/SimNand.h"

namespace sim {

namespace {

// Each chip enable's image file, the link resolved (malloc'd, kept for the
// whole run; nullptr: no image); plain pointers, as this runs while statics
// are still being constructed.
char* imagePaths[4] = {};
// The chip each image belongs to. A test program swaps the chips of the
// socket; whatever it leaves on that chip enable then is not this chip, and
// must not overwrite the image.
uint32_t imageChips[4] = {};

// A value as the refusal shows it: control characters and the backslash
// escaped, everything else as it is.
std::string Shown(const std::string& value) {
    std::string shown;
    for (const char c : value) {
        const unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
            case '\n': shown += "\\n"; break;
            case '\r': shown += "\\r"; break;
            case '\t': shown += "\\t"; break;
            case '\\': shown += "\\\\"; break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", u);
                    shown += hex;
                } else {
                    shown += c;
                }
        }
    }
    return shown;
}

[[noreturn]] void Refuse(const std::string& line) {
    std::fprintf(stderr, "ferrik: %s\n", line.c_str());
    std::fflush(stderr);
    std::exit(2);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
        size_t end = i;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\n') ++end;
        if (end > i) words.push_back(text.substr(i, end - i));
        i = end;
    }
    return words;
}

// Edits (insert, delete, replace a character) between two names, letters
// compared without case.
size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const bool same = std::toupper(static_cast<unsigned char>(a[i - 1])) ==
                              std::toupper(static_cast<unsigned char>(b[j - 1]));
            const size_t next = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = row[j];
            row[j] = next;
        }
    }
    return row[b.size()];
}

// What the refusal of an unknown part number suggests: up to three part
// numbers that differ from it in at most half their characters, nearest
// first. The whole list (forty and more) would make a line of hundreds of
// characters.
std::string ClosestParts(const std::string& name) {
    std::vector<std::pair<size_t, size_t>> ranked;  // distance, catalogue order
    const std::vector<ChipPreset>& catalogue = Catalogue();
    for (size_t i = 0; i < catalogue.size(); ++i) {
        const size_t distance = Distance(name, catalogue[i].part);
        if (2 * distance <= std::max(name.size(), catalogue[i].part.size())) ranked.emplace_back(distance, i);
    }
    std::sort(ranked.begin(), ranked.end());
    std::string list;
    for (size_t k = 0; k < ranked.size() && k < 3; ++k) {
        list += k == 0 ? "closest: " : " ";
        list += catalogue[ranked[k].second].part;
    }
    return list.empty() ? "no part number is close" : list;
}

// A list of decimal numbers below limit, "1,2,3", for the fault named kind.
std::set<int> Numbers(const std::string& kind, const std::string& list, int limit, const char* unit) {
    std::set<int> numbers;
    for (const std::string& item : Split(list, ',')) {
        char* end = nullptr;
        errno = 0;
        const long n = item.empty() ? -1 : std::strtol(item.c_str(), &end, 10);
        if (item.empty() || *end != '\0' || errno != 0 || item[0] == '-' || item[0] == '+')
            Refuse("FERRIK_SIM_FAULTS: " + kind + ": \"" + Shown(item) + "\" is not a " + unit + " number");
        if (n >= limit)
            Refuse("FERRIK_SIM_FAULTS: " + kind + ": " + unit + " " + item + " is beyond the chip (it has " +
                   std::to_string(limit) + ")");
        numbers.insert(static_cast<int>(n));
    }
    return numbers;
}

// "IO0" to "IO7" to its GPIO number, or -1.
int DataLine(const std::string& name) {
    if (name.size() != 3 || name.compare(0, 2, "IO") != 0 || name[2] < '0' || name[2] > '7') return -1;
    return static_cast<int>(kDataPins[7 - (name[2] - '0')]);
}

int ControlLine(const std::string& name) {
    static const struct {
        const char* name;
        unsigned gpio;
    } lines[] = {{"CLE", 2}, {"ALE", 3}, {"WE#", 15}, {"RE#", 14}, {"WP#", 4}, {"R/B#", 10}};
    for (const auto& line : lines)
        if (name == line.name) return static_cast<int>(line.gpio);
    return -1;
}

// A wiring fault word into wiring; false when the word is no wiring fault.
bool ParseWiring(const std::string& kind, const std::string& value, bool hasValue, const std::string& word,
                 SimWiring& wiring) {
    if (kind == "no-pullup" && !hasValue) {
        wiring.noPullup = true;
        return true;
    }
    if (kind == "stuck" && hasValue) {
        const size_t equals = value.find('=');
        const int pin = DataLine(value.substr(0, equals));
        const std::string level = equals == std::string::npos ? std::string() : value.substr(equals + 1);
        if (pin < 0 || (level != "0" && level != "1"))
            Refuse("FERRIK_SIM_FAULTS: \"" + Shown(word) + "\" is not stuck:IOn=0 or stuck:IOn=1 with n from 0 to 7");
        (level == "1" ? wiring.stuckHigh : wiring.stuckLow) |= 1u << pin;
        return true;
    }
    if (kind == "short" && hasValue) {
        const std::vector<std::string> names = Split(value, ',');
        const int a = names.size() == 2 ? DataLine(names[0]) : -1;
        const int b = names.size() == 2 ? DataLine(names[1]) : -1;
        if (a < 0 || b < 0 || a == b)
            Refuse("FERRIK_SIM_FAULTS: \"" + Shown(word) + "\" is not short:IOa,IOb with two data lines IO0 to IO7");
        wiring.shorts.emplace_back(static_cast<unsigned>(a), static_cast<unsigned>(b));
        return true;
    }
    if (kind == "open" && hasValue) {
        const int pin = ControlLine(value);
        if (pin < 0)
            Refuse("FERRIK_SIM_FAULTS: \"" + Shown(word) + "\": the line to cut is one of CLE ALE WE# RE# WP# R/B#");
        wiring.open |= 1u << pin;
        return true;
    }
    return false;
}

// The faults that name blocks or pages, KIND:N,N-M,...: each adds its numbers
// to a set of its own in ChipFaults.
struct NumberedFault {
    const char* kind;
    std::set<int> ChipFaults::*numbers;
    bool ofPages;  // page numbers; else block numbers
};

const NumberedFault kNumberedFaults[] = {
    {"erase-fail", &ChipFaults::eraseFailBlocks, false},
    {"program-fail", &ChipFaults::programFailPages, true},
    {"bad", &ChipFaults::badBlocks, false},
    {"flaky", &ChipFaults::flakyPages, true},
    {"marked", &ChipFaults::markedBlocks, false},
};

const NumberedFault* FindNumberedFault(const std::string& kind) {
    for (const NumberedFault& fault : kNumberedFaults)
        if (kind == fault.kind) return &fault;
    return nullptr;
}

// Chip faults need a chip on CE slot (preset); wiring faults do not.
ChipFaults ParseFaults(const char* text, const ChipPreset* preset, int slot, SimWiring& wiring) {
    ChipFaults faults;
    const int blocks = preset != nullptr ? TotalBlocks(preset->geometry) : 0;
    const int pages = preset != nullptr ? blocks * preset->geometry.pagesPerBlock : 0;
    for (const std::string& word : Words(text)) {
        const size_t colon = word.find(':');
        const std::string kind = word.substr(0, colon);
        const std::string value = colon == std::string::npos ? std::string() : word.substr(colon + 1);
        const bool hasValue = colon != std::string::npos;
        if (ParseWiring(kind, value, hasValue, word, wiring)) continue;
        const NumberedFault* numbered = hasValue ? FindNumberedFault(kind) : nullptr;
        const bool chipFault = numbered != nullptr || (kind == "bitflips" && hasValue) ||
                               ((kind == "busy-stuck-low" || kind == "busy-never") && !hasValue);
        if (chipFault && preset == nullptr)
            Refuse("FERRIK_SIM_FAULTS: there is no chip on CE" + std::to_string(slot) + " to give faults to");
        if (numbered != nullptr) {
            const std::set<int> n = numbered->ofPages ? Numbers(kind, value, pages, "page")
                                                      : Numbers(kind, value, blocks, "block");
            (faults.*numbered->numbers).insert(n.begin(), n.end());
        } else if (kind == "bitflips" && hasValue) {
            for (const std::string& item : Split(value, ',')) {
                const size_t equals = item.find('=');
                if (equals == std::string::npos)
                    Refuse("FERRIK_SIM_FAULTS: bitflips: \"" + Shown(item) + "\" is not PAGE=BITS");
                const std::set<int> page = Numbers(kind, item.substr(0, equals), pages, "page");
                const std::string count = item.substr(equals + 1);
                char* end = nullptr;
                const long bits = count.empty() || count[0] < '0' || count[0] > '9' ? 0 : std::strtol(count.c_str(), &end, 10);
                if (bits < 1 || bits > 4096 || *end != '\0')
                    Refuse("FERRIK_SIM_FAULTS: bitflips: \"" + Shown(item) + "\" is not PAGE=BITS with 1 to 4096 bits");
                faults.wornPages[*page.begin()] = static_cast<int>(bits);
            }
        } else if (kind == "busy-stuck-low" && !hasValue) {
            faults.busyStuckLow = true;
        } else if (kind == "busy-never" && !hasValue) {
            faults.busyNever = true;
        } else {
            Refuse("FERRIK_SIM_FAULTS: unknown fault \"" + Shown(word) +
                   "\" (known: erase-fail:B,... program-fail:P,... bad:B,... marked:B,... flaky:P,... "
                   "bitflips:P=N,... busy-stuck-low busy-never stuck:IOn=0|1 short:IOa,IOb open:SIGNAL no-pullup)");
        }
    }
    if (faults.busyStuckLow && faults.busyNever)
        Refuse("FERRIK_SIM_FAULTS: busy-stuck-low and busy-never exclude each other: R/B# cannot both stay low "
               "and never go low");
    return faults;
}

// FERRIK_SIM_FAULTS split by chip enable: "ceN:FAULT" gives FAULT to the
// chip on CE N, a fault without the prefix goes to the chip on CE0. Faults of
// the wiring hold for every chip enable and take no prefix.
void ParseFaultsOfEachChip(const char* text, const ChipPreset* const presets[4], ChipFaults faults[4],
                           SimWiring& wiring) {
    std::string words[4];
    for (const std::string& word : Words(text)) {
        int slot = 0;
        std::string fault = word;
        const size_t colon = word.find(':');
        if (word.compare(0, 2, "ce") == 0 && colon != std::string::npos && colon > 2 &&
            word.find_first_not_of("0123456789", 2) == colon) {
            if (colon != 3 || word[2] > '3')
                Refuse("FERRIK_SIM_FAULTS: \"" + Shown(word) + "\": the chip enables are ce0 to ce3");
            slot = word[2] - '0';
            fault = word.substr(4);
            const size_t faultColon = fault.find(':');
            SimWiring unused;
            if (ParseWiring(fault.substr(0, faultColon), faultColon == std::string::npos ? "" : fault.substr(faultColon + 1),
                            faultColon != std::string::npos, fault, unused))
                Refuse("FERRIK_SIM_FAULTS: \"" + Shown(word) + "\": a fault of the wiring holds for every chip "
                       "enable; give it without ceN:");
        }
        words[slot] += fault + " ";
    }
    for (int slot = 0; slot < 4; ++slot)
        if (!words[slot].empty()) faults[slot] = ParseFaults(words[slot].c_str(), presets[slot], slot, wiring);
}

// One file for two chips would end up holding the one saved last.
[[noreturn]] void RefuseSharedImage(size_t first, size_t second, const std::string& image) {
    Refuse("FERRIK_SIM_IMAGE: CE" + std::to_string(first) + " and CE" + std::to_string(second) +
           " name the same file, " + Shown(image));
}

void SaveImagesAtExit() {
    bool lost = false;
    for (int slot = 0; slot < 4; ++slot) {
        SimNandChip* chip = Socket().Chip(slot);
        const char* path = imagePaths[slot];
        if (chip == nullptr || path == nullptr || chip->Serial() != imageChips[slot]) continue;
        if (chip->SaveImage(path)) continue;
        const int error = errno;
        std::fprintf(stderr, "ferrik: FERRIK_SIM_IMAGE: could not write %s: %s; it holds the chip as it was at start\n",
                     Shown(path).c_str(), std::strerror(error));
        lost = true;
    }
    if (!lost) return;
    // The session's work on a chip is lost: the program must not end as if
    // it had succeeded. exit may not be called again from an exit handler;
    // what the handlers after this one do is freeing memory.
    std::fflush(nullptr);
    std::_Exit(1);
}

void WriteProtocolAtExit() {
    const char* path = std::getenv("FERRIK_SIM_PROTOCOL");
    FILE* file = path != nullptr ? std::fopen(path, "w") : nullptr;
    if (file == nullptr) return;
    for (const std::string& line : Socket().AllViolations()) std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
}

// The image that is there, checked so that it can be both loaded now and
// replaced at exit; loaded into the chip. path becomes the file's own path
// (set first: a global still holds it when a refusal ends the program).
void LoadExistingImage(const char* image, SimNandChip& chip, char*& path) {
    const std::string shown = Shown(image);
    // A link is followed to its file, and that file is what the save at exit
    // replaces: the link stays a link.
    path = realpath(image, nullptr);
    const char* const real = path;
    if (real == nullptr) {
        if (errno == ENOENT) Refuse("FERRIK_SIM_IMAGE: " + shown + " is a link to a file that does not exist");
        Refuse("FERRIK_SIM_IMAGE: " + shown + ": " + std::strerror(errno));
    }
    struct stat info {};
    if (stat(real, &info) != 0) Refuse("FERRIK_SIM_IMAGE: " + shown + ": " + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) Refuse("FERRIK_SIM_IMAGE: " + shown + " is not a file");
    const long long expected = static_cast<long long>(chip.Pages()) * chip.PageBytes();
    if (static_cast<long long>(info.st_size) != expected)
        Refuse("FERRIK_SIM_IMAGE: " + shown + " holds " + std::to_string(info.st_size) + " bytes; a " +
               chip.Preset().part + " image holds " + std::to_string(expected));
    if (!chip.LoadImage(real)) Refuse("FERRIK_SIM_IMAGE: could not read " + shown + ": " + std::strerror(errno));
    // Read-only for us, or for everyone: the latter stops root too, who may
    // write anything but should not overwrite what its user protected.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || faccessat(AT_FDCWD, real, W_OK, AT_EACCESS) != 0)
        Refuse("FERRIK_SIM_IMAGE: " + shown + " is read-only, and the chip is written back to it at exit");
    if (!SimNandChip::CanSaveImageBeside(real))
        Refuse("FERRIK_SIM_IMAGE: " + shown + " could not be written back at exit: no new file can be made in " +
               "its folder: " + std::strerror(errno));
}

}  // namespace

void ConfigureFromEnvironment() {
    SimNandSocket& socket = Socket();
    socket.RemoveAll();

    SimBoard board = SimBoard::Bcm2835;
    if (const char* name = std::getenv("FERRIK_SIM_BOARD"); name != nullptr && *name != '\0') {
        const std::string text = name;
        if (text == "pi5")
            board = SimBoard::Rp1;
        else if (text != "pi1" && text != "pi2" && text != "pi3" && text != "pi4")
            Refuse("FERRIK_SIM_BOARD: \"" + Shown(text) + "\" is not pi1, pi2, pi3, pi4 or pi5");
    }
    SimGpio::Instance().SetBoard(board);

    const ChipPreset* presets[4] = {&DefaultPreset(), nullptr, nullptr, nullptr};
    if (const char* chips = std::getenv("FERRIK_SIM_CHIPS")) {
        const std::vector<std::string> names = Split(chips, ',');
        if (names.size() > 4)
            Refuse("FERRIK_SIM_CHIPS: " + std::to_string(names.size()) + " entries; there are four chip enables");
        std::string partOf[4];  // the multi-die part whose die sits on each chip enable
        for (int slot = 0; slot < 4; ++slot) presets[slot] = nullptr;
        for (int slot = 0; slot < 4; ++slot) {
            if (slot >= static_cast<int>(names.size()) || names[static_cast<size_t>(slot)].empty()) continue;
            const std::string& name = names[static_cast<size_t>(slot)];
            if (presets[slot] != nullptr)
                Refuse("FERRIK_SIM_CHIPS: CE" + std::to_string(slot) + " holds a die of " + partOf[slot] +
                       "; leave its entry empty");
            if (const MultiDiePart* part = FindMultiDiePart(name)) {
                if (slot + part->dies > 4)
                    Refuse("FERRIK_SIM_CHIPS: " + name + " takes " + std::to_string(part->dies) +
                           " chip enables from CE" + std::to_string(slot) + "; there are four");
                for (int die = 0; die < part->dies; ++die) {
                    presets[slot + die] = FindPreset(part->die);
                    partOf[slot + die] = name;
                }
                continue;
            }
            presets[slot] = FindPreset(name);
            if (presets[slot] == nullptr)
                Refuse("FERRIK_SIM_CHIPS: unknown chip \"" + Shown(name) + "\" (" + ClosestParts(name) +
                       "; the README lists every part number)");
        }
    }

    ChipFaults faults[4];
    SimWiring wiring;
    const char* faultText = std::getenv("FERRIK_SIM_FAULTS");
    if (faultText != nullptr && !Words(faultText).empty()) ParseFaultsOfEachChip(faultText, presets, faults, wiring);

    std::vector<uint8_t> parameterPage;
    const char* pageFile = std::getenv("FERRIK_SIM_PARAMETER_PAGE");
    const bool replacePage = pageFile != nullptr && *pageFile != '\0';
    if (replacePage) {
        const std::string name = "FERRIK_SIM_PARAMETER_PAGE: " + Shown(pageFile);
        if (presets[0] == nullptr) Refuse("FERRIK_SIM_PARAMETER_PAGE: there is no chip on CE0 to hold the page");
        struct stat info {};
        if (stat(pageFile, &info) != 0) Refuse(name + ": " + std::strerror(errno));
        if (!S_ISREG(info.st_mode)) Refuse(name + " is not a file");
        if (info.st_size < 256 || info.st_size > 1536)
            Refuse(name + " holds " + std::to_string(info.st_size) + " bytes; a parameter page holds 256 to 1536");
        parameterPage.resize(static_cast<size_t>(info.st_size));
        FILE* f = std::fopen(pageFile, "rb");
        const bool whole = f != nullptr && std::fread(parameterPage.data(), 1, parameterPage.size(), f) == parameterPage.size();
        if (f != nullptr) std::fclose(f);
        if (!whole) Refuse("FERRIK_SIM_PARAMETER_PAGE: could not read " + Shown(pageFile));
    }

    const char* imageList = std::getenv("FERRIK_SIM_IMAGE");
    std::vector<std::string> images;
    if (imageList != nullptr && *imageList != '\0') images = Split(imageList, ',');
    if (images.size() > 4)
        Refuse("FERRIK_SIM_IMAGE: " + std::to_string(images.size()) + " entries; there are four chip enables");
    for (size_t slot = 0; slot < images.size(); ++slot) {
        if (images[slot].empty()) continue;
        if (presets[slot] == nullptr)
            Refuse("FERRIK_SIM_IMAGE: there is no chip on CE" + std::to_string(slot) + " to hold the image");
        for (size_t other = 0; other < slot; ++other)
            if (images[other] == images[slot]) RefuseSharedImage(other, slot, images[slot]);
    }

    // Nothing in the program reads the chips' record of operations.
    for (int slot = 0; slot < 4; ++slot)
        if (presets[slot] != nullptr) socket.Insert(slot, *presets[slot], faults[slot]).RecordOps(false);
    if (replacePage) socket.Chip(0)->SetParameterPage(std::move(parameterPage));

    bool anyImage = false;
    for (size_t slot = 0; slot < images.size(); ++slot) {
        if (images[slot].empty()) continue;
        const char* image = images[slot].c_str();
        SimNandChip& chip = *socket.Chip(static_cast<int>(slot));
        char*& real = imagePaths[slot];
        struct stat info {};
        if (lstat(image, &info) == 0) {
            LoadExistingImage(image, chip, real);
        } else if (errno == ENOENT) {
            // Only a file that does not exist is a new image. It starts as
            // the chip does: erased, bad-block marks in place.
            if (!chip.SaveImage(image))
                Refuse("FERRIK_SIM_IMAGE: could not create " + Shown(image) + ": " + std::strerror(errno));
            real = realpath(image, nullptr);
            if (real == nullptr) Refuse("FERRIK_SIM_IMAGE: " + Shown(image) + ": " + std::strerror(errno));
        } else {
            Refuse("FERRIK_SIM_IMAGE: " + Shown(image) + ": " + std::strerror(errno));
        }
        // The same file under two names (a link, a relative path).
        for (size_t other = 0; other < slot; ++other)
            if (imagePaths[other] != nullptr && std::strcmp(imagePaths[other], real) == 0)
                RefuseSharedImage(other, slot, image);
        imageChips[slot] = chip.Serial();
        anyImage = true;
    }
    // Registered now, before nandBus's own destruction is: it runs after the
    // bus has been parked.
    if (anyImage) std::atexit(SaveImagesAtExit);

    SimGpio::Instance().SetWiring(wiring);
    SimGpio::Instance().Plug(&socket);
    // FERRIK_SIM_PROTOCOL=FILE: at exit, every protocol violation the socket
    // and its chips recorded (two chips selected for one cycle, a row address
    // in a LUN's gap, ...), one a line; an empty file when there was none.
    // What the tests of the program hold its bus sequences against.
    const char* protocol = std::getenv("FERRIK_SIM_PROTOCOL");
    if (protocol != nullptr && *protocol != '\0') std::atexit(WriteProtocolAtExit);
}

}  // namespace sim
