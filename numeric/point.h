// Point: the one vector type of the plug-in, and its value operations.
//
// A Point is exactly three consecutive doubles, so its address can be handed
// to the host wherever the contract takes a `double[3]`.
#pragma once

#include <cmath>
#include <type_traits>

namespace sowfield {

struct Point {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    void clear() { x = y = z = 0.0; }
    const double *data() const { return &x; }
};

static_assert(sizeof(Point) == 3 * sizeof(double), "Point must be three packed doubles");
static_assert(std::is_standard_layout_v<Point>, "Point is handed to C code as double[3]");

inline Point operator+(const Point &a, const Point &b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Point operator-(const Point &a, const Point &b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Point operator*(const Point &p, double s) { return {s * p.x, s * p.y, s * p.z}; }
inline Point operator*(double s, const Point &p) { return p * s; }

inline double length(const Point &p) { return std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z); }

inline bool all_finite(const Point &p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

inline double distance(const Point &a, const Point &b) {
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    const double dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Divides (not multiplies by the reciprocal) so that results match a plain
// per-component division bit for bit; only an exact zero length gives zero.
inline Point unit(const Point &p) {
    const double len = length(p);
    if (len == 0.0) return {};
    return {p.x / len, p.y / len, p.z / len};
}

// A turn about one axis with its sine and cosine computed once, so that a
// clone can rotate thousands of points without calling sin/cos per point.
// `skip` marks the angle-0 shortcut of the z and x rotations, which return the
// point untouched (bit for bit, signed zeros and non-finite values included).
struct AxisTurn {
    double sin_a = 0.0;
    double cos_a = 1.0;
    bool skip = true;
};

// The z and x rotations skip the trigonometry for an exact zero angle.
inline AxisTurn turn_skipping_zero(double angle) {
    if (angle == 0.0) return {};
    return {std::sin(angle), std::cos(angle), false};
}

// The y rotation always computes, even for a zero angle (which can turn -0.0
// into +0.0), and the cached form must do the same.
inline AxisTurn turn_always(double angle) { return {std::sin(angle), std::cos(angle), false}; }

// Each rotation turns the point clockwise as seen from the positive end of its
// axis (the right-handed rotation by minus the angle); the coordinate along
// the axis is copied unchanged.
inline Point rotate_z(const Point &p, const AxisTurn &t) {
    if (t.skip) return p;
    return {p.x * t.cos_a + p.y * t.sin_a, p.y * t.cos_a - p.x * t.sin_a, p.z};
}

inline Point rotate_x(const Point &p, const AxisTurn &t) {
    if (t.skip) return p;
    return {p.x, p.y * t.cos_a + p.z * t.sin_a, p.z * t.cos_a - p.y * t.sin_a};
}

inline Point rotate_y(const Point &p, const AxisTurn &t) {
    if (t.skip) return p;
    return {p.x * t.cos_a - p.z * t.sin_a, p.y, p.z * t.cos_a + p.x * t.sin_a};
}

inline Point rotate_z(const Point &p, double angle) { return rotate_z(p, turn_skipping_zero(angle)); }
inline Point rotate_x(const Point &p, double angle) { return rotate_x(p, turn_skipping_zero(angle)); }
inline Point rotate_y(const Point &p, double angle) { return rotate_y(p, turn_always(angle)); }

}  // namespace sowfield
