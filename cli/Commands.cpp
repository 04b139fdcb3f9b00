#include "cli/Commands.h"

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
};
const size_t COMMAND_COUNT = sizeof COMMANDS / sizeof COMMANDS[0];

const Command* FindCommand(const std::string& name) {
    for (const Command* command : COMMANDS)
        if (name == command->name) return command;
    return nullptr;
}
