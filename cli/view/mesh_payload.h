// Layers of the scene as the page's three.js meshes take them: triangles of
// single-precision positions, compact enough to send and draw at once.
//
// Binary layout, little-endian (the page reads it with typed arrays):
//   uint32 vertex_count, uint32 triangle_count
//   float32 positions[3 * vertex_count]   relative to the given origin
//   float32 values[vertex_count]          a colouring value per vertex
//   uint32  indices[3 * triangle_count]
// Polygons are fan-triangulated; lines and single points are left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/scene/scene.h"

namespace sowfield::cli::view {

// Which polygons of a layer, and how to thin them: polygons come in groups
// of `group_size` (one clone's polygons), and every `keep_every`-th group is
// kept, starting with the first.
struct PolygonSelection {
    uint32_t first = 0;
    uint32_t end = 0;
    uint32_t group_size = 1;
    uint32_t keep_every = 1;
};

// The selection of clones that keeps at most about `triangle_budget`
// triangles: whole clones (`clones` groups of the added polygons when they
// divide evenly, single polygons otherwise), evenly spread over the result.
PolygonSelection sample_clones(const host::Layer &layer, uint32_t first_polygon, int64_t clones,
                               uint64_t triangle_budget);

// How many groups a selection keeps.
uint64_t groups_kept(const PolygonSelection &selection);

// The payload of the selected polygons of one layer. Each vertex's value is
// its point's value in `values` (one float per point; 0 where the point has
// none or `values` is null).
std::string encode_mesh(const host::Layer &layer, const PolygonSelection &selection, const host::Vec3 &origin,
                        const host::VertexMap *values);

// Several whole layers as one payload (values all 0).
std::string encode_layers(const host::Scene &scene, const std::vector<size_t> &layers, const host::Vec3 &origin);

}  // namespace sowfield::cli::view
