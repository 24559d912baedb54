#include "cli/scene_inputs.h"

#include <algorithm>
#include <chrono>

#include "cli/setting_names.h"
#include "cli/stage_caption.h"
#include "cli/weight_maps.h"
#include "host/common/text.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"

namespace sowfield::cli {
namespace {

namespace fs = std::filesystem;

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

}  // namespace

std::vector<fs::path> SceneInputs::files() const {
    std::vector<fs::path> all{surface};
    all.insert(all.end(), objects.begin(), objects.end());
    return all;
}

void add_scene_inputs(CLI::App &command, SceneInputs &inputs) {
    command.add_option("SURFACE", inputs.surface, "Mesh file to scatter on (.obj, .gltf, .glb)")
        ->required()
        ->type_name("FILE");
    command.add_option("OBJECT", inputs.objects, "Mesh files copied at every site, all together")
        ->required()
        ->type_name("FILE");
    command.add_option("--select", inputs.select,
                       "Scatter only on the polygons of this surface (material) of SURFACE; repeatable")
        ->type_name("SURFACE_NAME")
        ->allow_extra_args(false);
    command.add_option("--weight-range", inputs.weight_ranges,
                       "Map a weight map's values from 0..1 to LO..HI as the files are read (a painted 0..1 mask "
                       "becomes a weight: rockiness=-1:1 keeps clones off the 0s); repeatable")
        ->type_name("NAME=LO:HI")
        ->allow_extra_args(false);
}

SceneRead read_scene_inputs(const SceneInputs &inputs, host::Scene &scene, bool progress) {
    SceneRead read;
    const auto start = std::chrono::steady_clock::now();
    {
        StageCaption reading(progress, "Reading " + std::to_string(inputs.files().size()) + " mesh files");
        scene.foreground = {io::read_mesh_file(inputs.surface, scene, &read.warnings)};
        for (const fs::path &object : inputs.objects)
            scene.background.push_back(io::read_mesh_file(object, scene, &read.warnings));
        reading.end(true);
    }
    read.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    try {
        for (const std::string &argument : inputs.weight_ranges)
            if (const std::string error = apply_weight_range(scene, parse_weight_range(argument)); !error.empty())
                throw SceneInputError(error);
    } catch (const SettingsError &error) {
        throw SceneInputError(error.what());
    }
    host::Layer &surface = scene.layer(scene.foreground.front());
    if (const std::string error = select_polygons(scene, surface, inputs.select, inputs.surface); !error.empty())
        throw SceneInputError(error);
    return read;
}

}  // namespace sowfield::cli
