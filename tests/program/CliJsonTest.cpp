// SPDX-License-Identifier: MIT
// The --json result object of every chip command, read back by a strict JSON
// reader as a script's would read it: one object on standard output and
// nothing else, the schema's keys with their types, and the exit status in it.
#ifdef FERRIK_CLI
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/DumpFiles.h"
#include "support/Process.h"

using namespace ferrik_test;

namespace {

// A JSON value, as the grammar has it and no more: a reader that takes
// what a lenient one would (a trailing comma, a bare word, a leading zero)
// would let a broken object pass.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const {
        static const Json missing;
        const auto found = members.find(key);
        return found == members.end() ? missing : found->second;
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : s_(text) {}
    // The whole text is one value, blanks around it allowed; false otherwise.
    bool Read(Json& value) {
        return Value(value) && (Blanks(), at_ == s_.size());
    }

private:
    void Blanks() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t')) ++at_;
    }
    bool Take(char c) { return Blanks(), at_ < s_.size() && s_[at_] == c ? (++at_, true) : false; }
    bool Word(const char* word) {
        const std::string w(word);
        if (s_.compare(at_, w.size(), w) != 0) return false;
        at_ += w.size();
        return true;
    }
    bool Digits() {
        const size_t from = at_;
        while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
        return at_ > from;
    }
    bool NumberText(Json& v) {
        const size_t from = at_;
        if (s_[at_] == '-') ++at_;
        if (at_ < s_.size() && s_[at_] == '0') ++at_;
        else if (!Digits()) return false;
        if (at_ < s_.size() && s_[at_] == '.' && !(++at_, Digits())) return false;
        if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
            ++at_;
            if (at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-')) ++at_;
            if (!Digits()) return false;
        }
        v.kind = Json::Number;
        v.number = std::strtod(s_.substr(from, at_ - from).c_str(), nullptr);
        return true;
    }
    bool StringText(std::string& out) {
        if (!Take('"')) return false;
        while (at_ < s_.size() && s_[at_] != '"') {
            const unsigned char c = static_cast<unsigned char>(s_[at_++]);
            if (c < 0x20) return false;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= s_.size()) return false;
            const char e = s_[at_++];
            const std::string plain = "\"\\/bfnrt";
            if (plain.find(e) != std::string::npos) {
                out += "\"\\/\b\f\n\r\t"[plain.find(e)];
            } else if (e == 'u' && at_ + 4 <= s_.size() &&
                       s_.substr(at_, 4).find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
                out += '?';  // the code point itself matters to no check here
                at_ += 4;
            } else {
                return false;
            }
        }
        return Take('"');
    }
    bool Value(Json& v) {
        Blanks();
        if (at_ >= s_.size()) return false;
        const char c = s_[at_];
        if (c == '{') {
            v.kind = Json::Object;
            ++at_;
            if (Take('}')) return true;
            do {
                std::string key;
                Blanks();
                if (!StringText(key) || !Take(':') || v.members.count(key) != 0 || !Value(v.members[key])) return false;
            } while (Take(','));
            return Take('}');
        }
        if (c == '[') {
            v.kind = Json::Array;
            ++at_;
            if (Take(']')) return true;
            do v.items.emplace_back();
            while (Value(v.items.back()) && Take(','));
            return Take(']');
        }
        if (c == '"') return v.kind = Json::String, StringText(v.text);
        if (Word("true") || Word("false")) return v.kind = Json::Bool, true;
        if (Word("null")) return v.kind = Json::Null, true;
        return NumberText(v);
    }

    const std::string& s_;
    size_t at_ = 0;
};

// SIM-TINY: 256 + 8 bytes a page, 8 pages a block, 16 blocks.
constexpr int kPageBytes = 264;
constexpr int kPages = 128;
constexpr int kMarkedBlock = 3;
constexpr int kMarkedPage = kMarkedBlock * 8;

// Every key of the object and its kind; `orNull` where a command without a
// plan (detect, check, a refused geometry) has none.
struct Key {
    const char* path;  // "differences.count": a member of a member
    Json::Kind kind;
    bool orNull = false;
};
const Key SCHEMA[] = {
    {"schema", Json::Number}, {"command", Json::String}, {"status", Json::Number}, {"status_name", Json::String},
    {"chip", Json::String, true}, {"page_size", Json::Number, true}, {"spare_size", Json::Number, true},
    {"pages_per_block", Json::Number, true}, {"row_max", Json::Number, true},
    {"pages", Json::Number}, {"blocks", Json::Number}, {"bytes", Json::Number}, {"seconds", Json::Number},
    {"mb_per_s", Json::Number},
    {"differences.count", Json::Number}, {"differences.pages", Json::Number}, {"differences.first", Json::Array},
    {"failed_blocks.count", Json::Number}, {"failed_blocks.first", Json::Array},
    {"failed_pages.count", Json::Number}, {"failed_pages.first", Json::Array},
    {"unstable_pages.count", Json::Number}, {"unstable_pages.unsettled", Json::Number},
    {"unstable_pages.first", Json::Array}, {"time_outs", Json::Number},
    {"corrected_bits", Json::Number}, {"corrected_pages", Json::Number},
    {"uncorrectable_pages.count", Json::Number}, {"uncorrectable_pages.first", Json::Array},
    {"bad_count", Json::Number}, {"bad_blocks", Json::Array},
};

const Json& At(const Json& object, const std::string& path) {
    const size_t dot = path.find('.');
    if (dot == std::string::npos) return object[path];
    return object[path.substr(0, dot)][path.substr(dot + 1)];
}

std::vector<double> Numbers(const Json& array) {
    std::vector<double> numbers;
    for (const Json& item : array.items) numbers.push_back(item.number);
    return numbers;
}

}  // namespace

TEST(CliJson, EveryChipCommandPrintsOneObjectOfTheSchemaWithItsExitStatus) {
    TempDir dir;
    // An erased chip whose block 3 its maker marked, and a file of pattern
    // pages to program into it.
    Bytes image(static_cast<size_t>(kPages) * kPageBytes, 0xFF);
    image[static_cast<size_t>(kMarkedPage) * kPageBytes + 256] = 0x00;
    WriteBytes(dir.File("chip.bin"), image);
    Bytes data;
    for (int row = 0; row < kPages; ++row) {
        Bytes page = PatternPage(row, kPageBytes);
        page[256] = 0xFF;  // no mark of its own
        data.insert(data.end(), page.begin(), page.end());
    }
    WriteBytes(dir.File("data.bin"), data);
    const std::string file = dir.File("data.bin");
    const std::string out = dir.File("out.bin");

    struct Row {
        std::vector<std::string> args;
        const char* faults;
        int status;
        const char* statusName;
        std::function<void(const Json&)> check;
    };
    // In order: each run finds the chip as the ones before left it.
    const Row rows[] = {
        {{"detect"}, "", 0, "done", [](const Json& o) { EXPECT_EQ(o["probes"].items.size(), 4u); }},
        {{"check"}, "", 0, "done",
         [](const Json& o) {
             EXPECT_GT(o["checks"].number, 0);
             EXPECT_EQ(o["checks_passed"].number, o["checks"].number);
         }},
        {{"scan"}, "", 0, "done",
         [](const Json& o) {
             EXPECT_EQ(o["blocks"].number, 16);
             ASSERT_EQ(o["bad_blocks"].items.size(), 1u);
             EXPECT_EQ(o["bad_blocks"].items[0]["block"].number, kMarkedBlock);
             EXPECT_EQ(o["bad_blocks"].items[0]["dump_offset"].number, kMarkedPage * kPageBytes);
         }},
        // The marked block is neither erased, programmed nor compared.
        {{"program", file, "--bad=keep"}, "", 0, "done",
         [](const Json& o) {
             EXPECT_EQ(o["pages"].number, 2 * (kPages - 8)) << "the write's pages and the verify's";
             EXPECT_EQ(o["bytes"].number, 2 * (kPages - 8) * kPageBytes);
             EXPECT_EQ(o["bad_count"].number, 1);
         }},
        {{"read", out, "--passes", "2"}, "", 0, "done",
         [](const Json& o) {
             EXPECT_EQ(o["pages"].number, kPages);
             EXPECT_EQ(o["unstable_pages"]["count"].number, 0);
         }},
        // The marked block holds what it held; verify in raw mode finds it.
        {{"verify", file}, "", 1, "chip-failed",
         [&](const Json& o) {
             EXPECT_EQ(o["differences"]["pages"].number, 8);
             const Json& first = o["differences"]["first"].items.at(0);
             const size_t offset = static_cast<size_t>(kMarkedPage) * kPageBytes;
             EXPECT_EQ(first["page"].number, kMarkedPage);
             EXPECT_EQ(first["offset"].number, offset);
             EXPECT_EQ(first["expected"].number, data[offset]);
             EXPECT_EQ(first["actual"].number, image[offset]);
             EXPECT_EQ(o["differences"]["first"].items.size(), 100u) << "the first ones only";
             EXPECT_GT(o["differences"]["count"].number, 100);
         }},
        {{"write", file, "--first-block", "5", "--blocks", "1"}, "program-fail:41", 1, "chip-failed",
         [](const Json& o) { EXPECT_EQ(Numbers(o["failed_pages"]["first"]), std::vector<double>{41}); }},
        {{"erase", "--first-block", "5", "--blocks", "1"}, "erase-fail:5", 1, "chip-failed",
         [](const Json& o) { EXPECT_EQ(Numbers(o["failed_blocks"]["first"]), std::vector<double>{5}); }},
        {{"blank", "--first-block", "5", "--blocks", "1"}, "", 1, "chip-failed",
         [](const Json& o) {
             EXPECT_EQ(o["differences"]["pages"].number, 8) << "the block whose erase failed";
             EXPECT_EQ(o["differences"]["first"].items.at(0)["expected"].number, 0xFF);
         }},
        // Refused once the command ran: the object still comes, with no plan.
        {{"read", out, "--blocks", "17"}, "", 2, "usage",
         [](const Json& o) {
             EXPECT_EQ(o["chip"].kind, Json::Null);
             EXPECT_EQ(o["pages"].number, 0);
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

        Json object;
        ASSERT_TRUE(JsonReader(run.output).Read(object)) << "not one JSON value: " << run.output;
        ASSERT_EQ(object.kind, Json::Object);
        EXPECT_EQ(run.output.back(), '\n');
        EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << "one line";
        for (const Key& key : SCHEMA) {
            const Json& value = At(object, key.path);
            EXPECT_TRUE(value.kind == key.kind || (key.orNull && value.kind == Json::Null))
                << key.path << " is missing or of another kind";
        }
        EXPECT_EQ(object["schema"].number, 1);
        EXPECT_EQ(object["command"].text, row.args[0]);
        EXPECT_EQ(object["status"].number, run.status) << "the status in the object is the exit status";
        EXPECT_EQ(object["status_name"].text, row.statusName);
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
