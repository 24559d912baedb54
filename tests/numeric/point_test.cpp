#include "numeric/point.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

namespace sowfield {
namespace {

constexpr double kHalfPi = std::numbers::pi / 2.0;
constexpr double kTiny = 1e-15;

void expect_near(const Point &p, double x, double y, double z) {
    EXPECT_NEAR(p.x, x, kTiny);
    EXPECT_NEAR(p.y, y, kTiny);
    EXPECT_NEAR(p.z, z, kTiny);
}

TEST(Point, DefaultIsOriginAndUnitOfZeroIsZero) {
    Point p;
    EXPECT_EQ(p.x, 0.0);
    EXPECT_EQ(p.y, 0.0);
    EXPECT_EQ(p.z, 0.0);
    const Point u = unit(Point{});
    EXPECT_EQ(u.x, 0.0);
    EXPECT_EQ(u.y, 0.0);
    EXPECT_EQ(u.z, 0.0);
    const Point v = unit({0.0, 3.0, 4.0});
    EXPECT_EQ(v.x, 0.0);
    EXPECT_EQ(v.y, 0.6);
    EXPECT_EQ(v.z, 0.8);
}

TEST(Point, UnitDividesEvenTinyLengths) {
    const double tiny = std::numeric_limits<double>::denorm_min();
    const Point u = unit({tiny, 0.0, 0.0});
    // The squared length underflows to zero, so the length is exactly 0 and
    // only then is the zero vector returned.
    EXPECT_EQ(u.x, 0.0);
    const Point w = unit({1e-150, 0.0, 0.0});
    EXPECT_EQ(w.x, 1.0);
}

TEST(Rotation, QuarterTurnsGoClockwiseSeenFromThePositiveAxis) {
    expect_near(rotate_z({1, 0, 0}, kHalfPi), 0, -1, 0);
    expect_near(rotate_z({0, 1, 0}, kHalfPi), 1, 0, 0);
    expect_near(rotate_x({0, 1, 0}, kHalfPi), 0, 0, -1);
    expect_near(rotate_x({0, 0, 1}, kHalfPi), 0, 1, 0);
    expect_near(rotate_y({1, 0, 0}, kHalfPi), 0, 0, 1);
    expect_near(rotate_y({0, 0, 1}, kHalfPi), -1, 0, 0);
}

TEST(Rotation, AxisCoordinateIsCopiedBitForBit) {
    const Point p{0.1, -0.2, 0.30000000000000004};
    for (double a : {0.3, -2.0, 1e-9, 100.0}) {
        EXPECT_EQ(std::bit_cast<uint64_t>(rotate_z(p, a).z), std::bit_cast<uint64_t>(p.z));
        EXPECT_EQ(std::bit_cast<uint64_t>(rotate_x(p, a).x), std::bit_cast<uint64_t>(p.x));
        EXPECT_EQ(std::bit_cast<uint64_t>(rotate_y(p, a).y), std::bit_cast<uint64_t>(p.y));
    }
}

TEST(Rotation, ZeroAngleLeavesZAndXRotationsUntouched) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Point p{1.0, 2.0, 3.0};
    const Point z = rotate_z(p, 0.0);
    EXPECT_EQ(z.x, 1.0);
    EXPECT_EQ(z.y, 2.0);
    EXPECT_EQ(z.z, 3.0);
    // The shortcut skips the arithmetic: a NaN in another coordinate stays put.
    const Point q = rotate_x(Point{-0.0, 5.0, nan}, 0.0);
    EXPECT_TRUE(std::signbit(q.x));
    EXPECT_EQ(q.y, 5.0);
    // The y rotation has no shortcut, so the NaN spreads into x.
    EXPECT_TRUE(std::isnan(rotate_y(Point{1.0, 5.0, nan}, 0.0).x));
}

TEST(Rotation, TurningBackReturnsThePoint) {
    const Point p{0.3, -1.7, 2.2};
    for (double a : {0.1, 1.0, -2.5, 3.0}) {
        expect_near(rotate_z(rotate_z(p, a), -a), p.x, p.y, p.z);
        expect_near(rotate_x(rotate_x(p, a), -a), p.x, p.y, p.z);
        expect_near(rotate_y(rotate_y(p, a), -a), p.x, p.y, p.z);
    }
}

TEST(Rotation, CachedTurnsMatchPerCallTurnsBitForBit) {
    const Point p{0.123, -4.56, 7.89};
    for (double a : {0.0, -0.0, 0.5, -1.25, 3.14159}) {
        const Point z1 = rotate_z(p, a);
        const Point z2 = rotate_z(p, turn_skipping_zero(a));
        const Point y1 = rotate_y(p, a);
        const Point y2 = rotate_y(p, turn_always(a));
        EXPECT_EQ(std::bit_cast<uint64_t>(z1.x), std::bit_cast<uint64_t>(z2.x));
        EXPECT_EQ(std::bit_cast<uint64_t>(z1.y), std::bit_cast<uint64_t>(z2.y));
        EXPECT_EQ(std::bit_cast<uint64_t>(y1.x), std::bit_cast<uint64_t>(y2.x));
        EXPECT_EQ(std::bit_cast<uint64_t>(y1.z), std::bit_cast<uint64_t>(y2.z));
    }
}

TEST(Point, DistanceAndLengthAreEuclidean) {
    EXPECT_EQ(length({3.0, 4.0, 12.0}), 13.0);
    EXPECT_EQ(distance({1.0, 1.0, 1.0}, {4.0, 5.0, 13.0}), 13.0);
    const Point s = Point{1, 2, 3} + Point{4, 5, 6} - Point{1, 1, 1};
    EXPECT_EQ(s.x, 4.0);
    EXPECT_EQ(s.y, 6.0);
    EXPECT_EQ(s.z, 8.0);
    const Point m = Point{1, -2, 3} * 2.0;
    EXPECT_EQ(m.y, -4.0);
}

}  // namespace
}  // namespace sowfield
