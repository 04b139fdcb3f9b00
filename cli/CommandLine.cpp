#include "cli/CommandLine.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/ExitStatus.h"
#include "cli/Options.h"
#include "cli/Session.h"
#include "cli/Stop.h"

namespace {

const char PROGRAM[] = "ferrik-cli";

std::string Usage(const Command& command) {
    std::string usage = std::string(PROGRAM) + " " + command.name;
    if (command.operand != nullptr) usage += std::string(" ") + command.operand;
    if (!OptionsOf(command).empty()) usage += " [OPTION...]";
    return usage;
}

void PrintHelp() {
    std::printf(
        "Usage: %s COMMAND [FILE] [OPTION...]\n"
        "       %s help [COMMAND]   or   %s COMMAND --help\n"
        "       %s --version\n"
        "\n"
        "Reads, erases, blank-checks, programs and verifies the raw NAND flash chip\n"
        "on CE0 of the Raspberry Pi's GPIO header, as the Ferrik window does, and\n"
        "reports in the window's words on standard output.\n"
        "\n"
        "Commands:\n",
        PROGRAM, PROGRAM, PROGRAM, PROGRAM);
    for (size_t i = 0; i < COMMAND_COUNT; ++i) {
        const Command* command = COMMANDS[i];
        std::string left = command->name;
        if (command->operand != nullptr) left += std::string(" ") + command->operand;
        std::printf("  %-14s %s\n", left.c_str(), command->summary);
    }
    std::printf(
        "\n"
        "Geometry: by default the values of the chip file named by the ID of the\n"
        "chip on CE0, found in ./ICs/<maker>/ or else in the installed chip\n"
        "database, as the window's Detect loads them; without a chip file, those of\n"
        "the chip's own parameter page (ONFI or JEDEC), and the first line says so.\n"
        "--page, --spare, --row-max and --pages-per-block override them one by one;\n"
        "--chip FILE takes another chip file. `detect --save` writes the chip file\n"
        "from the parameter page. Ranges: --first-block B and --blocks N work on\n"
        "those blocks only; record 0 of the file is then the first page of block B.\n"
        "\n"
        "A progress bar shows on standard error when it is a terminal (not with\n"
        "--quiet). Ctrl-C, SIGTERM or another signal that would end the program\n"
        "stops the job after the page or block in hand. One process drives the bus\n"
        "at a time: a second ferrik-cli, or one beside the window, is refused.\n"
        "\n%s",
        EXIT_STATUS_HELP);
}

void PrintCommandHelp(const Command& command) {
    std::printf("Usage: %s\n\n%s", Usage(command).c_str(), command.description);
    std::printf("\nOptions:\n");
    for (const OptionSpec* option : OptionsOf(command)) {
        std::string left = option->name;
        if (option->valueName != nullptr) left += std::string(" ") + option->valueName;
        std::printf("  %-22s %s\n", left.c_str(), option->help);
    }
    std::printf("  %-22s %s\n", "--help", "show this help");
    std::printf("\n%s", EXIT_STATUS_HELP);
}

bool AsksForHelp(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return false;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
    }
    return false;
}

}  // namespace

int UsageError(const std::string& line, const char* helpFor) {
    std::fprintf(stderr, "%s: %s\nTry '%s%s%s --help'.\n", PROGRAM, line.c_str(), PROGRAM, helpFor ? " " : "",
                 helpFor ? helpFor : "");
    return EXIT_USAGE;
}

int RunCommandLine(int argc, char** argv, ChipPort& chip) {
    if (argc < 2) return UsageError("no command given", nullptr);
    const std::string first = argv[1];
    if (first == "--version") {
        std::printf("%s %s\n", PROGRAM, FERRIK_VERSION);
        return EXIT_DONE;
    }
    if (first == "--help" || first == "-h" || first == "help") {
        if (argc < 3) {
            PrintHelp();
            return EXIT_DONE;
        }
        const Command* command = FindCommand(argv[2]);
        if (command == nullptr) return UsageError(std::string("unknown command \"") + argv[2] + "\"", nullptr);
        if (argc > 3) return UsageError(std::string("unexpected \"") + argv[3] + "\"", nullptr);
        PrintCommandHelp(*command);
        return EXIT_DONE;
    }
    const Command* command = FindCommand(first);
    if (command == nullptr) return UsageError("unknown command \"" + first + "\"", nullptr);
    if (AsksForHelp(argc - 2, argv + 2)) {
        PrintCommandHelp(*command);
        return EXIT_DONE;
    }
    Args args;
    std::string error;
    if (!ParseArgs(*command, argc - 2, argv + 2, args, error)) return UsageError(error, command->name);
    // No file has an empty name: the read would run to its end for nothing.
    if (command->operand != nullptr && args.Operand().empty())
        return UsageError(std::string(command->name) + " needs " + command->operand + ", and it is empty",
                          command->name);

    // The arguments stand: from here on the command may start the bus.
    CatchStopSignals();
    Console console(args.Has("--quiet"));
    Session session(*command, args, console, chip);
    const int status = command->run(session);
    console.progress.StepAside();
    std::fflush(stdout);
    return status;
}
