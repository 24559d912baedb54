// Polygons rebuilt from glTF primitives: points, lines, line strips and
// loops, triangles, strips and fans, or the polygons our record says a
// primitive's fanned triangles make. A node whose transform mirrors turns its
// triangles' front to the other side; their corners are reversed so that the
// host's counter-clockwise front is the side the file meant.
#pragma once

#include <tiny_gltf.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/scene/scene.h"
#include "io/gltf_accessor.h"
#include "io/gltf_mesh_record.h"
#include "io/gltf_points.h"

namespace sowfield::io::detail {

// One primitive's polygons, and a cursor over them.
struct PrimitivePolygons {
    const tinygltf::Primitive *primitive = nullptr;
    std::string where;
    const PointSet *points = nullptr;
    uint32_t surface = 0;
    int mode = TINYGLTF_MODE_TRIANGLES;
    std::unique_ptr<AccessorView> indices;  // null: vertices in order
    uint64_t index_count = 0;
    std::vector<Run> sizes;  // recorded polygon sizes of fanned triangles
    bool points_only = false;
    uint64_t total = 0;  // polygons
    // Cursor.
    uint64_t next_index = 0;
    size_t run = 0;
    uint64_t run_used = 0;
};

// The primitive's mode, checked (absent means triangles).
int primitive_mode(const tinygltf::Primitive &primitive, const std::string &where, const LoadFailure &fail);

// Reads the primitive's indices and counts its polygons, checking the
// recorded polygon sizes against its triangles. `polygons` has its mode,
// points and sizes.
void count_polygons(PrimitivePolygons &polygons, const tinygltf::Model &model, const LoadFailure &fail);

// Adds the mesh's polygons to the layer in the recorded order and with the
// recorded types (or primitive by primitive, as faces); `mirrored` reverses
// their corners.
void add_polygons(std::vector<PrimitivePolygons> &primitives, const MeshRecord &record, bool mirrored,
                  const std::string &where, host::Layer &layer, const LoadFailure &fail);

}  // namespace sowfield::io::detail
