// The tool's command line as a whole: help on every subcommand, usage errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/exit_codes.h"
#include "tests/cli/tool_runner.h"

namespace sowfield::cli {
namespace {

using ::testing::HasSubstr;
using testing::ToolResult;

class Main : public testing::ToolTest {};

TEST_F(Main, EveryCommandHasHelpWithExamples) {
    for (const char *command : {"scatter", "demo", "info", "settings"}) {
        const ToolResult help = run({command, "--help"});
        EXPECT_EQ(help.exit_code, exit_ok) << command;
        EXPECT_THAT(help.out, HasSubstr("Examples:")) << command;
        EXPECT_THAT(help.out, HasSubstr(std::string("sowfield ") + command)) << command;
    }
    EXPECT_EQ(run({}).exit_code, exit_usage);
    EXPECT_EQ(run({"scatter", "--frobnicate"}).exit_code, exit_usage);
}

TEST_F(Main, HelpListsTheExitStatuses) {
    const ToolResult help = run({"--help"});
    EXPECT_EQ(help.exit_code, exit_ok);
    EXPECT_THAT(help.out, HasSubstr("7 refused by the memory guard, 130 interrupted"));
}

}  // namespace
}  // namespace sowfield::cli
