#include "clone/clone_transform.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>
#include <random>

#include "numeric/random.h"
#include "surface/polygon_weight.h"

#include "tests/clone/clone_settings.h"
#include "tests/support/run_host.h"

namespace sowfield {
namespace {

constexpr double kHalfPi = std::numbers::pi / 2.0;
constexpr int32_t kSeed = 812;

using testing::identity_settings;

bool same_bits(const Point &a, const Point &b) { return std::memcmp(&a, &b, sizeof(Point)) == 0; }

void expect_near(const Point &p, double x, double y, double z) {
    EXPECT_NEAR(p.x, x, 1e-15);
    EXPECT_NEAR(p.y, y, 1e-15);
    EXPECT_NEAR(p.z, z, 1e-15);
}

class CloneTransform : public testing::RunTest {
protected:
    void SetUp() override {
        generator.reseed(kSeed);
        expected.reseed(kSeed);
        current_site = &site;
        mean_area = 1.0;
    }

    // The generator's next number, compared with what `expected` says it
    // should be: proves how many numbers were consumed.
    void expect_generator_in_step() { EXPECT_EQ(generator.next_unit(), expected.next_unit()); }

    clone_site site;
    random expected;  // a second generator on the same seed, drawn by hand
};

TEST_F(CloneTransform, DrawsHeadingPitchBankThenSizesInThatOrder) {
    params_typ s = identity_settings();
    s.h_min = 0.1, s.h_max = 0.4;
    s.p_min = -0.3, s.p_max = 0.2;
    s.b_min = 1.5, s.b_max = 1.0;  // bounds in either order
    s.independent_sizes = 1;
    s.size_variation_x = 0.25, s.size_variation_y = 0.5, s.size_variation_z = 0.125;
    draw_clone_transform(s);
    EXPECT_EQ(clone_state.angles.x, expected.next_unit() * (0.4 - 0.1) + 0.1);
    EXPECT_EQ(clone_state.angles.y, expected.next_unit() * (0.2 - -0.3) + -0.3);
    EXPECT_EQ(clone_state.angles.z, expected.next_unit() * (1.5 - 1.0) + 1.0);
    EXPECT_EQ(clone_state.scale_x, (expected.next_unit() * (1.25 - 0.75) + 0.75) * 1.0);
    EXPECT_EQ(clone_state.scale_y, (expected.next_unit() * (1.5 - 0.5) + 0.5) * 1.0);
    EXPECT_EQ(clone_state.scale_z, (expected.next_unit() * (1.125 - 0.875) + 0.875) * 1.0);
    expect_generator_in_step();
}

TEST_F(CloneTransform, ZeroBoundsAndZeroVariationDrawNothing) {
    params_typ s = identity_settings();
    s.independent_sizes = 1;
    draw_clone_transform(s);
    EXPECT_EQ(clone_state.scale_x, 1.0);
    EXPECT_EQ(clone_state.scale_y, 1.0);
    EXPECT_EQ(clone_state.scale_z, 1.0);
    EXPECT_EQ(clone_state.angles.x, 0.0);
    expect_generator_in_step();
}

TEST_F(CloneTransform, WithoutIndependentSizesOnlyTheXVariationCounts) {
    params_typ s = identity_settings();
    s.size_variation_y = 0.9;
    s.size_variation_z = 0.7;
    clone_state.scale_y = clone_state.scale_z = 42.0;
    draw_clone_transform(s);
    EXPECT_EQ(clone_state.scale_x, 1.0);
    EXPECT_EQ(clone_state.scale_y, 42.0);
    expect_generator_in_step();
    const Point p = transform_point({1.0, 2.0, 3.0}, s);
    EXPECT_TRUE(same_bits(p, {1.0, 2.0, 3.0}));
}

TEST_F(CloneTransform, PolygonAreaScalesByTheFlooredRatioTimesThePower) {
    params_typ s = identity_settings();
    s.size_by_poly_area = 1;
    s.dependence_power = 0.5;
    mean_area = 4.0;
    site.area = 2.0;  // half the mean: held at 0.7
    draw_clone_transform(s);
    EXPECT_EQ(clone_state.scale_x, 0.7 * 0.5);
    site.area = 8.0;
    draw_clone_transform(s);
    EXPECT_EQ(clone_state.scale_x, 1.0);
    site.area = 3.0;  // three quarters: above the floor, kept
    draw_clone_transform(s);
    EXPECT_EQ(clone_state.scale_x, 0.75 * 0.5);
}

TEST_F(CloneTransform, AreaRatioWithoutAFiniteValueIsHeldAtTheFloor) {
    params_typ s = identity_settings();
    s.size_by_poly_area = 1;
    s.dependence_power = 2.0;
    s.independent_sizes = 1;
    s.size_variation_y = 0.5;
    struct Case {
        double area, mean;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Case c : {Case{0.0, 0.0}, Case{1.0, 0.0}, Case{nan, nan}, Case{2.0, nan}}) {
        site.area = c.area;
        mean_area = c.mean;
        draw_clone_transform(s);
        EXPECT_EQ(clone_state.scale_x, kAreaRatioFloor * 2.0) << c.area << " over " << c.mean;
        EXPECT_TRUE(std::isfinite(clone_state.scale_y));
        const Point p = transform_point({1.0, 1.0, 1.0}, s);
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    }
}

TEST_F(CloneTransform, SizeWeightActsWithHalfInfluenceWhenNegative) {
    params_typ s = identity_settings();
    s.size_weightmap = 1;
    s.size_weightmap_influence = 0.5;
    size_weights = std::make_unique<double[]>(3);
    size_weights[0] = 1.0, size_weights[1] = -1.0, size_weights[2] = 0.0;
    draw_clone_transform(s);
    const double factors[] = {1.5, 0.75, 1.0};
    for (int32_t k = 0; k < 3; ++k) {
        site.polygon_index = k;
        EXPECT_EQ(transform_point({2.0, 0.0, 0.0}, s).x, 2.0 * factors[k]) << "weight " << size_weights[k];
    }
}

TEST_F(CloneTransform, JitterMovesEachPointAlongTheLineThroughThePivot) {
    params_typ s = identity_settings();
    s.jitter = 0.1;
    draw_clone_transform(s);
    for (int k = 0; k < 20; ++k) {
        const Point p = transform_point({1.0, 2.0, -4.0}, s);
        const double j = expected.next_unit() * (1.1 - 0.9) + 0.9;  // one draw per call
        EXPECT_EQ(p.x, j);
        EXPECT_EQ(p.y, 2.0 * j);
        EXPECT_EQ(p.z, -4.0 * j);
        EXPECT_GE(j, 0.9);
        EXPECT_LE(j, 1.1);
    }
    s.jitter = 0.0;
    EXPECT_TRUE(same_bits(transform_point({1.0, 2.0, -4.0}, s), {1.0, 2.0, -4.0}));
    expect_generator_in_step();
}

TEST_F(CloneTransform, AlignmentCarriesTheUpAxisOntoTheSiteNormal) {
    params_typ s = identity_settings();
    s.h_align_normals = s.p_align_normals = 1;
    draw_clone_transform(s);
    site.pitch = kHalfPi;
    site.heading = 0.0;
    expect_near(transform_point({0, 1, 0}, s), 1, 0, 0);
    site.heading = kHalfPi;
    expect_near(transform_point({0, 1, 0}, s), 0, 0, 1);

    // A heading of a quarter turn alone, no alignment.
    s.h_align_normals = s.p_align_normals = 0;
    clone_state.angles = {kHalfPi, 0.0, 0.0};
    expect_near(transform_point({1, 0, 0}, s), 0, 0, 1);
}

TEST_F(CloneTransform, UndoingTheTurnsInReverseOrderGivesThePointBack) {
    params_typ s = identity_settings();
    s.h_align_normals = s.p_align_normals = 1;
    clone_state = {{0.7, -1.1, 2.3}, 1.0, 1.0, 1.0};
    site.pitch = 0.4;
    site.heading = -2.6;
    const Point start{0.3, -1.7, 2.2};
    Point p = transform_point(start, s);
    p = rotate_y(p, -site.heading);
    p = rotate_z(p, -site.pitch);
    p = rotate_y(p, -0.7);
    p = rotate_x(p, 1.1);
    p = rotate_z(p, -2.3);
    expect_near(p, start.x, start.y, start.z);
}

TEST_F(CloneTransform, OriginStaysAtThePivotUnderAnySettings) {
    params_typ s = identity_settings();
    s.h_min = -1, s.h_max = 2, s.p_min = -1, s.p_max = 2, s.b_min = -1, s.b_max = 2;
    s.independent_sizes = 1;
    s.size_variation_x = s.size_variation_y = s.size_variation_z = 0.5;
    s.jitter = 0.3;
    s.size_weightmap = 1;
    size_weights = std::make_unique<double[]>(1);
    size_weights[0] = -0.4;
    s.h_align_normals = s.p_align_normals = 1;
    site.pitch = 0.9, site.heading = -0.3;
    draw_clone_transform(s);
    const Point o = transform_point({}, s);
    EXPECT_EQ(o.x, 0.0);
    EXPECT_EQ(o.y, 0.0);
    EXPECT_EQ(o.z, 0.0);
}

// The turns' sines and cosines are kept between calls; every result must
// still be exactly what rotating by the angles themselves gives, also when the
// angles change between calls, come back, or are -0.0 or not a number.
TEST_F(CloneTransform, KeptTurnsMatchTurningByTheAnglesBitForBit) {
    params_typ s = identity_settings();
    s.h_align_normals = s.p_align_normals = 1;
    clone_state.scale_x = 1.0;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double special[] = {0.0, -0.0, nan, 1e-300, -3.0, 1e6};
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> angle(-7.0, 7.0);
    auto pick = [&] { return rng() % 3 == 0 ? special[rng() % 6] : angle(rng); };
    Point previous_angles;
    for (int round = 0; round < 300; ++round) {
        // Now and then go back to the angles of the round before.
        clone_state.angles = round % 7 == 3 ? previous_angles : Point{pick(), pick(), pick()};
        previous_angles = clone_state.angles;
        site.pitch = pick();
        site.heading = pick();
        for (int k = 0; k < 4; ++k) {
            const Point p{angle(rng), angle(rng), angle(rng)};
            Point expected_point = rotate_z(p, clone_state.angles.z);
            expected_point = rotate_x(expected_point, clone_state.angles.y);
            expected_point = rotate_y(expected_point, clone_state.angles.x);
            expected_point = rotate_z(expected_point, site.pitch);
            expected_point = rotate_y(expected_point, site.heading);
            ASSERT_TRUE(same_bits(transform_point(p, s), expected_point)) << "round " << round;
        }
    }
}

}  // namespace
}  // namespace sowfield
