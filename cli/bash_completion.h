// A bash completion script for the tool, written from its own command-line
// definition: the subcommands, each one's options, and what an option's value
// is (a file, a JSON file, a setting, a button, one of a fixed set of words),
// so completion never offers an option the tool does not have.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace sowfield::cli {

// The script for the application `root` (the whole tool), defining the
// function _sowfield and registering it for the command `sowfield`.
std::string bash_completion(const CLI::App &root);

}  // namespace sowfield::cli
