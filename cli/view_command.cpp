// `sowfield view SURFACE OBJECT...`: the plug-in's panel and the result in
// 3D, in the browser. The files are read once; each Run posts the panel in
// the page, and the result replaces the previous one.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/plugin_location.h"
#include "cli/scene_inputs.h"
#include "cli/view/memory_check.h"
#include "cli/view/plugin_run.h"
#include "cli/view/request_guard.h"
#include "cli/view/view_server.h"
#include "cli/view/view_session.h"
#include "cli/view/web_files.h"
#include "host/services/calendar_clock.h"
#include "io/mesh_file.h"

extern char **environ;

namespace sowfield::cli {
namespace {

namespace fs = std::filesystem;

struct ViewOptions {
    SceneInputs scene;
    std::optional<fs::path> output;
    bool clones_only = false;
    uint16_t port = 0;
    bool no_open = false;
    std::optional<fs::path> plugin;
    std::optional<int64_t> clock;
};

constexpr const char *kExamples = R"(
Examples:
  sowfield view ground.obj rock.obj -o rocks.glb
      prints http://127.0.0.1:PORT/?token=... and opens it: set the panel, Run, look, Save
  sowfield view ground.glb tree.glb --select Grass --port 8080 --no-open
)";

int fail(int code, const std::string &message) {
    std::cerr << "sowfield: " << message << "\n";
    return code;
}

// Opens the address in the user's browser when there is a desktop to show
// it on; without one, xdg-open would start a text browser in this terminal.
void open_in_browser(const std::string &address) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) return;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const char *argv[] = {"xdg-open", address.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "xdg-open", &quiet, nullptr, const_cast<char **>(argv), environ) == 0)
        std::thread([child] { waitpid(child, nullptr, 0); }).detach();
    posix_spawn_file_actions_destroy(&quiet);
}

int run_view(const ViewOptions &options) {
    if (options.output) {
        try {
            io::format_for(*options.output);
        } catch (const io::MeshFileError &error) {
            return fail(exit_usage, error.what());
        }
        for (const fs::path &input : options.scene.files())
            if (io::same_file(*options.output, input))
                return fail(exit_bad_input, "the output " + options.output->string() + " is the input " +
                                                input.string() + "; inputs are never overwritten");
    }
    std::optional<view::WebFiles> page;
    try {
        page = view::WebFiles::load(view::web_folder(current_executable()));
    } catch (const view::WebFilesMissing &error) {
        return fail(exit_usage, error.what());
    }

    std::optional<host::PluginLibrary> library;
    view::ViewFiles files{options.scene.surface, options.scene.objects, options.output, options.clones_only};
    try {
        // The plug-in reads the calendar time as its library loads.
        files.clock = options.clock.value_or(host::real_calendar_time());
        host::set_calendar_clock(files.clock);
        library.emplace(host::PluginLibrary::open(locate_plugin(options.plugin, current_executable())));
        library->server(SF_MESH_EDIT_CLASS, "Sowfield");
    } catch (const PluginNotFound &error) {
        return fail(exit_plugin, error.what());
    } catch (const host::LoaderError &error) {
        return fail(exit_plugin, std::string("cannot load the plug-in: ") + error.what());
    }

    host::Scene scene;
    try {
        const SceneRead read = read_scene_inputs(options.scene, scene, true);
        files.read_seconds = read.seconds;
        for (const std::string &warning : read.warnings) std::cerr << "sowfield: warning: " << warning << "\n";
    } catch (const io::MeshFileError &error) {
        return fail(exit_bad_input, error.what());
    } catch (const SceneInputError &error) {
        return fail(exit_usage, error.what());
    }

    const auto refuse_what_does_not_fit = [&scene](const host::PanelSnapshot &accepted) {
        return view::memory_refusal(scene, accepted, available_memory());
    };
    view::ViewSession session(scene, files, view::plugin_run(*library), refuse_what_does_not_fit);
    view::ViewServer server(session, std::move(*page), view::new_access_token());
    try {
        server.bind(options.port);
    } catch (const std::runtime_error &error) {
        return fail(exit_usage, error.what());
    }
    session.start();
    std::thread serving([&server] { server.serve(); });
    std::cout << "sowfield view: " << server.address() << "\n"
              << "(Ctrl-C or the page's Quit ends it)\n"
              << std::flush;
    if (!options.no_open) open_in_browser(server.address());
    session.wait_for_quit();
    // Let the page's last requests (the answer to Quit) go out first.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    server.stop();
    serving.join();
    return exit_ok;
}

}  // namespace

Command add_view_command(CLI::App &app) {
    auto options = std::make_shared<ViewOptions>();
    CLI::App *command = app.add_subcommand(
        "view", "Show the panel and the result in 3D in the browser: set, run, look, save, run again");
    add_scene_inputs(*command, options->scene);
    command->add_option("-o,--output", options->output,
                        "Where Save writes (.obj, .gltf or .glb); other names typed in the page go in its folder")
        ->type_name("FILE");
    command->add_flag("--clones-only", options->clones_only, "Save only what the run added, not the surface");
    command->add_option("--port", options->port, "Port on 127.0.0.1 (default 0: a free one)")->type_name("N");
    command->add_flag("--no-open", options->no_open, "Print the address without opening a browser");
    command->add_option("--plugin", options->plugin,
                        "The plug-in module to load (default: libsowfield.so beside the tool)")
        ->type_name("PATH");
    command->add_option("--clock", options->clock,
                        "The calendar time (seconds since 1970) the plug-in reads as it loads; the same clock "
                        "repeats the first run")
        ->type_name("SECONDS");
    command->footer(kExamples);
    return {command, [options] { return run_view(*options); }};
}

}  // namespace sowfield::cli
