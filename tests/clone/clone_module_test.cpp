// Clones built by the real module inside the strict stand-in host: what the
// foreground holds after a run, and that no call broke the contract.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tests/support/module_fixture.h"

namespace sowfield::testing {
namespace {

TEST_F(ModuleTest, FourClonesOfACubeWithNumberedMorphs) {
    add_quad(world.fg, {0, 0, 0}, {0, 0, 4}, {4, 0, 4}, {4, 0, 0});
    const uint32_t first = add_cube(world.bg, {0, 0.5, 0}, 1.0);
    for (uint32_t point = 0; point < 8; ++point) set_morph(world.bg, "lift", point, 0.0f, 0.25f, 0.0f);
    set_uv(world.bg, "uv", corner(world.bg, first, 0), 0.5f, 0.5f);
    answer({{"Number of Clones", int32_t{4}}, {"Auto morph maps", int32_t{2}}});
    ASSERT_EQ(run(), SF_AFUNC_OK);
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(host.violations().empty()) << host.violations().front();
    EXPECT_EQ(host.end_codes(), std::vector<int32_t>{0});

    // 8 shared points and 6 quads per clone, on top of the floor's 4 and 1.
    ASSERT_EQ(world.fg.point_count(), 4u + 32u);
    ASSERT_EQ(world.fg.polygon_count(), 1u + 24u);
    const host::VertexMap *index = world.fg.find_vmap(SF_VMAP_WGHT, "SF_index");
    ASSERT_NE(index, nullptr);
    for (uint32_t k = 0; k < 32; ++k) {
        const float *value = index->value(4 + k);
        ASSERT_NE(value, nullptr) << "point " << k;
        EXPECT_EQ(*value, static_cast<float>(k / 8) / 4.0f) << "point " << k;
    }
    for (uint32_t p = 1; p < world.fg.polygon_count(); ++p) {
        EXPECT_EQ(world.fg.polygon_points(p).size(), 4u);
        EXPECT_EQ(world.fg.polygon_flags(p) & SF_POLY_SELECTED, 0u) << "a copy took its template's selection";
    }

    // Only the numbered morph maps were written, each clone to one of them.
    EXPECT_EQ(world.fg.find_vmap(SF_VMAP_MORF, "lift"), nullptr);
    uint64_t morph_values = 0;
    for (const char *name : {"lift1", "lift2", "lift3"})
        if (const host::VertexMap *map = world.fg.find_vmap(SF_VMAP_MORF, name)) morph_values += map->value_count();
    EXPECT_EQ(morph_values, 32u);
    const host::VertexMap *uv = world.fg.find_vmap(SF_VMAP_TXUV, "uv");
    ASSERT_NE(uv, nullptr);
    EXPECT_EQ(uv->value_count(), 4u) << "one UV point per clone";
}

TEST_F(ModuleTest, AMapWiderThanItsTypeIsCopiedWithoutOverrunningThePluginsBuffer) {
    // Files can bring a map of a known type with more values per point than
    // the type has; the host hands over all of them.
    add_quad(world.fg, {0, 0, 0}, {0, 0, 4}, {4, 0, 4}, {4, 0, 0});
    add_cube(world.bg, {0, 0.5, 0}, 1.0);
    host::VertexMap &wide = world.bg.add_vmap(SF_VMAP_SPOT, "wide", 4);
    const float four[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    for (uint32_t point = 0; point < 8; ++point) wide.set_value(point, four);
    answer({{"Number of Clones", int32_t{2}}});
    ASSERT_EQ(run(), SF_AFUNC_OK);
    EXPECT_EQ(world.fg.point_count(), 4u + 16u);
    // The clones carry the type's own three values.
    const host::VertexMap *copied = world.fg.find_vmap(SF_VMAP_SPOT, "wide");
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->dimension(), 3);
    ASSERT_NE(copied->value(4), nullptr);
    EXPECT_EQ(copied->value(4)[2], 3.0f);
}

// The background is read from the host by the first clone that meets a
// point; every later clone must carry exactly the same values (morphs aside,
// which turn with each clone).
TEST_F(ModuleTest, EveryCloneCarriesTheBackgroundsValues) {
    add_quad(world.fg, {0, 0, 0}, {0, 0, 4}, {4, 0, 4}, {4, 0, 0});
    const uint32_t first = add_cube(world.bg, {0, 0.5, 0}, 1.0);
    host::VertexMap &narrow = world.bg.add_vmap(SF_VMAP_SPOT, "narrow", 1);  // fewer values than the type
    std::set<std::vector<float>> background_uvs;
    for (uint32_t k = 0; k < 8; ++k) {
        const uint32_t point = first + k;
        if (k != 5) set_uv(world.bg, "uv", point, 0.125f * static_cast<float>(k), 1.0f - 0.0625f * k);
        if (k != 5) background_uvs.insert({0.125f * static_cast<float>(k), 1.0f - 0.0625f * k});
        const float lone = 10.0f + static_cast<float>(k);
        narrow.set_value(point, &lone);
    }
    constexpr uint32_t kClones = 5;
    answer({{"Number of Clones", int32_t{5}}});
    ASSERT_EQ(run(), SF_AFUNC_OK);
    ASSERT_EQ(world.fg.point_count(), 4u + 8u * kClones);

    const host::VertexMap *uv = world.fg.find_vmap(SF_VMAP_TXUV, "uv");
    const host::VertexMap *spot = world.fg.find_vmap(SF_VMAP_SPOT, "narrow");
    ASSERT_NE(uv, nullptr);
    ASSERT_NE(spot, nullptr);
    EXPECT_EQ(uv->value_count(), 7u * kClones) << "the point without a UV has none in any clone";
    EXPECT_EQ(spot->value_count(), 8u * kClones);
    std::set<std::vector<float>> first_clone_uvs;
    // Every clone makes its points in the same order, so the k-th point of
    // each clone copies the same background point.
    for (uint32_t k = 0; k < 8; ++k) {
        const float *uv0 = uv->value(4 + k);
        if (uv0 != nullptr) first_clone_uvs.insert({uv0[0], uv0[1]});
        const float *spot0 = spot->value(4 + k);
        ASSERT_NE(spot0, nullptr);
        EXPECT_EQ(spot0[1], 0.0f) << "the values a narrower map lacks are zero";
        EXPECT_EQ(spot0[2], 0.0f) << "the values a narrower map lacks are zero";
        for (uint32_t clone = 1; clone < kClones; ++clone) {
            const uint32_t point = 4 + 8 * clone + k;
            const float *uvk = uv->value(point);
            ASSERT_EQ(uvk == nullptr, uv0 == nullptr) << "clone " << clone << ", point " << k;
            if (uvk != nullptr) {
                EXPECT_TRUE(uvk[0] == uv0[0] && uvk[1] == uv0[1]) << "clone " << clone;
            }
            const float *spotk = spot->value(point);
            ASSERT_NE(spotk, nullptr);
            EXPECT_TRUE(std::equal(spotk, spotk + 3, spot0)) << "clone " << clone << ", point " << k;
        }
    }
    EXPECT_EQ(first_clone_uvs, background_uvs);
}

}  // namespace
}  // namespace sowfield::testing
