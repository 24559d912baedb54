// `sowfield demo`: the main job with nothing to prepare. Scatters the
// built-in scene (cli/demo_scene.h) and writes the result.
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/demo_scene.h"
#include "cli/exit_codes.h"
#include "cli/run_job.h"

namespace sowfield::cli {
namespace {

constexpr const char *kDefaultOutput = "sowfield-demo.glb";

constexpr const char *kExamples = R"(
Examples:
  sowfield demo
      200 trees over hilly ground, written to sowfield-demo.glb
  sowfield demo -o wood.obj --set clone_count=1000 --set density_weightmap=meadow
      1000 trees, denser in the valleys, as OBJ
  sowfield demo --show-panel
      the panel the demo runs with
)";

int run_demo(RunOptions options, const CLI::App &command) {
    if (!options.output && !options.no_output) options.output = kDefaultOutput;
    Job job("demo", options);
    if (const int code = job.check_paths({}); code != exit_ok) return job.finish(code);
    // The demo's own clone count comes first, so the user's settings override it.
    std::vector<host::PanelAnswer> answers{host::PanelAnswer::set("Number of Clones", std::to_string(kDemoClones))};
    if (const int code = job.collect_answers(command, answers); code != exit_ok) return job.finish(code);
    if (const int code = job.load_plugin(); code != exit_ok) return job.finish(code);
    host::Scene scene;
    build_demo_scene(scene);
    return job.finish(job.run(scene, std::move(answers)));
}

}  // namespace

Command add_demo_command(CLI::App &app) {
    auto options = std::make_shared<RunOptions>();
    CLI::App *command = app.add_subcommand(
        "demo", "Scatter " + std::to_string(kDemoClones) +
                    " small trees over a built-in hilly terrain and write the result; needs no file");
    add_run_options(*command, *options, kDefaultOutput);
    command->footer(kExamples);
    return {command, [options, command] { return run_demo(*options, *command); }};
}

}  // namespace sowfield::cli
