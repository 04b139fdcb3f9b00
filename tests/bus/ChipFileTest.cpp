#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "chip/ChipFile.h"
#include "support/Process.h"

namespace {

using Values = std::array<std::string, CHIP_FILE_KEYS>;

struct Recorded {
    Values values;
    int calls = 0;
    int order[CHIP_FILE_KEYS] = {};
};

void Record(void* context, int key, const char* value) {
    auto* recorded = static_cast<Recorded*>(context);
    recorded->order[recorded->calls++] = key;
    recorded->values[key] = value;
}

// Reads a chip parameter file with the given bytes from a real file.
Values ReadBytes(const std::string& bytes, Recorded* out = nullptr) {
    FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    Recorded recorded;
    ReadChipFile(file, Record, &recorded);
    std::fclose(file);
    EXPECT_EQ(recorded.calls, CHIP_FILE_KEYS);
    if (out != nullptr) *out = recorded;
    return recorded.values;
}

std::string TempPath(const char* name) {
    return std::string(::testing::TempDir()) + "ferrik-chipfile-" + std::to_string(getpid()) + "-" + name;
}

const Values kSaved = {"K9F1G08U0B", "ECF1009540", "65535", "2048", "64", "64"};
const std::string kSavedBytes = "Name=K9F1G08U0B\nID=ECF1009540\nRow=65535\nPage=2048\nSpare=64\nBlock=64";

}  // namespace

TEST(ChipFileWriter, WritesSixLinesInKeyOrderWithoutALastLineEnd) {
    const std::string path = TempPath("write");
    const char* values[CHIP_FILE_KEYS] = {"K9F1G08U0B", "ECF1009540", "65535", "2048", "64", "64"};
    ASSERT_TRUE(WriteChipFile(path.c_str(), values));
    EXPECT_EQ(ferrik_test::ReadFile(path), kSavedBytes);

    // Over an existing, longer file: replaced completely.
    const char* shorter[CHIP_FILE_KEYS] = {"A", "1", "2", "3", "4", "5"};
    ASSERT_TRUE(WriteChipFile(path.c_str(), shorter));
    EXPECT_EQ(ferrik_test::ReadFile(path), "Name=A\nID=1\nRow=2\nPage=3\nSpare=4\nBlock=5");
    std::remove(path.c_str());
}

TEST(ChipFileWriter, ReportsAFileThatCannotBeCreatedOrWrittenWhole) {
    const char* values[CHIP_FILE_KEYS] = {"K9F1G08U0B", "ECF1009540", "65535", "2048", "64", "64"};
    EXPECT_FALSE(WriteChipFile((TempPath("no-such-dir") + "/ECF1009540").c_str(), values));
    EXPECT_FALSE(WriteChipFile("", values));
    // Opens fine, but the data never reaches the disk.
    EXPECT_FALSE(WriteChipFile("/dev/full", values));
}

TEST(ChipFileReader, ReadsBackWhatTheWriterWroteKeyByKeyInFileOrder) {
    Recorded recorded;
    EXPECT_EQ(ReadBytes(kSavedBytes, &recorded), kSaved);
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) EXPECT_EQ(recorded.order[key], key);
}

TEST(ChipFileReader, AcceptsAnyWhitespaceBetweenKeysAndAfterTheLastValue) {
    EXPECT_EQ(ReadBytes("Name=K9F1G08U0B\r\nID=ECF1009540\r\nRow=65535\r\nPage=2048\r\nSpare=64\r\nBlock=64\r\n"),
              kSaved);
    EXPECT_EQ(ReadBytes("Name=K9F1G08U0B\n\n\nID=ECF1009540\n \t\nRow=65535\nPage=2048\n\nSpare=64\nBlock=64"),
              kSaved);
    EXPECT_EQ(ReadBytes(kSavedBytes + "\n"), kSaved);
    // A blank after the equals sign is skipped; what follows the sixth value
    // is never read.
    EXPECT_EQ(ReadBytes("Name= K9F1G08U0B\nID=\tECF1009540\nRow=65535\nPage=2048\nSpare=64\nBlock=64\nName=X"),
              kSaved);
}

TEST(ChipFileReader, MatchesNoKeyInAFileThatBeginsWithWhitespace) {
    const Values empty = {"", "", "", "", "", ""};
    EXPECT_EQ(ReadBytes(" " + kSavedBytes), empty);
    EXPECT_EQ(ReadBytes("\n" + kSavedBytes), empty);
    EXPECT_EQ(ReadBytes(""), empty);
}

TEST(ChipFileReader, TakesOnlyTheFirstWordOfATwoWordNameAndRepeatsItForEveryLaterKey) {
    // The second word stands where ID= is expected, and stays there.
    const Values got = ReadBytes("Name=No Name\nID=ECF1009540\nRow=65535\nPage=2048\nSpare=64\nBlock=64");
    EXPECT_EQ(got, (Values{"No", "No", "No", "No", "No", "No"}));
}

TEST(ChipFileReader, TakesTheNextLineKeyIncludedForAnEmptyValue) {
    const Values got = ReadBytes("Name=K9F1G08U0B\nID=\nRow=65535\nPage=2048\nSpare=64\nBlock=64");
    // Row= went into the ID; the Row key then finds Page= and keeps the ID's
    // buffer, and the later keys match again.
    EXPECT_EQ(got, (Values{"K9F1G08U0B", "Row=65535", "Row=65535", "2048", "64", "64"}));
}

TEST(ChipFileReader, AMissingLineCostsOnlyItsOwnKey) {
    const Values got = ReadBytes("Name=K9F1G08U0B\nRow=65535\nPage=2048\nSpare=64\nBlock=64");
    EXPECT_EQ(got, (Values{"K9F1G08U0B", "K9F1G08U0B", "65535", "2048", "64", "64"}));
}

TEST(ChipFileReader, ReadsAValueLongerThanNineteenCharactersInPieces) {
    const std::string longName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const Values got = ReadBytes("Name=" + longName + "\nID=ECF1009540\nRow=65535\nPage=2048\nSpare=64\nBlock=64");
    // The first nineteen characters; the rest blocks every later key.
    const std::string piece = longName.substr(0, CHIP_VALUE_MAX);
    EXPECT_EQ(got, (Values{piece, piece, piece, piece, piece, piece}));

    // The last key's value may be as long as it likes: nothing follows it.
    const Values tail = ReadBytes("Name=A\nID=B\nRow=1\nPage=2\nSpare=3\nBlock=" + std::string(100000, '7'));
    EXPECT_EQ(tail[KEY_BLOCK], std::string(CHIP_VALUE_MAX, '7'));

    // Far longer values in every line never overrun the value buffer.
    std::string huge;
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) huge += chipFileKeyText[key] + std::string(5000, 'x') + "\n";
    const Values hugeGot = ReadBytes(huge);
    for (const std::string& value : hugeGot) EXPECT_EQ(value, std::string(CHIP_VALUE_MAX, 'x'));
}

TEST(ChipFileReader, TakesAValueOfExactlyNineteenCharactersWhole) {
    const std::string nineteen(CHIP_VALUE_MAX, 'N');
    const Values got = ReadBytes("Name=" + nineteen + "\nID=ECF1009540\nRow=65535\nPage=2048\nSpare=64\nBlock=64");
    EXPECT_EQ(got, (Values{nineteen, "ECF1009540", "65535", "2048", "64", "64"}));
}

TEST(ChipFileReader, MatchesKeysCaseSensitively) {
    const Values got = ReadBytes("name=K9F1G08U0B\nID=ECF1009540\nRow=65535\nPage=2048\nSpare=64\nBlock=64");
    // name= is no Name=; the reader stands still until a key matches there.
    EXPECT_EQ(got, (Values{"", "", "", "", "", ""}));
}

TEST(IdStringRule, GivesTwoDigitsForZeroInBytesZeroToThreeAndOneForByteFour) {
    const struct {
        uint8_t id[5];
        const char* text;
    } cases[] = {
        {{0xEC, 0xF1, 0x00, 0x95, 0x40}, "ECF1009540"},
        {{0x01, 0xF1, 0x80, 0x1D, 0x01}, "1F1801D1"},
        {{0x98, 0xF1, 0x00, 0x15, 0x00}, "98F100150"},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "FFFFFFFFFF"},
        {{0x00, 0x00, 0x00, 0x00, 0x00}, "000000000"},
        {{0x0A, 0x01, 0x02, 0x03, 0x04}, "A1234"},
        {{0x2C, 0xF1, 0x80, 0x95, 0x02}, "2CF180952"},
    };
    for (const auto& c : cases) EXPECT_EQ(IdString(c.id), c.text);
}

TEST(MakerDirectoryTable, GivesEachMakerItsOwnDirectory) {
    const char* makers[] = {"Samsung", "AMD",    "Fujitsu",  "Hynix",   "Macronix",    "Micron",
                            "National Semiconductors", "Renesas", "ST Micro", "Toshiba", "Unknown Nand"};
    for (const char* maker : makers) EXPECT_EQ(std::string(MakerDirectory(maker)), std::string("ICs/") + maker + "/");
    // Compared whole and case-sensitively.
    EXPECT_EQ(std::string(MakerDirectory("samsung")), "ICs/Unknown Nand/");
    EXPECT_EQ(std::string(MakerDirectory("Samsung ")), "ICs/Unknown Nand/");
}
