// The scene a scatter works on, as the command line names it: the surface
// file (the foreground layer, whose polygons receive clones) and the object
// files (one background layer each), with --select and --weight-range.
// Shared by `scatter` and `view`.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/scene/scene.h"

namespace sowfield::cli {

struct SceneInputs {
    std::filesystem::path surface;
    std::vector<std::filesystem::path> objects;
    std::vector<std::string> select;         // surface names; empty: every polygon
    std::vector<std::string> weight_ranges;  // NAME=LO:HI, in order

    // The surface first, then the objects.
    std::vector<std::filesystem::path> files() const;
};

// SURFACE, OBJECT..., --select and --weight-range.
void add_scene_inputs(CLI::App &command, SceneInputs &inputs);

// A --select or --weight-range that does not fit the files read: a surface
// the surface file does not use (the message lists the ones it does), a
// malformed range or a weight map that no file has.
class SceneInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What reading the files gave besides the scene.
struct SceneRead {
    double seconds = 0;                 // spent reading
    std::vector<std::string> warnings;  // what the files' reading went on without
};

// Reads the files into `scene` (foreground and background set; with a
// caption on a terminal when `progress`), remaps the weight ranges and
// selects the polygons that receive clones. Throws io::MeshFileError for a
// file that cannot be read, SceneInputError for --select or --weight-range.
SceneRead read_scene_inputs(const SceneInputs &inputs, host::Scene &scene, bool progress);

}  // namespace sowfield::cli
