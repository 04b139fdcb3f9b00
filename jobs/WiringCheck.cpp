// The wiring check: what a bad contact after soldering or clipping a chip in
// looks like at the pins, found before it shows up as false bad blocks or a
// wrong ID. No probe changes the array: RESET, READ ID, READ PARAMETER PAGE
// and READ STATUS, and the Pi reading back its own data pins with every chip
// deselected. Nothing is programmed or erased.
#include <cstdio>
#include <cstring>
#include <string>

#include "jobs/Identify.h"
#include "jobs/JobLog.h"

namespace {

// IO0 to IO7: GPIO number and TSOP48 pin.
constexpr int DATA_GPIO[8] = {26, 19, 13, 6, 5, 22, 27, 17};
constexpr int DATA_CHIP_PIN[8] = {29, 30, 31, 32, 41, 42, 43, 44};

std::string Hex(const uint8_t* bytes, int count) {
    std::string text;
    char piece[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(piece, sizeof piece, i == 0 ? "%02X" : " %02X", static_cast<unsigned>(bytes[i]));
        text += piece;
    }
    return text;
}

std::string HexByte(uint8_t byte) { return Hex(&byte, 1) + "h"; }

std::string DataLine(int n) {
    return "IO" + std::to_string(n) + " (GPIO " + std::to_string(DATA_GPIO[n]) + ", chip pin " +
           std::to_string(DATA_CHIP_PIN[n]) + ")";
}

enum class Verdict { Ok, Fault, NotChecked };

class CheckLog {
public:
    explicit CheckLog(LogSink& sink) : log_(sink) {}
    void Line(const char* label, Verdict verdict, const std::string& text) {
        ++report_.checks;
        if (verdict == Verdict::Ok) {
            ++report_.passed;
            log_.Green();
        } else {
            log_.Red();
        }
        log_.Put(std::string(label) + ": " +
                 (verdict == Verdict::Ok ? "ok, " : verdict == Verdict::Fault ? "FAULT, " : "not checked, ") + text +
                 "\n");
        log_.Blue();
    }
    WiringReport Report() const { return report_; }
    JobLog& Log() { return log_; }

private:
    JobLog log_;
    WiringReport report_;
};

// The data lines as the Pi reads back what it drives: 00h, FFh, one line
// high at a time, one line low at a time.
struct DataLines {
    bool stuckLow[8] = {};
    bool stuckHigh[8] = {};
    std::string faults;  // plain words, empty when every line is good

    void Measure(BusPort& bus) {
        uint8_t driven[18];
        uint8_t read[18];
        int count = 0;
        driven[count++] = 0x00;
        driven[count++] = 0xFF;
        for (int n = 0; n < 8; ++n) driven[count++] = static_cast<uint8_t>(1u << n);
        for (int n = 0; n < 8; ++n) driven[count++] = static_cast<uint8_t>(~(1u << n));
        for (int i = 0; i < count; ++i) read[i] = bus.DataLoopback(driven[i]);

        for (int n = 0; n < 8; ++n) {
            int high = 0;
            for (int i = 0; i < count; ++i) high += (read[i] >> n) & 1;
            stuckLow[n] = high == 0;
            stuckHigh[n] = high == count;
            if (stuckLow[n]) Add(DataLine(n) + " always reads low: stuck low, shorted to ground");
            if (stuckHigh[n]) Add(DataLine(n) + " always reads high: stuck high, shorted to 3.3 V");
        }
        for (int a = 0; a < 8; ++a) {
            for (int b = a + 1; b < 8; ++b) {
                if (stuckLow[a] || stuckHigh[a] || stuckLow[b] || stuckHigh[b]) continue;
                bool alike = true;
                for (int i = 0; i < count && alike; ++i) alike = ((read[i] >> a) & 1) == ((read[i] >> b) & 1);
                if (alike) Add(DataLine(a) + " and " + DataLine(b) + " always read alike: shorted together");
            }
        }
    }
    void Add(const std::string& fault) { faults += (faults.empty() ? "" : "; ") + fault; }
};

// What the probes saw. Everything is measured before the lines that judge
// it, so that each line can name the likely cause from what the other
// probes saw.
struct Probes {
    DataLines data;
    bool dataGood = false;
    bool restHigh = true;
    bool resetReady = false;
    bool resetBusy = false;
    uint8_t ids[3][5] = {};
    const char* maker = nullptr;
    bool steady = false;
    bool alike = true;
    bool knownMaker = false;
    bool idAnswers = false;
    uint8_t onfi[4] = {};
    bool onfiSignature = false;
    bool pageLoaded = false;
    ParameterPage onfiPage;
    uint8_t jedec[5] = {};
    bool jedecSignature = false;
    ParameterPage jedecPage;
    uint8_t statusOpen = 0;
    uint8_t statusProtected = 0;

    // The data lines come first: a wrong one changes every command and every
    // byte the other probes see.
    void MeasureDataLines(BusPort& bus) {
        data.Measure(bus);
        dataGood = data.faults.empty();
    }
    std::string SeeData() const { return dataGood ? "" : " (see the data lines)"; }

    void MeasureChip(BusPort& bus, int cePin) {
        for (int i = 0; i < 16; ++i) restHigh = bus.ReadyLineHigh() && restHigh;
        resetReady = bus.Reset(cePin);
        resetBusy = bus.LastWaitSawBusy();
        MeasureId(bus, cePin);
        MeasureParameterPages(bus, cePin);
        bus.SetWriteProtect(false);
        statusOpen = bus.ReadStatus(cePin);
        bus.SetWriteProtect(true);
        statusProtected = bus.ReadStatus(cePin);
        bus.SetWriteProtect(false);
    }

    void MeasureId(BusPort& bus, int cePin) {
        for (auto& id : ids) maker = bus.ReadId(cePin, id);
        steady = std::memcmp(ids[0], ids[1], 5) == 0 && std::memcmp(ids[0], ids[2], 5) == 0;
        for (int i = 1; i < 5; ++i) alike = alike && ids[0][i] == ids[0][0];
        knownMaker = std::strcmp(maker, "Unknown Nand") != 0;
        // Bytes read through a wrong data line are not the chip's, whatever
        // maker they happen to name.
        idAnswers = steady && !alike && knownMaker && dataGood;
    }

    // The page is read whatever READ ID 20h says, to see whether the two agree.
    void MeasureParameterPages(BusPort& bus, int cePin) {
        bus.ReadIdAt(cePin, ID_ADDRESS_ONFI, onfi, 4);
        onfiSignature = std::memcmp(onfi, "ONFI", 4) == 0;
        uint8_t bytes[PARAMETER_PAGE_READ_BYTES];
        pageLoaded = bus.ReadParameterPage(cePin, 0x00, static_cast<int32_t>(sizeof bytes), bytes) == NAND_OK;
        onfiPage = DecodeParameterPage(bytes, pageLoaded ? sizeof bytes : 0, PageStandard::Onfi);
        bus.ReadIdAt(cePin, ID_ADDRESS_JEDEC, jedec, 5);
        jedecSignature = std::memcmp(jedec, "JEDEC", 5) == 0;
        if (jedecSignature && bus.ReadParameterPage(cePin, 0x40, static_cast<int32_t>(sizeof bytes), bytes) == NAND_OK)
            jedecPage = DecodeParameterPage(bytes, sizeof bytes, PageStandard::Jedec);
    }
};

void JudgeDataLines(CheckLog& check, const Probes& seen) {
    if (seen.dataGood)
        check.Line("Data lines", Verdict::Ok, "IO0 to IO7 each read back high and low, no two alike");
    else
        check.Line("Data lines", Verdict::Fault, seen.data.faults);
}

void JudgeReadyAtRest(CheckLog& check, const Probes& seen) {
    if (seen.restHigh)
        check.Line("R/B# at rest", Verdict::Ok, "high (the pull-up is there)");
    else
        check.Line("R/B# at rest", Verdict::Fault,
                   "reads low with no command under way: the pull-up resistor on R/B# (GPIO 10, chip pin 7) is "
                   "missing, or R/B# is shorted to ground");
}

void JudgeReset(CheckLog& check, const Probes& seen) {
    if (seen.resetBusy && seen.resetReady)
        check.Line("R/B# after RESET", Verdict::Ok, "went low and came back");
    else if (!seen.resetReady)
        check.Line("R/B# after RESET", Verdict::Fault,
                   "did not come back high: R/B# (GPIO 10) is held low: no pull-up resistor, a short to ground, or "
                   "a chip that stays busy");
    else if (!seen.dataGood)
        check.Line("R/B# after RESET", Verdict::Fault,
                   "never went low: the chip took no RESET (FFh), as a wrong data line changes the command (see the "
                   "data lines)");
    else if (seen.idAnswers)
        check.Line("R/B# after RESET", Verdict::Fault,
                   "never went low, though the chip answers READ ID: R/B# is open between the chip (pin 7) and the "
                   "Pi (GPIO 10)");
    else
        check.Line("R/B# after RESET", Verdict::Fault,
                   "never went low: the chip took no RESET (FFh); check power, CE# (GPIO 9, chip pin 9), CLE (GPIO 2, "
                   "chip pin 16) and WE# (GPIO 15, chip pin 18), or R/B# (GPIO 10, chip pin 7) is open");
}

void JudgeReadId(CheckLog& check, const Probes& seen) {
    const uint8_t(&ids)[3][5] = seen.ids;
    const std::string first = Hex(ids[0], 5);
    if (!seen.steady) {
        check.Line("READ ID", Verdict::Fault,
                   "three reads differ (" + first + " / " + Hex(ids[1], 5) + " / " + Hex(ids[2], 5) +
                       "): a loose contact on a data line, RE# (GPIO 14, chip pin 8) or CE# (GPIO 9, chip pin 9)");
    } else if (seen.alike && (ids[0][0] == 0xFF || ids[0][0] == 0x00)) {
        const std::string cause =
            !seen.dataGood ? "a wrong data line changes the command (see the data lines)"
            : seen.resetBusy && seen.resetReady
                ? "the chip takes RESET, so ALE (GPIO 3, chip pin 17) or RE# (GPIO 14, chip pin 8) is likely open"
                : "check power, CE# (GPIO 9), CLE (GPIO 2), ALE (GPIO 3), WE# (GPIO 15) and RE# (GPIO 14)";
        check.Line("READ ID", Verdict::Fault, first + ": no chip answers; " + cause);
    } else if (seen.alike) {
        check.Line("READ ID", Verdict::Fault,
                   first + ": five bytes alike: the chip never moves to the next byte, so it does not see RE# rise "
                           "(RE#, GPIO 14, chip pin 8, open?)");
    } else if (!seen.dataGood) {
        check.Line("READ ID", Verdict::Fault,
                   first + ": read through a wrong data line, so not the chip's own bytes (see the data lines)");
    } else if (!seen.knownMaker) {
        check.Line("READ ID", Verdict::Fault,
                   first + ": maker code " + HexByte(ids[0][0]) + " is not one this program knows: " +
                       "a data line may be wrong, or the maker is new to this program");
    } else {
        check.Line("READ ID", Verdict::Ok, first + " three times (" + seen.maker + ")");
    }
}

// READ ID 20h against the parameter page.
void JudgeSignature(CheckLog& check, const Probes& seen) {
    const char* sigLabel = "READ ID 20h";
    if (!seen.dataGood) {
        check.Line(sigLabel, Verdict::NotChecked, "a wrong data line changes the command (see the data lines)");
    } else if (!seen.idAnswers) {
        check.Line(sigLabel, Verdict::NotChecked, "READ ID has no steady answer");
    } else if (!seen.pageLoaded) {
        check.Line(sigLabel, Verdict::NotChecked, "R/B# stayed low while the chip loaded its parameter page");
    } else if (seen.onfiPage.crcPassed && seen.onfiSignature) {
        check.Line(sigLabel, Verdict::Ok,
                   "ONFI, and the parameter page passes its CRC (copy " + std::to_string(seen.onfiPage.copy) + ")");
    } else if (seen.onfiPage.crcPassed) {
        check.Line(sigLabel, Verdict::Fault,
                   Hex(seen.onfi, 4) + ", not ONFI, though the chip has an ONFI parameter page: a data line or ALE "
                                       "(GPIO 3, chip pin 17)" + seen.SeeData());
    } else if (seen.onfiSignature) {
        check.Line(sigLabel, Verdict::Fault,
                   "ONFI, but every copy of the parameter page fails its CRC: bits are lost on the data lines or "
                   "RE# (GPIO 14, chip pin 8)" + seen.SeeData());
    } else if (seen.jedecSignature && seen.jedecPage.crcPassed) {
        check.Line(sigLabel, Verdict::Ok,
                   "no ONFI; 40h gives JEDEC, and the parameter page passes its CRC (copy " +
                       std::to_string(seen.jedecPage.copy) + ")");
    } else if (seen.jedecSignature) {
        check.Line(sigLabel, Verdict::Fault,
                   "40h gives JEDEC, but every copy of the parameter page fails its CRC: bits are lost on the data "
                   "lines or RE# (GPIO 14, chip pin 8)" + seen.SeeData());
    } else {
        check.Line(sigLabel, Verdict::Ok, "no ONFI or JEDEC signature and no parameter page (an older part)");
    }
}

// WP# and the status byte.
void JudgeWriteProtect(CheckLog& check, const Probes& seen) {
    const bool openBit = seen.statusOpen & STATUS_NOT_PROTECTED;
    const bool protectedBit = !(seen.statusProtected & STATUS_NOT_PROTECTED);
    if (openBit && protectedBit) {
        check.Line("WP#", Verdict::Ok,
                   "the status byte follows it: " + HexByte(seen.statusOpen) + " with WP# high, " +
                       HexByte(seen.statusProtected) + " with WP# low");
    } else if (seen.statusOpen == 0xFF && seen.statusProtected == 0xFF && !seen.idAnswers) {
        check.Line("WP#", Verdict::Fault,
                   "the status byte reads FFh whatever WP# does: the chip does not answer" + seen.SeeData());
    } else if (!openBit) {
        check.Line("WP#", Verdict::Fault,
                   "the status byte (" + HexByte(seen.statusOpen) +
                       ") says write protected with WP# high: WP# (GPIO 4, chip pin 19) is open or held low; erase "
                       "and program would fail" + seen.SeeData());
    } else {
        check.Line("WP#", Verdict::Fault,
                   "the status byte (" + HexByte(seen.statusProtected) +
                       ") says not protected with WP# low: WP# (GPIO 4, chip pin 19) does not reach the chip, or is "
                       "held high" + seen.SeeData());
    }
}

}  // namespace

std::string DataLineFaults(BusPort& bus) {
    DataLines data;
    data.Measure(bus);
    return data.faults;
}

WiringReport RunWiringCheck(LogSink& sink, BusPort& bus, int cePin) {
    CheckLog check(sink);
    Probes seen;
    seen.MeasureDataLines(bus);
    JudgeDataLines(check, seen);
    seen.MeasureChip(bus, cePin);
    JudgeReadyAtRest(check, seen);
    JudgeReset(check, seen);
    JudgeReadId(check, seen);
    JudgeSignature(check, seen);
    JudgeWriteProtect(check, seen);

    WiringReport report = check.Report();
    JobLog& log = check.Log();
    if (report.AllPassed()) {
        log.Put("Wiring check: all " + std::to_string(report.checks) + " checks passed\n");
    } else {
        log.RedThenBlue("Wiring check: " + std::to_string(report.passed) + " of " + std::to_string(report.checks) +
                        " checks passed\n");
    }
    return report;
}
