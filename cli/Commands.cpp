#include "cli/Commands.h"

#include <vector>

const Command* const COMMANDS[] = {
    &DETECT_COMMAND,
    &SCAN_COMMAND,
    &READ_COMMAND,
    &VERIFY_COMMAND,
    &WRITE_COMMAND,
    &ERASE_COMMAND,
    &BLANK_COMMAND,
    &PROGRAM_COMMAND,
    &CHECK_COMMAND,
    &IMAGE_ECC_COMMAND,
    &IMAGE_STRIP_COMMAND,
    &IMAGE_SPARE_COMMAND,
};
const size_t COMMAND_COUNT = sizeof COMMANDS / sizeof COMMANDS[0];

const Command* FindCommand(const std::string& name) {
    for (const Command* command : COMMANDS)
        if (name == command->name) return command;
    return nullptr;
}

const Command* FindCommand(int argc, char** argv, int& words) {
    words = 1;
    if (argc < 1) return nullptr;
    if (const Command* command = FindCommand(argv[0])) return command;
    words = 2;
    return argc < 2 ? nullptr : FindCommand(std::string(argv[0]) + " " + argv[1]);
}

std::string FamilyWords(const std::string& family, const char* separator) {
    std::vector<std::string> seconds;
    for (const Command* command : COMMANDS) {
        const std::string name = command->name;
        if (name.size() > family.size() + 1 && name.compare(0, family.size() + 1, family + " ") == 0)
            seconds.push_back(name.substr(family.size() + 1));
    }
    std::string list;
    for (size_t i = 0; i < seconds.size(); ++i)
        list += (i == 0 ? "" : separator ? separator : i + 1 == seconds.size() ? " or " : ", ") + seconds[i];
    return list;
}
