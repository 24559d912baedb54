// A random point on a target polygon: the polygon is turned into a frame in
// which it lies in the plane y = 0, a point is drawn there with two numbers
// (one along x, one along the chord of the outline at that x) and turned back.
//
// Every site of a run goes through here, up to `iterations` + 1 times per
// clone, so the work is split: the chart of a polygon (its frame, its points
// in that frame) is made once, and each draw only interpolates and turns one
// point back.
#include "surface/random_point.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sowfield {

namespace {

// The three turns that take world space into a polygon's frame, and the three
// that take it back. The trigonometry is that of the angles the rotations are
// called with (-angle one way, +angle the other), so the results are those of
// calling rotate_y/rotate_z/rotate_x with the angles point by point.
struct frame_turns {
    AxisTurn to_local_y, to_local_z, to_local_x;
    AxisTurn to_world_x, to_world_z, to_world_y;
};

frame_turns local_turns(const polygon_frame &frame) {
    frame_turns t;
    t.to_local_y = turn_always(-frame.angle_y);
    t.to_local_z = turn_skipping_zero(-frame.angle_z);
    t.to_local_x = turn_skipping_zero(-frame.angle_x);
    return t;
}

frame_turns world_turns(const polygon_frame &frame) {
    frame_turns t;
    t.to_world_x = turn_skipping_zero(frame.angle_x);
    t.to_world_z = turn_skipping_zero(frame.angle_z);
    t.to_world_y = turn_always(frame.angle_y);
    return t;
}

Point point_to_local(const frame_turns &t, Point p, const Point &origin) {
    p = p - origin;
    p = rotate_y(p, t.to_local_y);
    p = rotate_z(p, t.to_local_z);
    p = rotate_x(p, t.to_local_x);
    return p;
}

Point point_to_world(const frame_turns &t, Point p, const Point &origin) {
    p = rotate_x(p, t.to_world_x);
    p = rotate_z(p, t.to_world_z);
    p = rotate_y(p, t.to_world_y);
    return p + origin;
}

// Where the line x = h meets the edge from c to d, as a z value.
template <class Local>
double crossing_z(double h, const Local &c, const Local &d) {
    return (h - c.x) / (c.x - d.x) * (c.z - d.z) + c.z;
}

// outline_chord over any points with x and z: the polygon's Points, or a
// chart's flat copies of their x and z.
template <class Local>
void chord_at(const Local *local, int32_t count, double h, double crossing[2]) {
    crossing[0] = crossing[1] = 0.0;
    if (count < 1) return;
    int found = 0;
    for (int32_t k = 1; k < count && found < 2; ++k) {
        const Local &c = local[k - 1];
        const Local &d = local[k];
        if (!((c.x <= h && h <= d.x) || (c.x >= h && h >= d.x))) continue;
        // An edge lying on the line itself (both ends at x = h, which happens
        // at the ends of the x extent or when every point shares one x) has
        // no single crossing: the line runs along it and the formula would
        // give 0/0. The outline meets the line along that whole edge, so the
        // edge is the chord.
        if (c.x == d.x) {
            crossing[0] = c.z;
            crossing[1] = d.z;
            return;
        }
        crossing[found++] = crossing_z(h, c, d);
    }
    if (found == 2) return;
    // The closing edge, from the last point back to the first, without the
    // range test.
    const Local &c = local[count - 1];
    const Local &d = local[0];
    if (c.x == d.x && c.x == h) {
        crossing[0] = c.z;
        crossing[1] = d.z;
        return;
    }
    crossing[found] = crossing_z(h, c, d);
}

// Local copies of the polygon's points. Reused from call to call: the plug-in
// runs on one thread and never re-enters this function.
std::vector<Point> &scratch_points() {
    static std::vector<Point> points;
    return points;
}

}  // namespace

void compute_frame_angles(polygon_frame &frame) {
    const Point &e = frame.edge;
    const Point &n = frame.normal;
    frame.angle_y = std::atan2(e.z, e.x);
    frame.angle_z = -std::atan2(e.y, std::sqrt(e.x * e.x + e.z * e.z));
    const double cy = std::cos(frame.angle_y);
    const double sy = std::sin(frame.angle_y);
    const double cz = std::cos(frame.angle_z);
    const double sz = std::sin(frame.angle_z);
    frame.angle_x = -std::atan2(n.z * cy - n.x * sy, cz * n.y + (n.x * cy * sz + n.z * sy * sz));
}

void to_local(const polygon_frame &frame, Point *points, const Point &origin, int32_t count) {
    const frame_turns t = local_turns(frame);
    for (int32_t i = 0; i < count; ++i) points[i] = point_to_local(t, points[i], origin);
}

void to_world(const polygon_frame &frame, Point *points, const Point &origin, int32_t count) {
    const frame_turns t = world_turns(frame);
    for (int32_t i = 0; i < count; ++i) points[i] = point_to_world(t, points[i], origin);
}

void outline_chord(const Point *local, int32_t count, double h, double crossing[2]) {
    chord_at(local, count, h, crossing);
}

polygon_chart chart_polygon(const face6_typ &record, std::vector<chart_point> &pool) {
    polygon_chart chart{};
    chart.normal = record.normal;
    if (!record.points || record.point_count <= 2) return chart;
    const int32_t count = record.point_count;
    chart.origin = record.points[0];
    chart.point_count = count;

    polygon_frame frame;
    frame.edge = record.points[1] - record.points[0];
    frame.normal = unit(record.normal);
    compute_frame_angles(frame);
    const frame_turns back = world_turns(frame);
    const AxisTurn turns[3] = {back.to_world_x, back.to_world_z, back.to_world_y};
    for (int k = 0; k < 3; ++k) {
        chart.turn_sin[k] = turns[k].sin_a;
        chart.turn_cos[k] = turns[k].cos_a;
        chart.turn_skip[k] = turns[k].skip;
    }

    std::vector<Point> &local = scratch_points();
    local.assign(record.points.get(), record.points.get() + count);
    to_local(frame, local.data(), chart.origin, count);

    chart_point *flat = chart.inline_local;
    if (count > polygon_chart::kInlinePoints) {
        chart.pool_offset = static_cast<int32_t>(pool.size());
        pool.resize(pool.size() + static_cast<size_t>(count));
        flat = pool.data() + chart.pool_offset;
    } else {
        chart.pool_offset = -1;
    }
    chart.xmin = local[0].x;
    chart.xmax = local[0].x;
    for (int32_t k = 0; k < count; ++k) {
        flat[k] = {local[k].x, local[k].z};
        if (local[k].x < chart.xmin) chart.xmin = local[k].x;
        if (local[k].x > chart.xmax) chart.xmax = local[k].x;
    }
    return chart;
}

void chart_chord(const polygon_chart &chart, const chart_point *pool, double h, double crossing[2]) {
    chord_at(chart.local(pool), chart.point_count, h, crossing);
}

Point chart_to_world(const polygon_chart &chart, double h, double z) {
    frame_turns back;
    back.to_world_x = chart.turn(0);
    back.to_world_z = chart.turn(1);
    back.to_world_y = chart.turn(2);
    return point_to_world(back, {h, 0.0, z}, chart.origin);
}

Point random_point_on_polygon(random &rng, const face6_typ &record) {
    static std::vector<chart_point> pool;
    pool.clear();
    const polygon_chart chart = chart_polygon(record, pool);
    return random_point_on_chart(rng, chart, pool.data());
}

}  // namespace sowfield
