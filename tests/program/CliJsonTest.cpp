// SPDX-License-Identifier: MIT
// The --json result object of every chip command, read back by a strict JSON
// reader as a script would read it: one object on standard output and
// nothing else, the schema's keys with their types, and the exit status in it.
#ifdef FERRIK_CLI
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/DumpFiles.h"
#include "support/Process.h"

using namespace ferrik_test;

namespace {

// Python's own JSON reader, made strict (no NaN, no key twice, nothing after
// the value), says whether the text is one JSON value, and flattens it into
// "path kind value" lines: "differences.first.0.page number 24".
const char FLATTEN[] = R"(
import json, sys
def twice(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)): raise ValueError("a key twice")
    return dict(pairs)
def bad(word): raise ValueError(word)
value = json.loads(sys.argv[1], object_pairs_hook=twice, parse_constant=bad)
def walk(path, v):
    kind = {dict: "object", list: "array", str: "string", bool: "bool", type(None): "null"}.get(type(v), "number")
    print(path or "$", kind, v if kind in ("number", "string") else "")
    items = v.items() if kind == "object" else enumerate(v) if kind == "array" else []
    for k, item in items: walk(f"{path}.{k}".lstrip("."), item)
walk("", value)
)";

struct Flat {
    std::string kind;
    std::string value;
    double Number() const { return std::strtod(value.c_str(), nullptr); }
};
using Object = std::map<std::string, Flat>;

// Empty when the text is not one JSON value.
Object Flatten(const std::string& text) {
    const Exited run = RunProgram({"/usr/bin/python3", "-c", FLATTEN, text}, {}, 60, "", {}, Streams::Apart);
    Object object;
    std::istringstream lines(run.status == 0 ? run.output : "");
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string path;
        Flat flat;
        words >> path >> flat.kind;
        std::getline(words >> std::ws, flat.value);
        object[path] = flat;
    }
    return object;
}

// SIM-TINY: 256 + 8 bytes a page, 8 pages a block, 16 blocks.
constexpr int kPageBytes = 264;
constexpr int kPages = 128;
constexpr int kMarkedBlock = 3;
constexpr int kMarkedPage = kMarkedBlock * 8;

// Every key of the object and its kind; `orNull` where a command without a
// plan (detect, check, a refused geometry) has none.
struct Key {
    const char* path;
    const char* kind;
    bool orNull = false;
};
const Key SCHEMA[] = {
    {"schema", "number"}, {"command", "string"}, {"status", "number"}, {"status_name", "string"},
    {"chip", "string", true}, {"page_size", "number", true}, {"spare_size", "number", true},
    {"pages_per_block", "number", true}, {"row_max", "number", true},
    {"pages", "number"}, {"blocks", "number"}, {"bytes", "number"}, {"seconds", "number"}, {"mb_per_s", "number"},
    {"differences.count", "number"}, {"differences.pages", "number"}, {"differences.first", "array"},
    {"failed_blocks.count", "number"}, {"failed_blocks.first", "array"},
    {"failed_pages.count", "number"}, {"failed_pages.first", "array"},
    {"unstable_pages.count", "number"}, {"unstable_pages.unsettled", "number"}, {"unstable_pages.first", "array"},
    {"time_outs", "number"}, {"corrected_bits", "number"}, {"corrected_pages", "number"},
    {"uncorrectable_pages.count", "number"}, {"uncorrectable_pages.first", "array"},
    {"bad_count", "number"}, {"bad_blocks", "array"},
};

}  // namespace

TEST(CliJson, EveryChipCommandPrintsOneObjectOfTheSchemaWithItsExitStatus) {
    TempDir dir;
    // An erased chip whose block 3 its maker marked, and a file of pattern
    // pages to program into it.
    Bytes image(static_cast<size_t>(kPages) * kPageBytes, 0xFF);
    image[static_cast<size_t>(kMarkedPage) * kPageBytes + 256] = 0x00;
    WriteBytes(dir.File("chip.bin"), image);
    const Bytes data = PatternImage(kPages, kPageBytes, 256);  // no mark of its own
    WriteBytes(dir.File("data.bin"), data);
    const std::string file = dir.File("data.bin");
    // Block 5 alone, for a write of that block: a longer file would not fit.
    const size_t blockBytes = static_cast<size_t>(8) * kPageBytes;
    WriteBytes(dir.File("block5.bin"), Bytes(data.begin() + 5 * blockBytes, data.begin() + 6 * blockBytes));
    const std::string out = dir.File("out.bin");

    struct Row {
        std::vector<std::string> args;
        const char* faults;
        int status;
        const char* statusName;
        std::function<void(Object&)> check;
    };
    // In order: each run finds the chip as the ones before left it.
    const Row rows[] = {
        {{"detect"}, "", 0, "done", [](Object& o) { EXPECT_EQ(o["probes.3.ce"].value, "3"); }},
        {{"check"}, "", 0, "done",
         [](Object& o) {
             EXPECT_GT(o["checks"].Number(), 0);
             EXPECT_EQ(o["checks_passed"].value, o["checks"].value);
         }},
        {{"scan"}, "", 0, "done",
         [](Object& o) {
             EXPECT_EQ(o["blocks"].Number(), 16);
             EXPECT_EQ(o["bad_blocks.0.block"].Number(), kMarkedBlock);
             EXPECT_EQ(o["bad_blocks.0.dump_offset"].Number(), kMarkedPage * kPageBytes);
             EXPECT_EQ(o.count("bad_blocks.1"), 0u);
         }},
        // The marked block is neither erased, programmed nor compared.
        {{"program", file, "--bad=keep"}, "", 0, "done",
         [](Object& o) {
             EXPECT_EQ(o["pages"].Number(), 2 * (kPages - 8)) << "the write's pages and the verify's";
             EXPECT_EQ(o["bytes"].Number(), 2 * (kPages - 8) * kPageBytes);
             EXPECT_EQ(o["bad_count"].Number(), 1);
         }},
        {{"read", out, "--passes", "2"}, "", 0, "done",
         [](Object& o) {
             EXPECT_EQ(o["pages"].Number(), kPages);
             EXPECT_EQ(o["unstable_pages.count"].Number(), 0);
         }},
        // The marked block holds what it held; verify in raw mode finds it.
        {{"verify", file}, "", 1, "chip-failed",
         [&](Object& o) {
             const size_t offset = static_cast<size_t>(kMarkedPage) * kPageBytes;
             EXPECT_EQ(o["differences.pages"].Number(), 8);
             EXPECT_EQ(o["differences.first.0.page"].Number(), kMarkedPage);
             EXPECT_EQ(o["differences.first.0.offset"].Number(), offset);
             EXPECT_EQ(o["differences.first.0.expected"].Number(), data[offset]);
             EXPECT_EQ(o["differences.first.0.actual"].Number(), image[offset]);
             EXPECT_GT(o["differences.count"].Number(), 100);
             EXPECT_EQ(o.count("differences.first.99"), 1u);
             EXPECT_EQ(o.count("differences.first.100"), 0u) << "the first ones only";
         }},
        {{"write", dir.File("block5.bin"), "--first-block", "5", "--blocks", "1"}, "program-fail:41", 1, "chip-failed",
         [](Object& o) {
             EXPECT_EQ(o["failed_pages.count"].Number(), 1);
             EXPECT_EQ(o["failed_pages.first.0"].Number(), 41);
         }},
        {{"erase", "--first-block", "5", "--blocks", "1"}, "erase-fail:5", 1, "chip-failed",
         [](Object& o) {
             EXPECT_EQ(o["failed_blocks.count"].Number(), 1);
             EXPECT_EQ(o["failed_blocks.first.0"].Number(), 5);
         }},
        {{"blank", "--first-block", "5", "--blocks", "1"}, "", 1, "chip-failed",
         [](Object& o) {
             EXPECT_EQ(o["differences.pages"].Number(), 8) << "the block whose erase failed";
             EXPECT_EQ(o["differences.first.0.expected"].Number(), 0xFF);
         }},
        // Refused once the command ran: the object still comes, with no plan.
        {{"read", out, "--blocks", "17"}, "", 2, "usage",
         [](Object& o) {
             EXPECT_EQ(o["chip"].kind, "null");
             EXPECT_EQ(o["pages"].Number(), 0);
         }},
    };
    const std::vector<std::string> geometry = {"--page=256", "--spare=8", "--row-max=127", "--pages-per-block=8"};
    for (const Row& row : rows) {
        std::vector<std::string> argv = {FERRIK_CLI};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        if (row.args[0] != "detect" && row.args[0] != "check")
            argv.insert(argv.end(), geometry.begin(), geometry.end());
        argv.push_back("--json");
        SCOPED_TRACE(row.args[0] + " " + row.faults);
        const Exited run = RunProgram(argv,
                                      {{"FERRIK_SIM_CHIPS", "SIM-TINY"},
                                       {"FERRIK_SIM_IMAGE", dir.File("chip.bin").c_str()},
                                       {"FERRIK_SIM_FAULTS", row.faults}},
                                      60, dir.Path(), {}, Streams::Apart);
        ASSERT_EQ(run.status, row.status) << run.output << run.errors;

        Object object = Flatten(run.output);
        ASSERT_EQ(object["$"].kind, "object") << "not one JSON object: " << run.output;
        EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << "one line";
        for (const Key& key : SCHEMA) {
            const std::string kind = object.count(key.path) ? object[key.path].kind : "missing";
            EXPECT_TRUE(kind == key.kind || (key.orNull && kind == "null")) << key.path << " is " << kind;
        }
        EXPECT_EQ(object["schema"].value, "1");
        EXPECT_EQ(object["command"].value, row.args[0]);
        EXPECT_EQ(object["status"].Number(), run.status) << "the status in the object is the exit status";
        EXPECT_EQ(object["status_name"].value, row.statusName);
        // The log is on standard error, in the window's words.
        EXPECT_NE(run.errors, "");
        row.check(object);
    }

    // Arguments the command line refuses before any command runs get the
    // usage line alone.
    const Exited refused = RunProgram({FERRIK_CLI, "read", "--json", "--passes", "9"}, {}, 60, dir.Path(), {},
                                      Streams::Apart);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.output, "");
    EXPECT_NE(refused.errors.find("--passes: 9 is more than 8"), std::string::npos) << refused.errors;
}
#endif
