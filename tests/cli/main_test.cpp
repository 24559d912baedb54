// The tool's command line as a whole: help on every subcommand, usage errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/exit_codes.h"
#include "sowfield_version.h"
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
    const ToolResult mistyped = run({"scater", "a.obj"});
    EXPECT_EQ(mistyped.exit_code, exit_usage);
    EXPECT_THAT(mistyped.err, HasSubstr("unknown subcommand \"scater\"; the subcommands are scatter, demo, info, settings"));
}

TEST_F(Main, VersionIsTheBuildsVersion) {
    const ToolResult version = run({"--version"});
    EXPECT_EQ(version.exit_code, exit_ok);
    EXPECT_EQ(version.out, "sowfield " SOWFIELD_VERSION "\n");
}

TEST_F(Main, HelpListsTheExitStatuses) {
    const ToolResult help = run({"--help"});
    EXPECT_EQ(help.exit_code, exit_ok);
    EXPECT_THAT(help.out, HasSubstr("7 refused by the memory guard, 130 interrupted"));
}

}  // namespace
}  // namespace sowfield::cli
