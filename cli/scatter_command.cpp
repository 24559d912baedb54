// `sowfield scatter SURFACE OBJECT... -o OUTPUT`: the main job on the user's
// own files. The surface file becomes the foreground layer, each object file
// a background layer, and the plug-in runs over them as the host would.
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/run_job.h"
#include "cli/scene_inputs.h"
#include "cli/weight_maps.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"

namespace sowfield::cli {
namespace {

struct ScatterOptions {
    SceneInputs scene;
    RunOptions run;
};

constexpr const char *kExamples = R"(
Examples:
  sowfield scatter ground.obj rock.obj -o rocks.glb
      30 rocks (the default count) over every polygon of ground.obj
  sowfield scatter ground.glb tree.glb bush.glb -o wood.glb --set clone_count=500 --set "Size Variations=40%"
      both objects copied at each of 500 sites, sizes varying by 40 %
  sowfield scatter ground.obj tree.obj -o trees.obj --select Grass --set p_align_normals=off --clones-only
      upright trees on the polygons of surface "Grass" only; the output holds just the trees
  sowfield scatter ground.obj tree.obj --show-panel --set independent_sizes=on --press "Zero Angles"
      print the panel those settings give, without running
  sowfield scatter ground.obj tree.obj -o out.glb --settings mine.json --save-settings next.json --json
)";

int run_scatter(const ScatterOptions &options, const CLI::App &command) {
    Job job("scatter", options.run);
    if (!options.run.output && !options.run.no_output && !options.run.show_panel && !options.run.cancel)
        return job.finish(job.fail(exit_usage, "give the output file with -o FILE, or --no-output to run without "
                                               "writing (see sowfield scatter --help)"));
    if (const int code = job.check_paths(options.scene.files()); code != exit_ok) return job.finish(code);
    std::vector<host::PanelAnswer> answers;
    if (const int code = job.collect_answers(command, answers); code != exit_ok) return job.finish(code);
    if (const int code = job.load_plugin(); code != exit_ok) return job.finish(code);

    host::Scene scene;
    try {
        const SceneRead read = read_scene_inputs(options.scene, scene, !options.run.quiet && !options.run.silent);
        job.summary().read_seconds = read.seconds;
        job.warn(read.warnings);
    } catch (const io::MeshFileError &error) {
        return job.finish(job.fail(exit_bad_input, error.what()));
    } catch (const SceneInputError &error) {
        return job.finish(job.fail(exit_usage, error.what()));
    }
    // Answers that choose a weight map name one of the scene's maps.
    if (const std::string error = resolve_weight_map_answers(scene, answers); !error.empty())
        return job.finish(job.fail(exit_usage, error));
    return job.finish(job.run(scene, std::move(answers)));
}

}  // namespace

Command add_scatter_command(CLI::App &app) {
    auto options = std::make_shared<ScatterOptions>();
    CLI::App *command = app.add_subcommand(
        "scatter", "Scatter copies of the object files over the polygons of the surface file and write the result");
    add_scene_inputs(*command, options->scene);
    add_run_options(*command, options->run);
    command->footer(kExamples);
    return {command, [options, command] { return run_scatter(*options, *command); }};
}

}  // namespace sowfield::cli
