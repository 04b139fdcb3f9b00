// The option table of ferrik-cli: what the parser, the help and the generated
// manual pages all read.
#ifdef FERRIK_CLI
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cli/Commands.h"
#include "cli/Options.h"

TEST(CliOptions, EveryNameIsUniqueAndEveryCommandTakesEachOfItsOptionsOnce) {
    // Option and group names share one name space: a command's list names both.
    std::set<std::string> names;
    for (size_t i = 0; i < OPTION_COUNT; ++i)
        EXPECT_TRUE(names.insert(OPTIONS[i].name).second) << OPTIONS[i].name << " twice in the table";
    for (size_t i = 0; i < OPTION_GROUP_COUNT; ++i) {
        const OptionGroup& group = OPTION_GROUPS[i];
        EXPECT_NE(group.name[0], '-') << group.name;
        EXPECT_TRUE(names.insert(group.name).second) << group.name << " twice";
        for (const char* const* member = group.options; *member != nullptr; ++member)
            EXPECT_NE(FindOption(*member), nullptr) << *member << " of group " << group.name;
    }

    std::set<const OptionSpec*> takenByAny;
    for (size_t c = 0; c < COMMAND_COUNT; ++c) {
        const Command& command = *COMMANDS[c];
        size_t named = 0;
        for (const char* const* name = command.options; *name != nullptr; ++name) {
            EXPECT_TRUE(FindOption(*name) != nullptr || FindOptionGroup(*name) != nullptr)
                << command.name << " names " << *name << ", neither an option nor a group";
            const OptionGroup* group = FindOptionGroup(*name);
            for (const char* const* m = group ? group->options : nullptr; m != nullptr && *m != nullptr; ++m) ++named;
            if (group == nullptr) ++named;
        }
        std::set<const OptionSpec*> taken;
        for (const OptionSpec* option : OptionsOf(command)) {
            EXPECT_TRUE(taken.insert(option).second) << command.name << " takes " << option->name << " twice";
            takenByAny.insert(option);
        }
        EXPECT_EQ(taken.size(), named) << command.name;
    }
    EXPECT_EQ(takenByAny.size(), OPTION_COUNT) << "an option no command takes";
}
#endif
