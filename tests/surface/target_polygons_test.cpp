#include "surface/target_polygons.h"

#include <gtest/gtest.h>

#include <cmath>

#include "fake_session.h"
#include "plugin/run_data.h"
#include "settings/params.h"
#include "surface/polygon_weight.h"
#include "surface/site_distribution.h"

namespace sowfield {
namespace {

using testing::fake_session;
using testing::install_targets;

constexpr Point kUp{0, 1, 0};

double area_of(const std::vector<Point> &points) {
    install_targets({{points, kUp}});
    const double area = polygon_area(0, target_polygons.get());
    release_run_data();
    return area;
}

TEST(PolygonArea, FanAreasFromHeronsFormula) {
    EXPECT_EQ(area_of({{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}), 6.0);
    // The second point is a reflex corner: the fan's triangles (2 and 8) add
    // up to more than the 6 the outline encloses.
    EXPECT_EQ(area_of({{0, 0, 0}, {2, 0, 1}, {4, 0, 0}, {2, 0, 4}}), 10.0);
    // Heron's formula rounds each half of the square a little below 2.
    EXPECT_EQ(area_of({{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}}), 3.9999999999999982);
}

TEST(PolygonArea, DegeneratePolygonsHaveNoArea) {
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

TEST(PolygonArea, TotalAddsRecordsInOrderAndIsZeroForNone) {
    EXPECT_EQ(total_area(nullptr, 0), 0.0);
    install_targets({{{{0, 0, 0}, {3, 0, 0}, {0, 4, 0}}, kUp},
                     {{{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}}, kUp},
                     {{{0, 0, 0}, {1, 0, 0}}, kUp}});
    EXPECT_EQ(total_area(target_polygons.get(), 3), 6.0 + 3.9999999999999982);
    EXPECT_EQ(total_area(target_polygons.get(), 1), 6.0);
    release_run_data();
}

// The scene the slope tests share: one selected face per normal.
struct sloped_scene {
    fake_session scene;
    sf_polygon_id up, down, wall, tilted, unselected, curve;

    sloped_scene() {
        up = scene.add_face({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 0});
        down = scene.add_face({{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}, {0, -1, 0});
        wall = scene.add_face({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 0, 1});
        tilted = scene.add_face({{0, 0, 0}, {1, 0, 0}, {0, 1, 1}}, {0, 1, 1});
        unselected = scene.add_face({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 0}, false);
        curve = scene.add_face({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 0}, true, SF_ID4('C', 'U', 'R', 'V'));
    }

    std::vector<sf_polygon_id> collected(const params_typ &settings) {
        testing::collect_targets(scene, settings);
        std::vector<sf_polygon_id> ids;
        for (int32_t i = 0; i < target_count; ++i) ids.push_back(target_polygons[static_cast<size_t>(i)].polygon);
        release_run_data();
        return ids;
    }
};

using ids = std::vector<sf_polygon_id>;

TEST(CollectTargetPolygon, WithoutSlopeLimitsEverySelectedFaceInScanOrder) {
    sloped_scene s;
    params_typ settings;
    EXPECT_EQ(s.collected(settings), (ids{s.up, s.down, s.wall, s.tilted}));
}

TEST(CollectTargetPolygon, DefaultLimitsSkipAFaceLookingStraightDown) {
    sloped_scene s;
    params_typ settings;
    settings.slope_limits = 1;
    // pi is just above the default maximum of 3.1415; a wall (pi/2) is kept.
    EXPECT_EQ(s.collected(settings), (ids{s.up, s.wall, s.tilted}));
}

TEST(CollectTargetPolygon, ZeroLimitsKeepOnlyFacesLookingStraightUp) {
    sloped_scene s;
    params_typ settings;
    settings.slope_limits = 1;
    settings.min_slope_angle = 0.0;
    settings.max_slope_angle = 0.0;
    EXPECT_EQ(s.collected(settings), (ids{s.up}));
}

TEST(CollectTargetPolygon, BothLimitsAreInclusive) {
    sloped_scene s;
    params_typ settings;
    settings.slope_limits = 1;
    // The tilted face's slope, computed the way the filter does.
    const double slope = std::atan2(std::sqrt(1.0 * 1.0 + 0.0 * 0.0), 1.0);
    settings.min_slope_angle = slope;
    settings.max_slope_angle = slope;
    EXPECT_EQ(s.collected(settings), (ids{s.tilted}));
    settings.max_slope_angle = std::nextafter(slope, 0.0);
    EXPECT_EQ(s.collected(settings), ids{});
    settings.max_slope_angle = slope;
    settings.min_slope_angle = std::nextafter(slope, 4.0);
    EXPECT_EQ(s.collected(settings), ids{});
    // Any value other than 1 leaves the limits off.
    settings.slope_limits = 2;
    EXPECT_EQ(s.collected(settings).size(), 4u);
}

TEST(CollectTargetPolygon, RecordsPointsNormalAndIdAsTheHostGaveThem) {
    fake_session scene;
    scene.add_face({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}, {0, 1, 0}, false);
    const sf_polygon_id quad = scene.add_face({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {-1, -2, -3}}, {0.5, 0.25, 2.0});
    const sf_polygon_id pair = scene.add_face({{9, 9, 9}, {8, 8, 8}}, {0, 0, 0});
    testing::collect_targets(scene, params_typ{});
    ASSERT_EQ(target_count, 2);
    const face6_typ &first = target_polygons[0];
    EXPECT_EQ(first.polygon, quad);
    ASSERT_EQ(first.point_count, 4);
    EXPECT_EQ(first.points[3].x, -1.0);
    EXPECT_EQ(first.points[3].z, -3.0);
    EXPECT_EQ(first.points[1].y, 5.0);
    EXPECT_EQ(first.normal.x, 0.5);
    EXPECT_EQ(first.normal.z, 2.0);
    // Two-point polygons are kept; their area is 0.
    EXPECT_EQ(target_polygons[1].polygon, pair);
    EXPECT_EQ(target_polygons[1].point_count, 2);
    EXPECT_EQ(polygon_area(1, target_polygons.get()), 0.0);
    release_run_data();
}

TEST(ReleaseRunData, EmptiesEveryRunArrayAndCanBeCalledTwice) {
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
