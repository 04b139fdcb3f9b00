#include "cli/Options.h"

#include <algorithm>
#include <cstdint>

#include "cli/Commands.h"

namespace {
constexpr int64_t INT32_TOP = INT32_MAX;
}

const OptionSpec OPTIONS[] = {
    {"--chip", OptionKind::Text, "FILE", 0, 0, "take the geometry from this chip file"},
    {"--page", OptionKind::Number, "N", 0, INT32_TOP, "bytes in the data area of a page"},
    {"--spare", OptionKind::Number, "N", 0, INT32_TOP, "bytes in the spare area of a page"},
    {"--row-max", OptionKind::Number, "N", 0, INT32_TOP, "the highest row (page) address of the chip"},
    // 1 to 65535: a value outside is refused by the plan, in the window's
    // words, as one from a chip file is.
    {"--pages-per-block", OptionKind::Number, "N", 0, INT32_TOP, "pages in a block"},
    {"--force-geometry", OptionKind::Flag, nullptr, 0, 0,
     "go on though values given are not the chip's (see above)"},
    {"--first-block", OptionKind::Number, "B", 0, INT32_TOP, "begin at block B (record 0 of the file is its first page)"},
    {"--blocks", OptionKind::Number, "N", 1, INT32_TOP, "work on N blocks (default: up to the end of the chip)"},
    {"--passes", OptionKind::Number, "N", 1, 8,
     "read every page N times (1 to 8); keep each byte's most frequent value"},
    {"--bad", OptionKind::Text, "MODE", 0, 0, "what to do with factory-marked bad blocks (see above)"},
    {"--include-bad", OptionKind::Flag, nullptr, 0, 0, "erase factory-marked blocks too: their marks are lost"},
    {"--mark-bad", OptionKind::Flag, nullptr, 0, 0, "mark a block bad when its erase fails"},
    {"--map", OptionKind::Text, "FILE.svg", 0, 0, "draw what was found, one square a block, into FILE.svg"},
    // The same object, keys and log for every command that takes it
    // (docs/json.md).
    {"--json", OptionKind::Flag, nullptr, 0, 0, "print the result as one JSON object, the log on standard error"},
    {"--quiet", OptionKind::Flag, nullptr, 0, 0, "no progress bar"},
    {"--save", OptionKind::Flag, nullptr, 0, 0, "write the chip file ./ICs/<maker>/<ID string> from the geometry in use"},
    {"--force", OptionKind::Flag, nullptr, 0, 0, "with --save: replace an existing chip file"},
    {"--ecc", OptionKind::Text, "SCHEME", 0, 0, "the device's ECC: hamming, hamming-512, hamming-sm, bch4, bch8, bchN"},
    {"--ecc-layout", OptionKind::Text, "FILE", 0, 0, "the device's ECC as a layout file names it (see image ecc)"},
    {"--ecc-fix", OptionKind::Flag, nullptr, 0, 0, "the dump holds the pages as the ECC corrected them, not as read"},
    {"--fix", OptionKind::Text, "OUT", 0, 0, "write the dump with every correctable step corrected into OUT"},
    {"--guess", OptionKind::Flag, nullptr, 0, 0, "try the built-in schemes and say which fits the dump"},
};
const size_t OPTION_COUNT = sizeof OPTIONS / sizeof OPTIONS[0];

namespace {
const char* const GEOMETRY[] = {"--chip", "--page", "--spare", "--row-max", "--pages-per-block", nullptr};
const char* const RANGE[] = {"--first-block", "--blocks", nullptr};
}  // namespace

const OptionGroup OPTION_GROUPS[] = {
    {"geometry", GEOMETRY},
    {"range", RANGE},
};
const size_t OPTION_GROUP_COUNT = sizeof OPTION_GROUPS / sizeof OPTION_GROUPS[0];

const OptionSpec* FindOption(const std::string& name) {
    for (const OptionSpec& option : OPTIONS)
        if (name == option.name) return &option;
    return nullptr;
}

const OptionGroup* FindOptionGroup(const std::string& name) {
    for (const OptionGroup& group : OPTION_GROUPS)
        if (name == group.name) return &group;
    return nullptr;
}

std::vector<const OptionSpec*> OptionsOf(const Command& command) {
    std::vector<const OptionSpec*> options;
    auto take = [&](const char* name) {
        if (const OptionSpec* option = FindOption(name)) options.push_back(option);
    };
    for (const char* const* name = command.options; name != nullptr && *name != nullptr; ++name) {
        if (const OptionGroup* group = FindOptionGroup(*name)) {
            for (const char* const* member = group->options; *member != nullptr; ++member) take(*member);
        } else {
            take(*name);
        }
    }
    return options;
}

const std::string& Args::Operand() const {
    static const std::string none;
    return operands_.empty() ? none : operands_.front();
}

int64_t Args::Number(const char* name, int64_t fallback) const {
    const auto found = numbers_.find(name);
    return found == numbers_.end() ? fallback : found->second;
}

const std::string& Args::Text(const char* name) const {
    static const std::string none;
    const auto found = given_.find(name);
    return found == given_.end() ? none : found->second;
}

bool ParseWholeNumber(const std::string& text, int64_t min, int64_t max, int64_t& value, std::string& why) {
    if (text.empty()) {
        why = "an empty value is not a number";
        return false;
    }
    int64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            why = "\"" + text + "\" is not a whole number";
            return false;
        }
        // Checked before it can overflow: anything past max is refused anyway.
        if (n > (INT64_MAX - 9) / 10) {
            why = text + " is more than " + std::to_string(max);
            return false;
        }
        n = n * 10 + (c - '0');
    }
    if (n > max) {
        why = text + " is more than " + std::to_string(max);
        return false;
    }
    if (n < min) {
        why = text + " is less than " + std::to_string(min);
        return false;
    }
    value = n;
    return true;
}

bool ParseArgs(const Command& command, int argc, char** argv, Args& args, std::string& error) {
    const std::vector<const OptionSpec*> taken = OptionsOf(command);
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            args.operands_.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const OptionSpec* option = FindOption(name);
        if (option == nullptr) {
            error = "unknown option \"" + name + "\"";
            return false;
        }
        if (std::find(taken.begin(), taken.end(), option) == taken.end()) {
            error = name + " is not an option of " + command.name;
            return false;
        }
        if (args.given_.count(name) != 0) {
            error = name + " is given twice";
            return false;
        }
        std::string value;
        if (option->kind == OptionKind::Flag) {
            if (equals != std::string::npos) {
                error = name + " takes no value";
                return false;
            }
        } else if (equals != std::string::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = name + " needs a value (" + option->valueName + ")";
            return false;
        }
        if (option->kind == OptionKind::Number) {
            int64_t number = 0;
            std::string why;
            if (!ParseWholeNumber(value, option->min, option->max, number, why)) {
                error = name + ": " + why;
                return false;
            }
            args.numbers_[name] = number;
        } else if (option->kind == OptionKind::Text && value.empty()) {
            error = name + " needs a value (" + option->valueName + ")";
            return false;
        }
        args.given_[name] = value;
    }
    // One operand a word of the command's operand text: "DUMP OUT" takes two.
    size_t wanted = 0;
    for (const char* c = command.operand; c != nullptr && *c != '\0'; ++c)
        if (*c != ' ' && (c == command.operand || c[-1] == ' ')) ++wanted;
    if (args.operands_.size() < wanted) {
        error = std::string(command.name) + " needs " + command.operand;
        return false;
    }
    if (args.operands_.size() > wanted) {
        error = "unexpected \"" + args.operands_[wanted] + "\"";
        return false;
    }
    return true;
}
