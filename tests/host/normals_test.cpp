#include "host/scene/normals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace sowfield::host {
namespace {

Vec3 cross(const Vec3 &a, const Vec3 &b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 minus(const Vec3 &a, const Vec3 &b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 unit(const Vec3 &v) {
    const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return {v[0] / l, v[1] / l, v[2] / l};
}

struct Polygon {
    Layer layer;
    std::vector<uint32_t> points;
    explicit Polygon(std::initializer_list<Vec3> corners) {
        for (const Vec3 &c : corners) points.push_back(layer.add_point(c));
    }
    bool normal(Vec3 &n) const { return newell_normal(layer, points, n); }
};

void expect_near(const Vec3 &actual, const Vec3 &expected, double tolerance = 1e-12) {
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

TEST(NewellNormal, PlanarPolygonsFaceTheSideTheyRunCounterClockwiseFrom) {
    Vec3 n;
    ASSERT_TRUE(Polygon({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}).normal(n));
    EXPECT_EQ(n, (Vec3{0, 0, 1}));
    ASSERT_TRUE(Polygon({{0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 0, 0}}).normal(n));  // the same, clockwise
    EXPECT_EQ(n, (Vec3{0, 0, -1}));
    // A tilted triangle: the normal of its plane, whatever its size.
    const Vec3 a{1, 2, 3}, b{4, 1, 0}, c{-2, 5, 1};
    ASSERT_TRUE(Polygon({a, b, c}).normal(n));
    expect_near(n, unit(cross(minus(b, a), minus(c, a))));
}

TEST(NewellNormal, ConcavePolygonKeepsItsOrientation) {
    // An arrow head: its reflex corner would flip a normal taken from that
    // corner's two edges alone.
    Vec3 n;
    ASSERT_TRUE(Polygon({{0, 0, 0}, {4, 0, 0}, {2, 0.5, 0}, {2, 4, 0}}).normal(n));
    EXPECT_EQ(n, (Vec3{0, 0, 1}));
}

TEST(NewellNormal, NonPlanarQuadGetsTheDirectionOfItsVectorArea) {
    // For a quadrilateral the vector area is half the cross product of its
    // diagonals, planar or not.
    const Vec3 a{0, 0, 0}, b{1, 0, 0.3}, c{1, 1, 0}, d{0, 1, 0.5};
    Vec3 n;
    ASSERT_TRUE(Polygon({a, b, c, d}).normal(n));
    expect_near(n, unit(cross(minus(c, a), minus(d, b))));
    EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-15);
}

TEST(NewellNormal, DegeneratePolygonsHaveNoNormal) {
    Vec3 n{7, 7, 7};
    EXPECT_FALSE(Polygon({{0, 0, 0}, {1, 1, 1}}).normal(n));
    EXPECT_EQ(n, (Vec3{0, 0, 0}));
    n = {7, 7, 7};
    EXPECT_FALSE(Polygon({{0, 0, 0}, {1, 1, 1}, {3, 3, 3}}).normal(n));  // collinear
    EXPECT_EQ(n, (Vec3{0, 0, 0}));
    EXPECT_FALSE(Polygon({{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}}).normal(n));  // one point four times
    EXPECT_FALSE(Polygon({}).normal(n));
}

}  // namespace
}  // namespace sowfield::host
