// Clones as placed copies of one mesh in glTF: the object's mesh is written
// once, each clone that is an exact placed copy (see clone_instances.h) as a
// translation, a rotation and a scale, and its "SF_index" beside them:
//
// - gpu: one node with EXT_mesh_gpu_instancing, the per-instance accessors
//   TRANSLATION, ROTATION, SCALE and _SF_INDEX;
// - nodes: one node per clone, all children of one node, each with the
//   clone's transform and its "SF_index" in extras.
//
// Everything else (the surface, clones that are not exact copies) is written
// as real geometry in the same file, as write_mesh_file would.
//
// Our record on those nodes, node.extras:
//   "sowfield": {"placed_clones": true, "SF_index": value}
//     the mesh's polygons keep the object's corner order and its "SPOT"
//     values stay as they are under the placement (a clone copies both
//     unchanged); "SF_index" is the clone's value (nodes mode; gpu mode
//     carries it in _SF_INDEX).
// Reading such a file gives every clone back as real geometry; instanced
// files from elsewhere are expanded the same way, under the format's rules.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/scene.h"
#include "io/clone_instances.h"
#include "io/mesh_file.h"

namespace tinygltf {
class Model;
class Node;
}  // namespace tinygltf

namespace sowfield::io {

enum class InstanceMode { gpu, nodes };

// Writes `layer` of the scene within `range` as write_mesh_file does, to a
// .gltf or .glb path, with the clones of `instances.placed` as instances of
// one mesh. Throws MeshFileError, leaving no file, on any failure.
// `provenance_json` and `style` as write_mesh_file takes them; returns the
// files written as write_mesh_file does.
std::vector<std::filesystem::path> write_instanced_gltf(const std::filesystem::path &path, const host::Scene &scene,
                                                       size_t layer, WriteRange range, const CloneInstances &instances,
                                                       InstanceMode mode, std::string_view provenance_json = {},
                                                       WriteStyle style = {});

namespace detail {

struct LoadFailure;

// One placement of a node's mesh: a transform relative to the node and the
// clone's "SF_index" when the file gives one.
struct MeshPlacement {
    std::array<double, 16> matrix;  // column-major
    std::optional<float> clone_index;
};

// The placements of the mesh of node `index`: one per instance when the node
// uses EXT_mesh_gpu_instancing, else the node's own (the identity).
std::vector<MeshPlacement> mesh_placements(const tinygltf::Model &model, int index, const LoadFailure &fail);

// True when our record says the node places clones (see above).
bool places_clones(const tinygltf::Node &node);

// Gives the points from `first_point` on the weight "SF_index" `value`.
void add_clone_index(host::Layer &layer, uint32_t first_point, float value);

}  // namespace detail

}  // namespace sowfield::io
