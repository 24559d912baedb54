// Polygon normals by Newell's method.
#pragma once

#include <cstdint>
#include <span>

#include "host/scene/scene.h"

namespace sowfield::host {

// The unit normal of the polygon through these points of `layer`, by Newell's
// method: right-handed, so points running counter-clockwise seen from the
// front give a normal towards the viewer. For a non-planar polygon it is the
// normal of the best-fitting plane's orientation (the sum of the edge cross
// products). False with (0, 0, 0) for fewer than three points or no area.
bool newell_normal(const Layer &layer, std::span<const uint32_t> points, Vec3 &normal);

// Newell's sums themselves: twice the polygon's vector area, pointing where
// newell_normal's normal points; (0, 0, 0) for fewer than three points.
Vec3 newell_sums(const Layer &layer, std::span<const uint32_t> points);

}  // namespace sowfield::host
