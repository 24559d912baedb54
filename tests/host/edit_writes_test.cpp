#include <cstring>
#include <vector>

#include "tests/host/session_fixture.h"

namespace sowfield::host {
namespace {

TEST_F(EditSessionTest, AdditionsGoToTheFirstForegroundLayer) {
    Layer &second = world.scene.add_layer("second foreground");
    world.scene.foreground = {2, 0};
    begin();
    const double at[3] = {1, 2, 3};
    const sf_point_id ids[3] = {edit->add_point(edit->state, at), edit->add_point(edit->state, at),
                                edit->add_point(edit->state, at)};
    EXPECT_NE(edit->add_polygon(edit->state, SF_POLY_FACE, nullptr, nullptr, 3, ids), nullptr);
    EXPECT_EQ(second.point_count(), 3u);
    EXPECT_EQ(second.polygon_count(), 1u);
    EXPECT_EQ(world.fg.point_count(), 0u);
}

TEST_F(EditSessionTest, NoForegroundLayerRefusesAdditionsWithoutMisuse) {
    world.scene.foreground.clear();
    begin();
    const double at[3] = {0, 0, 0};
    EXPECT_EQ(edit->add_point(edit->state, at), nullptr);
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(EditSessionTest, NewPolygonTakesTheTemplatesSurfaceButNotItsSelection) {
    const uint32_t stone = world.scene.surface_index("Stone");
    const uint32_t source = add_floor(world.bg, 0.0, {.selected = true, .surface = stone});
    begin();
    const double at[3] = {0, 0, 0};
    const sf_point_id ids[3] = {edit->add_point(edit->state, at), edit->add_point(edit->state, at),
                                edit->add_point(edit->state, at)};
    const sf_polygon_id copy =
        edit->add_polygon(edit->state, SF_POLY_FACE, session.polygon_id(1, source), nullptr, 3, ids);
    const sf_polygon_id named = edit->add_polygon(edit->state, SF_ID4('P', 'T', 'C', 'H'), session.polygon_id(1, source),
                                                  "Moss", 3, ids);
    const sf_polygon_id plain = edit->add_polygon(edit->state, SF_POLY_FACE, nullptr, nullptr, 3, ids);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(named, nullptr);
    ASSERT_NE(plain, nullptr);

    const PolygonView first = world.fg.polygon(session.find_polygon(copy)->index);
    EXPECT_EQ(world.scene.surface_name(first.surface), "Stone");
    EXPECT_EQ(first.flags & SF_POLY_SELECTED, 0u);
    const PolygonView second = world.fg.polygon(session.find_polygon(named)->index);
    EXPECT_EQ(world.scene.surface_name(second.surface), "Moss");
    EXPECT_EQ(second.type, SF_ID4('P', 'T', 'C', 'H'));
    EXPECT_EQ(world.scene.surface_name(world.fg.polygon(session.find_polygon(plain)->index).surface), "Default");
    const sf_polygon_record *record = edit->polygon_info(edit->state, copy);
    EXPECT_EQ(std::vector<sf_point_id>(record->points, record->points + 3), std::vector<sf_point_id>(ids, ids + 3));
}

TEST_F(EditSessionTest, PolygonOverBackgroundPointsOrForeignIdsIsRefused) {
    add_floor(world.bg);
    begin();
    const double at[3] = {0, 0, 0};
    const sf_point_id fg = edit->add_point(edit->state, at);
    const sf_point_id mixed[2] = {fg, session.point_id(1, 0)};
    EXPECT_EQ(edit->add_polygon(edit->state, SF_POLY_FACE, nullptr, nullptr, 2, mixed), nullptr);
    int local = 0;
    const sf_point_id foreign[2] = {fg, reinterpret_cast<sf_point_id>(&local)};
    EXPECT_EQ(edit->add_polygon(edit->state, SF_POLY_FACE, nullptr, nullptr, 2, foreign), nullptr);
    EXPECT_EQ(edit->add_polygon(edit->state, SF_POLY_FACE, nullptr, nullptr, 0, mixed), nullptr);
    EXPECT_EQ(world.fg.polygon_count(), 0u);
    ASSERT_EQ(log.entries().size(), 3u);
    EXPECT_THAT(log.entries()[0], HasSubstr("not in the layer that receives the polygon"));
    EXPECT_THAT(log.entries()[1], HasSubstr("foreign point id"));
    EXPECT_THAT(log.entries()[2], HasSubstr("add_polygon: 0 points"));
}

TEST_F(EditSessionTest, SetPointVmapCreatesTheMapInThePointsLayer) {
    add_floor(world.bg);
    begin();
    const float uv[2] = {0.25f, 0.75f};
    EXPECT_EQ(edit->set_point_vmap(edit->state, session.point_id(1, 3), SF_VMAP_TXUV, "uv", 2, uv), 1);
    const VertexMap *map = world.bg.find_vmap(SF_VMAP_TXUV, "uv");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->dimension(), 2);
    EXPECT_EQ(std::vector<float>(map->value(3), map->value(3) + 2), std::vector<float>(uv, uv + 2));
    EXPECT_EQ(world.fg.vmap_count(), 0u);
}

TEST_F(EditSessionTest, DimensionMismatchIsRefusedAndRecorded) {
    add_floor(world.fg);
    sowfield::testing::set_uv(world.fg, "uv", 0, 0.5f, 0.5f);
    begin();
    const float values[3] = {1, 2, 3};
    EXPECT_EQ(edit->set_point_vmap(edit->state, session.point_id(0, 0), SF_VMAP_TXUV, "uv", 3, values), 0);
    EXPECT_EQ(edit->set_point_vmap(edit->state, session.point_id(0, 0), SF_VMAP_MORF, "m", 0, values), 0);
    EXPECT_EQ(world.fg.find_vmap(SF_VMAP_TXUV, "uv")->value(0)[0], 0.5f);
    ASSERT_EQ(log.entries().size(), 2u);
    EXPECT_THAT(log.entries()[0], HasSubstr("map TXUV \"uv\" has dimension 2, not 3"));
    EXPECT_THAT(log.entries()[1], HasSubstr("dimension 0"));
}

// A plug-in that builds map names in one buffer passes the same address with
// different texts: each text must reach its own map.
TEST_F(EditSessionTest, ReusedNameBufferReachesTheMapOfItsCurrentText) {
    add_floor(world.fg);
    begin();
    char name[16];
    for (int suffix = 1; suffix <= 3; ++suffix) {
        std::snprintf(name, sizeof name, "smile%d", suffix);
        const float d[3] = {static_cast<float>(suffix), 0, 0};
        ASSERT_EQ(edit->set_point_vmap(edit->state, session.point_id(0, 0), SF_VMAP_MORF, name, 3, d), 1);
    }
    for (int suffix = 1; suffix <= 3; ++suffix) {
        std::snprintf(name, sizeof name, "smile%d", suffix);
        ASSERT_NE(edit->select_vmap(edit->state, nullptr, SF_VMAP_MORF, name), nullptr);
        float d[3] = {};
        ASSERT_EQ(edit->get_point_vmap(edit->state, session.point_id(0, 0), d), 1);
        EXPECT_EQ(d[0], static_cast<float>(suffix)) << name;
    }
    EXPECT_EQ(world.fg.vmap_count(), 3u);
}

TEST_F(EditSessionTest, MapCreatedAfterAFailedSelectIsFoundByTheNextSelect) {
    add_floor(world.fg);
    begin();
    const char *name = "SF_index";
    EXPECT_EQ(edit->select_vmap(edit->state, nullptr, SF_VMAP_WGHT, name), nullptr);
    const float w = 0.25f;
    edit->set_point_vmap(edit->state, session.point_id(0, 2), SF_VMAP_WGHT, name, 1, &w);
    EXPECT_NE(edit->select_vmap(edit->state, nullptr, SF_VMAP_WGHT, name), nullptr);
    float value = 0;
    EXPECT_EQ(edit->get_point_vmap(edit->state, session.point_id(0, 2), &value), 1);
    EXPECT_EQ(value, 0.25f);
}

}  // namespace
}  // namespace sowfield::host
