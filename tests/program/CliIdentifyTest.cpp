// ferrik-cli detect and check, end to end on simulated chips: what a user
// reads, the JSON a script takes, and the geometry the other commands then use.
#ifdef FERRIK_CLI
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/Process.h"

using namespace ferrik_test;

namespace {

Exited Cli(const std::vector<std::string>& args, std::vector<std::pair<std::string, const char*>> env,
           const std::string& cwd, Streams streams = Streams::Together) {
    std::vector<std::string> argv = {FERRIK_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    env.emplace_back("NO_COLOR", "1");
    return RunProgram(argv, env, 60, cwd, {}, streams);
}

// What detect adds after the window's Detect lines.
std::string AfterProbes(const std::string& output) {
    const size_t at = output.find("\nChip file: ");
    return at == std::string::npos ? output : output.substr(at + 1);
}

std::string Bytes(size_t count, char value) { return std::string(count, value); }

}  // namespace

TEST(CliIdentify, DetectTellsThePageTheIdGuessAndTheGeometryInUseAsLinesAndAsJson) {
    TempDir dir;
    // A page of absurd values with a good CRC: reported, not used, and the
    // JSON stays JSON whatever its text fields hold.
    std::string absurd = Bytes(256, '\0');
    absurd.replace(0, 4, "ONFI");
    absurd.replace(32, 12, std::string("\"QUOTE\\\x01    ", 12));
    absurd[81] = 0;  // page size 0
    absurd[84] = 64;
    absurd[92] = 64;
    absurd[97] = 4;  // 1024 blocks
    absurd[100] = 1;
    {
        // The CRC, bit by bit as the standard gives it.
        unsigned crc = 0x4F4E;
        for (int i = 0; i < 254; ++i)
            for (int bit = 7; bit >= 0; --bit) {
                const bool in = ((static_cast<unsigned char>(absurd[i]) >> bit) & 1u) != ((crc >> 15) & 1u);
                crc = (crc << 1) & 0xFFFF;
                if (in) crc ^= 0x8005;
            }
        absurd[254] = static_cast<char>(crc & 0xFF);
        absurd[255] = static_cast<char>(crc >> 8);
    }
    std::ofstream(dir.File("absurd.bin"), std::ios::binary) << absurd + absurd + absurd;
    std::ofstream(dir.File("broken.bin"), std::ios::binary) << "ONFI" + Bytes(764, '\x55');
    const std::string absurdPage = dir.File("absurd.bin");
    const std::string brokenPage = dir.File("broken.bin");

    struct Row {
        const char* chip;
        const char* pageFile;
        std::string cwd;
        std::string lines;
        std::string json;
    };
    const Row rows[] = {
        {"MT29F4G08ABAEA", "", dir.Path(),
         "Chip file: none at ICs/Micron/2CDC90A654\n"
         "Parameter page: ONFI 1.0, copy 1 passed its CRC\n"
         "  maker MICRON, model MT29F4G08ABAEA\n"
         "  page 4096, spare 224, 64 pages per block, 2048 blocks x 1 LUN, row max 131071, ECC 4 bits\n"
         "ID bytes decoded (a guess): page 4096, spare 128, 64 pages per block, 2048 blocks, row max 131071\n"
         "Geometry in use: page 4096, spare 224, 64 pages per block, row max 131071, from the parameter page\n"
         "Disagreement: spare 224 in the parameter page, 128 in the ID bytes (a guess)\n",
         "{\"probes\":[{\"ce\":0,\"id\":[44,220,144,166,84],\"id_string\":\"2CDC90A654\",\"maker\":\"Micron\"},"
         "{\"ce\":1,\"id\":[255,255,255,255,255],\"id_string\":\"FFFFFFFFFF\",\"maker\":\"Unknown Nand\"},"
         "{\"ce\":2,\"id\":[255,255,255,255,255],\"id_string\":\"FFFFFFFFFF\",\"maker\":\"Unknown Nand\"},"
         "{\"ce\":3,\"id\":[255,255,255,255,255],\"id_string\":\"FFFFFFFFFF\",\"maker\":\"Unknown Nand\"}],"
         "\"chip_file\":null,"
         "\"parameter_page\":{\"standard\":\"ONFI\",\"revision\":\"1.0\",\"copy\":1,\"maker\":\"MICRON\","
         "\"model\":\"MT29F4G08ABAEA\",\"page\":4096,\"spare\":224,\"pages_per_block\":64,\"blocks\":2048,"
         "\"luns\":1,\"row_max\":131071,\"ecc_bits\":4},"
         "\"id_decoded\":{\"page\":4096,\"spare\":128,\"pages_per_block\":64,\"blocks\":2048,\"row_max\":131071,"
         "\"guess\":true},"
         "\"geometry\":{\"source\":\"parameter page\",\"page\":4096,\"spare\":224,\"pages_per_block\":64,"
         "\"row_max\":131071},"
         "\"disagreements\":[\"spare 224 in the parameter page, 128 in the ID bytes (a guess)\"]}\n"},
        // The shipped chip file names the part with the same ID and 64 spare
        // bytes; the chip file wins and the disagreement is told.
        {"TC58NVG1S3H", "", FERRIK_SOURCE_DIR,
         "Chip file: ICs/Toshiba/98DA901576\n"
         "Parameter page: none (no ONFI signature at READ ID 20h, no JEDEC signature at 40h)\n"
         "ID bytes decoded (a guess): page 2048, spare 64, 64 pages per block, 2048 blocks, row max 131071\n"
         "Geometry in use: page 2048, spare 64, 64 pages per block, row max 131071, from the chip file\n",
         "\"chip_file\":{\"path\":\"ICs/Toshiba/98DA901576\",\"name\":\"TC58NVG1S3E\",\"row_max\":131071,"
         "\"page\":2048,\"spare\":64,\"pages_per_block\":64},\"parameter_page\":null,"},
        {"K9F1G08U0B", absurdPage.c_str(), dir.Path(),
         "  not used: page size 0\n"
         "ID bytes decoded (a guess): page 2048, spare 64, 64 pages per block, 1024 blocks, row max 65535\n"
         "Geometry in use: page 2048, spare 64, 64 pages per block, row max 65535, from the ID bytes (a guess)\n",
         "\"maker\":\"\\\"QUOTE\\\\?\",\"model\":\"\",\"page\":0,"},
        {"K9F1G08U0B", brokenPage.c_str(), dir.Path(),
         "Parameter page: ONFI, no copy in the 1536 bytes read passes its CRC: not used\n",
         "\"parameter_page\":null,\"id_decoded\":{\"page\":2048,"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.chip) + " " + row.pageFile);
        const std::vector<std::pair<std::string, const char*>> env = {{"FERRIK_SIM_CHIPS", row.chip},
                                                                      {"FERRIK_SIM_PARAMETER_PAGE", row.pageFile}};
        const Exited lines = Cli({"detect"}, env, row.cwd);
        EXPECT_EQ(lines.status, 0) << lines.output;
        const std::string told = AfterProbes(lines.output);
        if (row.lines.compare(0, 10, "Chip file:") == 0)
            EXPECT_EQ(told, row.lines);
        else
            EXPECT_NE(told.find(row.lines), std::string::npos) << told;
        // The object holds detect's own keys after those of every command;
        // the lines go to standard error as they are.
        const Exited json = Cli({"detect", "--json"}, env, row.cwd, Streams::Apart);
        EXPECT_EQ(json.status, 0) << json.output;
        EXPECT_EQ(json.errors, lines.output);
        const size_t own = json.output.find(",\"probes\":");
        if (row.json[0] == '{')
            EXPECT_EQ(own == std::string::npos ? json.output : json.output.substr(own + 1), row.json.substr(1));
        else
            EXPECT_NE(json.output.find(row.json), std::string::npos) << json.output;
    }

    // A guess is told, never stored as a chip file the window would take for a fact.
    const Exited guess = Cli({"detect", "--save"}, {{"FERRIK_SIM_CHIPS", "K9F1G08U0B"}}, dir.Path());
    EXPECT_EQ(guess.status, 2) << guess.output;
    EXPECT_NE(guess.output.find("only a guess from the ID bytes: nothing saved"), std::string::npos) << guess.output;
    EXPECT_FALSE(std::ifstream(dir.File("ICs/Samsung/ECF1009540")).good());

    // With no chip file the chip commands take the page's geometry and say so first.
    const Exited read = Cli({"read", dir.File("dump.bin"), "--blocks", "1", "--quiet"},
                            {{"FERRIK_SIM_CHIPS", "MT29F4G08ABAEA"}}, dir.Path());
    EXPECT_EQ(read.status, 0) << read.output;
    EXPECT_EQ(read.output.substr(0, read.output.find('\n') + 1),
              "Geometry from the chip's ONFI parameter page, there being no chip file ICs/Micron/2CDC90A654: page "
              "4096, spare 224, 64 pages per block, row max 131071\n");
    EXPECT_EQ(ReadFile(dir.File("dump.bin")).size(), 64u * (4096 + 224));
}

TEST(CliIdentify, CheckEndsWithZeroOnlyWhenEveryCheckPassed) {
    TempDir dir;
    for (const char* faults : {"", "short:IO6,IO7"}) {
        SCOPED_TRACE(faults);
        const Exited check = Cli({"check"}, {{"FERRIK_SIM_FAULTS", faults}}, dir.Path());
        EXPECT_EQ(check.status, *faults ? 1 : 0) << check.output;
        EXPECT_NE(check.output.find(*faults ? "Wiring check: 2 of 6 checks passed\n" : "Wiring check: all 6 checks passed\n"),
                  std::string::npos)
            << check.output;
    }
}
#endif
