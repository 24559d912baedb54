#include "surface/polygon_weight.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_session.h"
#include "plugin/run_data.h"
#include "surface/target_polygons.h"

namespace sowfield {
namespace {

using testing::fake_session;
using testing::fill_catalogue;

constexpr Point kUp{0, 1, 0};

TEST(WeightmapAt, PopupIndexCountsFromOne) {
    fake_session scene;
    vmap_catalogue catalogue(scene.session());
    fill_catalogue(catalogue, {"A", "B", "C"});
    ASSERT_NE(weightmap_at(catalogue, 1), nullptr);
    EXPECT_EQ(std::string(weightmap_at(catalogue, 1)->name), "A");
    EXPECT_EQ(std::string(weightmap_at(catalogue, 2)->name), "B");
    EXPECT_EQ(std::string(weightmap_at(catalogue, 3)->name), "C");
    EXPECT_EQ(weightmap_at(catalogue, 4), nullptr);
    EXPECT_EQ(weightmap_at(catalogue, 0), nullptr);
    EXPECT_EQ(weightmap_at(catalogue, -1), nullptr);
    EXPECT_EQ(weightmap_at(catalogue, INT32_MIN), nullptr);

    vmap_catalogue empty(scene.session());
    EXPECT_EQ(weightmap_at(empty, 1), nullptr);
}

// A triangle and a quad, and a catalogue of the maps "density" and "size".
struct weighted_scene {
    fake_session scene;
    vmap_catalogue catalogue{scene.session()};
    sf_point_id a, b, c;
    sf_polygon_id triangle, quad;

    weighted_scene() {
        a = scene.add_point({0, 0, 0});
        b = scene.add_point({1, 0, 0});
        c = scene.add_point({0, 0, 1});
        triangle = scene.add_polygon({a, b, c}, kUp);
        quad = scene.add_face({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, kUp);
        fill_catalogue(catalogue, {"density", "size"});
    }
};

TEST(PolygonWeight, MeanCountsPointsWithoutAValueAsZero) {
    weighted_scene s;
    s.scene.set_weight("density", s.a, 1.0f);
    s.scene.set_weight("density", s.b, 0.5f);
    EXPECT_EQ(polygon_weight(s.catalogue, s.triangle, "density"), 0.5);
    // No point of the quad carries a value: 0, not the 1.0 of a missing map.
    EXPECT_EQ(polygon_weight(s.catalogue, s.quad, "density"), 0.0);
    // Values of another map are not read.
    EXPECT_EQ(polygon_weight(s.catalogue, s.triangle, "size"), 0.0);
}

TEST(PolygonWeight, MeanIsTakenInSinglePrecision) {
    weighted_scene s;
    s.scene.set_polygon_weight("density", s.triangle, 0.1f);
    EXPECT_EQ(polygon_weight(s.catalogue, s.triangle, "density"), 0.10000000149011612);
    // Large and small values: a double sum would keep the small ones.
    s.scene.set_weight("size", s.a, 16777216.0f);
    s.scene.set_weight("size", s.b, 1.0f);
    s.scene.set_weight("size", s.c, 1.0f);
    EXPECT_EQ(polygon_weight(s.catalogue, s.triangle, "size"), static_cast<double>(16777216.0f / 3.0f));
}

TEST(PolygonWeight, NoMapNoNameOrNoSessionGiveOne) {
    weighted_scene s;
    s.scene.set_polygon_weight("density", s.triangle, 0.25f);
    EXPECT_EQ(polygon_weight(s.catalogue, s.triangle, nullptr), 1.0);

    vmap_catalogue no_maps(s.scene.session());
    EXPECT_EQ(polygon_weight(no_maps, s.triangle, "density"), 1.0);

    sf_edit_session stateless = *s.scene.session();
    stateless.state = nullptr;
    vmap_catalogue no_state(&stateless);
    fill_catalogue(no_state, {"density"});
    EXPECT_EQ(polygon_weight(no_state, s.triangle, "density"), 1.0);
    // None of these asked the host anything.
    EXPECT_EQ(s.scene.select_calls, 0);
}

TEST(PolygonWeight, ReadsThroughTheHostOncePerPoint) {
    weighted_scene s;
    s.scene.set_polygon_weight("density", s.quad, 0.5f);
    EXPECT_EQ(polygon_weight(s.catalogue, s.quad, "density"), 0.5);
    EXPECT_EQ(s.scene.select_calls, 1);
    EXPECT_EQ(s.scene.polygon_info_calls, 1);
    EXPECT_EQ(s.scene.point_info_calls, 4);
}

TEST(PolygonWeight, UnknownOrEmptyPolygonsWeighNothing) {
    weighted_scene s;
    EXPECT_EQ(polygon_weight(s.catalogue, fake_session::unknown_polygon(), "density"), 0.0);
    // A polygon record without points: no value at all, rather than 0/0.
    const sf_polygon_id empty = s.scene.add_empty_polygon();
    EXPECT_EQ(polygon_weight(s.catalogue, empty, "density"), 0.0);
}

TEST(ComputeSizeWeights, OneMeanPerTargetPolygonInTargetOrder) {
    weighted_scene s;
    s.scene.set_polygon_weight("size", s.quad, 0.75f);
    s.scene.set_weight("size", s.a, 0.3f);
    testing::collect_targets(s.scene, params_typ{});
    ASSERT_EQ(target_count, 2);

    compute_size_weights(target_count, s.catalogue, 2);
    ASSERT_NE(size_weights, nullptr);
    EXPECT_EQ(size_weights[0], static_cast<double>(0.3f / 3.0f));
    EXPECT_EQ(size_weights[1], 0.75);

    // An index past the catalogue names no map: 1.0 everywhere, no host call.
    const int calls = s.scene.select_calls;
    compute_size_weights(target_count, s.catalogue, 3);
    EXPECT_EQ(size_weights[0], 1.0);
    EXPECT_EQ(size_weights[1], 1.0);
    EXPECT_EQ(s.scene.select_calls, calls);
    release_run_data();
    EXPECT_EQ(size_weights, nullptr);
}

}  // namespace
}  // namespace sowfield
