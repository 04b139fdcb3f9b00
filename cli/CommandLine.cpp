#include "cli/CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Documents.h"
#include "cli/ExitStatus.h"
#include "cli/Options.h"
#include "cli/Report.h"
#include "cli/Session.h"
#include "cli/Stop.h"
#include "jobs/BuildInfo.h"

// The help's prose, shared with the manual page.
const char HELP_ABOUT[] =
    "Reads, erases, blank-checks, programs and verifies the raw NAND flash chip\n"
    "on CE0 of the Raspberry Pi's GPIO header, as the Ferrik window does, and\n"
    "reports in the window's words on standard output. With --json a chip\n"
    "command prints its result there as one JSON object instead, and the log\n"
    "goes to standard error; docs/json.md in the source tells its keys.\n";
const char HELP_GEOMETRY[] =
    "Geometry: by default the values of the chip file named by the ID of the\n"
    "chip on CE0, found in ./ICs/<maker>/ or else in the installed chip\n"
    "database, as the window's Detect loads them; without a chip file, those of\n"
    "the chip's own parameter page (ONFI or JEDEC), and the first line says so.\n"
    "--page, --spare, --row-max and --pages-per-block override them one by one;\n"
    "--chip FILE takes another chip file. `detect --save` writes the chip file\n"
    "from the parameter page. A value given that disagrees with the chip file\n"
    "or the parameter page is refused by erase, write and program (one line\n"
    "each, status 2) unless --force-geometry is given; the other commands, and\n"
    "a disagreement with the ID bytes' decoding (a guess), get a warning line.\n"
    "Pages per block are 1 to 65535. Ranges: --first-block B and --blocks N\n"
    "work on those blocks only; record 0 of the file is then the first page of\n"
    "block B. A file with records past the range fails write, verify and\n"
    "program (status 1), as does verify --bad=skip with records not compared.\n"
    "A --map has one square a block of the range, up to 65536 squares; a\n"
    "longer range has one square for each group of blocks.\n"
    "The image commands work on files alone: they take the geometry from\n"
    "--chip FILE or --page and --spare, and never touch the bus.\n"
    "\n"
    "Before its first page command every chip command checks the data lines\n"
    "(every chip deselected) and the chip's ID, and refuses (status 4) a stuck\n"
    "or shorted data line, an ID of five bytes alike or one that is not the\n"
    "--chip file's: `ferrik-cli check` then looks at each line of the wiring.\n"
    "\n"
    "A progress bar shows on standard error when it is a terminal (not with\n"
    "--quiet). Ctrl-C, SIGTERM or another signal that would end the program\n"
    "stops the job after the page or block in hand. One process drives the bus\n"
    "at a time: a second ferrik-cli, or one beside the window, is refused.\n";

std::string Usage(const Command& command) {
    std::string usage = std::string("ferrik-cli ") + command.name;
    if (command.operand != nullptr) usage += std::string(" ") + command.operand;
    if (!OptionsOf(command).empty()) usage += " [OPTION...]";
    return usage;
}

namespace {

const char PROGRAM[] = "ferrik-cli";

void PrintHelp() {
    std::printf(
        "Usage: %s COMMAND [FILE] [OPTION...]\n"
        "       %s help [COMMAND]   or   %s COMMAND --help\n"
        "       %s --version\n"
        "\n%s\n"
        "Commands:\n",
        PROGRAM, PROGRAM, PROGRAM, PROGRAM, HELP_ABOUT);
    std::vector<std::string> lefts(COMMAND_COUNT);
    int width = 14;
    for (size_t i = 0; i < COMMAND_COUNT; ++i) {
        const Command* command = COMMANDS[i];
        lefts[i] = command->name;
        if (command->operand != nullptr) lefts[i] += std::string(" ") + command->operand;
        width = std::max(width, static_cast<int>(lefts[i].size()) + 1);
    }
    for (size_t i = 0; i < COMMAND_COUNT; ++i) std::printf("  %-*s %s\n", width, lefts[i].c_str(), COMMANDS[i]->summary);
    std::printf("\n%s\n%s", HELP_GEOMETRY, EXIT_STATUS_HELP);
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

// A first word that only begins commands ("image") says which follow it.
int UnknownCommand(const std::string& name) {
    const std::string family = FamilyWords(name);
    if (!family.empty()) return UsageError(name + " needs a command after it: " + family, nullptr);
    return UsageError("unknown command \"" + name + "\"", nullptr);
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
        std::printf("%s\n", VersionLine(PROGRAM).c_str());
        return EXIT_DONE;
    }
    // Not in the help: the build makes the manual page and the shell
    // completion with it, from the tables the program itself runs on.
    if (first == "--generate" && argc == 3 && std::strcmp(argv[2], "bash-completion") == 0) {
        PrintBashCompletion();
        return EXIT_DONE;
    }
    if (first == "--generate" && argc == 4 && std::strcmp(argv[2], "manual-page") == 0) {
        PrintManualPage(argv[3]);
        return EXIT_DONE;
    }
    if (first == "--help" || first == "-h" || first == "help") {
        if (argc < 3) {
            PrintHelp();
            return EXIT_DONE;
        }
        int words = 1;
        const Command* command = FindCommand(argc - 2, argv + 2, words);
        if (command == nullptr) return UnknownCommand(argv[2]);
        if (argc > 2 + words) return UsageError(std::string("unexpected \"") + argv[2 + words] + "\"", nullptr);
        PrintCommandHelp(*command);
        return EXIT_DONE;
    }
    int words = 1;
    const Command* command = FindCommand(argc - 1, argv + 1, words);
    if (command == nullptr) return UnknownCommand(first);
    if (AsksForHelp(argc - 1 - words, argv + 1 + words)) {
        PrintCommandHelp(*command);
        return EXIT_DONE;
    }
    Args args;
    std::string error;
    if (!ParseArgs(*command, argc - 1 - words, argv + 1 + words, args, error)) return UsageError(error, command->name);
    // No file has an empty name: the read would run to its end for nothing.
    for (const std::string& operand : args.Operands())
        if (operand.empty())
            return UsageError(std::string(command->name) + " needs " + command->operand +
                                  (args.Operands().size() > 1 ? ", and one of them is empty" : ", and it is empty"),
                              command->name);

    // The arguments stand: from here on the command may start the bus.
    CatchStopSignals();
    // With --json standard output carries the result object alone, printed
    // on every way out of the command, failures included.
    const bool json = args.Has("--json");
    Console console(args.Has("--quiet"), json);
    Session session(*command, args, console, chip);
    const int status = command->run(session);
    console.progress.StepAside();
    if (json && !command->ownJson) {
        const ChipPlan* plan = session.plan ? &*session.plan : nullptr;
        std::fflush(stderr);
        std::fputs(ResultJson({command->name, status, plan, plan ? &plan->chipName : nullptr, session.Result(),
                               session.reportMembers})
                       .c_str(),
                   stdout);
    }
    std::fflush(stdout);
    return status;
}
