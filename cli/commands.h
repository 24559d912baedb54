// The tool's subcommands. Each adds itself to the application and returns
// how to run it once the command line has been parsed.
#pragma once

#include <functional>

#include <CLI/CLI.hpp>

namespace sowfield::cli {

struct Command {
    CLI::App *app = nullptr;
    std::function<int()> run;  // the exit status (cli/exit_codes.h)
};

Command add_scatter_command(CLI::App &app);
Command add_demo_command(CLI::App &app);
Command add_info_command(CLI::App &app);
Command add_settings_command(CLI::App &app);
Command add_view_command(CLI::App &app);
// Needs the whole application, which must outlive the returned command.
Command add_completion_command(CLI::App &app);

}  // namespace sowfield::cli
