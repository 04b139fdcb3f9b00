// The shipped ICs/ database held against the chip table it was made from.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bus/NandBus.h"
#include "chip/ChipFile.h"
#include "sim/SimNand.h"
#include "support/Process.h"

namespace fs = std::filesystem;

namespace {

struct TableRow {
    std::string part;
    uint8_t id[5];
    int page, spare, pagesPerBlock, blocks;
};

std::vector<TableRow> LoadTable() {
    std::vector<TableRow> rows;
    std::ifstream in(std::string(FERRIK_SOURCE_DIR) + "/tests/data/chips.tsv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        std::vector<std::string> cells;
        std::stringstream split(line);
        std::string cell;
        while (std::getline(split, cell, '\t')) cells.push_back(cell);
        EXPECT_GE(cells.size(), 12u) << line;
        if (cells.size() < 12) continue;
        TableRow row;
        row.part = cells[1];
        for (int i = 0; i < 5; ++i) row.id[i] = static_cast<uint8_t>(std::stoul(cells[2 + i], nullptr, 16));
        row.page = std::stoi(cells[7]);
        row.spare = std::stoi(cells[8]);
        row.pagesPerBlock = std::stoi(cells[9]);
        row.blocks = std::stoi(cells[10]);
        rows.push_back(row);
    }
    return rows;
}

std::string ShippedPath(const uint8_t id[5]) {
    return std::string(FERRIK_SOURCE_DIR) + "/" + MakerDirectory(NandBus::MakerName(id[0])) + IdString(id);
}

using Values = std::array<std::string, CHIP_FILE_KEYS>;

void Keep(void* context, int key, const char* value) { (*static_cast<Values*>(context))[key] = value; }

// The first part listed for each ID string, in table order.
std::map<std::string, TableRow> FirstPartPerFile(const std::vector<TableRow>& table) {
    std::map<std::string, TableRow> first;
    for (const TableRow& row : table) first.emplace(ShippedPath(row.id), row);
    return first;
}

bool SameGeometry(const TableRow& row, const sim::ChipGeometry& g) {
    return row.page == g.pageSize && row.spare == g.spareSize && row.pagesPerBlock == g.pagesPerBlock &&
           row.blocks == g.blocks;
}

}  // namespace

TEST(ChipDatabase, ShipsOneFileInSaveFormatForEveryIdOfTheTable) {
    const std::vector<TableRow> table = LoadTable();
    ASSERT_GE(table.size(), 30u);
    const auto first = FirstPartPerFile(table);
    const std::string scratch = std::string(::testing::TempDir()) + "ferrik-db-" + std::to_string(getpid());

    for (const auto& [path, row] : first) {
        SCOPED_TRACE(path);
        const std::string name = row.part.substr(0, 16);
        const std::string idText = IdString(row.id);
        const std::string rowMaxText = std::to_string(row.pagesPerBlock * row.blocks - 1);
        const std::string pageText = std::to_string(row.page);
        const std::string spareText = std::to_string(row.spare);
        const std::string blockText = std::to_string(row.pagesPerBlock);

        // Byte for byte what Save writes for these six field texts.
        const char* values[CHIP_FILE_KEYS] = {name.c_str(),     idText.c_str(),    rowMaxText.c_str(),
                                              pageText.c_str(), spareText.c_str(), blockText.c_str()};
        ASSERT_TRUE(WriteChipFile(scratch.c_str(), values));
        EXPECT_EQ(ferrik_test::ReadFile(path), ferrik_test::ReadFile(scratch));

        // And the reader gives the same six values back.
        FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        Values read;
        ReadChipFile(file, Keep, &read);
        std::fclose(file);
        EXPECT_EQ(read, (Values{name, idText, rowMaxText, pageText, spareText, blockText}));

        // The name fits the name field and reads back as one word.
        EXPECT_LE(read[KEY_NAME].size(), 16u);
        for (char c : read[KEY_NAME]) EXPECT_FALSE(std::isspace(static_cast<unsigned char>(c)));
    }
    std::remove(scratch.c_str());
}

TEST(ChipDatabase, HoldsNoFileThatTheTableDoesNotName) {
    const auto first = FirstPartPerFile(LoadTable());
    std::set<std::string> shipped;
    for (const auto& entry : fs::recursive_directory_iterator(std::string(FERRIK_SOURCE_DIR) + "/ICs")) {
        if (entry.is_regular_file()) shipped.insert(entry.path().string());
    }
    std::set<std::string> expected;
    for (const auto& item : first) expected.insert(item.first);
    EXPECT_EQ(shipped, expected);
}

TEST(ChipDatabase, AgreesWithTheSimulatedChipCatalogue) {
    const std::vector<TableRow> table = LoadTable();
    std::set<std::string> tableParts;
    for (const TableRow& row : table) {
        SCOPED_TRACE(row.part);
        tableParts.insert(row.part);
        const sim::ChipPreset* preset = sim::FindPreset(row.part);
        ASSERT_NE(preset, nullptr);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(preset->id[i], row.id[i]);
        EXPECT_TRUE(SameGeometry(row, preset->geometry));
    }
    for (const sim::ChipPreset& preset : sim::Catalogue()) {
        if (preset.part == sim::TinyPreset().part) continue;
        EXPECT_TRUE(tableParts.count(preset.part)) << preset.part;
    }
    // The made-up chip has no file, so detecting it takes the warning path.
    FILE* tiny = std::fopen(ShippedPath(sim::TinyPreset().id).c_str(), "rb");
    EXPECT_EQ(tiny, nullptr);
    if (tiny != nullptr) std::fclose(tiny);
}
