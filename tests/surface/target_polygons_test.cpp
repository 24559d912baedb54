#include "surface/target_polygons.h"

#include <gtest/gtest.h>

#include <cmath>

#include "plugin/run_data.h"
#include "settings/params.h"
#include "surface/polygon_weight.h"
#include "surface/site_distribution.h"
#include "tests/support/run_host.h"

namespace sowfield {
namespace {

using host::Vec3;
using testing::install_targets;

constexpr Point kUp{0, 1, 0};

double area_of(const std::vector<Point> &points) {
    install_targets({{points, kUp}});
    return polygon_area(0, target_polygons.get());
}

class PolygonArea : public testing::RunTest {};

TEST_F(PolygonArea, FanAreasFromHeronsFormula) {
    EXPECT_EQ(area_of({{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}), 6.0);
    // The second point is a reflex corner: the fan's triangles (2 and 8) add
    // up to more than the 6 the outline encloses.
    EXPECT_EQ(area_of({{0, 0, 0}, {2, 0, 1}, {4, 0, 0}, {2, 0, 4}}), 10.0);
    // Heron's formula rounds each half of the square a little below 2.
    EXPECT_EQ(area_of({{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}}), 3.9999999999999982);
}

TEST_F(PolygonArea, DegeneratePolygonsHaveNoArea) {
    EXPECT_EQ(area_of({{0, 0, 0}, {5, 0, 0}}), 0.0);
    EXPECT_EQ(area_of({{1, 1, 1}}), 0.0);
    // Collinear points: rounding takes Heron's product a little above or
    // below zero; below, its square root would not be a number.
    int exactly_zero = 0;
    for (double t = 0.1; t < 3.0; t += 0.1) {
        const double area = area_of({{0, 0, 0}, {t, 2 * t, 3 * t}, {3 * t, 6 * t, 9 * t}});
        ASSERT_GE(area, 0.0) << t;
        EXPECT_LT(area, 1e-5 * t * t) << t;
        if (area == 0.0) ++exactly_zero;
    }
    EXPECT_GT(exactly_zero, 0);
    EXPECT_EQ(triangle_area({0.1, 0.2, 0.3}, {0.1, 0.2, 0.3}, {0.1, 0.2, 0.3}), 0.0);
}

TEST_F(PolygonArea, TotalAddsRecordsInOrderAndIsZeroForNone) {
    EXPECT_EQ(total_area(nullptr, 0), 0.0);
    install_targets({{{{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}, kUp},
                     {{{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}}, kUp},
                     {{{0, 0, 0}, {1, 0, 0}}, kUp}});
    EXPECT_EQ(total_area(target_polygons.get(), 3), 6.0 + 3.9999999999999982);
    EXPECT_EQ(total_area(target_polygons.get(), 1), 6.0);
}

// One selected face per normal, and two that are never targets.
class CollectTargetPolygon : public testing::RunTest {
protected:
    void SetUp() override {
        const Vec3 a{0, 0, 0}, b{1, 0, 0}, c{0, 0, 1};
        up = add_face(world.fg, {a, b, c}, {0, 1, 0});
        down = add_face(world.fg, {a, c, b}, {0, -1, 0});
        wall = add_face(world.fg, {a, b, {0, 1, 0}}, {0, 0, 1});
        tilted = add_face(world.fg, {a, b, {0, 1, 1}}, {0, 1, 1});
        add_face(world.fg, {a, b, c}, {0, 1, 0}, {.selected = false});
        add_face(world.fg, {a, b, c}, {0, 1, 0}, {.type = SF_ID4('C', 'U', 'R', 'V')});
        begin();
    }

    // The indices of the collected polygons, in target order.
    std::vector<uint32_t> collected(const params_typ &settings) {
        collect_targets(settings);
        std::vector<uint32_t> indices;
        for (int32_t i = 0; i < target_count; ++i)
            for (uint32_t k = 0; k < world.fg.polygon_count(); ++k)
                if (target_polygons[static_cast<size_t>(i)].polygon == polygon(world.fg, k)) indices.push_back(k);
        release_run_data();
        return indices;
    }

    uint32_t up = 0, down = 0, wall = 0, tilted = 0;
};

using indices = std::vector<uint32_t>;

TEST_F(CollectTargetPolygon, WithoutSlopeLimitsEverySelectedFaceInScanOrder) {
    EXPECT_EQ(collected(params_typ{}), (indices{up, down, wall, tilted}));
}

TEST_F(CollectTargetPolygon, DefaultLimitsSkipAFaceLookingStraightDown) {
    params_typ settings;
    settings.slope_limits = 1;
    // pi is just above the default maximum of 3.1415; a wall (pi/2) is kept.
    EXPECT_EQ(collected(settings), (indices{up, wall, tilted}));
}

TEST_F(CollectTargetPolygon, ZeroLimitsKeepOnlyFacesLookingStraightUp) {
    params_typ settings;
    settings.slope_limits = 1;
    settings.min_slope_angle = 0.0;
    settings.max_slope_angle = 0.0;
    EXPECT_EQ(collected(settings), (indices{up}));
}

TEST_F(CollectTargetPolygon, BothLimitsAreInclusive) {
    params_typ settings;
    settings.slope_limits = 1;
    // The tilted face's slope, computed the way the filter does.
    const double slope = std::atan2(std::sqrt(1.0 * 1.0 + 0.0 * 0.0), 1.0);
    settings.min_slope_angle = slope;
    settings.max_slope_angle = slope;
    EXPECT_EQ(collected(settings), (indices{tilted}));
    settings.max_slope_angle = std::nextafter(slope, 0.0);
    EXPECT_EQ(collected(settings), indices{});
    settings.max_slope_angle = slope;
    settings.min_slope_angle = std::nextafter(slope, 4.0);
    EXPECT_EQ(collected(settings), indices{});
    // Any value other than 1 leaves the limits off.
    settings.slope_limits = 2;
    EXPECT_EQ(collected(settings).size(), 4u);
}

class CollectedRecord : public testing::RunTest {};

TEST_F(CollectedRecord, HoldsPointsNormalAndIdAsTheHostGaveThem) {
    add_face(world.fg, {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 0}, {.selected = false});
    const uint32_t quad = add_face(world.fg, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {-1, -2, -3}}, {0.5, 0.25, 2.0});
    const uint32_t pair = add_face(world.fg, {{9, 9, 9}, {8, 8, 8}}, {0, 0, 0});
    begin();
    collect_targets(params_typ{});
    ASSERT_EQ(target_count, 2);
    const face6_typ &first = target_polygons[0];
    EXPECT_EQ(first.polygon, polygon(world.fg, quad));
    ASSERT_EQ(first.point_count, 4);
    EXPECT_EQ(first.points[3].x, -1.0);
    EXPECT_EQ(first.points[3].z, -3.0);
    EXPECT_EQ(first.points[1].y, 5.0);
    EXPECT_EQ(first.normal.x, 0.5);
    EXPECT_EQ(first.normal.z, 2.0);
    // Two-point polygons are kept; their area is 0.
    EXPECT_EQ(target_polygons[1].polygon, polygon(world.fg, pair));
    EXPECT_EQ(target_polygons[1].point_count, 2);
    EXPECT_EQ(polygon_area(1, target_polygons.get()), 0.0);
}

class ReleaseRunData : public testing::RunTest {};

TEST_F(ReleaseRunData, EmptiesEveryRunArrayAndCanBeCalledTwice) {
    install_targets({{{{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, kUp}});
    size_weights = std::make_unique<double[]>(1);
    insert_site({1, 2, 3});
    link_site_list();
    ASSERT_NE(site_list, nullptr);
    release_run_data();
    EXPECT_EQ(target_polygons, nullptr);
    EXPECT_EQ(target_count, 0);
    EXPECT_EQ(site_list, nullptr);
    EXPECT_EQ(size_weights, nullptr);
    release_run_data();
    EXPECT_EQ(target_polygons, nullptr);
    EXPECT_EQ(site_list, nullptr);
}

}  // namespace
}  // namespace sowfield
