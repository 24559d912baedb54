// The sowfield tool: runs the Sowfield plug-in through the project's own host
// over ordinary mesh files. One subcommand per job; see `sowfield --help`.
#include <exception>
#include <iostream>
#include <new>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupts.h"

int main(int argc, char **argv) {
    using namespace sowfield::cli;
    // First of all, so an interrupt at any moment ends the tool cleanly.
    install_interrupt_handlers();

    CLI::App app("sowfield: scatter randomised copies of objects over the polygons of a surface");
    app.require_subcommand(1, 1);
    app.footer(R"(
Examples:
  sowfield demo                                          200 trees on hills -> sowfield-demo.glb
  sowfield scatter ground.obj rock.obj -o rocks.glb      30 rocks over ground.obj
  sowfield settings                                      every setting and its default
  sowfield info rocks.glb                                what a mesh file holds

Exit status: 0 ok, 2 usage, 3 bad input file, 4 plug-in not loadable, 5 run refused or
cancelled, 6 write failed, 7 refused by the memory guard, 130 interrupted.)");
    const std::vector<Command> commands{add_scatter_command(app), add_demo_command(app), add_info_command(app),
                                        add_settings_command(app), add_completion_command(app)};
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
