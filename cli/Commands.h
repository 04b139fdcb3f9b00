// The commands of ferrik-cli, one table. A command is one entry here and
// its definition: the chip commands that go through a plan all in
// cli/ChipCommands.cpp, the others in a file of their own
// (cli/<Name>Command.cpp); the options it takes are named from the one
// option table (cli/Options.cpp).
#pragma once

#include <cstddef>
#include <string>

class Session;

struct Command {
    const char* name;              // a word, or two for a command of a family: "image ecc"
    const char* operand;           // "FILE", "DUMP OUT" (one word an operand), or nullptr for none
    const char* summary;           // one line, for the list of commands
    const char* description;       // its own help, lines ending in "\n"
    const char* const* options;    // the options it takes, by option or group name
                                   // (cli/Options.h), in help order, ending with nullptr
    int (*run)(Session& session);  // returns the exit status
    // Its --json prints an object of its own (image ecc), not the chip
    // commands' result object (cli/Report.h).
    bool ownJson = false;
};

extern const Command DETECT_COMMAND;
extern const Command SCAN_COMMAND;
extern const Command READ_COMMAND;
extern const Command VERIFY_COMMAND;
extern const Command WRITE_COMMAND;
extern const Command ERASE_COMMAND;
extern const Command BLANK_COMMAND;
extern const Command PROGRAM_COMMAND;
extern const Command CHECK_COMMAND;
extern const Command IMAGE_ECC_COMMAND;
extern const Command IMAGE_STRIP_COMMAND;
extern const Command IMAGE_SPARE_COMMAND;

// In the order the help lists them.
extern const Command* const COMMANDS[];
extern const size_t COMMAND_COUNT;

const Command* FindCommand(const std::string& name);
// The command argv[0] names, with argv[1] when it is one of a family
// ("image ecc"); `words` says how many it took. nullptr when there is none.
const Command* FindCommand(int argc, char** argv, int& words);
// The second words of a family's commands, "ecc, strip or spare" (or
// joined by `separator`); empty when `family` is none.
std::string FamilyWords(const std::string& family, const char* separator = nullptr);
