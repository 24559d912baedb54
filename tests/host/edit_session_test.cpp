#include <cstring>
#include <set>
#include <vector>

#include "tests/host/session_fixture.h"

namespace sowfield::host {
namespace {

// ------------------------------------------------------------- end and rollback

TEST_F(EditSessionTest, EndCodeZeroKeepsWhatWasAdded) {
    add_floor(world.fg);
    begin();
    const double at[3] = {5, 6, 7};
    sf_point_id p = edit->add_point(edit->state, at);
    const float w = 0.5f;
    EXPECT_EQ(edit->set_point_vmap(edit->state, p, SF_VMAP_WGHT, "SF_index", 1, &w), 1);
    end(0);
    EXPECT_EQ(world.fg.point_count(), 5u);
    EXPECT_EQ(world.fg.position(4), (Vec3{5, 6, 7}));
    ASSERT_NE(world.fg.find_vmap(SF_VMAP_WGHT, "SF_index"), nullptr);
    EXPECT_EQ(*world.fg.find_vmap(SF_VMAP_WGHT, "SF_index")->value(4), 0.5f);
    EXPECT_EQ(session.end_codes(), std::vector<int32_t>{0});
}

TEST_F(EditSessionTest, NonZeroEndCodeRestoresTheSceneExactly) {
    const uint32_t floor = add_floor(world.fg);
    set_weight(world.fg, "w", 0, 0.25f);  // point 0 has a value, point 1 none
    begin();
    const sf_point_id p0 = session.point_id(0, 0), p1 = session.point_id(0, 1);
    const float one = 1.0f, two = 2.0f;
    edit->set_point_vmap(edit->state, p0, SF_VMAP_WGHT, "w", 1, &one);
    edit->set_point_vmap(edit->state, p0, SF_VMAP_WGHT, "w", 1, &two);  // written twice: the first old value returns
    edit->set_point_vmap(edit->state, p1, SF_VMAP_WGHT, "w", 1, &one);
    edit->set_point_vmap(edit->state, p1, SF_VMAP_TXUV, "fresh", 1, &one);  // a map new in this session
    const double at[3] = {1, 2, 3};
    const sf_point_id added[3] = {edit->add_point(edit->state, at), edit->add_point(edit->state, at),
                                  edit->add_point(edit->state, at)};
    edit->add_polygon(edit->state, SF_POLY_FACE, session.polygon_id(0, floor), "Brand new surface", 3, added);
    ASSERT_EQ(world.fg.polygon_count(), 2u);
    ASSERT_EQ(world.scene.surface_count(), 2u);
    end(-1);

    EXPECT_EQ(world.fg.point_count(), 4u);
    EXPECT_EQ(world.fg.polygon_count(), 1u);
    EXPECT_EQ(world.fg.vmap_count(), 1u);
    EXPECT_EQ(world.fg.find_vmap(SF_VMAP_TXUV, "fresh"), nullptr);
    const VertexMap &w = *world.fg.find_vmap(SF_VMAP_WGHT, "w");
    ASSERT_NE(w.value(0), nullptr);
    EXPECT_EQ(*w.value(0), 0.25f);
    EXPECT_EQ(w.value(1), nullptr);
    EXPECT_EQ(w.value_count(), 1u);
    EXPECT_EQ(world.scene.surface_count(), 1u);
    EXPECT_EQ(session.end_codes(), std::vector<int32_t>{-1});
    EXPECT_EQ(session.stats().points_added, 3);  // what was done, though discarded
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(EditSessionTest, CallsAfterEndAndSecondEndAreRecorded) {
    add_floor(world.fg);
    begin();
    const sf_point_id p = session.point_id(0, 0);
    end(0);
    EXPECT_EQ(count_points(SF_LAYERS_FOREGROUND, SF_COUNT_ALL), 0);
    EXPECT_EQ(edit->point_info(edit->state, p), nullptr);
    end(0);
    ASSERT_EQ(log.entries().size(), 3u);
    EXPECT_THAT(log.entries()[0], HasSubstr("count_points called after end_edit"));
    EXPECT_THAT(log.entries()[1], HasSubstr("point_info called after end_edit"));
    EXPECT_THAT(log.entries()[2], HasSubstr("end_edit called twice"));
    EXPECT_EQ(session.end_codes(), std::vector<int32_t>{0});
}

TEST_F(EditSessionTest, SecondBeginWhileOpenIsRefused) {
    begin();
    EXPECT_EQ(session.begin(), nullptr);
    ASSERT_EQ(log.entries().size(), 1u);
    EXPECT_THAT(log.entries()[0], HasSubstr("begin_edit called while an edit session is open"));
}

// ------------------------------------------------------------------ ids

TEST_F(EditSessionTest, IdsAreNeitherSmallNorSequentialAndDecodeBack) {
    for (int i = 0; i < 50; ++i) add_floor(world.fg, i);
    begin();
    std::set<uintptr_t> seen;
    uintptr_t previous = 0;
    int steps_of_one = 0;
    for (uint32_t i = 0; i < world.fg.point_count(); ++i) {
        const sf_point_id id = session.point_id(0, i);
        const uintptr_t raw = reinterpret_cast<uintptr_t>(id);
        EXPECT_GT(raw, uintptr_t{1} << 32);
        steps_of_one += i > 0 && (raw - previous == 1 || previous - raw == 1);
        previous = raw;
        seen.insert(raw);
        const auto ref = session.find_point(id);
        ASSERT_TRUE(ref.has_value());
        EXPECT_EQ(ref->layer, 0u);
        EXPECT_EQ(ref->index, i);
    }
    EXPECT_EQ(seen.size(), world.fg.point_count());
    EXPECT_LT(steps_of_one, 5);
    // Point and polygon ids of the same element index differ, and neither
    // passes for the other.
    EXPECT_NE(reinterpret_cast<uintptr_t>(session.point_id(0, 0)), reinterpret_cast<uintptr_t>(session.polygon_id(0, 0)));
    EXPECT_FALSE(session.find_polygon(reinterpret_cast<sf_polygon_id>(session.point_id(0, 0))).has_value());
}

TEST_F(EditSessionTest, ForeignAndStaleIdsAreRefusedAndRecorded) {
    add_floor(world.fg);
    begin();
    const sf_point_id old = session.point_id(0, 0);
    end(0);
    begin();
    int local = 0;
    EXPECT_EQ(edit->point_info(edit->state, old), nullptr);
    EXPECT_EQ(edit->point_info(edit->state, reinterpret_cast<sf_point_id>(&local)), nullptr);
    EXPECT_EQ(edit->point_info(edit->state, nullptr), nullptr);
    EXPECT_EQ(edit->polygon_info(edit->state, reinterpret_cast<sf_polygon_id>(session.point_id(0, 0))), nullptr);
    ASSERT_EQ(log.entries().size(), 4u);
    EXPECT_THAT(log.entries()[0], HasSubstr("stale point id"));
    EXPECT_THAT(log.entries()[1], HasSubstr("foreign point id"));
    EXPECT_THAT(log.entries()[2], HasSubstr("foreign point id"));
    EXPECT_THAT(log.entries()[3], HasSubstr("foreign polygon id"));
    // The current id of the same point still works.
    EXPECT_NE(edit->point_info(edit->state, session.point_id(0, 0)), nullptr);
}

TEST_F(EditSessionTest, IdsOfAnotherSessionOnTheSameSceneAreForeign) {
    add_floor(world.fg);
    ContractLog other_log;
    EditSession other(world.scene, other_log);
    begin();
    ASSERT_NE(other.begin(), nullptr);
    EXPECT_FALSE(session.find_point(other.point_id(0, 0)).has_value());
}

TEST_F(EditSessionTest, NonStrictLogRefusesWithoutRecording) {
    log.set_strict(false);
    begin();
    int local = 0;
    EXPECT_EQ(edit->point_info(edit->state, reinterpret_cast<sf_point_id>(&local)), nullptr);
    EXPECT_TRUE(log.entries().empty());
}

}  // namespace
}  // namespace sowfield::host
