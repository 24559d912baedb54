#include "surface/polygon_weight.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "surface/target_polygons.h"
#include "tests/support/run_host.h"

namespace sowfield {
namespace {

using testing::CountedReads;

// A triangle and a quad, and the weight maps "density" and "size" (pop-up
// entries 1 and 2).
class PolygonWeight : public testing::RunTest {
protected:
    void SetUp() override {
        triangle = testing::add_triangle(world.fg, {0, 0, 0}, {1, 0, 0}, {0, 0, 1});
        quad = testing::add_quad(world.fg, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1});
        world.fg.add_vmap(SF_VMAP_WGHT, "density", 1);
        world.fg.add_vmap(SF_VMAP_WGHT, "size", 1);
    }
    void set_weight(const char *map, uint32_t polygon, size_t corner, float value) {
        testing::set_weight(world.fg, map, testing::corner(world.fg, polygon, corner), value);
    }
    double weight(uint32_t index, const char *map) { return polygon_weight(catalogue, polygon(world.fg, index), map); }

    uint32_t triangle = 0, quad = 0;
};

TEST_F(PolygonWeight, PopupIndexCountsFromOne) {
    world.fg.add_vmap(SF_VMAP_WGHT, "C", 1);
    begin();
    ASSERT_NE(weightmap_at(catalogue, 1), nullptr);
    EXPECT_EQ(std::string(weightmap_at(catalogue, 1)->name), "density");
    EXPECT_EQ(std::string(weightmap_at(catalogue, 2)->name), "size");
    EXPECT_EQ(std::string(weightmap_at(catalogue, 3)->name), "C");
    EXPECT_EQ(weightmap_at(catalogue, 4), nullptr);
    EXPECT_EQ(weightmap_at(catalogue, 0), nullptr);
    EXPECT_EQ(weightmap_at(catalogue, -1), nullptr);
    EXPECT_EQ(weightmap_at(catalogue, INT32_MIN), nullptr);

    vmap_catalogue empty(edit);
    EXPECT_EQ(weightmap_at(empty, 1), nullptr);
}

TEST_F(PolygonWeight, MeanCountsPointsWithoutAValueAsZero) {
    set_weight("density", triangle, 0, 1.0f);
    set_weight("density", triangle, 1, 0.5f);
    begin();
    EXPECT_EQ(weight(triangle, "density"), 0.5);
    // No point of the quad carries a value: 0, not the 1.0 of a missing map.
    EXPECT_EQ(weight(quad, "density"), 0.0);
    // Values of another map are not read.
    EXPECT_EQ(weight(triangle, "size"), 0.0);
}

TEST_F(PolygonWeight, MeanIsTakenInSinglePrecision) {
    testing::set_polygon_weight(world.fg, "density", triangle, 0.1f);
    // Large and small values: a double sum would keep the small ones.
    set_weight("size", triangle, 0, 16777216.0f);
    set_weight("size", triangle, 1, 1.0f);
    set_weight("size", triangle, 2, 1.0f);
    begin();
    EXPECT_EQ(weight(triangle, "density"), 0.10000000149011612);
    EXPECT_EQ(weight(triangle, "size"), static_cast<double>(16777216.0f / 3.0f));
}

TEST_F(PolygonWeight, NoMapNoNameOrNoSessionGiveOneWithoutAskingTheHost) {
    testing::set_polygon_weight(world.fg, "density", triangle, 0.25f);
    begin();
    CountedReads counted(*edit);
    catalogue.session = counted.record();
    EXPECT_EQ(weight(triangle, nullptr), 1.0);

    vmap_catalogue no_maps(counted.record());
    EXPECT_EQ(polygon_weight(no_maps, polygon(world.fg, triangle), "density"), 1.0);

    sf_edit_session stateless = *counted.record();
    stateless.state = nullptr;
    catalogue.session = &stateless;
    EXPECT_EQ(weight(triangle, "density"), 1.0);
    EXPECT_EQ(counted.select_calls, 0);
}

TEST_F(PolygonWeight, ReadsThroughTheHostOncePerPoint) {
    testing::set_polygon_weight(world.fg, "density", quad, 0.5f);
    begin();
    CountedReads counted(*edit);
    catalogue.session = counted.record();
    EXPECT_EQ(weight(quad, "density"), 0.5);
    EXPECT_EQ(counted.select_calls, 1);
    EXPECT_EQ(counted.polygon_info_calls, 1);
    EXPECT_EQ(counted.point_info_calls, 4);
}

TEST_F(PolygonWeight, UnknownOrEmptyPolygonsWeighNothing) {
    const uint32_t empty = world.fg.add_polygon(SF_POLY_FACE, {});
    begin();
    // A polygon record without points: no value at all, rather than 0/0.
    EXPECT_EQ(weight(empty, "density"), 0.0);
    // An id the host never gave out: refused (and noted as misuse).
    EXPECT_EQ(polygon_weight(catalogue, reinterpret_cast<sf_polygon_id>(uintptr_t{3}), "density"), 0.0);
    EXPECT_THAT(misuse.entries(), ::testing::ElementsAre(::testing::HasSubstr("polygon_info")));
    misuse.clear();
}

TEST_F(PolygonWeight, SizeWeightsAreOneMeanPerTargetPolygonInTargetOrder) {
    testing::set_polygon_weight(world.fg, "size", quad, 0.75f);
    set_weight("size", triangle, 0, 0.3f);
    begin();
    collect_targets(params_typ{});
    ASSERT_EQ(target_count, 2);

    compute_size_weights(target_count, catalogue, 2);
    ASSERT_NE(size_weights, nullptr);
    EXPECT_EQ(size_weights[0], static_cast<double>(0.3f / 3.0f));
    EXPECT_EQ(size_weights[1], 0.75);

    // An index past the catalogue names no map: 1.0 everywhere, no host call.
    CountedReads counted(*edit);
    catalogue.session = counted.record();
    compute_size_weights(target_count, catalogue, 3);
    EXPECT_EQ(size_weights[0], 1.0);
    EXPECT_EQ(size_weights[1], 1.0);
    EXPECT_EQ(counted.select_calls, 0);
}

}  // namespace
}  // namespace sowfield
