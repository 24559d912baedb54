#include "host/scene/scene.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "sowfield_host.h"

namespace sowfield::host {
namespace {

constexpr uint32_t kBlock = VertexMap::kBlockPoints;

std::vector<float> read(const VertexMap &map, uint32_t point) {
    const float *v = map.value(point);
    return v != nullptr ? std::vector<float>(v, v + map.dimension()) : std::vector<float>{};
}

TEST(VertexMap, ValuesOfEveryDimensionReadBackExactlyAndOnlyWhereWritten) {
    for (int dimension = 1; dimension <= 4; ++dimension) {
        VertexMap map(0, "m", dimension);
        const float first[4] = {1.5f, -0.0f, 3e-39f, 7.0f};  // a negative zero and a subnormal survive
        const float second[4] = {-2.0f, 1e30f, 0.125f, -7.0f};
        map.set_value(0, first);
        map.set_value(2, second);
        const std::vector<float> expect_second(second, second + dimension);
        EXPECT_EQ(std::memcmp(map.value(0), first, sizeof(float) * static_cast<size_t>(dimension)), 0) << dimension;
        EXPECT_EQ(read(map, 1), std::vector<float>{});
        EXPECT_EQ(read(map, 2), expect_second);
        EXPECT_EQ(read(map, 3), std::vector<float>{});
        EXPECT_EQ(map.value_count(), 2u);
    }
}

// A map written only far into a large layer (a numbered morph map of a late
// clone) answers every other point, before and after, with no value.
TEST(VertexMap, DistantValuesLeaveTheBlocksBetweenEmpty) {
    VertexMap map(0, "bulge7", 3);
    const float d[3] = {1, 2, 3};
    map.set_value(5 * kBlock + 17, d);
    map.set_value(kBlock - 1, d);
    for (uint32_t p : {0u, kBlock - 2, kBlock, 2 * kBlock, 5 * kBlock + 16, 5 * kBlock + 18, 9 * kBlock})
        EXPECT_EQ(map.value(p), nullptr) << p;
    EXPECT_EQ(read(map, 5 * kBlock + 17), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(read(map, kBlock - 1), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(map.value_count(), 2u);
}

TEST(VertexMap, OverwritingAndClearingCountEachPointOnce) {
    VertexMap map(0, "w", 1);
    const float a = 0.5f, b = 0.75f;
    map.set_value(64, &a);
    map.set_value(64, &b);
    EXPECT_EQ(map.value_count(), 1u);
    EXPECT_EQ(*map.value(64), 0.75f);
    map.clear_value(64);
    map.clear_value(64);
    map.clear_value(3 * kBlock);  // in a block never allocated
    EXPECT_EQ(map.value_count(), 0u);
    EXPECT_EQ(map.value(64), nullptr);
    map.set_value(64, &a);
    EXPECT_EQ(map.value_count(), 1u);
}

// Rollback forgets values from a point count on: within a block (the bits
// after it, across 64-bit words) and whole later blocks.
TEST(VertexMap, TruncateForgetsExactlyThePointsFromTheCountOn) {
    VertexMap map(0, "w", 1);
    std::vector<uint32_t> points = {0, 62, 63, 64, 65, 127, 128, 1000, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 5};
    for (uint32_t p : points) {
        const float v = static_cast<float>(p);
        map.set_value(p, &v);
    }
    for (uint32_t cut : {3 * kBlock + 6, 3 * kBlock, kBlock + 1, kBlock, 129u, 64u, 63u, 1u, 0u}) {
        map.truncate(cut);
        uint64_t expected = 0;
        for (uint32_t p : points) {
            if (p < cut) {
                ++expected;
                ASSERT_NE(map.value(p), nullptr) << p << " cut at " << cut;
                EXPECT_EQ(*map.value(p), static_cast<float>(p));
            } else {
                EXPECT_EQ(map.value(p), nullptr) << p << " cut at " << cut;
            }
        }
        EXPECT_EQ(map.value_count(), expected) << "cut at " << cut;
    }
    const float again = 9.0f;
    map.set_value(2 * kBlock, &again);
    EXPECT_EQ(*map.value(2 * kBlock), 9.0f);
    EXPECT_EQ(map.value_count(), 1u);
}

Layer layer_with_points(uint32_t count) {
    Layer layer("l");
    for (uint32_t i = 0; i < count; ++i) layer.add_point({static_cast<double>(i), 0, 0});
    return layer;
}

// A polygon's corners stay contiguous: one that would straddle a block of
// the corner storage starts the next block, and every polygon reads back.
TEST(VertexMap, RunOfValuesOnlyWhereEveryPointOfOneBlockHasOne) {
    VertexMap map(SF_VMAP_TXUV, "UV", 2);
    const uint32_t edge = VertexMap::kBlockPoints;
    for (uint32_t p = edge - 100; p < edge + 100; ++p) {
        const float uv[2] = {static_cast<float>(p), 0.5f};
        if (p != edge - 30) map.set_value(p, uv);
    }
    const float *run = map.run_of_values(edge - 100, 70);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run, map.value(edge - 100));
    EXPECT_EQ(run[2 * 69], static_cast<float>(edge - 31));
    EXPECT_EQ(map.run_of_values(edge - 100, 71), nullptr);  // a point without a value
    EXPECT_EQ(map.run_of_values(edge - 20, 40), nullptr);   // two blocks
    EXPECT_EQ(map.run_of_values(2 * edge, 5), nullptr);     // a block never written
    EXPECT_NE(map.run_of_values(edge, 100), nullptr);
}

TEST(Layer, PolygonsReadBackAcrossCornerBlocks) {
    Layer layer = layer_with_points(8);
    std::vector<std::vector<uint32_t>> made;
    const size_t corner_block = size_t{1} << 16;
    size_t corners = 0;
    for (uint32_t i = 0; corners < 2 * corner_block + 10; ++i) {
        std::vector<uint32_t> points;
        for (uint32_t k = 0; k < 3 + i % 5; ++k) points.push_back((i + k) % 8);
        corners += points.size();
        layer.add_polygon(SF_ID4('F', 'A', 'C', 'E'), points, i % 3, i % 2);
        made.push_back(points);
    }
    ASSERT_EQ(layer.polygon_count(), made.size());
    for (uint32_t p = 0; p < made.size(); ++p) {
        const PolygonView view = layer.polygon(p);
        ASSERT_EQ(std::vector<uint32_t>(view.points.begin(), view.points.end()), made[p]) << p;
        EXPECT_EQ(view.surface, p % 3);
        EXPECT_EQ(view.flags, p % 2);
    }
}

// A polygon without points (a hostile file can make one) sits between
// ordinary ones without disturbing their corners.
TEST(Layer, PolygonWithoutPointsReadsBackEmpty) {
    Layer layer = layer_with_points(3);
    const uint32_t tri[3] = {0, 1, 2};
    layer.add_polygon(1, tri);
    layer.add_polygon(1, std::span<const uint32_t>{});
    layer.add_polygon(1, tri);
    EXPECT_TRUE(layer.polygon_points(1).empty());
    EXPECT_EQ(std::vector<uint32_t>(layer.polygon_points(2).begin(), layer.polygon_points(2).end()),
              (std::vector<uint32_t>{0, 1, 2}));
}

TEST(Layer, RefusedPolygonLeavesTheLayerAsItWas) {
    Layer layer = layer_with_points(3);
    const uint32_t ok[3] = {0, 1, 2};
    layer.add_polygon(1, ok);
    const uint32_t missing[3] = {0, 3, 1};
    EXPECT_THROW(layer.add_polygon(1, missing), std::out_of_range);
    EXPECT_THROW(layer.add_polygon(1, ok, Layer::kMaxSurfaces), std::invalid_argument);
    EXPECT_THROW(layer.add_polygon(1, ok, 0, Layer::kMaxFlags), std::invalid_argument);
    EXPECT_EQ(layer.polygon_count(), 1u);
    layer.add_polygon(2, ok);
    EXPECT_EQ(layer.polygon_type(1), 2u);
    EXPECT_EQ(layer.polygon_points(1).size(), 3u);
}

}  // namespace
}  // namespace sowfield::host
