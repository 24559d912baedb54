// Our record (see gltf_record.h) as the reader finds it on a mesh and on its
// primitives, checked; meshes from elsewhere have none.
#pragma once

#include <tiny_gltf.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "io/gltf_accessor.h"

namespace sowfield::io::detail {

using Run = std::pair<uint64_t, uint64_t>;

struct MapRecord {
    uint32_t type = 0;
    std::string name;
    std::string attribute;  // or
    int target = -1;
    std::string exact;  // a TEXCOORD_n map's values as stored, when recorded
    std::vector<Run> missing;
};

// What our own writer recorded about one mesh; `present` is false for
// meshes from elsewhere.
struct MeshRecord {
    bool present = false;
    int split = -1;          // accessor of the points of the vertices after the layer's own
    bool flipped_uv = true;  // false in version 1 files, which wrote v as stored
    std::vector<MapRecord> maps;
    std::vector<Run> order;                            // [primitive, count]
    std::vector<std::pair<uint32_t, uint64_t>> types;  // [type, count]
};

// What our own writer recorded about one primitive.
struct PrimitiveRecord {
    bool points_only = false;
    std::vector<Run> sizes;  // polygon sizes of fanned triangles
};

// `where` names the mesh or primitive in messages.
MeshRecord read_mesh_record(const tinygltf::Mesh &mesh, const std::string &where, const LoadFailure &fail);
PrimitiveRecord read_primitive_record(const tinygltf::Primitive &primitive, const std::string &where,
                                      const LoadFailure &fail);

}  // namespace sowfield::io::detail
