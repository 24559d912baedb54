// What the mesh-file tests share: a scratch folder per test, a layer that
// exercises everything a format may keep, and a comparison of two layers
// that reports the first difference.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/scene/scene.h"
#include "io/mesh_file.h"
#include "tests/support/scene_builders.h"

namespace sowfield::testing {

// A fresh folder under the test temp directory, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    std::filesystem::path operator/(const std::string &name) const { return path / name; }
    // The names of the files in the folder, sorted.
    std::vector<std::string> files() const;
    // Writes `text` to a file in the folder and returns its path.
    std::filesystem::path write(const std::string &name, const std::string &text) const;

    std::filesystem::path path;
};

std::string read_text(const std::filesystem::path &path);

// Every polygon size from 1 to 7 points, on surfaces "Default", "bark" and
// "leaf ✿" in an interleaved order, one polygon of type "PTCH", a point used
// by no polygon, and vertex maps of all five types: two UV maps, two weight
// maps, two morph maps, a subdivision weight and a spot map, with missing
// values and names that are empty, non-ASCII, quoted or with a line break;
// also a three-value UV map and a map of a type no format knows.
// Coordinates are exact floats when `floats_only`, otherwise doubles no float
// can hold (thirds, 0.1, subnormals, -0, the largest double).
void build_rich_layer(host::Scene &scene, host::Layer &layer, bool floats_only);

enum class Kept {
    everything,  // glTF: every map, every polygon type
    obj,         // OBJ: positions, polygons, surfaces, the first UV map as "UV"
};

// Expects `read` (a layer read back from a file) to hold what `written`
// held. Reports the first difference.
void expect_same_layer(const host::Scene &written_scene, const host::Layer &written, const host::Scene &read_scene,
                       const host::Layer &read, Kept kept);

// Reads a file into a fresh scene and returns it.
struct ReadBack {
    host::Scene scene;
    size_t layer = 0;
    const host::Layer &get() const { return scene.layer(layer); }
};
void read_back(const std::filesystem::path &path, ReadBack &out);

// Runs a script of tools/ with node and `arguments` (each quoted), its
// standard output and error into `output`; returns its exit status, -1 when
// node is missing, -2 when the npm package `package` is not installed there.
int run_node_tool(const std::string &script, const std::string &package, const std::vector<std::string> &arguments,
                  std::string &output);

// The Khronos validator on `files`: 0 when none has an error, as run_node_tool.
int validate(const std::vector<std::filesystem::path> &files, std::string &report);

#define SKIP_WITHOUT_NODE_TOOL(status)                                                        \
    if ((status) == -1) GTEST_SKIP() << "node is not installed: cannot run the tools/ scripts"; \
    if ((status) == -2) GTEST_SKIP() << "the npm packages of tools/ are missing: run `npm install --prefix tools`"
#define SKIP_WITHOUT_VALIDATOR(status) SKIP_WITHOUT_NODE_TOOL(status)

// The message of the MeshFileError that `action` throws, or "" (and a
// failure) when it throws none.
template <class Action>
std::string error_of(Action action) {
    try {
        action();
    } catch (const io::MeshFileError &error) {
        return error.what();
    }
    ADD_FAILURE() << "no MeshFileError thrown";
    return {};
}

}  // namespace sowfield::testing
