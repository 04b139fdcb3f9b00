// SPDX-License-Identifier: MIT
#include "cli/Documents.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/Options.h"
#include "jobs/BadBlocks.h"
#include "jobs/BuildInfo.h"
#include "jobs/Ecc.h"

namespace {

// Every option of every command, once, in the order the commands' help
// first lists them.
std::vector<const OptionSpec*> AllOptions() {
    std::vector<const OptionSpec*> all;
    std::set<std::string> seen;
    for (size_t i = 0; i < COMMAND_COUNT; ++i)
        for (const OptionSpec* option : OptionsOf(*COMMANDS[i]))
            if (seen.insert(option->name).second) all.push_back(option);
    return all;
}

bool TakesFile(const char* valueName) { return valueName != nullptr && std::strstr(valueName, "FILE") != nullptr; }

// The words an option's value is one of, where it is one of a few; empty
// for a number, a file or free text.
std::vector<std::string> ValueWords(const OptionSpec& option) {
    std::vector<std::string> words;
    if (std::strcmp(option.name, "--bad") == 0) {
        // Each job's own modes; the shell offers them all, and the command
        // refuses a mode it does not take, with its list.
        std::set<std::string> seen;
        for (const BadBlockJob job : {BadBlockJob::Read, BadBlockJob::Write, BadBlockJob::Verify}) {
            std::istringstream names(BadBlockModeNames(job));
            std::string word;
            while (names >> word) {
                while (!word.empty() && word.back() == ',') word.pop_back();
                if (word != "or" && seen.insert(word).second) words.push_back(word);
            }
        }
    } else if (std::strcmp(option.name, "--ecc") == 0) {
        for (const EccScheme& scheme : BuiltInEccSchemes()) words.push_back(scheme.name);
    } else if (std::strcmp(option.name, "--ce") == 0) {
        words = {"0", "1", "2", "3", "all"};
    }
    return words;
}

std::string Join(const std::vector<std::string>& words, const char* between = " ") {
    std::string line;
    for (const std::string& word : words) line += (line.empty() ? "" : between) + word;
    return line;
}

// Text for roff: a backslash printed as such, a dash that begins a word (an
// option's) as a minus sign that copies and searches as one, and a line
// that would read as a request kept as text.
std::string Roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    char before = ' ';
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-' && (before == '-' || !std::isalnum(static_cast<unsigned char>(before)))) {
            out += "\\-";
        } else {
            out += c;
        }
        lineStart = c == '\n';
        before = c;
    }
    return out;
}

// Help text, lines ending in "\n", as roff paragraphs: an empty line starts
// a new one; an indented line keeps its own line.
std::string RoffParagraphs(const char* text) {
    std::string out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty()) {
            out += ".PP\n";
        } else if (line[0] == ' ') {
            out += ".br\n" + Roff(line) + "\n";
        } else {
            out += Roff(line) + "\n";
        }
    }
    return out;
}

// "--page N" as bold name and italic value.
std::string RoffOption(const OptionSpec& option) {
    std::string out = std::string("\\fB") + Roff(option.name) + "\\fR";
    if (option.valueName != nullptr) out += std::string(" \\fI") + Roff(option.valueName) + "\\fR";
    return out;
}

// The exit status table of the help ("  0    all done, ...", continued on
// lines indented further) as tagged paragraphs.
std::string RoffExitStatus() {
    std::string out;
    std::istringstream lines(EXIT_STATUS_HELP);
    std::string line;
    std::getline(lines, line);  // its heading
    while (std::getline(lines, line)) {
        size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        const bool continued = start > 2;
        size_t text = start;
        if (!continued) {
            const size_t end = line.find(' ', start);
            out += ".TP\n.B " + line.substr(start, end - start) + "\n";
            text = line.find_first_not_of(' ', end);
        }
        out += Roff(line.substr(text)) + "\n";
    }
    return out;
}

std::string CommandsOf(const OptionSpec& option) {
    std::string names;
    for (size_t i = 0; i < COMMAND_COUNT; ++i)
        for (const OptionSpec* taken : OptionsOf(*COMMANDS[i]))
            if (std::strcmp(taken->name, option.name) == 0) {
                names += (names.empty() ? "" : ", ") + std::string(COMMANDS[i]->name);
                break;
            }
    return names;
}

}  // namespace

void PrintManualPage(const char* date) {
    std::string page;
    page += ".\\\" Made by ferrik-cli --generate manual-page from its command and option\n"
            ".\\\" tables: edit those, not this page.\n";
    page += std::string(".TH FERRIK-CLI 1 \"") + date + "\" \"ferrik " + FERRIK_RELEASE + "\" \"User Commands\"\n";
    page += ".SH NAME\n"
            "ferrik-cli \\- read, erase, program and verify raw NAND flash chips on the GPIO header\n"
            ".SH SYNOPSIS\n";
    for (size_t i = 0; i < COMMAND_COUNT; ++i) {
        const Command& command = *COMMANDS[i];
        page += ".B ferrik-cli " + Roff(command.name) + "\n";
        std::string rest;
        if (command.operand != nullptr) rest += std::string(" \\fI") + Roff(command.operand) + "\\fR";
        if (!OptionsOf(command).empty()) rest += " [\\fIOPTION\\fR...]";
        if (!rest.empty()) page += rest.substr(1) + "\n";
        page += ".br\n";
    }
    page += ".B ferrik-cli help\n[\\fICOMMAND\\fR]\n.br\n"
            ".B ferrik-cli \\fICOMMAND\\fR \\-\\-help\n.br\n"
            ".B ferrik-cli \\-\\-version\n";
    page += ".SH DESCRIPTION\n" + RoffParagraphs(HELP_ABOUT);
    page += ".PP\n" + RoffParagraphs(HELP_GEOMETRY);
    page += ".SH COMMANDS\n";
    for (size_t i = 0; i < COMMAND_COUNT; ++i) {
        const Command& command = *COMMANDS[i];
        page += ".SS " + Roff(command.name);
        if (command.operand != nullptr) page += " " + Roff(command.operand);
        page += "\n" + Roff(command.summary) + ".\n.PP\n" + RoffParagraphs(command.description);
        const std::vector<const OptionSpec*> options = OptionsOf(command);
        if (!options.empty()) {
            page += ".PP\nOptions:";
            for (size_t k = 0; k < options.size(); ++k)
                page += std::string(k == 0 ? " " : ", ") + "\\fB" + Roff(options[k]->name) + "\\fR";
            page += ".\n";
        }
    }
    page += ".SH OPTIONS\n";
    for (const OptionSpec* option : AllOptions()) {
        page += ".TP\n" + RoffOption(*option) + "\n" + Roff(option->help) + ".\n";
        const std::vector<std::string> words = ValueWords(*option);
        if (!words.empty()) page += "\\fI" + Roff(option->valueName) + "\\fR: " + Roff(Join(words, ", ")) + ".\n";
        page += ".br\nTaken by " + CommandsOf(*option) + ".\n";
    }
    page += ".TP\n\\fB\\-\\-help\\fR\nthis command's help (every command).\n";
    page += ".SH EXIT STATUS\n" + RoffExitStatus();
    page += ".SH FILES\n"
            ".TP\n.I ./ICs/<maker>/<ID string>\n"
            "the chip files of the working folder: searched first, and written by\n"
            "\\fBdetect \\-\\-save\\fR.\n"
            ".TP\n.I /usr/share/ferrik/ICs\n"
            "the installed chip database.\n"
            ".SH SEE ALSO\n"
            ".BR ferrik (1),\n"
            ".BR ferrik\\-launch (1)\n";
    std::fputs(page.c_str(), stdout);
}

void PrintBashCompletion() {
    // A family's commands ("image ecc") offer their first word, then the
    // second words once it is given.
    std::string commandNames;
    std::string families;
    for (size_t i = 0; i < COMMAND_COUNT; ++i) {
        const std::string name = COMMANDS[i]->name;
        const std::string first = name.substr(0, name.find(' '));
        if (name != first && (" " + commandNames + " ").find(" " + first + " ") != std::string::npos) continue;
        commandNames += (commandNames.empty() ? "" : " ") + first;
        if (name != first)
            families += "    if ((COMP_CWORD == 2)) && [[ ${COMP_WORDS[1]} == " + first +
                        " ]]; then\n        mapfile -t COMPREPLY < <(compgen -W \"" + FamilyWords(first, " ") +
                        "\" -- \"$cur\")\n        return\n    fi\n";
    }

    std::string script =
        "# bash completion for ferrik-cli. Made by ferrik-cli --generate\n"
        "# bash-completion from its command and option tables: edit those.\n"
        "\n"
        "_ferrik_cli()\n"
        "{\n"
        "    local cur=${COMP_WORDS[COMP_CWORD]} prev=\"\" options=\"\" operand=0\n"
        "    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
        "    # With = among the word breaks (the default) --bad=sk arrives as\n"
        "    # \"--bad\" \"=\" \"sk\".\n"
        "    if [[ $cur == = ]]; then\n"
        "        cur=\"\"\n"
        "    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
        "        prev=${COMP_WORDS[COMP_CWORD - 2]}\n"
        "    fi\n"
        "    COMPREPLY=()\n"
        "    if ((COMP_CWORD == 1)); then\n"
        "        mapfile -t COMPREPLY < <(compgen -W \"" +
        commandNames +
        " help --help --version\" -- \"$cur\")\n"
        "        return\n"
        "    fi\n"
        "    if [[ ${COMP_WORDS[1]} == help ]]; then\n"
        "        ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W \"" +
        commandNames +
        "\" -- \"$cur\")\n"
        "        return\n"
        "    fi\n" +
        families + "    case $prev in\n";
    std::vector<std::string> files, numbers, texts;
    for (const OptionSpec* option : AllOptions()) {
        const std::vector<std::string> words = ValueWords(*option);
        if (option->kind == OptionKind::Flag) continue;
        if (!words.empty()) {
            script += std::string("        ") + option->name + ")\n            mapfile -t COMPREPLY < <(compgen -W \"" +
                      Join(words) + "\" -- \"$cur\")\n            return ;;\n";
        } else if (option->kind == OptionKind::Text && TakesFile(option->valueName)) {
            files.push_back(option->name);
        } else {
            numbers.push_back(option->name);  // a number or free text: nothing to offer
        }
    }
    if (!files.empty()) {
        std::string names;
        for (const std::string& name : files) names += (names.empty() ? "" : "|") + name;
        script += "        " + names +
                  ")\n"
                  "            compopt -o filenames 2>/dev/null\n"
                  "            mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
                  "            return ;;\n";
    }
    if (!numbers.empty()) {
        std::string names;
        for (const std::string& name : numbers) names += (names.empty() ? "" : "|") + name;
        script += "        " + names + ")\n            return ;;\n";
    }
    script +=
        "    esac\n"
        "    case \"${COMP_WORDS[1]} ${COMP_WORDS[2]-}\" in\n";
    for (size_t i = 0; i < COMMAND_COUNT; ++i) {
        const Command& command = *COMMANDS[i];
        std::string names;
        for (const OptionSpec* option : OptionsOf(command)) names += std::string(option->name) + " ";
        script += std::string("        \"") + command.name + (std::strchr(command.name, ' ') ? "\"" : " \"*") +
                  ")\n            options=\"" + names +
                  "--help\"\n            operand=" + (command.operand != nullptr ? "1" : "0") + " ;;\n";
    }
    script +=
        "        *) return ;;\n"
        "    esac\n"
        "    if [[ $cur == -* ]]; then\n"
        "        mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n"
        "    elif ((operand)); then\n"
        "        compopt -o filenames 2>/dev/null\n"
        "        mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
        "    fi\n"
        "}\n"
        "complete -F _ferrik_cli ferrik-cli\n";
    std::fputs(script.c_str(), stdout);
}
