// SPDX-License-Identifier: MIT
// What the build makes of ferrik-cli for a shell and a reader: the bash
// completion, sourced into a real bash and asked as bash asks it, and the
// version line of both programs.
#if defined(FERRIK_CLI) && defined(FERRIK_COMPLETION)
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/Process.h"

using namespace ferrik_test;

namespace {

// What the completion offers for a command line cut at its last word, the
// words split as bash splits them by default ('=' a word of its own).
std::string Complete(const std::vector<std::string>& words, const std::string& cwd) {
    std::string array;
    for (const std::string& word : words) array += " '" + word + "'";
    const std::string script = std::string("source '") + FERRIK_COMPLETION +
                               "' && COMP_WORDS=(" + array + ") && COMP_CWORD=" +
                               std::to_string(words.size() - 1) +
                               " && _ferrik_cli && for w in \"${COMPREPLY[@]}\"; do echo \"$w\"; done | sort | tr '\\n' ' '";
    const Exited run = RunProgram({"/bin/bash", "--norc", "-c", script}, {}, 20, cwd);
    EXPECT_EQ(run.status, 0) << run.output;
    return run.output;
}

// The options `ferrik-cli COMMAND --help` lists, sorted, one blank after each.
std::string HelpOptions(const std::string& command) {
    const Exited help = RunProgram({FERRIK_CLI, command, "--help"}, {}, 20);
    std::istringstream lines(help.output);
    std::vector<std::string> options;
    std::string line;
    const std::regex option("^  (--[a-z-]+)");
    std::smatch found;
    while (std::getline(lines, line))
        if (std::regex_search(line, found, option)) options.push_back(found[1]);
    std::sort(options.begin(), options.end());
    std::string listed;
    for (const std::string& name : options) listed += name + " ";
    return listed;
}

std::vector<std::string> Commands() {
    const Exited help = RunProgram({FERRIK_CLI, "--help"}, {}, 20);
    std::istringstream lines(help.output.substr(help.output.find("Commands:\n") + 10));
    std::vector<std::string> commands;
    std::string line;
    while (std::getline(lines, line) && line.rfind("  ", 0) == 0) commands.push_back(line.substr(2, line.find(' ', 2) - 2));
    return commands;
}

TEST(CliShell, theCompletionOffersEveryCommandAndExactlyTheOptionsEachCommandsHelpLists) {
    const std::vector<std::string> commands = Commands();
    ASSERT_GE(commands.size(), 9u);
    for (const std::string& command : commands)
        EXPECT_EQ(Complete({"ferrik-cli", command, "--"}, "/"), HelpOptions(command)) << command;
    const std::string offered = Complete({"ferrik-cli", ""}, "/");
    for (const std::string& command : commands) EXPECT_NE(offered.find(command + " "), std::string::npos) << command;
}

TEST(CliShell, theCompletionOffersModesFileNamesAndNothingForANumber) {
    TempDir dir;
    std::ofstream(dir.File("dump.bin")) << "x";
    std::ofstream(dir.File("dump.svg")) << "x";
    struct Case {
        std::vector<std::string> words;
        std::string offered;
    } cases[] = {
        {{"ferrik-cli", "pro"}, "program "},
        {{"ferrik-cli", "help", "ve"}, "verify "},
        {{"ferrik-cli", "read", "dump.bin", "--bad", ""}, "keep pad raw skip "},
        {{"ferrik-cli", "verify", "dump.bin", "--bad", "=", "s"}, "skip "},
        {{"ferrik-cli", "scan", "--ce", ""}, "0 1 2 3 all "},
        {{"ferrik-cli", "read", "du"}, "dump.bin dump.svg "},
        {{"ferrik-cli", "erase", "--map", "dump.s"}, "dump.svg "},
        {{"ferrik-cli", "read", "dump.bin", "--page", ""}, ""},
        // erase takes no FILE: a word that is no option gets nothing.
        {{"ferrik-cli", "erase", "du"}, ""},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& word : c.words) line += word + " ";
        EXPECT_EQ(Complete(c.words, dir.Path()), c.offered) << line;
    }
}

TEST(CliShell, bothProgramsNameTheirVersionAndBuild) {
    const Exited cli = RunProgram({FERRIK_CLI, "--version"}, {}, 20);
    EXPECT_EQ(cli.status, 0);
    const std::regex line("ferrik-cli 0\\.[0-9]+\\.[0-9]+ \\(simulated build(, source [0-9a-f]{12}(-modified)?)?\\)\n");
    EXPECT_TRUE(std::regex_match(cli.output, line)) << cli.output;
    // The window program answers before the toolkit starts: no display.
    const Exited window = RunProgram({FERRIK_BINARY, "--version"}, {{"DISPLAY", nullptr}}, 20);
    EXPECT_EQ(window.status, 0);
    EXPECT_EQ(window.output, "ferrik" + cli.output.substr(std::string("ferrik-cli").size()));
}

}  // namespace
#endif
