// `sowfield scatter SURFACE OBJECT... -o OUTPUT`: the main job on the user's
// own files. The surface file becomes the foreground layer, each object file
// a background layer, and the plug-in runs over them as the host would.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/run_job.h"
#include "cli/setting_names.h"
#include "cli/stage_caption.h"
#include "cli/weight_maps.h"
#include "host/common/text.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"

namespace sowfield::cli {
namespace {

namespace fs = std::filesystem;

struct ScatterOptions {
    fs::path surface;
    std::vector<fs::path> objects;
    std::vector<std::string> select;
    std::vector<std::string> weight_ranges;  // NAME=LO:HI, in order
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

// The surface names that the layer's polygons use, in order of first use.
std::vector<uint32_t> surfaces_used(const host::Layer &layer) {
    std::vector<uint32_t> used;
    for (uint32_t p = 0; p < layer.polygon_count(); ++p) {
        const uint32_t surface = layer.polygon_surface(p);
        if (std::find(used.begin(), used.end(), surface) == used.end()) used.push_back(surface);
    }
    return used;
}

// Selects the polygons of the named surfaces (all polygons when none are
// named). Returns an error message for a name the layer does not use.
std::string select_polygons(host::Scene &scene, host::Layer &layer, const std::vector<std::string> &names,
                            const fs::path &file) {
    const std::vector<uint32_t> used = surfaces_used(layer);
    std::vector<uint32_t> chosen;
    for (const std::string &name : names) {
        auto match = std::find_if(used.begin(), used.end(), [&](uint32_t s) { return scene.surface_name(s) == name; });
        if (match == used.end())
            match = std::find_if(used.begin(), used.end(),
                                 [&](uint32_t s) { return host::equal_ignoring_case(scene.surface_name(s), name); });
        if (match == used.end()) {
            std::string message = "--select \"" + name + "\": " + file.string() + " has no polygons of that surface; ";
            if (used.empty()) return message + "it has no polygons at all";
            message += "its surfaces are:";
            for (const uint32_t s : used) message += "\n  " + scene.surface_name(s);
            return message;
        }
        chosen.push_back(*match);
    }
    for (uint32_t p = 0; p < layer.polygon_count(); ++p) {
        const bool selected =
            names.empty() || std::find(chosen.begin(), chosen.end(), layer.polygon_surface(p)) != chosen.end();
        const uint32_t flags = layer.polygon_flags(p);
        layer.set_polygon_flags(p, selected ? flags | SF_POLY_SELECTED : flags & ~SF_POLY_SELECTED);
    }
    return {};
}

// Remaps the weight maps named by --weight-range, then ties the answers that
// choose a weight map to the scene's maps. Returns an error message or empty.
std::string adopt_weight_maps(host::Scene &scene, const std::vector<std::string> &weight_ranges,
                              std::vector<host::PanelAnswer> &answers) {
    try {
        for (const std::string &argument : weight_ranges)
            if (std::string error = apply_weight_range(scene, parse_weight_range(argument)); !error.empty())
                return error;
    } catch (const SettingsError &error) {
        return error.what();
    }
    return resolve_weight_map_answers(scene, answers);
}

int run_scatter(const ScatterOptions &options, const CLI::App &command) {
    Job job("scatter", options.run);
    if (!options.run.output && !options.run.no_output && !options.run.show_panel && !options.run.cancel)
        return job.finish(job.fail(exit_usage, "give the output file with -o FILE, or --no-output to run without "
                                               "writing (see sowfield scatter --help)"));
    std::vector<fs::path> inputs{options.surface};
    inputs.insert(inputs.end(), options.objects.begin(), options.objects.end());
    if (const int code = job.check_paths(inputs); code != exit_ok) return job.finish(code);
    std::vector<host::PanelAnswer> answers;
    if (const int code = job.collect_answers(command, answers); code != exit_ok) return job.finish(code);
    if (const int code = job.load_plugin(); code != exit_ok) return job.finish(code);

    host::Scene scene;
    const auto start = std::chrono::steady_clock::now();
    try {
        const bool progress = !options.run.quiet && !options.run.silent;
        StageCaption reading(progress, "Reading " + std::to_string(inputs.size()) + " mesh files");
        scene.foreground = {io::read_mesh_file(options.surface, scene)};
        for (const fs::path &object : options.objects) scene.background.push_back(io::read_mesh_file(object, scene));
        reading.end(true);
    } catch (const io::MeshFileError &error) {
        return job.finish(job.fail(exit_bad_input, error.what()));
    }
    job.summary().read_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (const std::string error = adopt_weight_maps(scene, options.weight_ranges, answers); !error.empty())
        return job.finish(job.fail(exit_usage, error));

    host::Layer &surface = scene.layer(scene.foreground.front());
    if (const std::string error = select_polygons(scene, surface, options.select, options.surface); !error.empty())
        return job.finish(job.fail(exit_usage, error));
    return job.finish(job.run(scene, std::move(answers)));
}

}  // namespace

Command add_scatter_command(CLI::App &app) {
    auto options = std::make_shared<ScatterOptions>();
    CLI::App *command = app.add_subcommand(
        "scatter", "Scatter copies of the object files over the polygons of the surface file and write the result");
    command->add_option("SURFACE", options->surface, "Mesh file to scatter on (.obj, .gltf, .glb)")
        ->required()
        ->type_name("FILE");
    command->add_option("OBJECT", options->objects, "Mesh files copied at every site, all together")
        ->required()
        ->type_name("FILE");
    command->add_option("--select", options->select,
                        "Scatter only on the polygons of this surface (material) of SURFACE; repeatable")
        ->type_name("SURFACE_NAME")
        ->allow_extra_args(false);
    command->add_option("--weight-range", options->weight_ranges,
                        "Map a weight map's values from 0..1 to LO..HI as the files are read (a painted 0..1 mask "
                        "becomes a weight: rockiness=-1:1 keeps clones off the 0s); repeatable")
        ->type_name("NAME=LO:HI")
        ->allow_extra_args(false);
    add_run_options(*command, options->run);
    command->footer(kExamples);
    return {command, [options, command] { return run_scatter(*options, *command); }};
}

}  // namespace sowfield::cli
