// A random point on a target polygon, drawn in the polygon's own frame.
#pragma once

#include <cstdint>
#include <vector>

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

// A polygon point in the polygon's own frame, where only x and z matter.
struct chart_point {
    double x, z;
};

// Everything a draw on one polygon needs that does not depend on the draw:
// the polygon in its own frame, its x extent, the turns back to world space
// and the record's normal, in three cache lines. Making it costs three arc
// tangents and a dozen sines and cosines; a run draws on the same polygon many
// times and keeps it (polygon_charts).
struct alignas(64) polygon_chart {
    static constexpr int32_t kInlinePoints = 4;

    Point origin;  // the polygon's first point
    Point normal;  // the record's normal, as given
    // The turns back to world space, about x, then z, then y (an AxisTurn
    // each, stored apart so that the three flags pack together).
    double turn_sin[3], turn_cos[3];
    double xmin, xmax;
    int32_t point_count;  // 0 for a polygon that gives the origin without drawing
    // Where the local points are: in `inline_local` for up to four points,
    // else in the caller's pool from this offset on.
    int32_t pool_offset;
    bool turn_skip[3];
    chart_point inline_local[kInlinePoints];

    AxisTurn turn(int k) const { return {turn_sin[k], turn_cos[k], turn_skip[k]}; }

    const chart_point *local(const chart_point *pool) const {
        return pool_offset < 0 ? inline_local : pool + pool_offset;
    }
};
static_assert(sizeof(polygon_chart) == 192, "a chart fills three cache lines");

// Charts `record`. The local points of a polygon of more than four points go
// to the end of `pool`.
polygon_chart chart_polygon(const face6_typ &record, std::vector<chart_point> &pool);

// The z values where the line x = h meets the charted outline (as
// outline_chord), and a local sample (h, 0, z) turned into world space.
// Never inlined: every caller runs the same instructions, so that even
// results that are not numbers carry the same sign whichever way a point is
// drawn (which of two such operands an operation passes on depends on the
// order the compiler gives them).
[[gnu::noinline]] void chart_chord(const polygon_chart &chart, const chart_point *pool, double h, double crossing[2]);
[[gnu::noinline]] Point chart_to_world(const polygon_chart &chart, double h, double z);

// Draws h along the local x extent, then z between the outline's first two
// crossings of x = h, from `draws` (a random, or a run of the stream's draws
// taken ahead), and turns the point into world space.
template <class Draws>
Point random_point_on_chart(Draws &draws, const polygon_chart &chart, const chart_point *pool) {
    if (chart.point_count == 0) return {};
    const double h = draws.double_between(chart.xmin, chart.xmax);
    double crossing[2];
    chart_chord(chart, pool, h, crossing);
    const double z = crossing[1] < crossing[0] ? draws.double_between(crossing[1], crossing[0])
                                               : draws.double_between(crossing[0], crossing[1]);
    return chart_to_world(chart, h, z);
}

// The same draw on a polygon charted for this call only. Polygons of fewer
// than three points give the origin without drawing.
Point random_point_on_polygon(random &rng, const face6_typ &record);

}  // namespace sowfield
