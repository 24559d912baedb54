// `sowfield completion`: prints the bash completion script, for systems where
// the tool was not installed from the package (which installs the script).
#include <iostream>

#include "cli/bash_completion.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace sowfield::cli {
namespace {

constexpr const char *kExamples = R"(
Examples:
  source <(sowfield completion)
      complete sowfield's subcommands, options and files in this shell
  sowfield completion > ~/.local/share/bash-completion/completions/sowfield
      in every new shell (with Debian's bash-completion package)
)";

}  // namespace

Command add_completion_command(CLI::App &app) {
    CLI::App *command = app.add_subcommand("completion", "Print a bash completion script for this tool's commands and options");
    command->footer(kExamples);
    const CLI::App *root = &app;
    return {command, [root] {
                std::cout << bash_completion(*root);
                return exit_ok;
            }};
}

}  // namespace sowfield::cli
