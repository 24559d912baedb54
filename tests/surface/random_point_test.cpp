#include "surface/random_point.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace sowfield {
namespace {

// A target record built from its points and normal.
struct make_record : face6_typ {
    make_record(const std::vector<Point> &corners, const Point &n) {
        allocate_points(static_cast<int32_t>(corners.size()));
        for (size_t k = 0; k < corners.size(); ++k) points[k] = corners[k];
        normal = n;
    }
};

Point cross(const Point &a, const Point &b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

polygon_frame frame_of(const face6_typ &record) {
    polygon_frame frame;
    frame.edge = record.points[1] - record.points[0];
    frame.normal = unit(record.normal);
    compute_frame_angles(frame);
    return frame;
}

// A generator reseeded on construction.
struct seeded : random {
    explicit seeded(int32_t seed) { reseed(seed); }
};

TEST(PolygonFrame, AnAxisAlignedTriangleFacingUpIsTheWorldFrame) {
    const make_record triangle({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 0});
    const polygon_frame frame = frame_of(triangle);
    EXPECT_EQ(frame.angle_y, 0.0);
    EXPECT_EQ(frame.angle_z, 0.0);
    EXPECT_EQ(frame.angle_x, 0.0);

    // Turned over, the frame rolls half a turn about the first edge.
    const make_record flipped({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, -1, 0});
    EXPECT_EQ(frame_of(flipped).angle_x, -std::numbers::pi);

    // A first edge along +z is a heading of a quarter turn.
    const make_record along_z({{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}, {0, 1, 0});
    EXPECT_EQ(frame_of(along_z).angle_y, std::numbers::pi / 2);
}

TEST(PolygonFrame, ToWorldUndoesToLocalAndFlattensTheTriangle) {
    seeded rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<Point> corners(3);
        for (Point &p : corners) p = {rng.double_between(-10, 10), rng.double_between(-10, 10), rng.double_between(-10, 10)};
        const Point normal = unit(cross(corners[1] - corners[0], corners[2] - corners[0]));
        const make_record triangle(corners, normal);
        const polygon_frame frame = frame_of(triangle);

        std::vector<Point> local = corners;
        to_local(frame, local.data(), corners[0], 3);
        // First point at the origin, second on +x, all in the plane y = 0.
        EXPECT_EQ(local[0].x, 0.0);
        EXPECT_NEAR(local[1].y, 0.0, 1e-12);
        EXPECT_NEAR(local[1].z, 0.0, 1e-12);
        EXPECT_GT(local[1].x, 0.0);
        EXPECT_NEAR(local[2].y, 0.0, 1e-12);

        to_world(frame, local.data(), corners[0], 3);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(local[k].x, corners[k].x, 1e-12) << trial;
            EXPECT_NEAR(local[k].y, corners[k].y, 1e-12) << trial;
            EXPECT_NEAR(local[k].z, corners[k].z, 1e-12) << trial;
        }
    }
}

TEST(RandomPointOnPolygon, SeedOf25OnTheSquareGivesTheReferenceSample) {
    const make_record square({{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}}, {0, 1, 0});
    seeded rng(25);
    const Point p = random_point_on_polygon(rng, square);
    // h is twice the first unit draw, z twice the second.
    EXPECT_EQ(p.x, 0.4689350841727422);
    EXPECT_EQ(p.y, 0.0);
    EXPECT_EQ(p.z, 0.7914508010240856);
    seeded twin(25);
    EXPECT_EQ(p.x, 2 * twin.next_unit());
    EXPECT_EQ(p.z, 2 * twin.next_unit());
    EXPECT_EQ(rng.next_unit(), twin.next_unit());
}

TEST(RandomPointOnPolygon, TriangleSamplesLieInsideAndCrowdItsNarrowEnd) {
    const make_record up({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 0});
    const make_record down({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, -1, 0});
    seeded rng(3);
    int right_half = 0;
    const int samples = 4000;
    for (int i = 0; i < samples; ++i) {
        const Point p = random_point_on_polygon(rng, up);
        ASSERT_EQ(p.y, 0.0);
        ASSERT_GE(p.x, 0.0);
        ASSERT_GE(p.z, 0.0);
        ASSERT_LE(p.x + p.z, 1.0 + 1e-15);
        if (p.x > 0.5) ++right_half;

        const Point q = random_point_on_polygon(rng, down);
        ASSERT_NEAR(q.y, 0.0, 1e-15);
        ASSERT_GE(q.x, -1e-15);
        ASSERT_GE(q.z, -1e-15);
        ASSERT_LE(q.x + q.z, 1.0 + 1e-15);
    }
    // h is uniform along x, so half the samples fall where a quarter of the
    // area lies.
    EXPECT_NEAR(static_cast<double>(right_half) / samples, 0.5, 0.03);
}

TEST(RandomPointOnPolygon, ARaisedSquareKeepsItsHeight) {
    const make_record square({{0, 5, 0}, {2, 5, 0}, {2, 5, 2}, {0, 5, 2}}, {0, 1, 0});
    seeded rng(11);
    for (int i = 0; i < 1000; ++i) {
        const Point p = random_point_on_polygon(rng, square);
        ASSERT_NEAR(p.y, 5.0, 1e-14);
        ASSERT_GE(p.x, 0.0);
        ASSERT_LE(p.x, 2.0);
        ASSERT_GE(p.z, 0.0);
        ASSERT_LE(p.z, 2.0);
    }
}

TEST(RandomPointOnPolygon, TiltedConvexPolygonsHoldTheirSamples) {
    // A regular hexagon on a sloping plane, its normal given exactly.
    const Point u = unit({1, 1, 0});
    const Point v = {0, 0, 1};
    const Point n = unit(cross(v, u));
    std::vector<Point> corners;
    for (int k = 0; k < 6; ++k) {
        const double a = k * std::numbers::pi / 3;
        corners.push_back(Point{3, 4, 5} + u * (2 * std::cos(a)) + v * (2 * std::sin(a)));
    }
    const make_record hexagon(corners, n);
    seeded rng(5);
    for (int i = 0; i < 1000; ++i) {
        const Point d = random_point_on_polygon(rng, hexagon) - Point{3, 4, 5};
        const double along_n = d.x * n.x + d.y * n.y + d.z * n.z;
        ASSERT_NEAR(along_n, 0.0, 1e-12);
        ASSERT_LE(length(d), 2.0 + 1e-12);
    }
}

TEST(RandomPointOnPolygon, FewerThanThreePointsGiveTheOriginWithoutDrawing) {
    seeded rng(25);
    seeded twin(25);
    for (const auto &points : {std::vector<Point>{}, std::vector<Point>{{4, 5, 6}}, std::vector<Point>{{4, 5, 6}, {7, 8, 9}}}) {
        const make_record record(points, {0, 1, 0});
        const Point p = random_point_on_polygon(rng, record);
        EXPECT_EQ(p.x, 0.0);
        EXPECT_EQ(p.y, 0.0);
        EXPECT_EQ(p.z, 0.0);
    }
    EXPECT_EQ(rng.next_unit(), twin.next_unit());
}

TEST(RandomPointOnPolygon, CoincidentPointsGiveThatPointWithoutDrawing) {
    // Every local x is 0, so h is 0 without a draw, and the first edge lies
    // on the line x = 0: its ends are the chord. The crossing formula alone
    // would divide 0 by 0 and place the site nowhere.
    const make_record record({{3, 4, 5}, {3, 4, 5}, {3, 4, 5}}, {0, 0, 0});
    seeded rng(25);
    seeded twin(25);
    const Point p = random_point_on_polygon(rng, record);
    EXPECT_EQ(p.x, 3.0);
    EXPECT_EQ(p.y, 4.0);
    EXPECT_EQ(p.z, 5.0);
    EXPECT_EQ(rng.next_unit(), twin.next_unit());
}

TEST(OutlineChord, FirstTwoCrossingsInPointOrder) {
    const Point square[] = {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}};
    double chord[2];
    outline_chord(square, 4, 0.5, chord);
    EXPECT_EQ(chord[0], 0.0);
    EXPECT_EQ(chord[1], 2.0);

    // Only the first edge reaches x = 0.5; the closing edge gives the other end.
    const Point triangle[] = {{0, 0, 0}, {2, 0, 0}, {1, 0, 2}};
    outline_chord(triangle, 3, 0.5, chord);
    EXPECT_EQ(chord[0], 0.0);
    EXPECT_EQ(chord[1], 1.0);
    outline_chord(triangle, 3, 1.5, chord);
    EXPECT_EQ(chord[0], 0.0);
    EXPECT_EQ(chord[1], 1.0);
}

TEST(OutlineChord, AnEdgeAlongTheLineIsTheChord) {
    // h at the far end of the square's x extent: the edge from (2, 0) to
    // (2, 2) lies on the line, and the chord is that whole edge.
    const Point square[] = {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}};
    double chord[2];
    outline_chord(square, 4, 2.0, chord);
    EXPECT_EQ(chord[0], 0.0);
    EXPECT_EQ(chord[1], 2.0);

    const Point reversed[] = {{2, 0, 2}, {2, 0, 0}, {0, 0, 0}, {0, 0, 2}};
    outline_chord(reversed, 4, 2.0, chord);
    EXPECT_EQ(chord[0], 2.0);
    EXPECT_EQ(chord[1], 0.0);

    const Point single[] = {{1, 0, 3}};
    outline_chord(single, 1, 1.0, chord);
    EXPECT_EQ(chord[0], 3.0);
    EXPECT_EQ(chord[1], 3.0);
}

}  // namespace
}  // namespace sowfield
