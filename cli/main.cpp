// The sowfield tool: runs the Sowfield plug-in through the project's own host
// over ordinary mesh files. One subcommand per job; see `sowfield --help`.
#include <exception>
#include <iostream>
#include <new>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupts.h"
#include "io/input_files.h"
#include "sowfield_version.h"

namespace {

// The first word that is not an option names the subcommand (the tool
// itself takes no other words); the message when it names none.
std::string unknown_subcommand(int argc, char **argv, const std::vector<sowfield::cli::Command> &commands) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word.starts_with("-")) continue;
        std::string names;
        for (const sowfield::cli::Command &command : commands) {
            if (command.app->check_name(std::string(word))) return {};
            names += (names.empty() ? "" : ", ") + command.app->get_name();
        }
        return "unknown subcommand \"" + std::string(word) + "\"; the subcommands are " + names +
               " (see sowfield --help)";
    }
    return {};
}

}  // namespace

int main(int argc, char **argv) {
    using namespace sowfield::cli;
    // First of all, so an interrupt at any moment ends the tool cleanly.
    install_interrupt_handlers();
    // No file this run reads (an input's material library, say) is replaced
    // by one the run writes beside its output.
    sowfield::io::keep_input_files_unchanged();

    CLI::App app("sowfield: scatter randomised copies of objects over the polygons of a surface");
    app.require_subcommand(1, 1);
    app.set_version_flag("--version", std::string("sowfield ") + SOWFIELD_VERSION, "Print the version and exit");
    app.footer(R"(
Examples:
  sowfield demo                                          200 trees on hills -> sowfield-demo.glb
  sowfield scatter ground.obj rock.obj -o rocks.glb      30 rocks over ground.obj
  sowfield settings                                      every setting and its default
  sowfield info rocks.glb                                what a mesh file holds
  sowfield view ground.obj rock.obj -o rocks.glb         the panel and the result in 3D, in the browser

Exit status: 0 ok, 2 usage, 3 bad input file, 4 plug-in not loadable, 5 run refused or
cancelled, 6 write failed, 7 refused by the memory guard, 130 interrupted.)");
    const std::vector<Command> commands{add_scatter_command(app), add_demo_command(app), add_info_command(app),
                                        add_settings_command(app), add_completion_command(app),
                                        add_view_command(app)};
    if (const std::string unknown = unknown_subcommand(argc, argv, commands); !unknown.empty()) {
        std::cerr << "sowfield: " << unknown << "\n";
        return exit_usage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        const int code = app.exit(error);
        return code == 0 ? exit_ok : exit_usage;
    }

    try {
        for (const Command &command : commands)
            if (command.app->parsed()) return command.run();
    } catch (const std::bad_alloc &) {
        std::cerr << "sowfield: out of memory\n";
        return exit_memory;
    } catch (const std::exception &error) {
        std::cerr << "sowfield: internal error: " << error.what() << "\n";
        return 1;
    }
    return exit_usage;
}
