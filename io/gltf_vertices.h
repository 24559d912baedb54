// The vertices of a glTF mesh for a layer's points. A glTF vertex carries one
// normal, so a point whose corners have different normals (at a crease)
// becomes one vertex per normal. The points keep their own vertices, in
// order, first; the further vertices follow, each naming its point, so that
// reading our file back gives the layer's points and nothing more.
#pragma once

#include <cstdint>
#include <vector>

#include "io/crease_normals.h"
#include "io/format_io.h"

namespace sowfield::io::detail {

struct GltfVertices {
    uint32_t points = 0;                  // vertices 0..points-1: the selected points in order
    std::vector<uint32_t> extra_points;   // the points (selection offsets) of the vertices after them
    std::vector<Normal> normals;          // per vertex; empty when no corner has a normal
    std::vector<uint32_t> corner_vertex;  // per corner with a normal, in CornerNormals order

    uint64_t count() const { return uint64_t{points} + extra_points.size(); }
    uint32_t point_offset(uint64_t vertex) const {
        return vertex < points ? static_cast<uint32_t>(vertex) : extra_points[vertex - points];
    }
};

GltfVertices split_vertices(const CornerNormals &corners, const host::Layer &layer, const WriteSelection &selection);

}  // namespace sowfield::io::detail
