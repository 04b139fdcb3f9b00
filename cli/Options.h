// The options of the command line, one table for every command, and the
// checked arguments a command runs with. Every value is checked here, before
// any command starts the bus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct Command;

// A flag takes no value; a number is a plain decimal whole number within
// [min, max]; a text is taken as it is.
enum class OptionKind { Flag, Number, Text };

struct OptionSpec {
    const char* name;       // "--page"
    OptionKind kind;
    const char* valueName;  // "N", "FILE"; nullptr for a flag
    int64_t min;
    int64_t max;
    const char* help;       // one line, for the command's help
};

// Every option of every command, each name once, in the order help lists
// them.
extern const OptionSpec OPTIONS[];
extern const size_t OPTION_COUNT;
const OptionSpec* FindOption(const std::string& name);

// Options that several commands take together, named once: a command's
// option list names the group instead of repeating its options. A group's
// name never begins with "-", so it cannot be taken for an option's.
struct OptionGroup {
    const char* name;            // "geometry"
    const char* const* options;  // its options' names, in help order, ending with nullptr
};
extern const OptionGroup OPTION_GROUPS[];
extern const size_t OPTION_GROUP_COUNT;
const OptionGroup* FindOptionGroup(const std::string& name);

// Every option the command takes, in help order, groups expanded.
std::vector<const OptionSpec*> OptionsOf(const Command& command);

// A command's arguments, checked against the command's options.
class Args {
public:
    const std::vector<std::string>& Operands() const { return operands_; }
    // The operand of a command that takes one.
    const std::string& Operand() const;
    bool Has(const char* name) const { return given_.count(name) != 0; }
    // The value of a number option; fallback when it was not given.
    int64_t Number(const char* name, int64_t fallback = 0) const;
    // The value of a text option; empty when it was not given.
    const std::string& Text(const char* name) const;

private:
    friend bool ParseArgs(const Command& command, int argc, char** argv, Args& args, std::string& error);
    std::vector<std::string> operands_;
    std::map<std::string, std::string> given_;
    std::map<std::string, int64_t> numbers_;
};

// Reads argv[0..argc) (what follows the command's name): options as
// "--name value" or "--name=value", operands, and "--" before operands that
// begin with a dash. False, with the reason, on anything the command does
// not take: an unknown option, one given twice, a value out of its range, a
// missing or extra operand.
bool ParseArgs(const Command& command, int argc, char** argv, Args& args, std::string& error);

// A plain decimal whole number: digits only (no sign, no blanks, no other
// base), within [min, max]. False, with the reason, otherwise.
bool ParseWholeNumber(const std::string& text, int64_t min, int64_t max, int64_t& value, std::string& why);
