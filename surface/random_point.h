// A random point on a target polygon, drawn in the polygon's own frame.
#pragma once

#include <cstdint>

#include "numeric/point.h"
#include "numeric/random.h"
#include "surface/target_polygons.h"

namespace sowfield {

// The local frame of one polygon: origin at its first point, first edge along
// +x, unit normal along +y.
struct polygon_frame {
    Point edge;
    Point normal;
    double angle_y = 0.0;
    double angle_z = 0.0;
    double angle_x = 0.0;
};

void compute_frame_angles(polygon_frame &frame);
void to_local(const polygon_frame &frame, Point *points, const Point &origin, int32_t count);
void to_world(const polygon_frame &frame, Point *points, const Point &origin, int32_t count);

// The z values where the line x = h meets the outline of a polygon given in
// its local frame: the first two crossings of its edges in point order, the
// closing edge standing in when fewer than two are found. An edge lying on
// the line gives its two ends.
void outline_chord(const Point *local, int32_t count, double h, double crossing[2]);

// Draws h along the local x extent, then z between the outline's first two
// crossings of x = h, from `rng`. Polygons of fewer than three points give the
// origin without drawing.
Point random_point_on_polygon(random &rng, const face6_typ &record);

}  // namespace sowfield
