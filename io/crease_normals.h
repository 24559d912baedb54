// Normals for the surfaces that came with them: computed from the geometry
// being written, so clones get them too. Each corner of a polygon takes the
// area-weighted mean of the polygons around its position whose own normals
// lie within the crease angle of this polygon's; so an edge sharper than the
// crease angle stays sharp and a gentle curve comes out smooth. Polygons
// meet at a position, not at a point: a file that split its points along a
// texture seam is still smooth across it.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "host/scene/scene.h"
#include "io/format_io.h"

namespace sowfield::io::detail {

using Normal = std::array<float, 3>;

struct CornerNormals {
    static constexpr uint64_t kFlat = std::numeric_limits<uint64_t>::max();
    // Per selected polygon (index - first_polygon): the position in `normals`
    // of its first corner's normal, the others following in corner order;
    // kFlat for a polygon written without normals (its surface came without
    // them, or it has fewer than three points).
    std::vector<uint64_t> first;
    std::vector<Normal> normals;  // unit length, on the polygon's front side

    bool empty() const { return normals.empty(); }
    bool smooth(uint32_t polygon_offset) const { return !first.empty() && first[polygon_offset] != kFlat; }
};

// The corner normals of the selected polygons, split where neighbours meet
// at more than `crease_degrees`. Empty when no selected polygon lies on a
// surface that came with normals.
CornerNormals crease_normals(const host::Scene &scene, const host::Layer &layer, const WriteSelection &selection,
                             double crease_degrees);

}  // namespace sowfield::io::detail
